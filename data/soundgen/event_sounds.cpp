#include "data/soundgen/event_sounds.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace sonavelt::soundgen {

namespace {

struct Mode {
  double freq;
  double amp;
  double decay;  // seconds to -60 dB
};

// Strikes a body described by its modes. Small random detuning and level
// changes per strike keep repeated hits from sounding copy-pasted.
void Strike(Samples& s, double at, std::initializer_list<Mode> modes, double strength, Rng& rng,
            double spread = 0.01) {
  for (const Mode& m : modes) {
    AddMode(s, Frames(at), m.freq * (1.0 + spread * rng.Bipolar()),
            m.amp * strength * rng.Range(0.8, 1.2), m.decay);
  }
}

// A burst of filtered noise with an exponential decay: the contact noise of a
// hit, a puff of gas, the scrape in a crash.
void NoiseBurst(Samples& s, double at, double length, double amp, Biquad filter, Rng& rng) {
  const int start = Frames(at);
  const int frames = Frames(length);
  for (int i = 0; i < frames && start + i < static_cast<int>(s.size()); ++i) {
    const double env = std::exp(-5.0 * i / frames);
    // A 1 ms rise: a real contact is fast but not a single-sample step.
    const double rise = std::min(1.0, i / (0.001 * kRate));
    s[start + i] += amp * env * rise * filter.Process(rng.Bipolar());
  }
}

// How near a passing source is: 1 at `closest` seconds, falling off as the
// inverse square of the distance travelled, `spread` seconds setting the scale.
double Proximity(double t, double closest, double spread) {
  const double d = (t - closest) / spread;
  return 1.0 / (1.0 + d * d);
}

}  // namespace

Samples RainAndPassingTrain() {
  Samples s(Frames(2.9));
  const int n = static_cast<int>(s.size());
  Rng rng(0x7261696e);

  // Rain: a bed of hiss from countless distant drops, gently swelling...
  Biquad hiss_hp = Biquad::HighPass(900, 0.7);
  Biquad hiss_lp = Biquad::LowPass(4200, 0.7);
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kRate;
    s[i] += 0.17 * (1.0 + 0.2 * std::sin(2 * kPi * 0.7 * t)) * hiss_lp.Process(hiss_hp.Process(rng.Bipolar()));
  }
  // ... and near drops, each a tiny bubble ringing at a pitch set by its size.
  for (int k = 0; k < 300; ++k) {
    AddMode(s, static_cast<int>(rng.Uniform() * n), rng.Range(1200, 3600), rng.Range(0.02, 0.12),
            rng.Range(0.004, 0.02));
  }

  // The train is loudest when it passes, 1.45 s in.
  constexpr double kClosest = 1.45, kSpread = 0.7;
  Biquad rumble_lp = Biquad::LowPass(140, 0.9);
  Biquad rumble_lp2 = Biquad::LowPass(240, 0.7);
  for (int i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / kRate;
    s[i] += 2.2 * Proximity(t, kClosest, kSpread) * rumble_lp2.Process(rumble_lp.Process(rng.Bipolar()));
  }
  // Wheels over rail joints: where two cars meet, the rear bogie of one and the
  // front bogie of the next give the familiar clack-clack, clack-clack.
  constexpr double kCarPeriod = 0.64;
  for (double car = 0.05; car < 2.8; car += kCarPeriod) {
    for (double offset : {0.0, 0.075, 0.22, 0.295}) {
      const double t = car + offset;
      const double p = Proximity(t, kClosest, kSpread);
      Strike(s, t, {{170, 0.5, 0.07}, {410, 0.35, 0.05}, {930, 0.25, 0.03}, {2100, 0.12, 0.015}}, p, rng);
      NoiseBurst(s, t, 0.012, 0.5 * p, Biquad::BandPass(1800, 0.8), rng);
    }
  }
  // The horn: a two-note chord whose pitch drops as the train goes by (Doppler).
  const int horn_start = Frames(0.55), horn_end = Frames(1.8);
  Biquad horn_lp = Biquad::LowPass(1800, 0.7);
  double phases[2] = {0.0, 0.0};
  const double base[2] = {311.1, 370.0};
  for (int i = horn_start; i < horn_end; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double doppler = 1.0 - 0.06 * std::tanh((t - kClosest) / 0.2);
    const double env = std::min({1.0, (i - horn_start) / (0.04 * kRate), (horn_end - i) / (0.08 * kRate)});
    double v = 0.0;
    for (int tone = 0; tone < 2; ++tone) {
      phases[tone] += base[tone] * doppler / kRate;
      phases[tone] -= std::floor(phases[tone]);
      // A band-limited buzz: a reed horn is rich in harmonics.
      for (int h = 1; h <= 8; ++h) v += std::sin(2 * kPi * h * phases[tone]) / h;
    }
    s[i] += 0.4 * env * Proximity(t, kClosest, kSpread) * horn_lp.Process(v);
  }
  AddReverb(s, 0.12, 0.5, false);
  return s;
}

Samples CarStartingAndPullingAway() {
  Samples s(Frames(2.9));
  const int n = static_cast<int>(s.size());
  Rng rng(0x63617231);

  // The starter motor whines while each compression stroke loads it, so the
  // whine pulses about nine times a second until the engine catches.
  constexpr double kCatch = 0.85;
  Biquad starter_lp = Biquad::LowPass(1500, 0.7);
  double starter_phase = 0.0;
  for (int i = Frames(0.05); i < Frames(kCatch + 0.05); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double load = std::pow(std::sin(kPi * 9.0 * t), 2.0);
    starter_phase += (170.0 - 40.0 * load) / kRate;
    starter_phase -= std::floor(starter_phase);
    const double saw = 2.0 * starter_phase - 1.0;
    const double env = std::min({1.0, (t - 0.05) / 0.05, (kCatch + 0.05 - t) / 0.05});
    s[i] += 0.35 * env * (0.5 + 0.5 * load) * starter_lp.Process(saw + 0.3 * rng.Bipolar());
  }

  // The engine: one exhaust pulse per cylinder firing, ringing the exhaust
  // pipe's resonances. Firing rate (Hz) over time: catch, idle, a rev, then
  // pulling away in first gear.
  auto firing_rate = [](double t) {
    if (t < 1.0) return Lerp(12, 45, (t - kCatch) / 0.15);
    if (t < 1.35) return Lerp(45, 28, (t - 1.0) / 0.35);
    if (t < 1.75) return Lerp(28, 80, (t - 1.35) / 0.4);
    if (t < 2.05) return Lerp(80, 32, (t - 1.75) / 0.3);
    return Lerp(32, 70, (t - 2.05) / 0.85);
  };
  auto loudness = [](double t) {
    if (t < 2.05) return 1.0;
    return Lerp(1.0, 0.35, (t - 2.05) / 0.85);  // driving off
  };
  Biquad pipe1 = Biquad::BandPass(105, 2.0);
  Biquad pipe2 = Biquad::BandPass(310, 3.0);
  Biquad body = Biquad::LowPass(900, 0.7);
  double phase = 0.0;
  int pulse_left = 0;
  double pulse_amp = 0.0;
  const int pulse_frames = Frames(0.004);
  for (int i = Frames(kCatch); i < n; ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double rate = firing_rate(t);
    phase += rate / kRate;
    if (phase >= 1.0) {
      phase -= 1.0;
      pulse_left = pulse_frames;
      // Cylinders never fire quite alike; faster running also means harder firing.
      pulse_amp = rng.Range(0.75, 1.25) * (0.6 + rate / 100.0);
    }
    double e = 0.0;
    if (pulse_left > 0) {
      e = pulse_amp * (1.0 + 0.5 * rng.Bipolar()) * pulse_left / pulse_frames;
      --pulse_left;
    }
    s[i] += loudness(t) * (2.2 * pipe1.Process(e) + 1.2 * pipe2.Process(e) + 0.35 * body.Process(e));
  }
  AddReverb(s, 0.08, 0.4, false);
  return s;
}

Samples KnocksOnWoodenDoor() {
  Samples s(Frames(1.7));
  Rng rng(0x6b6e6f63);
  // Three quick knocks, a pause, then two more: someone wants in.
  const double times[] = {0.05, 0.27, 0.49, 0.98, 1.18};
  const double strengths[] = {1.0, 0.85, 0.95, 1.0, 0.9};
  for (int k = 0; k < 5; ++k) {
    // A door panel's low plate modes give the hollow "thock"; the knuckle's
    // hard contact adds the click on top.
    Strike(s, times[k],
           {{118, 1.0, 0.16}, {181, 0.8, 0.12}, {262, 0.75, 0.09}, {395, 0.5, 0.07},
            {571, 0.4, 0.05}, {820, 0.25, 0.04}, {1180, 0.15, 0.03}, {1730, 0.08, 0.02}},
           strengths[k], rng, 0.02);
    NoiseBurst(s, times[k], 0.006, 0.6 * strengths[k], Biquad::LowPass(2500, 0.7), rng);
  }
  AddReverb(s, 0.15, 0.35, false);
  return s;
}

Samples CorkPopAndFizz() {
  Samples s(Frames(2.8));
  const int n = static_cast<int>(s.size());
  Rng rng(0x63686d70);

  // The pop: the cork leaving the neck rings the bottle's air like a
  // Helmholtz resonator whose pitch falls as the opening clears.
  constexpr double kPop = 0.2;
  NoiseBurst(s, kPop, 0.004, 0.8, Biquad::BandPass(2200, 0.8), rng);
  double phase = 0.0;
  for (int i = 0; i < Frames(0.09); ++i) {
    const double t = static_cast<double>(i) / kRate;
    phase += Lerp(950, 380, t / 0.03) / kRate;
    s[Frames(kPop) + i] += 0.9 * std::exp(-t / 0.018) * std::sin(2 * kPi * phase);
  }
  // Then the gas rushes out.
  NoiseBurst(s, kPop + 0.005, 0.35, 0.35, Biquad::BandPass(3000, 0.9), rng);

  // The fizz: bubbles bursting at the surface, each a tiny ring; many at
  // first, fewer as the foam settles.
  const int fizz_start = Frames(kPop + 0.08);
  Biquad fizz_hp = Biquad::HighPass(2200, 0.7);
  for (int i = fizz_start; i < n; ++i) {
    const double t = static_cast<double>(i - fizz_start) / kRate;
    const double density = 650.0 * std::exp(-t / 0.9) + 110.0;
    const double level = 0.4 * std::exp(-t / 1.2) + 0.15;
    if (rng.Uniform() < density / kRate) {
      AddMode(s, i, rng.Range(1900, 3600), level * rng.Range(0.15, 0.7), rng.Range(0.002, 0.008));
    }
    s[i] += 0.15 * level * fizz_hp.Process(rng.Bipolar());
  }

  // Cheers: two glasses touch, each ringing at its own pitch, with a slow
  // beat between near-degenerate modes.
  Strike(s, 1.95,
         {{1320, 0.5, 0.8}, {1326, 0.3, 0.8}, {3380, 0.18, 0.35}, {1410, 0.4, 0.7}, {3230, 0.14, 0.3}},
         1.0, rng, 0.0);
  AddReverb(s, 0.1, 0.3, false);
  // The pop is far louder than the fizz; keep the fizz above the 8-bit floor.
  SoftLimit(s, 2.0);
  return s;
}

Samples SkidAndCrash() {
  Samples s(Frames(2.9));
  Rng rng(0x63726173);
  constexpr double kImpact = 1.15;

  // The skid: tyre rubber sticks and slips on the road at about a kilohertz,
  // wavering as the load shifts, over a roar of road noise.
  Biquad road = Biquad::BandPass(1400, 0.6);
  Biquad wobble_lp = Biquad::LowPass(6, 0.7);
  double phase = 0.0;
  for (int i = 0; i < Frames(kImpact); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double wobble = 40.0 * wobble_lp.Process(rng.Bipolar());
    const double freq = Lerp(1080, 860, t / kImpact) + 22.0 * std::sin(2 * kPi * 7.0 * t) + 80.0 * wobble;
    phase += freq / kRate;
    phase -= std::floor(phase);
    const double squeal = std::sin(2 * kPi * phase) + 0.4 * std::sin(4 * kPi * phase) +
                          0.15 * std::sin(6 * kPi * phase);
    const double env = std::min({1.0, t / 0.12, (kImpact - t) / 0.01});
    s[i] += env * (0.4 * squeal + 0.55 * road.Process(rng.Bipolar()));
  }

  // The impact: the car body's low modes...
  Strike(s, kImpact, {{52, 1.2, 0.45}, {83, 1.0, 0.4}, {131, 0.8, 0.3}, {205, 0.5, 0.2}}, 1.0, rng);
  NoiseBurst(s, kImpact, 0.12, 2.0, Biquad::LowPass(900, 0.7), rng);
  NoiseBurst(s, kImpact, 0.3, 0.8, Biquad::BandPass(2500, 0.7), rng);
  // ... sheet metal crumpling in a quick run of smaller hits...
  for (int k = 0; k < 45; ++k) {
    const double u = rng.Uniform();
    const double t = kImpact + 0.35 * u * u;
    const double strength = 0.5 * (1.0 - u);
    for (int m = 0; m < 3; ++m) {
      AddMode(s, Frames(t), rng.Range(280, 3400), strength * rng.Range(0.3, 1.0), rng.Range(0.05, 0.45));
    }
  }
  // ... glass shattering and tinkling down...
  for (int k = 0; k < 70; ++k) {
    const double u = rng.Uniform();
    const double t = kImpact + 0.03 + 0.9 * u * u;
    AddMode(s, Frames(t), rng.Range(2300, 3700), 0.25 * (1.0 - 0.7 * u) * rng.Range(0.3, 1.0),
            rng.Range(0.01, 0.09));
  }
  // ... and loose parts coming to rest.
  for (double t : {1.62, 1.86, 2.17}) {
    Strike(s, t, {{240, 0.25, 0.1}, {610, 0.18, 0.07}, {1320, 0.1, 0.04}}, 1.0, rng, 0.1);
  }
  AddReverb(s, 0.18, 0.5, false);
  SoftLimit(s, 2.5);
  return s;
}

Samples CreakingDoorClosing() {
  Samples s(Frames(2.5));
  Rng rng(0x646f6f72);

  // The creak: a dry hinge sticks and slips. Each slip is a small impulse that
  // rings the door's resonances; the slip rate wanders with the swing speed.
  constexpr double kCreakStart = 0.05, kCreakEnd = 1.6;
  Biquad res[] = {Biquad::BandPass(420, 9), Biquad::BandPass(880, 11), Biquad::BandPass(1530, 12),
                  Biquad::BandPass(2350, 10)};
  const double res_gain[] = {1.0, 0.8, 0.55, 0.3};
  Biquad wander_lp = Biquad::LowPass(3, 0.7);
  double phase = 0.0;
  for (int i = Frames(kCreakStart); i < Frames(kCreakEnd); ++i) {
    const double t = static_cast<double>(i) / kRate;
    const double x = (t - kCreakStart) / (kCreakEnd - kCreakStart);
    const double rate = 35.0 + 70.0 * std::sin(kPi * x) * (0.8 + 0.2 * std::sin(2 * kPi * 2.3 * t)) +
                        400.0 * wander_lp.Process(rng.Bipolar());
    phase += std::max(rate, 15.0) / kRate;
    double e = 0.0;
    if (phase >= 1.0) {
      phase -= 1.0;
      e = rng.Range(0.6, 1.4);
    }
    const double env = std::min({1.0, x / 0.12, (1.0 - x) / 0.06}) * (0.7 + 0.3 * std::sin(kPi * x));
    double v = 0.0;
    for (int r = 0; r < 4; ++r) v += res_gain[r] * res[r].Process(e);
    s[i] += 8.0 * env * v;
  }

  // The door meets its frame: a heavy low thud...
  constexpr double kThud = 1.75;
  Strike(s, kThud, {{64, 1.3, 0.28}, {97, 1.0, 0.22}, {151, 0.7, 0.16}, {236, 0.45, 0.1}, {402, 0.25, 0.06}},
         1.0, rng);
  NoiseBurst(s, kThud, 0.04, 0.9, Biquad::LowPass(700, 0.7), rng);
  // ... and the latch clicks home.
  Strike(s, kThud + 0.035, {{2650, 0.3, 0.02}, {3320, 0.2, 0.015}}, 1.0, rng);
  Strike(s, kThud + 0.062, {{2480, 0.15, 0.015}, {3150, 0.1, 0.012}}, 1.0, rng);
  AddReverb(s, 0.22, 0.5, false);
  return s;
}

}  // namespace sonavelt::soundgen
