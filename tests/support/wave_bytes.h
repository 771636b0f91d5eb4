#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/byte_order.h"

// Byte builders for WAVE and .au files in memory, to be broken on purpose.
namespace sonavelt::testing {

// <tag> <size> <body> [pad]. size defaults to the body's length; a pad byte
// follows an odd body unless pad is false.
inline std::string Chunk(const std::string& tag, const std::string& body,
                         std::optional<uint32_t> size = std::nullopt, bool pad = true) {
  std::string out = tag;
  AppendLe32(out, size.value_or(static_cast<uint32_t>(body.size())));
  out += body;
  if (pad && body.size() % 2 == 1) out.push_back('\0');
  return out;
}

inline std::string FmtBody(int channels, int rate, int bits, uint16_t format_tag = 1,
                           const std::string& extra = "") {
  std::string body;
  AppendLe16(body, format_tag);
  AppendLe16(body, static_cast<uint16_t>(channels));
  AppendLe32(body, static_cast<uint32_t>(rate));
  AppendLe32(body, static_cast<uint32_t>(rate * channels * bits / 8));
  AppendLe16(body, static_cast<uint16_t>(channels * bits / 8));
  AppendLe16(body, static_cast<uint16_t>(bits));
  return body + extra;
}

// "RIFF" <size> "WAVE" chunks; the size defaults to what follows it.
inline std::string Riff(const std::string& chunks, std::optional<uint32_t> size = std::nullopt) {
  std::string out = "RIFF";
  AppendLe32(out, size.value_or(static_cast<uint32_t>(chunks.size() + 4)));
  return out + "WAVE" + chunks;
}

inline std::string Wave(int channels, int rate, int bits, const std::string& data) {
  return Riff(Chunk("fmt ", FmtBody(channels, rate, bits)) + Chunk("data", data));
}

// Sample data from 16-bit values, one per channel per frame.
inline std::string Pcm16(const std::vector<int16_t>& samples) {
  std::string out;
  for (int16_t s : samples) AppendLe16(out, static_cast<uint16_t>(s));
  return out;
}

// Mono 16-bit data whose sample i is i (mod 2^16), so a kept sample names its index.
inline std::string IndexRamp16(int frames) {
  std::vector<int16_t> samples;
  for (int i = 0; i < frames; ++i) samples.push_back(static_cast<int16_t>(i));
  return Pcm16(samples);
}

inline std::string AuFile(uint32_t header_size, uint32_t encoding, uint32_t rate, uint32_t channels,
                          const std::string& annotation, const std::string& data) {
  std::string out = ".snd";
  AppendBe32(out, header_size);
  AppendBe32(out, static_cast<uint32_t>(data.size()));
  AppendBe32(out, encoding);
  AppendBe32(out, rate);
  AppendBe32(out, channels);
  return out + annotation + data;
}

}  // namespace sonavelt::testing
