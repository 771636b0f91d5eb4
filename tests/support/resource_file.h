#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/byte_order.h"
#include "base/status.h"

// The reading side of the resource file (run/resource_text.h writes it),
// for the tests that check what a run wrote: a little-endian u32 text
// length, then each text byte shifted left by one.
namespace sonavelt::testing {

// The text back from a resource file's bytes. Refuses a file shorter than its
// length field says or with bytes after the text, and a byte no encoder
// writes (an odd one).
inline Status DecodeResourceFile(std::string_view bytes, std::string* text) {
  if (bytes.size() < 4) {
    return Status::Corrupt("resource file: " + std::to_string(bytes.size()) +
                           " bytes, shorter than its 4-byte length field");
  }
  uint32_t length = LoadLe32(reinterpret_cast<const uint8_t*>(bytes.data()));
  if (bytes.size() - 4 != length) {
    return Status::Corrupt("resource file: length field says " + std::to_string(length) +
                           " bytes, the file holds " + std::to_string(bytes.size() - 4));
  }
  std::string out;
  out.reserve(length);
  for (size_t i = 4; i < bytes.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    if (b & 1) {
      return Status::Corrupt("resource file: byte " + std::to_string(b) + " at offset " +
                             std::to_string(i) + " is not an encoded text byte");
    }
    out.push_back(static_cast<char>(b >> 1));
  }
  *text = std::move(out);
  return Status::Ok();
}

}  // namespace sonavelt::testing
