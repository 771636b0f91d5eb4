#include "run/folder_lock.h"

#include <fcntl.h>
#include <unistd.h>


#include "base/file_io.h"
#include "run/target_lock.h"

namespace sonavelt::run {

Status FolderLock::Acquire(const file_io::FolderHandle& folder, std::chrono::milliseconds wait,
                           const std::atomic<bool>* cancel,
                           const std::function<void()>& waiting) {
  Release();
  // An open file of its own: a flock belongs to the open file, and the
  // folder's handle may be shared.
  int fd = openat(folder.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return Status::IoError(file_io::ErrorText(errno));
  Status locked = WaitForExclusiveLock(fd, wait, std::chrono::milliseconds(50), cancel, waiting);
  if (locked.ok()) fd_ = fd;
  return locked;
}

void FolderLock::Release() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
}

}  // namespace sonavelt::run
