#include "data/soundgen/sound_files.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "base/byte_order.h"

namespace sonavelt::soundgen {

namespace {

constexpr uint32_t kWaveHeaderSize = 44;
constexpr uint32_t kAuHeaderSize = 34;
constexpr uint32_t kAuMuLaw = 1;

int ToLinear16(double x) {
  return static_cast<int>(std::lround(std::clamp(x, -1.0, 1.0) * 32767.0));
}

}  // namespace

std::string WaveBytes(const Samples& s, int rate) {
  const uint32_t data_size = static_cast<uint32_t>(s.size());
  std::string out;
  out.reserve(kWaveHeaderSize + data_size + 1);
  out += "RIFF";
  // RIFF size counts everything after these 8 bytes, including a pad byte.
  AppendLe32(out, kWaveHeaderSize - 8 + data_size + (data_size & 1));
  out += "WAVEfmt ";
  AppendLe32(out, 16);      // fmt chunk size
  AppendLe16(out, 1);       // PCM
  AppendLe16(out, 1);       // channels
  AppendLe32(out, static_cast<uint32_t>(rate));
  AppendLe32(out, static_cast<uint32_t>(rate));  // bytes per second
  AppendLe16(out, 1);       // block align
  AppendLe16(out, 8);       // bits per sample
  out += "data";
  AppendLe32(out, data_size);
  for (double x : s) {
    const long v = std::lround(std::clamp(x, -1.0, 1.0) * 127.0) + 128;
    out.push_back(static_cast<char>(std::clamp<long>(v, 1, 255)));
  }
  // Chunks are word aligned; the pad byte is silence so a lax reader that
  // plays it anyway hears nothing.
  if (data_size & 1) out.push_back(static_cast<char>(0x80));
  return out;
}

uint8_t MuLawCode(int sample) {
  constexpr int kBias = 132;
  constexpr int kClip = 32635;
  int sign = 0;
  if (sample < 0) {
    sign = 0x80;
    sample = -sample;
  }
  sample = std::min(sample, kClip) + kBias;
  // Position of the highest set bit of (sample >> 7), 0 when none: the
  // segment of the piecewise-linear curve.
  int exponent = 7;
  for (int mask = 0x4000; (sample & mask) == 0 && exponent > 0; mask >>= 1) --exponent;
  const int mantissa = (sample >> (exponent + 3)) & 0x0F;
  const uint8_t code = static_cast<uint8_t>(~(sign | (exponent << 4) | mantissa));
  // An all-zero code upsets some players; it is replaced by its neighbour.
  return code == 0 ? 0x02 : code;
}

std::string AuBytes(const Samples& s, int rate) {
  std::string out;
  out.reserve(kAuHeaderSize + s.size());
  out += ".snd";
  AppendBe32(out, kAuHeaderSize);
  AppendBe32(out, static_cast<uint32_t>(s.size()));
  AppendBe32(out, kAuMuLaw);
  AppendBe32(out, static_cast<uint32_t>(rate));
  AppendBe32(out, 1);  // channels
  out += "Sonavelt";
  out.push_back('\0');
  out.push_back('\0');
  for (double x : s) out.push_back(static_cast<char>(MuLawCode(ToLinear16(x))));
  return out;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  file.close();
  return static_cast<bool>(file);
}

}  // namespace sonavelt::soundgen
