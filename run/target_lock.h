#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>

#include "base/status.h"
#include "run/run_inputs.h"

// The lock one run holds on its page for its whole length, so that two runs
// on one page (two command lines, the wizard and a command line) never
// interleave their writes. It is an advisory lock (flock) on a lock file in
// "<lock folder>/<16 hex digits>.lock", named after a hash of the page's key:
// for a local page its identity (the device and inode of the folder holding
// its real file, and that file's name, so that links, "..", bind mounts and
// every other path to one page share a lock), or for a remote page its
// scheme, user, server, port and path (never a password). Lock
// files stay behind, empty: removing one could let two runs each lock a
// different file for the same page. The system drops the lock when the
// process ends, however it ends.
namespace sonavelt::run {

// The key of a page, as described above.
std::string TargetKey(const PageTarget& page);

// The folder of the lock files: "<UserCacheFolder()>/locks", or, when that
// cannot be written, "locks" in FallbackCacheFolder().
std::string LockFolder();

class TargetLock {
 public:
  TargetLock() = default;
  ~TargetLock() { Release(); }
  TargetLock(const TargetLock&) = delete;
  TargetLock& operator=(const TargetLock&) = delete;

  // Takes the lock of `key` in `folder` (made when missing). While another
  // process holds it, calls `waiting` once and tries again every 100 ms
  // for up to `wait`, or until `cancel` turns true. Answers Ok when held,
  // Refused when another run kept it (Cancelled when stopped), IoError
  // when the lock file cannot be made.
  Status Acquire(const std::string& folder, const std::string& key,
                 std::chrono::milliseconds wait, const std::atomic<bool>* cancel,
                 const std::function<void()>& waiting);
  void Release();
  bool held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Takes an exclusive flock on `fd`, an open file of the caller's: while
// another process holds it, calls `waiting` once and tries again every `poll`
// for up to `wait`, or until `cancel` turns true. Ok when held (the lock lives
// as long as fd stays open); otherwise fd is closed and the result is Refused
// (another run kept it), Cancelled or IoError.
Status WaitForExclusiveLock(int fd, std::chrono::milliseconds wait, std::chrono::milliseconds poll,
                            const std::atomic<bool>* cancel, const std::function<void()>& waiting);

}  // namespace sonavelt::run
