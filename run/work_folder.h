#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "base/status.h"

// The private folders a process works in. Each is made with mkdtemp under the
// user's cache folder, named "<prefix>-<PID>-XXXXXX", and held locked (flock
// on the folder) for as long as its WorkFolder object lives; nothing in it
// has a name another process could pick. The object removes its folder when
// it goes (a folder it made itself, so removing it whole never reaches a
// user's file: links inside are removed, not followed).
//
// Folders left by a process that was killed are recognised by their name,
// their owner's pid no longer running and their lock being free, and only
// then removed (RemoveStaleWorkFolders).
namespace sonavelt::run {

// $XDG_CACHE_HOME/sonavelt, else $HOME/.cache/sonavelt, else
// /tmp/sonavelt-<uid>. Not made here.
std::string UserCacheFolder();

class WorkFolder {
 public:
  // Makes and locks a new folder "<prefix>-<PID>-XXXXXX" in `parent` (made,
  // mode 0700, when missing) into *folder. When it cannot be made, *folder
  // is null and the answer a Status::IoError whose message is the system's
  // words.
  static Status Create(const std::string& parent, std::string_view prefix,
                       std::unique_ptr<WorkFolder>* folder);
  ~WorkFolder();
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  WorkFolder(std::string path, int lock_fd) : path_(std::move(path)), lock_fd_(lock_fd) {}
  std::string path_;
  int lock_fd_;
};

// The pid in a work folder name "<prefix>-<PID>-XXXXXX", else 0.
long WorkFolderOwner(std::string_view name, std::string_view prefix);

// Removes the folders "<prefix>-<PID>-XXXXXX" directly in `parent` whose
// process is gone and whose lock nobody holds. Answers how many went.
int RemoveStaleWorkFolders(const std::string& parent, std::string_view prefix);

// The work folder of a whole program session, "work-<PID>-XXXXXX" in
// UserCacheFolder() (its runs' "run-..." folders go inside it), made after
// the folders that killed sessions left there are removed. Falls back to the
// system's temporary folder when the cache folder cannot be written. When
// neither works, *folder is null and the Status::IoError's message says why
// for each ("<folder>: <reason>; <folder>: <reason>").
Status MakeSessionWorkFolder(std::unique_ptr<WorkFolder>* folder);

// "<temporary folder>/sonavelt-<uid>", made 0700 when missing; empty unless
// it is a real folder of this user's that no one else may write.
std::string FallbackCacheFolder();

}  // namespace sonavelt::run
