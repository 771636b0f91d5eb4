#pragma once

#include <array>
#include <cstdint>

// G.711 mu-law: the one sample encoding the page's player accepts.
namespace sonavelt::audio {

namespace mulaw_internal {

// Exponent of a biased magnitude's top byte: E[0] = 0, E[i] = floor(log2 i).
constexpr std::array<uint8_t, 256> MakeExponentTable() {
  std::array<uint8_t, 256> table{};
  for (int i = 1; i < 256; ++i) {
    int e = 0;
    while ((i >> (e + 1)) != 0) ++e;
    table[i] = static_cast<uint8_t>(e);
  }
  return table;
}
inline constexpr std::array<uint8_t, 256> kExponent = MakeExponentTable();

constexpr int16_t ExpandCode(uint8_t code) {
  int u = static_cast<uint8_t>(~code);
  int t = (((u & 0x0F) << 3) + 0x84) << ((u & 0x70) >> 4);
  return static_cast<int16_t>((u & 0x80) ? (0x84 - t) : (t - 0x84));
}

constexpr std::array<int16_t, 256> MakeExpansionTable() {
  std::array<int16_t, 256> table{};
  for (int c = 0; c < 256; ++c) table[c] = ExpandCode(static_cast<uint8_t>(c));
  return table;
}
inline constexpr std::array<int16_t, 256> kExpansion = MakeExpansionTable();

}  // namespace mulaw_internal

inline constexpr int kMuLawBias = 132;    // 0x84, added to the magnitude
inline constexpr int kMuLawClip = 32635;  // magnitudes above this are clipped

// One linear sample (16-bit range; larger magnitudes clip) as a mu-law code.
// Code 0x00 never comes out: the codes of the loudest negative samples
// (-31612 and below) are written as 0x02, the traditional G.711 zero-code
// trap; players expand 0x02 to a value close to 0x00's.
inline uint8_t EncodeMuLaw(int32_t sample) {
  int s = sample;
  int sign = 0;
  if (s < 0) {
    sign = 0x80;
    // Clip before negating, so INT32_MIN cannot overflow.
    s = s < -kMuLawClip ? kMuLawClip : -s;
  }
  if (s > kMuLawClip) s = kMuLawClip;
  s += kMuLawBias;
  int exponent = mulaw_internal::kExponent[(s >> 7) & 0xFF];
  int mantissa = (s >> (exponent + 3)) & 0x0F;
  uint8_t code = static_cast<uint8_t>(~(sign | (exponent << 4) | mantissa));
  return code != 0 ? code : 0x02;
}

// The linear value of a mu-law code (the standard expansion: 0x00 -> -32124,
// 0x7F -> 0, 0x80 -> 32124, 0xFF -> 0).
inline int16_t DecodeMuLaw(uint8_t code) { return mulaw_internal::kExpansion[code]; }

}  // namespace sonavelt::audio
