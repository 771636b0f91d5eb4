#pragma once

#include "data/soundgen/signal.h"

// The noise and percussion family: short event sounds built from filtered
// noise, struck modes and pulse-driven resonances, each under 3 s at kRate.
// They come back raw (levels only roughly set); the generator finishes them.
namespace sonavelt::soundgen {

Samples RainAndPassingTrain();
Samples CarStartingAndPullingAway();
Samples KnocksOnWoodenDoor();
Samples CorkPopAndFizz();
Samples SkidAndCrash();
Samples CreakingDoorClosing();

}  // namespace sonavelt::soundgen
