#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/folder_io.h"

// Which page of a folder uses which file of the folder's "audio/", as the
// pages' own files beside them say. Several pages may share one folder
// (and one "audio/"), so a run may replace a sound only when its own page
// placed it and no other page uses it, and a removal may take away only
// what no other page needs.
//
// A page is known by its resource base name (ResourceBaseName: "index" for
// index.htm), the plain name its files carry:
//   BASE.res        the resource file (resource_text.h): fields 2 to 4 name
//                   each sound as "audio/" + the percent-encoded file name;
//   BASE.sounds.js  the browser player's data file (player_data.h): "au"
//                   and "copy" name each sound and its browser copy the
//                   same way.
// A page with either file uses the class file; one with a data file uses
// the player script.
//
// Conservative on doubt: a .res or data file that cannot be read or is not
// in the format above (another program's, cut, unreadable to this user)
// makes its page one whose sounds are unknown, and such a page counts as a
// user of every file. Names are compared without regard to letter case
// when deciding whether another page uses a file (a folder copied to a
// server that ignores case must not lose a sound), and exactly when
// deciding whether a page's own files list it.
namespace sonavelt::run {

inline constexpr std::string_view kResourceSuffix = ".res";
inline constexpr std::string_view kPlayerDataSuffix = ".sounds.js";

struct PageUse {
  // The plain file names in audio/ its files list: sounds and browser copies.
  std::set<std::string> audio_files;
  // Those its data file says were found in audio/ as the user's own files
  // and used as they were ("found", player_data.h): never the page's to
  // replace or remove. Without a data file (no browser player) nothing is
  // known of this, and every listed file counts as placed by the page.
  std::set<std::string> found_files;
  bool has_resource_file = false;
  bool has_data_file = false;
  // A file of the page could not be read or was not ours: the page may use
  // any file.
  bool unknown = false;
  // Those files, by name, for messages.
  std::vector<std::string> unread_files;
};

class FolderUsage {
 public:
  // The pages found, by base name.
  const std::map<std::string, PageUse>& pages() const { return pages_; }
  PageUse& PageOf(const std::string& base) { return pages_[base]; }

  // True when `base`'s own files list `audio_file` (exact name).
  bool Lists(const std::string& base, const std::string& audio_file) const;
  // True when they list it and do not say it was found as the user's own:
  // the page's previous run placed it.
  bool Placed(const std::string& base, const std::string& audio_file) const;
  // True when a readable page other than `base` lists it (in any case).
  bool ListedByOthers(const std::string& audio_file, const std::string& base) const;

  // The pages using `audio_file` (a name in audio/): those listing it in
  // any letter case, and every page whose sounds are unknown. Sorted.
  std::vector<std::string> UsersOf(const std::string& audio_file) const;

  // True when a page other than `base` uses `audio_file`.
  bool UsedByOthers(const std::string& audio_file, const std::string& base) const;

  // The files in audio/ that `base` placed (Placed) and no other page uses,
  // sorted: what goes with the page when its sounds are taken off.
  std::vector<std::string> FilesOnlyUsedBy(const std::string& base) const;

  // True when a page other than `base` uses the class file (it has a
  // resource or data file) or the player script (it has a data file);
  // a page whose files are unknown uses both.
  bool ClassFileUsedByOthers(const std::string& base) const;
  bool PlayerScriptUsedByOthers(const std::string& base) const;

 private:
  std::map<std::string, PageUse> pages_;
};

// Reads every *.res and *.sounds.js file of `folder` (links followed for
// reading). Never fails: what cannot be read makes its page unknown.
FolderUsage ReadFolderUsage(const file_io::FolderHandle& folder);
// The same for a folder whose page files were read elsewhere (a site's):
// each *.res and *.sounds.js file by name, with its bytes, or nullopt when
// it could not be read. Other names are left out.
FolderUsage ReadFolderUsage(const std::map<std::string, std::optional<std::string>>& files);
// True for the name of a page's resource or data file (*.res, *.sounds.js).
bool IsPageRecordFile(std::string_view name);
// The same for a folder by path; a folder that cannot be opened gives no
// pages.
FolderUsage ReadFolderUsage(const std::string& folder);

// The audio/ file names a resource file's bytes list (fields 2 to 4,
// decoded). False when the bytes are not a resource file: a length that does
// not match, an odd byte, fewer than 16 fields.
bool ResourceFileAudioNames(std::string_view bytes, std::vector<std::string>* names);

// The audio/ file names (sounds and copies) a data file's text lists, and
// into *found (when given) those of its "found" list. False when the text is
// not a player data file.
bool PlayerDataAudioNames(std::string_view text, std::vector<std::string>* names,
                          std::vector<std::string>* found = nullptr);

// "%XX" sequences turned back into their bytes; anything else kept.
std::string PercentDecode(std::string_view text);

}  // namespace sonavelt::run
