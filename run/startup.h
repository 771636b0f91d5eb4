#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "run/run_history.h"
#include "run/run_inputs.h"
#include "transport/page_transport.h"

// What the program settles when it starts: the install folder and the folders
// derived from it, the built-in defaults, and the choices of the last
// completed run.
namespace sonavelt::run {

// Names of the install folder's items, relative to it, with "/" separators
// (the class file's, kAppletClassFileName, is in page_transport.h).
// The browser player: its name beside the page, and where the install folder
// keeps it.
inline constexpr char kPlayerScriptFileName[] = "sonavelt-player.js";
inline constexpr char kPlayerScriptInstallPath[] = "player/sonavelt-player.js";
inline constexpr char kSamplePage[] = "samples/sample.htm";
// Where the user's copy of the sample page lives, in the user's data folder.
inline constexpr char kUserSampleFolder[] = "sonavelt/sample";
inline constexpr char kFallbackSound[] = "audio/hi.au";
inline constexpr char kHistoryFolderName[] = "HISTORY";
// Present in an install folder that a package manager owns (put there by the
// system package): the programs never write into it, not even as root.
inline constexpr char kSystemWideMarker[] = "system-wide";

// The default sound texts: kDefaultSoundsPerRole paths relative to the install
// folder's "audio" folder, each followed by ";".
inline constexpr int kDefaultSoundsPerRole = 4;
inline constexpr char kDefaultEntranceSounds[] =
    "ad/sonavelt.wav;event/raintrain.wav;event/car1.wav;event/knockdoor.wav;";
inline constexpr char kDefaultExitSounds[] =
    "event/champagne.wav;event/laugh3.wav;event/carcrash2.wav;event/doornoise2.wav;";
inline constexpr char kDefaultBackgroundSounds[] =
    "bg/lullaby.wav;bg/waltz.wav;bg/blues.wav;bg/marimba.wav;";

// The install folder: `app_path` (the stored "AppPath") when not empty; else
// `program_folder` + "/../share/sonavelt" when that folder exists (the layout
// of an installed or built program); else `current_folder`.
// `program_folder` is the folder of the running executable; may be empty.
std::string ChooseInstallFolder(const std::string& app_path, const std::string& program_folder,
                                const std::string& current_folder);

// The folder of the running executable (from /proc/self/exe); empty when it
// cannot be found.
std::string ProgramFolder();

// The install paths for `install_folder`. HISTORY lives inside it when it is
// writable and does not hold kSystemWideMarker; otherwise (a system-wide
// install) it goes to `user_data_folder` + "/sonavelt" instead. The applet
// class file and the browser player always come from the install folder. The
// work folder (cache_folder) is left empty: the front end makes a private one
// (WorkFolder) and puts its path there; nothing is ever written to or removed
// from the install folder's "Cache". The sample page a run starts from is
// `user_data_folder` + "/sonavelt/sample/sample.htm" (the install folder's
// own only when `user_data_folder` is empty).
InstallPaths MakeInstallPaths(const std::string& install_folder,
                              const std::string& user_data_folder);

// $XDG_DATA_HOME, else $HOME/.local/share; empty when neither is set.
std::string UserDataFolder();

// True when a file can be created in `folder`, tried with
// file_io::ProbeFolderWrite, so nothing is left in the folder even when the
// program is killed. Names left by older versions' probes
// (".sonavelt-write-probe-PID") whose process is gone are removed.
bool IsWritableFolder(const std::string& folder);

// Makes the user's copy of the sample page (paths.sample_page) from the
// install folder's when it is not there yet: its folder is made, the copy
// is written atomically (0644). An existing copy is left as it is (the
// user's runs have edited it). Fails with the system's words.
Status MakeSampleCopy(const InstallPaths& paths);

// The choices the wizard and the command line start from.
struct StartUpChoices {
  PageTarget page;
  SoundSet sounds;  // the count only: the lists are sized later (SoundListSizer)
  RunOptions options;
};

// From the stored history: the stored page, or the user's copy of the
// sample page (paths.sample_page) when none is stored or the stored one is
// the install folder's sample page; the stored count; the stored switches, with
// random order on, the safety key off and no page URL.
StartUpChoices ChoicesFromHistory(const StoredHistory& stored, const InstallPaths& paths);

}  // namespace sonavelt::run
