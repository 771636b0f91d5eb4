#include "data/soundgen/instruments.h"

#include <algorithm>
#include <cmath>

namespace sonavelt::soundgen {

namespace {

// Struck bodies ring shorter the higher they are pitched.
double RingTime(double base, double freq) { return std::clamp(base * std::sqrt(440.0 / freq), 0.15, 4.0); }

// Held notes: a linear attack, the sustain level, and a linear release after
// `seconds`, the frame count covering the release.
Samples HeldEnvelope(double seconds, double attack, double release) {
  Samples env(Frames(seconds + release));
  const int held = Frames(seconds);
  for (size_t i = 0; i < env.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    double v = std::min(1.0, t / attack);
    if (static_cast<int>(i) >= held) v *= std::max(0.0, 1.0 - (t - seconds) / release);
    env[i] = v;
  }
  return env;
}

// Adds harmonics 1..max of `freq` with amplitude amp(h), below Nyquist only,
// each with the given phase track; used by the sustained instruments.
template <typename Amp>
void AddHarmonics(Samples& out, double freq, int max_harmonic, Amp amp, double detune_cents = 0.0,
                  double vibrato_depth = 0.0, double vibrato_delay = 0.0) {
  const double f = freq * std::pow(2.0, detune_cents / 1200.0);
  double phase = 0.0;
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double vib = vibrato_depth * std::min(1.0, std::max(0.0, t - vibrato_delay) / 0.2) *
                       std::sin(2 * kPi * 5.5 * t);
    phase += f * (1.0 + vib) / kRate;
    phase -= std::floor(phase);
    double v = 0.0;
    for (int h = 1; h <= max_harmonic && h * f < 0.45 * kRate; ++h) v += amp(h) * std::sin(2 * kPi * h * phase);
    out[i] += v;
  }
}

}  // namespace

Samples MusicBox(double freq, double, double velocity, Rng&) {
  // A plucked steel tine: a pure fundamental and a high, quickly fading
  // partial that gives the "tink".
  const double ring = RingTime(2.0, freq);
  Samples s(Frames(ring));
  AddMode(s, 0, freq, velocity, ring);
  AddMode(s, 0, 2.0 * freq, 0.1 * velocity, 0.4 * ring);
  AddMode(s, 0, 5.4 * freq, 0.18 * velocity, 0.12 * ring);
  return s;
}

Samples Chime(double freq, double, double velocity, Rng&) {
  // A bell's inharmonic partials (the classic additive bell recipe): the low
  // hum rings longest, the upper partials give the strike its shimmer.
  constexpr double kRatios[] = {0.56, 0.92, 1.19, 1.7, 2.0, 2.74, 3.0, 3.76, 4.07};
  constexpr double kAmps[] = {1.0, 0.67, 1.0, 1.8, 2.67, 1.67, 1.46, 1.33, 1.33};
  constexpr double kDecays[] = {1.0, 0.9, 0.65, 0.55, 0.325, 0.35, 0.25, 0.2, 0.15};
  const double ring = 2.4;
  Samples s(Frames(ring));
  for (int p = 0; p < 9; ++p) {
    AddMode(s, 0, kRatios[p] * freq, velocity * kAmps[p] / 2.67, kDecays[p] * ring);
  }
  return s;
}

Samples Marimba(double freq, double, double velocity, Rng& rng) {
  // A tuned wooden bar: its overtones sit near 4 and 10 times the
  // fundamental and die away fast, which is the marimba's soft "bonk".
  const double ring = RingTime(0.9, freq);
  Samples s(Frames(ring));
  AddMode(s, 0, freq, velocity, ring);
  AddMode(s, 0, 3.93 * freq, 0.3 * velocity, 0.25 * ring);
  AddMode(s, 0, 9.2 * freq, 0.1 * velocity, 0.08 * ring);
  // The mallet's felt contact: a few milliseconds of soft noise.
  Biquad lp = Biquad::LowPass(1200, 0.7);
  for (int i = 0; i < Frames(0.006); ++i) s[i] += 0.15 * velocity * lp.Process(rng.Bipolar());
  return s;
}

Samples ElectricPiano(double freq, double seconds, double velocity, Rng&) {
  // Two-operator FM at a 1:1 ratio: bright at the strike, mellowing as the
  // modulation index falls, like a struck tine near a pickup.
  Samples env = HeldEnvelope(seconds, 0.004, 0.12);
  Samples s(env.size());
  const double decay = RingTime(1.6, freq);
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double index = 0.3 + 1.8 * velocity * std::exp(-t / 0.25);
    const double w = 2 * kPi * freq * t;
    s[i] = velocity * env[i] * std::exp(-t / decay) * std::sin(w + index * std::sin(w));
  }
  return s;
}

Samples PluckedBass(double freq, double seconds, double velocity, Rng&) {
  Samples env = HeldEnvelope(seconds, 0.008, 0.06);
  Samples s(env.size());
  AddHarmonics(s, freq, 4, [](int h) { return h == 1 ? 1.0 : h == 2 ? 0.45 : h == 3 ? 0.2 : 0.08; });
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    s[i] *= velocity * env[i] * (0.35 + 0.65 * std::exp(-t / 0.35));
  }
  return s;
}

Samples Reed(double freq, double seconds, double velocity, Rng&) {
  // Free reeds buzz with strong odd harmonics. Two reeds a few cents apart
  // beat slowly, the warm wobble of an accordion or mouth organ.
  Samples env = HeldEnvelope(seconds, 0.03, 0.07);
  Samples s(env.size());
  auto amp = [](int h) { return (h % 2 ? 1.0 : 0.45) / h; };
  AddHarmonics(s, freq, 10, amp, 0.0, 0.004, 0.15);
  AddHarmonics(s, freq, 10, amp, 7.0, 0.004, 0.15);
  for (size_t i = 0; i < s.size(); ++i) s[i] *= 0.5 * velocity * env[i];
  return s;
}

Samples SoftPad(double freq, double seconds, double velocity, Rng&) {
  Samples env = HeldEnvelope(seconds, 0.4, 0.7);
  Samples s(env.size());
  AddHarmonics(s, freq, 3, [](int h) { return h == 1 ? 1.0 : h == 2 ? 0.2 : 0.08; });
  AddHarmonics(s, freq, 1, [](int) { return 0.5; }, 5.0);
  for (size_t i = 0; i < s.size(); ++i) s[i] *= velocity * env[i];
  return s;
}

Samples Kick(double, double, double velocity, Rng&) {
  // A drum head's pitch falls as the stretch from the strike relaxes.
  Samples s(Frames(0.3));
  double phase = 0.0;
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    phase += (48.0 + 70.0 * std::exp(-t / 0.03)) / kRate;
    s[i] = velocity * std::exp(-t / 0.09) * std::sin(2 * kPi * phase);
  }
  return s;
}

Samples BrushSnare(double, double, double velocity, Rng& rng) {
  Samples s(Frames(0.25));
  Biquad band = Biquad::BandPass(2200, 0.6);
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    s[i] = velocity * std::exp(-t / 0.06) * band.Process(rng.Bipolar());
  }
  AddMode(s, 0, 185, 0.3 * velocity, 0.12);
  return s;
}

Samples HiHat(double, double, double velocity, Rng& rng) {
  Samples s(Frames(0.08));
  Biquad high = Biquad::HighPass(2600, 0.7);
  for (size_t i = 0; i < s.size(); ++i) {
    const double t = static_cast<double>(i) / kRate;
    s[i] = velocity * std::exp(-t / 0.018) * high.Process(rng.Bipolar());
  }
  return s;
}

}  // namespace sonavelt::soundgen
