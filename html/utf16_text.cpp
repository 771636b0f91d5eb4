#include "html/utf16_text.h"

#include <cstdint>

namespace sonavelt::html {
namespace {

uint32_t UnitAt(std::string_view page, size_t at, Utf16Order order) {
  uint32_t a = static_cast<uint8_t>(page[at]);
  uint32_t b = static_cast<uint8_t>(page[at + 1]);
  return order == Utf16Order::kLittleEndian ? (b << 8 | a) : (a << 8 | b);
}

void AppendUnit(std::string& out, uint32_t unit, Utf16Order order) {
  char high = static_cast<char>(unit >> 8);
  char low = static_cast<char>(unit & 0xFF);
  if (order == Utf16Order::kLittleEndian) {
    out.push_back(low);
    out.push_back(high);
  } else {
    out.push_back(high);
    out.push_back(low);
  }
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | code >> 6));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | code >> 12));
    out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | code >> 18));
    out.push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// The code point of the sequence at utf8[*at] (moving past it). The text
// comes from AppendUtf8, so sequences are whole; a stray continuation byte
// is taken as it is.
uint32_t NextCode(std::string_view utf8, size_t* at) {
  uint32_t lead = static_cast<uint8_t>(utf8[*at]);
  size_t extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
  uint32_t code = extra == 3 ? lead & 0x07 : extra == 2 ? lead & 0x0F : extra == 1 ? lead & 0x1F
                                                                                  : lead;
  ++*at;
  for (size_t k = 0; k < extra && *at < utf8.size(); ++k, ++*at)
    code = code << 6 | (static_cast<uint8_t>(utf8[*at]) & 0x3F);
  return code;
}

}  // namespace

std::optional<Utf16Order> Utf16OrderOf(std::string_view page) {
  if (page.substr(0, 2) == "\xFF\xFE") return Utf16Order::kLittleEndian;
  if (page.substr(0, 2) == "\xFE\xFF") return Utf16Order::kBigEndian;
  return std::nullopt;
}

std::optional<std::string> Utf16PageToUtf8(std::string_view page, Utf16Order order) {
  if (page.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(page.size());
  for (size_t at = 2; at < page.size(); at += 2) {
    uint32_t unit = UnitAt(page, at, order);
    if (unit >= 0xD800 && unit < 0xDC00 && at + 2 < page.size()) {
      uint32_t next = UnitAt(page, at + 2, order);
      if (next >= 0xDC00 && next < 0xE000) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        at += 2;
        continue;
      }
    }
    AppendUtf8(out, unit);
  }
  return out;
}

std::string Utf8ToUtf16Page(std::string_view utf8, Utf16Order order) {
  std::string out;
  out.reserve(utf8.size() * 2 + 2);
  AppendUnit(out, 0xFEFF, order);
  size_t at = 0;
  while (at < utf8.size()) {
    uint32_t code = NextCode(utf8, &at);
    if (code >= 0x10000) {
      code -= 0x10000;
      AppendUnit(out, 0xD800 + (code >> 10), order);
      AppendUnit(out, 0xDC00 + (code & 0x3FF), order);
    } else {
      AppendUnit(out, code, order);
    }
  }
  return out;
}

size_t Utf16Length(std::string_view utf8, size_t utf8_bytes) {
  size_t units = 0;
  size_t at = 0;
  while (at < utf8_bytes && at < utf8.size()) units += NextCode(utf8, &at) >= 0x10000 ? 2 : 1;
  return units * 2;
}

}  // namespace sonavelt::html
