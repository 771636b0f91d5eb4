#include "tests/fault/fault_support.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tests/support/wave_bytes.h"

namespace sonavelt::testing {
namespace fs = std::filesystem;

bool PrivateMounts(std::string* why) {
  static bool done = false;
  if (done) return true;
  if (geteuid() != 0) {
    *why = "needs root to mount a small or read-only file system";
    return false;
  }
  if (unshare(CLONE_NEWNS) != 0) {
    *why = std::string("cannot make a mount namespace: ") + std::strerror(errno);
    return false;
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    *why = std::string("cannot make mounts private: ") + std::strerror(errno);
    return false;
  }
  done = true;
  return true;
}

bool MountTmpfs(const fs::path& folder, uint64_t bytes, std::string* why) {
  if (!PrivateMounts(why)) return false;
  fs::create_directories(folder);
  std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
    *why = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool MountReadOnlyBind(const fs::path& folder, std::string* why) {
  if (!PrivateMounts(why)) return false;
  if (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
      mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    *why = std::string("cannot make a read-only bind mount: ") + std::strerror(errno);
    return false;
  }
  return true;
}

void Unmount(const fs::path& folder) { umount2(folder.c_str(), MNT_DETACH); }

void FillFileSystem(const fs::path& folder, uint64_t leave) {
  struct statvfs info {};
  if (statvfs(folder.c_str(), &info) != 0) return;
  uint64_t free_bytes = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  if (free_bytes <= leave) return;
  std::string filler((free_bytes - leave) / info.f_frsize * info.f_frsize, 'f');
  int fd = open((folder / ".filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  size_t done = 0;
  while (done < filler.size()) {
    ssize_t n = write(fd, filler.data() + done, filler.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
}

std::string SmallWave(int frames, int rate) {
  std::string data;
  for (int i = 0; i < frames; ++i) data.push_back(static_cast<char>(128 + (i % 64) - 32));
  if (data.size() % 2 == 1) data.push_back('\x80');
  return Wave(1, rate, 8, data);
}

std::vector<std::string> FilesBelow(const fs::path& root) {
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_regular_file() || it->is_symlink())
      files.push_back(fs::relative(it->path(), root).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace sonavelt::testing
