#pragma once

#include <cstdint>
#include <vector>

// The small signal toolkit shared by the sound families: a seeded noise
// source, a few filters, and the mixing and finishing steps. Everything works
// on doubles in [-1, 1] at kRate frames per second unless a function takes a
// rate of its own.
namespace sonavelt::soundgen {

// The rate of every shipped WAVE file: the default sounds are stored at
// 11025 Hz so that a run with the defaults needs no format change.
inline constexpr int kRate = 11025;
inline constexpr double kPi = 3.14159265358979323846;

using Samples = std::vector<double>;

// Frames in `seconds` at `rate`, rounded to the nearest frame.
int Frames(double seconds, int rate = kRate);

// A small 64-bit generator (splitmix64). The standard library's distributions
// are not specified bit for bit, so the sounds draw from this one to come out
// identical on every build.
class Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next();
  double Uniform();                          // [0, 1)
  double Bipolar() { return 2.0 * Uniform() - 1.0; }  // [-1, 1)
  double Range(double lo, double hi) { return lo + (hi - lo) * Uniform(); }

 private:
  uint64_t state_;
};

// A second-order section with the usual cookbook designs. Band pass has unit
// gain at its centre, so q sets the width without changing the level.
class Biquad {
 public:
  static Biquad LowPass(double freq, double q, int rate = kRate);
  static Biquad HighPass(double freq, double q, int rate = kRate);
  static Biquad BandPass(double freq, double q, int rate = kRate);

  double Process(double x);
  // Moves the centre or corner frequency without resetting the state, for
  // sweeps; the filter keeps its type and q.
  void Retune(double freq);

 private:
  enum class Kind { kLowPass, kHighPass, kBandPass };
  Biquad(Kind kind, double freq, double q, int rate);
  void Design(double freq);

  Kind kind_;
  double q_;
  int rate_;
  double b0_ = 0, b1_ = 0, b2_ = 0, a1_ = 0, a2_ = 0;
  double x1_ = 0, x2_ = 0, y1_ = 0, y2_ = 0;
};

// A two-pole resonator with unit gain at 0 Hz (a formant of a cascade voice
// model): bandwidth in Hz, not q, because formant tables give bandwidths.
class Resonator {
 public:
  Resonator(double freq, double bandwidth, int rate);
  void Set(double freq, double bandwidth);
  double Process(double x);

 private:
  int rate_;
  double a_ = 0, b_ = 0, c_ = 0, y1_ = 0, y2_ = 0;
};

// Adds a decaying sinusoid, the sound of one mode of a struck body, to `out`
// from frame `start` on. `decay` is the time to fall by 60 dB. A mode that
// would run past the end is cut there, or wraps round to the start when
// `wrap` is set (for loops).
void AddMode(Samples& out, int start, double freq, double amp, double decay,
             bool wrap = false, int rate = kRate);

// out[start + i] += gain * in[i]; past the end the rest is dropped, or wraps
// to the start when `wrap` is set.
void MixAt(Samples& out, const Samples& in, int start, double gain, bool wrap = false);

// A small room (four combs and two all-passes). When `looped` the signal is
// treated as endlessly repeating: the tail that would ring past the end rings
// into the start instead, so a loop keeps its seam.
void AddReverb(Samples& s, double wet, double room_size, bool looped);

// Finishing steps, in the order the generator applies them.
// A steep (sixth-order Butterworth) low pass. The run turns these files into
// 8000 Hz .au files by dropping samples without any filter, so whatever lies
// above 4 kHz would fold back as harsh aliases; cutting it here keeps the
// converted sounds clean. `looped` as for AddReverb.
void BandLimit(Samples& s, double cutoff, bool looped);
void RemoveDc(Samples& s);
void FadeEdges(Samples& s, double fade_in, double fade_out);
void NormalizePeak(Samples& s, double peak);
// Rounds off the loudest peaks (tanh saturation after levelling to full
// scale) so that a sound with one big hit keeps its quieter parts audible in
// 8 bits. `drive` around 2 to 3 is gentle; 1 leaves the shape almost alone.
void SoftLimit(Samples& s, double drive);

// Linear ramp between two values over [0, 1], clamped.
double Lerp(double a, double b, double t);
// Frequency of a MIDI note number (69 = 440 Hz).
double MidiToHz(double note);

}  // namespace sonavelt::soundgen
