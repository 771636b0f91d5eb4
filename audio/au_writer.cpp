#include "audio/au_writer.h"

#include <cstring>

#include "audio/conversion_progress.h"
#include "audio/rate_change.h"
#include "base/byte_order.h"

namespace sonavelt::audio {

namespace {
constexpr char kAuMagic[] = ".snd";
constexpr char kAnnotation[] = "Sonavelt";  // the 8 characters, without terminator
}  // namespace

int ConversionProgressPosition(int percent, int converted_count, int combination_count,
                               bool no_background) {
  const int files = (no_background ? 2 : 3) * combination_count;
  if (files <= 0) return 6;
  const int k = converted_count - 1;
  return ((48 / files) * percent) / 100 + (k * 48) / files + 6;
}

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
