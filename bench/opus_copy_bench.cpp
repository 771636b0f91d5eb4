// Times the browser copy (decode, resample to 48000 Hz, Opus encode, Ogg
// write) against Debian's opusenc on the same inputs at the same bitrate,
// run after run, alternating, so both see the same machine load.
//
//   opus_copy_bench [--runs N] [--combinations N] [INPUT...]
//
// Then the copies of a whole run: N combinations (default 16) of three
// sounds each (entrance and exit 5 s of 16-bit mono at 22050 Hz, background
// 30 s of 16-bit stereo at 44100 Hz, all different), made as a run makes
// them (MakeBrowserCopies: spread over the cores, the backgrounds as loops)
// against opusenc on the same files one after another. The goal is at most
// 1/cores of opusenc's time. Last, the same sounds as FLAC through a run's
// whole sound work (.au files and copies): each sound decoded twice, the
// copies after the conversions, against decoded once, the copies made while
// the next sounds convert; the .au files of both must be identical.
//
// Without inputs it makes three with sox in a scratch folder: 3 minutes of
// 16-bit stereo at 44100 Hz (a plucked chord sequence over noise, like
// background music), the same as FLAC, and 1 minute of 16-bit mono at
// 22050 Hz. Each line gives the median wall time of both, their ratio and the
// output sizes; the last line the ratio over all inputs (sum of medians).
// Never part of the tests. Figures: bench/README.md.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <thread>

#include "audio/browser_copy.h"
#include "audio/sound_decoder.h"
#include "audio/wave_converter.h"
#include "run/browser_copies.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// Runs a program with its output sent to /dev/null; true on exit status 0.
bool Run(const std::vector<std::string>& args) {
  pid_t pid = fork();
  if (pid == 0) {
    std::FILE* null = std::fopen("/dev/null", "w");
    if (null) {
      dup2(fileno(null), 1);
      dup2(fileno(null), 2);
    }
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  int combinations = 16;
  std::vector<std::string> inputs;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--combinations" && i + 1 < argc) {
      combinations = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "-h" || arg == "--help") {
      std::puts("usage: opus_copy_bench [--runs N] [--combinations N] [INPUT...]");
      return 0;
    } else {
      inputs.push_back(arg);
    }
  }
  if (!Run({"opusenc", "--version"})) {
    std::fputs("opus_copy_bench: opusenc not found (Debian package opus-tools)\n", stderr);
    return 2;
  }
  char scratch_template[] = "/tmp/opus-copy-bench-XXXXXX";
  const char* made = mkdtemp(scratch_template);
  if (!made) return 2;
  const std::string scratch = made;
  if (inputs.empty()) {
    const std::string music = scratch + "/music-3min-44k-stereo.wav";
    const std::string flac = scratch + "/music-3min-44k-stereo.flac";
    const std::string voice = scratch + "/tone-1min-22k-mono.wav";
    const std::string chord =
        "synth 180 pluck C3 pluck E3 pluck G3 pluck C4 synth 180 pinknoise mix vol 0.4 "
        "tremolo 0.5 40";
    if (!Run({"sh", "-c", "sox -n -r 44100 -c 2 -b 16 '" + music + "' " + chord}) ||
        !Run({"sox", music, flac}) ||
        !Run({"sh", "-c",
              "sox -n -r 22050 -c 1 -b 16 '" + voice + "' synth 60 sine 300-3000 vol 0.5"})) {
      std::fputs("opus_copy_bench: sox could not make the inputs\n", stderr);
      return 2;
    }
    inputs = {music, flac, voice};
  }

  std::printf("%-34s %9s %9s %7s %10s %10s\n", "input", "ours s", "opusenc s", "ratio",
              "ours B", "opusenc B");
  double ours_total = 0;
  double theirs_total = 0;
  bool failed = false;
  for (const std::string& input : inputs) {
    std::optional<sonavelt::audio::SoundDecoder> probe;
    const sonavelt::Status opened = sonavelt::audio::SoundDecoder::Open(input, &probe);
    if (!opened.ok()) {
      std::fprintf(stderr, "%s: %s\n", input.c_str(), opened.message().c_str());
      failed = true;
      continue;
    }
    const sonavelt::audio::BrowserCopyOptions options;
    const int bitrate = probe->channels() == 1 ? options.mono_bitrate : options.stereo_bitrate;
    const std::string ours_out = scratch + "/ours.opus";
    const std::string theirs_out = scratch + "/theirs.opus";
    std::vector<double> ours, theirs;
    for (int r = 0; r < runs; ++r) {
      Clock::time_point start = Clock::now();
      sonavelt::audio::BrowserCopyInfo info;
      sonavelt::Status status = sonavelt::audio::MakeBrowserCopy(input, ours_out, {}, &info);
      ours.push_back(Seconds(Clock::now() - start));
      if (!status.ok()) {
        std::fprintf(stderr, "%s\n", status.message().c_str());
        failed = true;
        break;
      }
      start = Clock::now();
      // opusenc's own defaults otherwise (complexity 10, VBR), as a user
      // would run it; it reads WAVE, AIFF and FLAC.
      const bool ok = Run({"opusenc", "--quiet", "--bitrate", std::to_string(bitrate / 1000.0),
                           input, theirs_out});
      theirs.push_back(Seconds(Clock::now() - start));
      if (!ok) {
        std::fprintf(stderr, "opusenc failed on %s\n", input.c_str());
        failed = true;
        break;
      }
    }
    if (failed) break;
    const double o = Median(ours);
    const double t = Median(theirs);
    ours_total += o;
    theirs_total += t;
    std::printf("%-34s %9.3f %9.3f %7.2f %10ju %10ju\n", fs::path(input).filename().c_str(), o, t,
                o / t, static_cast<uintmax_t>(fs::file_size(ours_out)),
                static_cast<uintmax_t>(fs::file_size(theirs_out)));
  }
  if (!failed && theirs_total > 0)
    std::printf("ratio_ours_over_opusenc=%.2f (runs=%d, medians summed)\n",
                ours_total / theirs_total, runs);

  // A whole run's copies.
  std::vector<sonavelt::run::RunSound> sounds;
  for (int k = 0; k < combinations && !failed; ++k) {
    for (int role = 0; role < 3; ++role) {
      const std::string name = scratch + "/c" + std::to_string(k) + "-" + std::to_string(role);
      const std::string wave = name + ".wav";
      const std::string effect =
          role < 2 ? "-r 22050 -c 1 -b 16 '" + wave + "' synth 5 sine " + std::to_string(300 + 40 * k) +
                         "-" + std::to_string(2000 + 100 * role) + " vol 0.5"
                   : "-r 44100 -c 2 -b 16 '" + wave + "' synth 30 pluck " + std::to_string(110 + 7 * k) +
                         " synth 30 pinknoise mix vol 0.4 tremolo " + std::to_string(1 + k % 4) + " 40";
      if (!Run({"sh", "-c", "sox -n " + effect})) {
        std::fputs("opus_copy_bench: sox could not make the run's sounds\n", stderr);
        failed = true;
        break;
      }
      sounds.push_back({wave, name + ".au", role == 2});
    }
  }
  if (!failed) {
    const std::string folder = scratch + "/copies";
    fs::create_directories(folder);
    Clock::time_point start = Clock::now();
    sonavelt::run::BrowserCopies copies;
    sonavelt::Status status = sonavelt::run::MakeBrowserCopies(sounds, folder, {}, &copies);
    const double ours = Seconds(Clock::now() - start);
    start = Clock::now();
    for (const sonavelt::run::RunSound& sound : sounds) {
      const int bitrate = sound.loop ? 48 : 32;
      if (!Run({"opusenc", "--quiet", "--bitrate", std::to_string(bitrate), sound.source,
                scratch + "/theirs.opus"})) {
        failed = true;
        break;
      }
    }
    const double theirs = Seconds(Clock::now() - start);
    if (!status.ok() || failed) {
      std::fprintf(stderr, "run copies failed: %s\n", status.message().c_str());
      failed = true;
    } else {
      const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
      std::printf("run of %d combinations (%zu sounds): ours %.2f s, opusenc one after another "
                  "%.2f s, ratio %.2f (goal 1/%u = %.2f: %s)\n",
                  combinations, sounds.size(), ours, theirs, ours / theirs, cores, 1.0 / cores,
                  ours / theirs <= 1.0 / cores ? "met" : "missed");
    }
  }
  // A run's whole sound work, as FLAC sources: each .au converted and then
  // every copy decoding its source again (as runs were made before), against
  // one decoding per sound feeding both, the copies made while the next
  // sounds convert (BrowserCopyMaker, as a run makes them now).
  if (!failed) {
    std::vector<sonavelt::run::RunSound> flac_sounds;
    for (const sonavelt::run::RunSound& sound : sounds) {
      const std::string flac = sound.source.substr(0, sound.source.size() - 4) + ".flac";
      if (!Run({"sox", sound.source, flac})) {
        failed = true;
        break;
      }
      flac_sounds.push_back({flac, "", sound.loop});
    }
    auto convert_all = [&](const std::string& folder, bool one_decoding) {
      fs::create_directories(folder);
      std::vector<sonavelt::run::RunSound> run = flac_sounds;
      for (sonavelt::run::RunSound& sound : run)
        sound.au_path = folder + "/" + fs::path(sound.source).stem().string() + ".au";
      sonavelt::run::BrowserCopies copies;
      bool ok = true;
      if (!one_decoding) {
        for (const sonavelt::run::RunSound& sound : run)
          ok = ok && sonavelt::audio::ConvertWaveFile(sound.source, sound.au_path, {}).outcome ==
                         sonavelt::audio::ConversionOutcome::kConverted;
        return ok && sonavelt::run::MakeBrowserCopies(run, folder, {}, &copies).ok();
      }
      sonavelt::run::BrowserCopyMaker maker(run, folder, {});
      for (const sonavelt::run::RunSound& sound : run) {
        sonavelt::audio::ConversionControl control;
        control.decoded = maker.DecodedSinkFor(sound.au_path);
        ok = ok && sonavelt::audio::ConvertWaveFile(sound.source, sound.au_path, control).outcome ==
                       sonavelt::audio::ConversionOutcome::kConverted;
        maker.Queue(sound.au_path);
      }
      return maker.Finish(&copies).ok() && ok;
    };
    std::vector<double> before, after;
    for (int r = 0; r < std::min(runs, 3) && !failed; ++r) {
      Clock::time_point start = Clock::now();
      failed = !convert_all(scratch + "/before", false);
      before.push_back(Seconds(Clock::now() - start));
      start = Clock::now();
      failed = failed || !convert_all(scratch + "/after", true);
      after.push_back(Seconds(Clock::now() - start));
    }
    bool same = !failed;
    for (const sonavelt::run::RunSound& sound : flac_sounds) {
      const std::string au = fs::path(sound.source).stem().string() + ".au";
      same = same && Run({"cmp", "-s", scratch + "/before/" + au, scratch + "/after/" + au});
    }
    if (!failed)
      std::printf("run of %zu FLAC sounds, .au files and copies: decoded twice, copies after "
                  "%.2f s; decoded once, copies while converting %.2f s; ratio %.2f; "
                  ".au files identical: %s\n",
                  flac_sounds.size(), Median(before), Median(after), Median(after) / Median(before),
                  same ? "yes" : "NO");
    failed = failed || !same;
  }
  std::error_code ignored;
  fs::remove_all(scratch, ignored);
  return failed ? 1 : 0;
}
