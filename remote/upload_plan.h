#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "transport/page_transport.h"

// What a publish sends, in which order, how and over how many connections:
// plain data, decided once from the run's files and the live page before a
// byte moves. The transfer (transfers.h) carries it out.
namespace sonavelt::remote {

// The remote names of one run, derived from the page's remote path.
struct RemoteLayout {
  explicit RemoteLayout(std::string_view remote_page_path);
  std::string page_path;     // "/www/index.html"
  std::string folder;        // "/www"; empty for a page in the root
  std::string audio_folder;  // folder + "/audio"
  std::string SoundPath(std::string_view local_sound) const;  // audio folder + "/" + file name
  std::string ClassPath() const;                               // folder + "/" + class file name
  std::string BesidePage(std::string_view local_file) const;    // folder + "/" + its file name
};

// One file beside the page.
struct PlannedFile {
  std::string local;   // its bytes, in the run's work folder; a text file's name
  std::string remote;  // its path on the site
  // A text file's bytes (the resource and data files), made in memory.
  std::optional<std::string> text;
  // Reported to the observer; the browser player's copies and data files are
  // not (the progress counts the same files with or without them).
  bool announced = true;
  // The live page does not name it, so no visitor can fetch it before the new
  // page is in place: its first attempt goes straight to its name (no
  // temporary name, no rename). Retries always take a temporary name.
  bool direct = false;
  // An earlier file has the same remote path (a sound used twice): it is in
  // place by then and nothing is sent.
  bool repeat = false;
  // It names files before it (the resource file, the player's data files) and
  // the live page names it: a visitor may fetch it now, so it goes up only
  // once every file before it is proved, over the run's own connection.
  bool waits = false;
};

// A publish's plan. Invariants: `files` are in announced order; every file
// that waits comes after every file that does not; the page is last.
struct UploadPlan {
  // The folder the sounds go into; create_first: the live page names nothing
  // in it, so it is most likely missing and MKD comes before CWD (one round
  // trip instead of three when it is), else CWD first.
  std::string audio_folder;
  bool create_audio_folder_first = false;
  std::vector<PlannedFile> files;
  // The page (PublishFiles::page): always under a temporary name, proved,
  // renamed (the commit).
  std::string page_remote;
  // Deleted after the page (PublishFiles::dropped_sounds), best effort.
  std::vector<std::string> delete_after_page;
  // Connections, the run's own included (1: the run's alone).
  int lanes = 1;
  // The sizes of direct files are proved together, one listing per folder
  // over the control connection (STAT), rather than one SIZE per file; files
  // the listing does not show are asked for one by one.
  bool prove_by_listing = false;
};

// What the plan may use.
struct PlanLimits {
  int max_lanes = 4;           // 1: the run's connection alone
  bool ssh = false;            // SFTP: one connection, sizes asked per file
  bool renames_refused = false;  // one connection, every file written in place
};

// Files per connection: a connection beyond the first is worth its login
// only with this many files (or more) for it.
inline constexpr int kFilesPerLane = 6;

// The plan for `files` beside the page at `layout`. live_page: the page's
// bytes on the site as fetched; empty when unknown (every file then counts as
// named by it). Pure: no file or connection is touched.
UploadPlan PlanUpload(const run::PublishFiles& files, const RemoteLayout& layout,
                      std::string_view live_page, const PlanLimits& limits);

// The folder of a remote path: "/www" for "/www/index.htm", "/" for "/a".
std::string ParentFolder(std::string_view remote_path);

// True when `page` names the file of `remote_path` (by its file name), so
// that a visitor may fetch it; an empty page names everything.
bool PageNames(std::string_view page, std::string_view remote_path);

}  // namespace sonavelt::remote
