#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/stored_history.h"  // kMaxSoundCombinations

// What a run is asked to do: the page, the sounds, the options, and where the
// program keeps its own files. Filled by the front ends (and the stored
// history), read by the run. Plain values: copy them freely.
namespace sonavelt::run {

// Where the HTML page lives.
struct PageTarget {
  bool is_remote = false;
  std::string local_html_path;  // full local path
  std::string remote_site;      // FTP server name
  std::string remote_path;      // path of the page on the server, always beginning with "/"
  // The rest of the site's identity, for the lock on it: "ftp", "ftpes",
  // "ftps" or "sftp" (empty: "ftp"), the login name, the port (0: the scheme's).
  std::string remote_scheme;
  std::string remote_user;
  uint16_t remote_port = 0;
};

// combination_count lists of full sound paths; entry k of the three lists is
// sound combination k + 1.
struct SoundSet {
  int combination_count = 4;
  std::vector<std::string> entrance_sounds;
  std::vector<std::string> exit_sounds;
  std::vector<std::string> background_sounds;
};

// Where the browser player shows its control: where the page's block is, or
// fixed in a corner of the window (it then stays in view while the visitor
// scrolls).
enum class PlayerPosition { kInBlock, kTopLeft, kTopRight, kBottomLeft, kBottomRight };

struct RunOptions {
  bool random_order = true;
  bool safety_key = false;
  bool no_background = false;
  bool background_initially_on = false;
  bool entrance_on = true;
  bool exit_on = true;
  bool invisible_applet = false;
  // The page also loads the JavaScript player (sonavelt-player.js, copied
  // beside it), for browsers that no longer run applets: on unless the user
  // turns it off, which gives exactly the applet block.
  bool browser_player = true;
  PlayerPosition player_position = PlayerPosition::kInBlock;
  std::string page_url;  // the page's absolute HTTP URL; empty when not given
};

// The install folder and the folders and files derived from it.
struct InstallPaths {
  std::string install_folder;
  // The process's private work folder (a WorkFolder), filled by the front
  // end; empty: each run makes its own in the user's cache folder.
  std::string cache_folder;
  std::string history_folder;     // settings pages, one per page file name
  std::string applet_class_path;  // the applet class file copied beside the page
  std::string player_script_path;  // the browser player copied beside the page (browser_player)
  // The page a run takes when none is given or stored: the user's own copy
  // of the shipped sample page (MakeSampleCopy makes it), so the install
  // folder's copy is never edited.
  std::string sample_page;
};

}  // namespace sonavelt::run
