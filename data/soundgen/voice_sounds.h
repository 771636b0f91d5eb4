#pragma once

#include "data/soundgen/signal.h"

// The vocal family: a glottal pulse train shaped by formant resonators.
namespace sonavelt::soundgen {

// "ha-ha-ha-ha-haa" at kRate, under 2 s.
Samples ShortLaugh();

// A short "hi": breath, then a vowel gliding from "a" to "i" on two formants.
// Made directly at `rate` (the .au fallback sound is 8000 Hz).
Samples HiBlip(int rate);

}  // namespace sonavelt::soundgen
