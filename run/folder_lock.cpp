#include "run/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "base/file_io.h"

namespace sonavelt::run {

Status FolderLock::Acquire(const file_io::FolderHandle& folder, std::chrono::milliseconds wait,
                           const std::atomic<bool>* cancel,
                           const std::function<void()>& waiting) {
  Release();
  // An open file of its own: a flock belongs to the open file, and the
  // folder's handle may be shared.
  int fd = openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Status::IoError(file_io::ErrorText(errno));
  const auto deadline = std::chrono::steady_clock::now() + wait;
  bool told = false;
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      fd_ = fd;
      return Status::Ok();
    }
    if (errno != EWOULDBLOCK && errno != EINTR) {
      const int error = errno;
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
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void FolderLock::Release() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
}

}  // namespace sonavelt::run
