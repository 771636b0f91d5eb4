#pragma once

#include <atomic>
#include <chrono>
#include <functional>

#include "base/folder_io.h"
#include "base/status.h"

// The lock on a page's folder that runs (and removals) of different pages in
// that folder take while they choose names in its "audio/" and place their
// files, up to the page itself: the page lock is one page's, but the sounds
// and the class file and player script are the folder's. It is an advisory
// lock (flock) on the folder itself, so every path to the folder (a link, a
// bind mount) and every user meets the same lock, and it needs no file of
// its own. The system drops it when the process ends, however it ends.
//
// Order: a run takes its page lock first and this one second, never the
// other way round, so two runs cannot each wait for the other.
namespace sonavelt::run {

class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock() { Release(); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock of `folder`. While another process holds it, calls
  // `waiting` once and tries again every 50 ms for up to `wait`, or until
  // `cancel` turns true. Ok when held, Refused when another run kept it,
  // Cancelled when stopped, IoError when the folder cannot be locked (its
  // file system keeps no locks, for one).
  Status Acquire(const file_io::FolderHandle& folder, std::chrono::milliseconds wait,
                 const std::atomic<bool>* cancel, const std::function<void()>& waiting);
  void Release();
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace sonavelt::run
