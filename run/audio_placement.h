#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/folder_io.h"
#include "run/folder_usage.h"
#include "transport/page_transport.h"

// The names a run's sounds and their browser copies take in the page's
// "audio/" folder, decided against what the folder holds. The folder may be
// shared with other pages and with the user's own files, so a name already
// there is taken unless:
//   - it holds exactly the bytes the run would put there (the sound then
//     shares the file, which is not written again), or
//   - this page's previous run placed it (FolderUsage::Placed: its own files
//     list it, and not as found), no other page of the folder uses it, and
//     it is a regular file or a link the run may follow: the run replaces it.
// A file used as it was that no page placed (the user's own "bell.au",
// chosen as a sound) is marked found, for the data file to record, so that
// later runs and removals leave it to the user.
// Any other file (the user's own "bell.au", another page's sound, a name
// that differs only in letter case, a folder, a link another user made) is
// never written: the sound takes the next free numbered name instead
// (audio::NamesInFolder). A sound and its browser copy keep their pairing:
// "bell-2.au" goes with "bell-2.opus", and both must fit.
//
// The caller holds the folder's lock (FolderLock) from this decision until
// the page's own files list the names, so that two runs never choose the
// same free name.
namespace sonavelt::run {

// SoundToPlace and PlacedFile are the seam's (page_transport.h): a page's
// transport claims the names.

struct AudioPlan {
  // Per SoundToPlace, in its order: the names in audio/ (copy_names[i]
  // empty for a sound without copy).
  std::vector<std::string> au_names;
  std::vector<std::string> copy_names;
  // Every file: each sound's .au, then its copy.
  std::vector<PlacedFile> files;
};

// `base` is the page's resource base name (ResourceBaseName).
AudioPlan PlanAudioFolder(const file_io::FolderHandle& audio, const FolderUsage& usage,
                          const std::string& base, const std::vector<SoundToPlace>& sounds);

// The same for a site's audio/ folder, known by the names its listing
// gives (`audio_names`; files, folders and links alike). Its files' bytes
// are not compared: a name there is taken unless this page's previous run
// placed it and no other page uses it, and every file is written.
AudioPlan PlanSiteAudioFolder(const std::vector<std::string>& audio_names,
                              const FolderUsage& usage, const std::string& base,
                              const std::vector<SoundToPlace>& sounds);

// A sound without a browser copy keeps the copy an earlier run of this page
// put in audio/ when that copy is still the sound's: `still_its(i, copy)`
// says that the name is a plain file there and that sound i's .au there
// (plan.au_names[i]) holds this run's bytes. The page's data file then goes
// on naming it as the page's. A copy of a sound the page no longer plays
// under that name is not kept (visitors would hear the old sound); it goes
// with the page's other dropped files (DroppedByRun). Answers the copies
// kept as entries without `from`, nothing to write.
std::vector<PlacedFile> EarlierCopiesKept(
    const FolderUsage& usage, const std::string& base, const std::vector<SoundToPlace>& sounds,
    const AudioPlan& plan, const std::function<bool(size_t, const std::string&)>& still_its);

// The files in audio/ an earlier run of the page `base` placed that no other
// page uses and that `files` (this run's) does not take, in any letter case
// (on a file system that ignores case, a dropped name may be the very file
// this run keeps): once the page no longer names them, they are nobody's.
// Only a data file tells the page's own sounds from the user's files it
// used in place: without one, or when the page's files could not be read,
// nothing is dropped.
std::vector<std::string> DroppedByRun(const FolderUsage& usage, const std::string& base,
                                      const std::vector<PlacedFile>& files);

}  // namespace sonavelt::run
