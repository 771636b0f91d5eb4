#include "data/soundgen/voice_sounds.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace sonavelt::soundgen {

namespace {

// What the voice does at one instant.
struct VoiceState {
  double f0 = 120.0;    // pitch, Hz
  double voiced = 0.0;  // level of the vocal folds' buzz
  double breath = 0.0;  // level of turbulent air (an "h")
  double formants[4] = {700, 1200, 2600, 3500};  // Hz; 0 switches one off
};

constexpr double kBandwidths[4] = {90, 110, 170, 250};

// A source-filter voice: the vocal folds give one smooth pulse per period
// (a raised-cosine opening, a quicker closing), turbulent air adds noise, and
// the vocal tract is a cascade of formant resonators. The first difference at
// the end stands for radiation from the lips, which tilts the spectrum up.
Samples Speak(double seconds, int rate, uint64_t seed,
              const std::function<VoiceState(double)>& state_at) {
  Samples out(Frames(seconds, rate));
  Rng rng(seed);
  VoiceState initial = state_at(0.0);
  Resonator tract[4] = {{initial.formants[0], kBandwidths[0], rate},
                        {initial.formants[1], kBandwidths[1], rate},
                        {initial.formants[2], kBandwidths[2], rate},
                        {initial.formants[3], kBandwidths[3], rate}};
  double phase = 0.0, previous = 0.0;
  double jitter = 1.0;
  for (size_t i = 0; i < out.size(); ++i) {
    const double t = static_cast<double>(i) / rate;
    const VoiceState v = state_at(t);
    phase += v.f0 * jitter / rate;
    if (phase >= 1.0) {
      phase -= 1.0;
      // No voice holds its pitch perfectly; a little jitter keeps it human.
      jitter = 1.0 + 0.015 * rng.Bipolar();
    }
    constexpr double kOpen = 0.45, kClose = 0.15;
    double glottis = 0.0;
    if (phase < kOpen) {
      glottis = 0.5 * (1.0 - std::cos(kPi * phase / kOpen));
    } else if (phase < kOpen + kClose) {
      glottis = std::cos(0.5 * kPi * (phase - kOpen) / kClose);
    }
    // Breath noise is strongest while the folds are open.
    double x = v.voiced * glottis + v.breath * rng.Bipolar() * (0.6 + 0.4 * glottis);
    for (int f = 0; f < 4; ++f) {
      if (v.formants[f] <= 0.0 || v.formants[f] >= 0.45 * rate) continue;
      tract[f].Set(v.formants[f], kBandwidths[f]);
      x = tract[f].Process(x);
    }
    out[i] = x - previous;
    previous = x;
  }
  return out;
}

// A smooth 0-1-0 bump over [start, end), with rise and fall times.
double Bump(double t, double start, double end, double rise, double fall) {
  if (t <= start || t >= end) return 0.0;
  return std::min({1.0, (t - start) / rise, (end - t) / fall});
}

}  // namespace

Samples ShortLaugh() {
  // Five syllables, about five a second as laughs go, each an "h" running into
  // an open "a"; pitch and energy sink through the laugh, and the last one is
  // drawn out.
  constexpr int kSyllables = 5;
  constexpr double kFirst = 0.04, kSpacing = 0.2;
  auto state_at = [](double t) {
    VoiceState v;
    v.formants[0] = 780;
    v.formants[1] = 1240;
    v.formants[2] = 2650;
    v.formants[3] = 3600;
    const int k = std::clamp(static_cast<int>((t - kFirst) / kSpacing), 0, kSyllables - 1);
    const double start = kFirst + k * kSpacing;
    const double length = k == kSyllables - 1 ? 0.42 : 0.15;
    const double energy = 1.0 - 0.12 * k;
    const double into = (t - start) / length;
    v.f0 = (290.0 - 18.0 * k) * (1.0 - 0.12 * std::clamp(into, 0.0, 1.0));
    v.breath = 0.35 * energy * Bump(t, start, start + 0.07, 0.01, 0.04);
    v.voiced = energy * Bump(t, start + 0.035, start + length, 0.02, k == kSyllables - 1 ? 0.2 : 0.05);
    // The jaw closes a little at the end of each "ha".
    v.formants[0] *= 1.0 - 0.2 * std::clamp(into, 0.0, 1.0);
    return v;
  };
  Samples s = Speak(1.4, kRate, 0x6c617567, state_at);
  AddReverb(s, 0.1, 0.3, false);
  return s;
}

Samples HiBlip(int rate) {
  auto state_at = [](double t) {
    VoiceState v;
    const double glide = std::clamp((t - 0.12) / 0.18, 0.0, 1.0);
    v.formants[0] = Lerp(760, 290, glide);
    v.formants[1] = Lerp(1250, 2250, glide);
    v.formants[2] = 0;  // two formants are enough for a recognisable "hi"
    v.formants[3] = 0;
    // Friendly intonation: up, then down.
    v.f0 = t < 0.15 ? Lerp(165, 200, t / 0.15) : Lerp(200, 150, (t - 0.15) / 0.25);
    v.breath = 0.06 * Bump(t, 0.0, 0.09, 0.02, 0.04);
    v.voiced = Bump(t, 0.06, 0.42, 0.03, 0.08);
    return v;
  };
  Samples s = Speak(0.45, rate, 0x6869, state_at);
  // With only two formants the second one sits low under the first's skirt;
  // a gentle treble lift keeps the "i" bright enough to be heard as one.
  double previous = 0.0;
  for (double& x : s) {
    const double lifted = x - 0.6 * previous;
    previous = x;
    x = lifted;
  }
  return s;
}

}  // namespace sonavelt::soundgen
