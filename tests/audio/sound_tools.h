#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "audio/mulaw.h"
#include "tests/support/temp_dir.h"

// Sound files made at test time with the Debian tools setup.sh installs
// (sox, ffmpeg), and measures of what comes out.
namespace sonavelt::testing {

// True when `tool` is on the PATH.
inline bool HasTool(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command line; its output goes to /dev/null.
inline bool Shell(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// Skips the test when a tool is missing, except in CI, where it fails.
#define SONAVELT_REQUIRE_TOOL(tool)                                          \
  do {                                                                       \
    if (!::sonavelt::testing::HasTool(tool)) {                               \
      if (std::getenv("CI") != nullptr) FAIL() << tool << " is not installed"; \
      GTEST_SKIP() << tool << " is not installed";                           \
    }                                                                        \
  } while (0)

// Upward zero crossings per second of a signal: a sine's frequency.
inline double CrossingRate(const std::vector<float>& samples, int rate) {
  int crossings = 0;
  for (size_t i = 1; i < samples.size(); ++i)
    if (samples[i - 1] < 0 && samples[i] >= 0) ++crossings;
  return samples.empty() ? 0 : crossings * static_cast<double>(rate) / samples.size();
}

// The share of a signal's power at one frequency (Goertzel), 0..1: near 1
// for a clean sine of that frequency, whatever noise a codec adds at the
// zero crossings.
inline double ToneShare(const std::vector<float>& samples, int rate, double frequency) {
  const double w = 2.0 * M_PI * frequency / rate;
  const double coeff = 2.0 * std::cos(w);
  double s1 = 0, s2 = 0, total = 0;
  for (float x : samples) {
    const double s0 = x + coeff * s1 - s2;
    s2 = s1;
    s1 = s0;
    total += static_cast<double>(x) * x;
  }
  const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
  // A sine of amplitude A over N samples: power = (A N / 2)^2, total = A^2 N / 2.
  return total > 0 ? power / (total * samples.size() / 2.0) : 0;
}

// The linear samples of an .au file's mu-law codes (header skipped).
inline std::vector<float> AuSamples(const std::string& au_bytes) {
  std::vector<float> out;
  for (size_t i = 34; i < au_bytes.size(); ++i)
    out.push_back(audio::DecodeMuLaw(static_cast<uint8_t>(au_bytes[i])) / 32768.0f);
  return out;
}

}  // namespace sonavelt::testing
