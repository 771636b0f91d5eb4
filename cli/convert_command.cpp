// sonavelt-cli convert SOUND [OUT]: one sound file into the player's .au
// file, with the same check, reader, rate change, encoder and header as a
// run, so both commands say the same about the same file.
//
// Exit status: 0 converted; 1 the sound was refused (its message on standard
// error), the output could not be written or is the sound itself, or the
// command was interrupted; 2 bad arguments. OUT appears only when complete.

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/terminal_user_interface.h"
#include "run/sound_files.h"

namespace sonavelt::cli {

namespace {

const char kUsage[] =
    "usage: sonavelt-cli convert SOUND [OUT]\n"
    "  Converts the sound file SOUND (WAVE, Sun .au, MP3, FLAC, Ogg Vorbis or Opus,\n"
    "  AIFF) into an 8000 Hz mono mu-law .au file, checked as a run checks it; an\n"
    "  .au that already is one is copied unchanged.\n"
    "  Sound files: .wav .au .mp3 .flac .ogg .oga .opus .aif .aiff .aifc\n"
    "  (in any letter case), each read as its contents say.\n"
    "  OUT defaults to SOUND's file name with \".au\", in the current folder.\n"
    "  \"--\" ends the options: later arguments are paths even if they start with \"-\".\n";

// Set by SIGINT/SIGTERM; the converter checks it after every piece it reads
// and then removes its unfinished file.
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) { g_interrupted.store(true); }

std::string AbsolutePath(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::absolute(path, ignored).lexically_normal().string();
}

}  // namespace

int RunConvertCommand(const std::vector<std::string>& args) {
  std::vector<std::string> paths;
  bool options_ended = false;
  for (const std::string& arg : args) {
    if (options_ended) {
      paths.push_back(arg);
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--") {
      options_ended = true;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "sonavelt-cli convert: unknown option '%s'\n\n%s", arg.c_str(), kUsage);
      return 2;
    }
    paths.push_back(arg);
  }
  if (paths.empty() || paths.size() > 2 || paths[0].empty() ||
      (paths.size() == 2 && paths[1].empty())) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  // Messages name files by their absolute paths, as a run's do.
  const std::string sound = AbsolutePath(paths[0]);
  // The default name comes from the sound's file name only: a folder such
  // as "my.wavs" must not name (and overwrite) a file here.
  const std::string out = AbsolutePath(paths.size() == 2 ? paths[1] : run::ConvertedNameOf(sound));

  // No format question here: the command was asked to convert.
  TerminalUserInterface ui(TerminalUserInterface::Answer::kYes);
  if (Status readable = run::CheckSoundReadable(sound); !readable.ok()) {
    Show(ui, readable);
    return 1;
  }
  // The output replaces OUT only at the end, but replacing the sound itself
  // (by its own name, a link or another path to it) would lose it.
  if (run::IsSameFile(sound, out) || sound == out) {
    std::fprintf(stderr, "sonavelt-cli convert: %s is the sound itself; choose another OUT\n",
                 out.c_str());
    return 1;
  }

  if (Status named = run::CheckSoundName(sound); !named.ok()) {
    Show(ui, named);
    return 1;
  }
  // The run's check, without its format question: the command was asked
  // to convert.
  if (Status checked = run::CheckSoundContents(sound, ui); !checked.ok()) {
    Show(ui, checked);
    return 1;
  }

  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  // A second signal ends the command at once; its output only ever appears
  // whole, so nothing half-written is left under the output's name.
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  const Status converted = run::ConvertSound(sound, out, &g_interrupted);
  if (converted.cancelled()) {
    std::fprintf(stderr, "sonavelt-cli convert: interrupted; %s was not written\n", out.c_str());
    return 1;
  }
  Show(ui, converted);
  return converted.ok() ? 0 : 1;
}

}  // namespace sonavelt::cli
