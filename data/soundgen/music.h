#pragma once

#include "data/soundgen/signal.h"

// The music family: the site jingle and the four background loops, at kRate.
namespace sonavelt::soundgen {

// A bright rising chime that announces the site, under 3 s, finished except
// for the level.
Samples SiteJingle();

// Background pieces, each a whole number of bars whose last frame runs into
// the first: every note rings on across the end into the start, so a player
// that repeats the file hears no seam. Finished except for the level.
Samples LullabyLoop();
Samples WaltzLoop();
Samples BluesLoop();
Samples MarimbaLoop();

}  // namespace sonavelt::soundgen
