#pragma once

#include "data/soundgen/signal.h"

// The music family's instruments. Each renders one note at kRate: `freq` in
// Hz, `seconds` how long the note is held (struck instruments ring on past
// it), `velocity` in (0, 1]. The result holds the whole note, release and
// ringing included, starting at the attack.
namespace sonavelt::soundgen {

using Instrument = Samples (*)(double freq, double seconds, double velocity, Rng& rng);

Samples MusicBox(double freq, double seconds, double velocity, Rng& rng);
Samples Chime(double freq, double seconds, double velocity, Rng& rng);
Samples Marimba(double freq, double seconds, double velocity, Rng& rng);
Samples ElectricPiano(double freq, double seconds, double velocity, Rng& rng);
Samples PluckedBass(double freq, double seconds, double velocity, Rng& rng);
Samples Reed(double freq, double seconds, double velocity, Rng& rng);
Samples SoftPad(double freq, double seconds, double velocity, Rng& rng);
// Drums ignore `freq`.
Samples Kick(double freq, double seconds, double velocity, Rng& rng);
Samples BrushSnare(double freq, double seconds, double velocity, Rng& rng);
Samples HiHat(double freq, double seconds, double velocity, Rng& rng);

}  // namespace sonavelt::soundgen
