#include "data/soundgen/music.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "data/soundgen/instruments.h"

namespace sonavelt::soundgen {

namespace {

// One note of a part, timed in beats from the start of the piece.
struct Note {
  double beat;
  double beats;
  int pitch;  // MIDI note number
  double velocity;
};

// A melody written bar by bar as (length in beats, pitch) steps; pitch 0 rests.
struct Step {
  double beats;
  int pitch;
};

std::vector<Note> Line(double first_beat, std::initializer_list<Step> steps, double velocity) {
  std::vector<Note> notes;
  double beat = first_beat;
  for (const Step& step : steps) {
    if (step.pitch > 0) notes.push_back({beat, step.beats, step.pitch, velocity});
    beat += step.beats;
  }
  return notes;
}

void Append(std::vector<Note>& to, const std::vector<Note>& more) { to.insert(to.end(), more.begin(), more.end()); }

// The pitches of a chord built from `intervals` over `root`, each moved by
// octaves into [low, low + 12) so the voicing stays in one register.
std::vector<int> Voicing(int root, std::initializer_list<int> intervals, int low) {
  std::vector<int> pitches;
  for (int interval : intervals) {
    int p = root + interval;
    while (p < low) p += 12;
    while (p >= low + 12) p -= 12;
    pitches.push_back(p);
  }
  return pitches;
}

// A piece on a beat grid of whole frames, so every bar, and the loop, is a
// whole number of frames long.
class Piece {
 public:
  Piece(int beats, int beat_frames, bool looped)
      : beat_frames_(beat_frames), looped_(looped), mix_(static_cast<size_t>(beats) * beat_frames) {}

  // Renders every note with `instrument` and mixes it in at `gain`. In a loop,
  // whatever rings past the end wraps round to the start.
  void Play(const std::vector<Note>& notes, Instrument instrument, double gain, uint64_t seed) {
    Rng rng(seed);
    for (const Note& note : notes) {
      const double seconds = note.beats * beat_frames_ / kRate;
      Samples sound = instrument(MidiToHz(note.pitch), seconds, note.velocity, rng);
      // Soften the very first millisecond: an instant step would click, most
      // of all when a note starts exactly on the loop point.
      const int ramp = std::min<int>(Frames(0.0015), static_cast<int>(sound.size()));
      for (int i = 0; i < ramp; ++i) sound[i] *= static_cast<double>(i) / ramp;
      MixAt(mix_, sound, static_cast<int>(std::lround(note.beat * beat_frames_)), gain, looped_);
    }
  }

  Samples Finish(double reverb, double room) {
    RemoveDc(mix_);
    AddReverb(mix_, reverb, room, looped_);
    // The reverb's own output has a small offset of its own.
    RemoveDc(mix_);
    return std::move(mix_);
  }

 private:
  int beat_frames_;
  bool looped_;
  Samples mix_;
};

}  // namespace

Samples SiteJingle() {
  // A rising major arpeggio resolving onto a held chord: bright and brief.
  Piece piece(11, Frames(0.25), false);
  const double step = 0.56;  // beats between arpeggio notes
  piece.Play({{0.0, 1, 72, 0.8}, {step, 1, 76, 0.8}, {2 * step, 1, 79, 0.85}, {3 * step, 1, 84, 0.9},
              {2.8, 4, 79, 0.6}, {2.8, 4, 84, 0.7}, {2.8, 4, 88, 0.7}},
             Chime, 0.5, 0x6a696e);
  piece.Play({{2.8, 5, 60, 0.5}, {2.8, 5, 64, 0.5}, {2.8, 5, 67, 0.5}}, SoftPad, 0.25, 0x706164);
  Samples s = piece.Finish(0.18, 0.5);
  FadeEdges(s, 0.002, 0.4);
  return s;
}

Samples LullabyLoop() {
  // F major in 3/4, slow and rocking: a music box over a soft pad.
  constexpr int kBars = 8, kBeatsPerBar = 3;
  Piece piece(kBars * kBeatsPerBar, 10000, true);  // 10000 frames a beat: about 66 beats a minute
  const int roots[kBars] = {53, 58, 53, 48, 53, 58, 48, 53};  // F Bb F C F Bb C F

  std::vector<Note> melody = Line(0, {{2, 81}, {1, 84}, {2, 86}, {1, 82}, {1, 81}, {1, 79}, {1, 77}, {3, 79},
                                      {2, 81}, {1, 84}, {1, 86}, {1, 89}, {1, 86}, {1, 84}, {1, 82}, {1, 79},
                                      {3, 77}},
                                  0.8);
  std::vector<Note> broken_chords, pad, bass;
  for (int bar = 0; bar < kBars; ++bar) {
    const int root = roots[bar];
    const double start = bar * kBeatsPerBar;
    // Root, fifth, octave, tenth and back down, one per half beat.
    const int offsets[6] = {0, 7, 12, 16, 12, 7};
    for (int k = 0; k < 6; ++k) broken_chords.push_back({start + 0.5 * k, 0.5, root + offsets[k], k == 0 ? 0.7 : 0.5});
    for (int p : Voicing(root, {0, 4, 7}, 57)) pad.push_back({start, 3.0, p, 0.5});
    bass.push_back({start, 2.8, root - 12, 0.8});
  }
  piece.Play(melody, MusicBox, 0.55, 1);
  piece.Play(broken_chords, MusicBox, 0.3, 2);
  piece.Play(pad, SoftPad, 0.12, 3);
  piece.Play(bass, SoftPad, 0.3, 4);
  return piece.Finish(0.25, 0.7);
}

Samples WaltzLoop() {
  // G major in 3/4: bass on one, accordion chords on two and three, and an
  // accordion tune on top; the last bar's dominant leads back to the first.
  constexpr int kBars = 16, kBeatsPerBar = 3;
  Piece piece(kBars * kBeatsPerBar, 5000, true);  // about 132 beats a minute
  constexpr int G = 43, D = 50, C = 48;
  const int roots[kBars] = {G, G, D, D, D, D, G, G, G, G, C, C, G, D, G, D};
  const bool seventh[kBars] = {false, false, true, true, true, true, false, false,
                               false, true,  false, false, false, true, false, true};

  std::vector<Note> melody = Line(0, {{2, 74}, {1, 71}, {3, 79}, {2, 78}, {1, 76}, {3, 74},
                                      {2, 72}, {1, 69}, {1, 66}, {1, 69}, {1, 72}, {2, 71}, {1, 74},
                                      {3, 67}, {2, 71}, {1, 74}, {2, 77}, {1, 74}, {2, 76}, {1, 79},
                                      {3, 72}, {1, 71}, {1, 74}, {1, 79}, {2, 81}, {1, 78}, {2, 79},
                                      {1, 74}, {1, 72}, {1, 71}, {1, 69}},
                                  0.75);
  std::vector<Note> chords, bass;
  for (int bar = 0; bar < kBars; ++bar) {
    const double start = bar * kBeatsPerBar;
    const int root = roots[bar];
    // Oom: root on odd bars, the fifth below on even ones, as a tuba would.
    bass.push_back({start, 0.9, bar % 2 == 0 ? root : root - 5, 0.9});
    // Pah-pah: short chords on the second and third beats.
    const std::vector<int> voicing =
        seventh[bar] ? Voicing(root, {0, 4, 7, 10}, 60) : Voicing(root, {0, 4, 7}, 60);
    for (int beat = 1; beat <= 2; ++beat) {
      for (int p : voicing) chords.push_back({start + beat, 0.4, p, beat == 1 ? 0.6 : 0.5});
    }
  }
  piece.Play(melody, Reed, 0.6, 1);
  piece.Play(chords, Reed, 0.16, 2);
  piece.Play(bass, PluckedBass, 0.8, 3);
  return piece.Finish(0.18, 0.5);
}

Samples BluesLoop() {
  // A twelve-bar shuffle in A: boogie bass, electric piano on the off beats,
  // a mouth-organ lick answering itself, brushes and a soft kick.
  constexpr int kBars = 12, kBeatsPerBar = 4;
  constexpr double kSwing = 2.0 / 3.0;  // the shuffle's late off-beat
  Piece piece(kBars * kBeatsPerBar, 5880, true);  // about 112 beats a minute; 5880 = 3 x 1960
  constexpr int A = 45, D = 38, E = 40;
  const int roots[kBars] = {A, A, A, A, D, D, A, A, E, D, A, E};

  std::vector<Note> bass, comp, drums_kick, drums_snare, drums_hat;
  for (int bar = 0; bar < kBars; ++bar) {
    const double start = bar * kBeatsPerBar;
    const int root = roots[bar];
    // Up the chord and back down on alternate bars: the boogie walk.
    const int up[4] = {0, 4, 7, 9}, down[4] = {10, 9, 7, 4};
    for (int beat = 0; beat < 4; ++beat) {
      bass.push_back({start + beat, 0.85, root + (bar % 2 == 0 ? up : down)[beat], beat == 0 ? 0.95 : 0.8});
    }
    const std::vector<int> voicing = Voicing(root, {4, 9, 10}, 57);  // third, thirteenth, seventh
    for (double at : {1.0, 2.0 + kSwing, 3.0}) {
      for (int p : voicing) comp.push_back({start + at, at == 3.0 ? 0.6 : 0.3, p, 0.6});
    }
    for (int beat = 0; beat < 4; ++beat) {
      (beat % 2 == 0 ? drums_kick : drums_snare).push_back({start + beat, 0.5, 0, 0.9});
      drums_hat.push_back({start + beat, 0.3, 0, 0.6});
      drums_hat.push_back({start + beat + kSwing, 0.3, 0, 0.35});
    }
  }

  // The lick over the first chord, played again over the second, then a
  // falling answer and a turnaround that leads back to the top.
  std::vector<Note> lead;
  auto lick = [&](double at, int last) {
    Append(lead, Line(at, {{kSwing, 76}, {1 - kSwing, 79}, {kSwing, 81}, {1 - kSwing, 0}, {1, 79},
                           {kSwing, 76}, {1 - kSwing, 72}, {2.5, last}},
                      0.8));
  };
  lick(0 * kBeatsPerBar, 69);
  lick(4 * kBeatsPerBar, 74);
  Append(lead, Line(8 * kBeatsPerBar, {{kSwing, 83}, {1 - kSwing, 81}, {kSwing, 79}, {1 - kSwing, 76},
                                        {2, 74}, {kSwing, 76}, {1 - kSwing, 74}, {2, 72}, {1, 0},
                                        {3, 69}, {2, 0}, {kSwing, 68}, {1 - kSwing, 71}, {1, 76},
                                        {1, 0}},
                    0.75));
  piece.Play(bass, PluckedBass, 0.7, 1);
  piece.Play(comp, ElectricPiano, 0.18, 2);
  piece.Play(lead, Reed, 0.4, 3);
  piece.Play(drums_kick, Kick, 0.6, 4);
  piece.Play(drums_snare, BrushSnare, 0.35, 5);
  piece.Play(drums_hat, HiHat, 0.25, 6);
  return piece.Finish(0.15, 0.45);
}

Samples MarimbaLoop() {
  // C major in 4/4: rolling marimba arpeggios under a pentatonic tune.
  constexpr int kBars = 8, kBeatsPerBar = 4;
  Piece piece(kBars * kBeatsPerBar, 4800, true);  // about 138 beats a minute
  const int roots[kBars] = {48, 45, 41, 43, 48, 45, 41, 43};  // C Am F G, twice
  const bool minor[kBars] = {false, true, false, false, false, true, false, false};

  std::vector<Note> arpeggio, bass;
  for (int bar = 0; bar < kBars; ++bar) {
    const double start = bar * kBeatsPerBar;
    const int third = minor[bar] ? 3 : 4;
    const int offsets[8] = {0, 7, 12, 12 + third, 19, 12 + third, 12, 7};
    for (int k = 0; k < 8; ++k) arpeggio.push_back({start + 0.5 * k, 0.5, roots[bar] + offsets[k], k % 2 ? 0.55 : 0.7});
    bass.push_back({start, 1.8, roots[bar], 0.8});
    bass.push_back({start + 2, 1.8, roots[bar] - 5, 0.7});  // the fifth below
  }
  std::vector<Note> melody =
      Line(0, {{1, 76}, {1, 79}, {0.5, 81}, {0.5, 79}, {1, 76},
               {1, 72}, {1, 76}, {2, 69},
               {1, 72}, {1, 74}, {1, 77}, {1, 81},
               {2, 79}, {1, 74}, {1, 71},
               {0.5, 84}, {0.5, 81}, {1, 79}, {1, 76}, {1, 79},
               {1, 81}, {1, 76}, {2, 72},
               {1, 77}, {1, 81}, {1, 84}, {1, 81},
               {1, 79}, {1, 74}, {1, 71}, {1, 74}},
           0.85);
  piece.Play(arpeggio, Marimba, 0.35, 1);
  piece.Play(melody, Marimba, 0.6, 2);
  piece.Play(bass, PluckedBass, 0.35, 3);
  return piece.Finish(0.15, 0.4);
}

}  // namespace sonavelt::soundgen
