#include "audio/au_writer.h"

#include <cstring>

#include "audio/rate_change.h"
#include "base/byte_order.h"

namespace sonavelt::audio {

namespace {
constexpr char kAuMagic[] = ".snd";
constexpr char kAnnotation[] = "Sonavelt";  // the 8 characters, without terminator
}  // namespace

std::array<uint8_t, kAuHeaderSize> SunAuHeader(uint32_t data_size) {
  std::array<uint8_t, kAuHeaderSize> header{};
  std::memcpy(header.data(), kAuMagic, 4);
  StoreBe32(header.data() + 4, static_cast<uint32_t>(kAuHeaderSize));
  StoreBe32(header.data() + 8, data_size);
  StoreBe32(header.data() + 12, kAuMuLawEncoding);
  StoreBe32(header.data() + 16, kAuSampleRate);
  StoreBe32(header.data() + 20, 1);
  std::memcpy(header.data() + 24, kAnnotation, 8);
  return header;
}

}  // namespace sonavelt::audio
