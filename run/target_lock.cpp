#include "run/target_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <thread>

#include "base/file_io.h"
#include "run/work_folder.h"

namespace sonavelt::run {
namespace {

namespace fs = std::filesystem;

// FNV-1a, 64 bits: stable across builds and machines, which std::hash is not.
uint64_t Fnv1a(const std::string& text) {
  uint64_t hash = 14695981039346656037ULL;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 1099511628211ULL;
  }
  return hash;
}

}  // namespace

std::string TargetKey(const PageTarget& page) {
  if (page.is_remote) {
    // A site is its scheme, login, server, port and path: two servers on one
    // host, or two accounts on one server, are different sites.
    const std::string scheme = page.remote_scheme.empty() ? "ftp" : page.remote_scheme;
    return "remote:" + scheme + "://" + page.remote_user + "@" + page.remote_site + ":" +
           std::to_string(page.remote_port) + page.remote_path;
  }
  // The page's identity rather than its spelling: the device and inode of
  // the folder that holds its real file (links followed), and that file's
  // name. Every path to the page (a link, "..", a bind mount) gives the same
  // key, and so does the page a run has just replaced: replacing renames a
  // new file over the old, so the page's own inode changes with each run
  // while its folder and name stay.
  const fs::path real = file_io::ResolveLinks(page.local_html_path);
  fs::path folder = real.parent_path();
  if (folder.empty()) folder = ".";
  struct stat st;
  if (!real.filename().empty() && stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return "local:" + std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
           std::to_string(static_cast<unsigned long long>(st.st_ino)) + "/" +
           real.filename().string();
  std::error_code ec;
  // A page whose folder is not there still gets a stable key: its absolute,
  // tidied path, with the links of its folder followed.
  fs::path canonical = fs::weakly_canonical(fs::absolute(page.local_html_path, ec), ec);
  if (ec) canonical = fs::absolute(page.local_html_path, ec).lexically_normal();
  return "local:" + canonical.string();
}

std::string LockFolder() {
  std::string folder = file_io::JoinPath(UserCacheFolder(), "locks");
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (access(folder.c_str(), W_OK | X_OK) == 0) return folder;
  // Where the work folders go when the cache folder cannot be written.
  std::string fallback = FallbackCacheFolder();
  return fallback.empty() ? folder : file_io::JoinPath(fallback, "locks");
}

Status TargetLock::Acquire(const std::string& folder, const std::string& key,
                           std::chrono::milliseconds wait, const std::atomic<bool>* cancel,
                           const std::function<void()>& waiting) {
  Release();
  std::error_code ec;
  fs::create_directories(folder, ec);
  char name[32];
  std::snprintf(name, sizeof name, "%016llx.lock", static_cast<unsigned long long>(Fnv1a(key)));
  std::string path = file_io::JoinPath(folder, name);
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return Status::IoError(file_io::ErrorText(errno));
  Status locked = WaitForExclusiveLock(fd, wait, std::chrono::milliseconds(100), cancel, waiting);
  if (locked.ok()) fd_ = fd;
  return locked;
}

Status WaitForExclusiveLock(int fd, std::chrono::milliseconds wait, std::chrono::milliseconds poll,
                            const std::atomic<bool>* cancel, const std::function<void()>& waiting) {
  auto deadline = std::chrono::steady_clock::now() + wait;
  bool told = false;
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return Status::Ok();
    if (errno != EWOULDBLOCK && errno != EINTR) {
      int error = errno;
      close(fd);
      return Status::IoError(file_io::ErrorText(error));
    }
    if (cancel != nullptr && cancel->load()) {
      close(fd);
      return Status::Cancelled();
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      close(fd);
      return Status::Refused("held by another run");
    }
    if (!told && waiting) waiting();
    told = true;
    std::this_thread::sleep_for(poll);
  }
}

void TargetLock::Release() {
  if (fd_ < 0) return;
  close(fd_);  // drops the flock
  fd_ = -1;
}

}  // namespace sonavelt::run
