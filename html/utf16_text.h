#pragma once

#include <optional>
#include <string>
#include <string_view>

// Pages written in UTF-16 (with a byte-order mark) are edited in UTF-8 and
// written back in UTF-16. The round trip keeps every 16-bit unit: a
// surrogate without its partner travels as its own three-byte sequence
// (generalised UTF-8), so a page comes back byte for byte, and text spliced
// in between units changes nothing around it.
namespace sonavelt::html {

enum class Utf16Order { kLittleEndian, kBigEndian };

// The page's byte order when it starts with a UTF-16 byte-order mark
// (FF FE or FE FF); nullopt for any other page.
std::optional<Utf16Order> Utf16OrderOf(std::string_view page);

// The text after the byte-order mark as UTF-8; nullopt when its length is
// odd (the page ends inside a unit).
std::optional<std::string> Utf16PageToUtf8(std::string_view page, Utf16Order order);

// `utf8` (as Utf16PageToUtf8 gives it, with ASCII spliced in) in UTF-16,
// byte-order mark first.
std::string Utf8ToUtf16Page(std::string_view utf8, Utf16Order order);

// How many bytes the first `utf8_bytes` bytes of `utf8` take in UTF-16.
size_t Utf16Length(std::string_view utf8, size_t utf8_bytes);

}  // namespace sonavelt::html
