#include "data/soundgen/signal.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace sonavelt::soundgen {

int Frames(double seconds, int rate) {
  return static_cast<int>(std::lround(seconds * rate));
}

uint64_t Rng::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double Rng::Uniform() {
  // The top 53 bits fill a double's mantissa exactly.
  return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0);
}

Biquad::Biquad(Kind kind, double freq, double q, int rate) : kind_(kind), q_(q), rate_(rate) {
  Design(freq);
}

Biquad Biquad::LowPass(double freq, double q, int rate) {
  return Biquad(Kind::kLowPass, freq, q, rate);
}
Biquad Biquad::HighPass(double freq, double q, int rate) {
  return Biquad(Kind::kHighPass, freq, q, rate);
}
Biquad Biquad::BandPass(double freq, double q, int rate) {
  return Biquad(Kind::kBandPass, freq, q, rate);
}

void Biquad::Retune(double freq) { Design(freq); }

void Biquad::Design(double freq) {
  // Keep the corner safely below Nyquist; a sweep may ask for more.
  freq = std::clamp(freq, 10.0, 0.45 * rate_);
  const double w = 2.0 * kPi * freq / rate_;
  const double alpha = std::sin(w) / (2.0 * q_);
  const double cw = std::cos(w);
  const double a0 = 1.0 + alpha;
  switch (kind_) {
    case Kind::kLowPass:
      b0_ = (1.0 - cw) / 2.0;
      b1_ = 1.0 - cw;
      b2_ = b0_;
      break;
    case Kind::kHighPass:
      b0_ = (1.0 + cw) / 2.0;
      b1_ = -(1.0 + cw);
      b2_ = b0_;
      break;
    case Kind::kBandPass:
      b0_ = alpha;
      b1_ = 0.0;
      b2_ = -alpha;
      break;
  }
  b0_ /= a0;
  b1_ /= a0;
  b2_ /= a0;
  a1_ = -2.0 * cw / a0;
  a2_ = (1.0 - alpha) / a0;
}

double Biquad::Process(double x) {
  const double y = b0_ * x + b1_ * x1_ + b2_ * x2_ - a1_ * y1_ - a2_ * y2_;
  x2_ = x1_;
  x1_ = x;
  y2_ = y1_;
  y1_ = y;
  return y;
}

Resonator::Resonator(double freq, double bandwidth, int rate) : rate_(rate) {
  Set(freq, bandwidth);
}

void Resonator::Set(double freq, double bandwidth) {
  const double t = 1.0 / rate_;
  c_ = -std::exp(-2.0 * kPi * bandwidth * t);
  b_ = 2.0 * std::exp(-kPi * bandwidth * t) * std::cos(2.0 * kPi * freq * t);
  a_ = 1.0 - b_ - c_;
}

double Resonator::Process(double x) {
  const double y = a_ * x + b_ * y1_ + c_ * y2_;
  y2_ = y1_;
  y1_ = y;
  return y;
}

void AddMode(Samples& out, int start, double freq, double amp, double decay, bool wrap,
             int rate) {
  const int size = static_cast<int>(out.size());
  if (size == 0 || freq >= 0.5 * rate) return;
  // Ring until the mode is 60 dB down; beyond that it is below 8-bit resolution.
  const int length = std::min(Frames(decay, rate), wrap ? size : size - start);
  const double per_frame = std::exp(std::log(0.001) / (decay * rate));
  const double w = 2.0 * kPi * freq / rate;
  // A rotating phasor costs one complex multiply per frame instead of a sin and an exp.
  double re = 0.0, im = amp;
  const double cr = per_frame * std::cos(w), ci = per_frame * std::sin(w);
  for (int i = 0; i < length; ++i) {
    int at = start + i;
    if (at >= size) {
      if (!wrap) break;
      at %= size;
    }
    if (at >= 0) out[at] += re;
    const double nre = re * cr - im * ci;
    im = re * ci + im * cr;
    re = nre;
  }
}

void MixAt(Samples& out, const Samples& in, int start, double gain, bool wrap) {
  const int size = static_cast<int>(out.size());
  if (size == 0) return;
  for (size_t i = 0; i < in.size(); ++i) {
    long at = start + static_cast<long>(i);
    if (wrap) {
      at %= size;
      if (at < 0) at += size;
    } else if (at < 0 || at >= size) {
      continue;
    }
    out[at] += gain * in[i];
  }
}

namespace {

// Comb and all-pass lengths of the classic small-room design, scaled to
// 11025 Hz; mutually prime so their echoes do not line up.
constexpr std::array<int, 4> kCombLengths = {279, 297, 319, 339};
constexpr std::array<int, 2> kAllPassLengths = {139, 110};

struct Comb {
  std::vector<double> line;
  size_t pos = 0;
  double damped = 0.0;
  double Process(double x, double feedback, double damping) {
    const double y = line[pos];
    damped = y * (1.0 - damping) + damped * damping;
    line[pos] = x + damped * feedback;
    pos = (pos + 1) % line.size();
    return y;
  }
};

struct AllPass {
  std::vector<double> line;
  size_t pos = 0;
  double Process(double x) {
    const double delayed = line[pos];
    const double y = -x + delayed;
    line[pos] = x + delayed * 0.5;
    pos = (pos + 1) % line.size();
    return y;
  }
};

}  // namespace

void AddReverb(Samples& s, double wet, double room_size, bool looped) {
  std::array<Comb, 4> combs;
  for (size_t i = 0; i < combs.size(); ++i) combs[i].line.assign(kCombLengths[i], 0.0);
  std::array<AllPass, 2> all_passes;
  for (size_t i = 0; i < all_passes.size(); ++i) all_passes[i].line.assign(kAllPassLengths[i], 0.0);
  const double feedback = 0.7 + 0.28 * room_size;
  const double damping = 0.3;

  Samples out(s.size());
  // A loop is run through the room twice: the second pass starts with the
  // room already ringing from the first, as it does when the piece repeats.
  const int passes = looped ? 2 : 1;
  for (int pass = 0; pass < passes; ++pass) {
    for (size_t i = 0; i < s.size(); ++i) {
      double y = 0.0;
      for (Comb& c : combs) y += c.Process(s[i], feedback, damping);
      y *= 0.25;
      for (AllPass& a : all_passes) y = a.Process(y);
      out[i] = y;
    }
  }
  for (size_t i = 0; i < s.size(); ++i) s[i] += wet * out[i];
}

void BandLimit(Samples& s, double cutoff, bool looped) {
  // Pole-pair q values of a sixth-order Butterworth filter.
  Biquad stages[] = {Biquad::LowPass(cutoff, 0.5176), Biquad::LowPass(cutoff, 0.7071),
                     Biquad::LowPass(cutoff, 1.9319)};
  auto run = [&](double x) {
    for (Biquad& stage : stages) x = stage.Process(x);
    return x;
  };
  if (looped) {
    // Settle the filters on one pass of the loop, so the start is filtered as
    // if it followed the end.
    for (double x : s) run(x);
  }
  for (double& x : s) x = run(x);
}

void RemoveDc(Samples& s) {
  if (s.empty()) return;
  double sum = 0.0;
  for (double x : s) sum += x;
  const double mean = sum / static_cast<double>(s.size());
  for (double& x : s) x -= mean;
}

void FadeEdges(Samples& s, double fade_in, double fade_out) {
  const int size = static_cast<int>(s.size());
  const int in = std::min(Frames(fade_in), size);
  const int out = std::min(Frames(fade_out), size);
  for (int i = 0; i < in; ++i) s[i] *= static_cast<double>(i) / in;
  for (int i = 0; i < out; ++i) s[size - 1 - i] *= static_cast<double>(i) / out;
}

void NormalizePeak(Samples& s, double peak) {
  double max = 0.0;
  for (double x : s) max = std::max(max, std::abs(x));
  if (max <= 0.0) return;
  const double gain = peak / max;
  for (double& x : s) x *= gain;
}

void SoftLimit(Samples& s, double drive) {
  NormalizePeak(s, 1.0);
  const double scale = 1.0 / std::tanh(drive);
  for (double& x : s) x = scale * std::tanh(drive * x);
}

double Lerp(double a, double b, double t) { return a + (b - a) * std::clamp(t, 0.0, 1.0); }

double MidiToHz(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

}  // namespace sonavelt::soundgen
