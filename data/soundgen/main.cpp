// sonavelt-soundgen OUTDIR: writes the sounds the program ships into OUTDIR
// (the install folder's "audio" folder). Every sound is synthesised from fixed
// seeds, so each build writes the same bytes.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "data/soundgen/event_sounds.h"
#include "data/soundgen/music.h"
#include "data/soundgen/signal.h"
#include "data/soundgen/sound_files.h"
#include "data/soundgen/voice_sounds.h"

namespace sonavelt::soundgen {
namespace {

// -3 dBFS: loud enough next to other sounds, with headroom for the .au
// conversion's rounding.
constexpr double kPeak = 0.708;

// Event sounds may be cut anywhere, so they fade in and out briefly and are
// levelled. Loops must not be touched at their ends.
// Keeps the sounds below the .au files' 4 kHz limit (see BandLimit).
constexpr double kCutoff = 3500.0;

Samples FinishEvent(Samples s) {
  BandLimit(s, kCutoff, false);
  RemoveDc(s);
  FadeEdges(s, 0.003, 0.08);
  NormalizePeak(s, kPeak);
  return s;
}

Samples FinishLoop(Samples s) {
  BandLimit(s, kCutoff, true);
  RemoveDc(s);
  NormalizePeak(s, kPeak);
  return s;
}

struct Output {
  const char* path;  // relative to the output folder
  std::function<Samples()> make;
};

int Run(const std::filesystem::path& out_dir) {
  const std::vector<Output> outputs = {
      {"ad/sonavelt.wav", [] { return FinishEvent(SiteJingle()); }},
      {"event/raintrain.wav", [] { return FinishEvent(RainAndPassingTrain()); }},
      {"event/car1.wav", [] { return FinishEvent(CarStartingAndPullingAway()); }},
      {"event/knockdoor.wav", [] { return FinishEvent(KnocksOnWoodenDoor()); }},
      {"event/champagne.wav", [] { return FinishEvent(CorkPopAndFizz()); }},
      {"event/laugh3.wav", [] { return FinishEvent(ShortLaugh()); }},
      {"event/carcrash2.wav", [] { return FinishEvent(SkidAndCrash()); }},
      {"event/doornoise2.wav", [] { return FinishEvent(CreakingDoorClosing()); }},
      {"bg/lullaby.wav", [] { return FinishLoop(LullabyLoop()); }},
      {"bg/waltz.wav", [] { return FinishLoop(WaltzLoop()); }},
      {"bg/blues.wav", [] { return FinishLoop(BluesLoop()); }},
      {"bg/marimba.wav", [] { return FinishLoop(MarimbaLoop()); }},
  };
  std::error_code error;
  for (const char* folder : {"ad", "event", "bg"}) {
    std::filesystem::create_directories(out_dir / folder, error);
    if (error) {
      std::fprintf(stderr, "sonavelt-soundgen: creating %s: %s\n", (out_dir / folder).string().c_str(),
                   error.message().c_str());
      return 1;
    }
  }
  auto write = [&](const std::string& name, const std::string& bytes) {
    const std::string path = (out_dir / name).string();
    if (!WriteBytes(path, bytes)) {
      std::fprintf(stderr, "sonavelt-soundgen: writing %s failed\n", path.c_str());
      return false;
    }
    return true;
  };
  for (const Output& output : outputs) {
    if (!write(output.path, WaveBytes(output.make()))) return 1;
  }
  // The fallback sound is played by the applet as it is, so it is made
  // directly in the applet's own format and rate.
  constexpr int kAuRate = 8000;
  Samples hi = HiBlip(kAuRate);
  RemoveDc(hi);
  NormalizePeak(hi, kPeak);
  if (!write("hi.au", AuBytes(hi, kAuRate))) return 1;
  return 0;
}

}  // namespace
}  // namespace sonavelt::soundgen

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sonavelt-soundgen OUTDIR\n");
    return 2;
  }
  return sonavelt::soundgen::Run(argv[1]);
}
