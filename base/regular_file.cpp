#include "base/regular_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "base/file_io.h"

namespace sonavelt::file_io {

Status FromErrno(int error) { return Status::IoError(ErrorText(error)); }

Status OpenRegularAt(int dir, const std::string& name, struct stat* st, int* fd) {
  *fd = -1;
  int opened = openat(dir, name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (opened < 0) return FromErrno(errno);
  if (fstat(opened, st) != 0) {
    int error = errno;
    close(opened);
    return FromErrno(error);
  }
  if (!S_ISREG(st->st_mode)) {
    close(opened);
    return S_ISDIR(st->st_mode) ? FromErrno(EISDIR) : Status::Refused(ErrorText(kNotRegularFile));
  }
  // Regular files never block; reads may then be ordinary.
  fcntl(opened, F_SETFL, fcntl(opened, F_GETFL) & ~O_NONBLOCK);
  *fd = opened;
  return Status::Ok();
}

Status ReadToEnd(int fd, const struct stat& st, std::string* bytes, uint64_t max_bytes,
                 const std::atomic<bool>* cancel) {
  const Status too_large = Status::Refused("file too large");
  if (static_cast<uint64_t>(st.st_size) > max_bytes) return too_large;
  std::string out;
  char buffer[65536];
  try {
    out.reserve(static_cast<size_t>(st.st_size));
    for (;;) {
      if (cancel && cancel->load()) return Status::Cancelled();
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return FromErrno(errno);
      if (n == 0) break;
      out.append(buffer, static_cast<size_t>(n));
      // A file that grows while it is read is held to the same limit.
      if (out.size() > max_bytes) return too_large;
    }
  } catch (const std::bad_alloc&) {
    return FromErrno(ENOMEM);
  }
  *bytes = std::move(out);
  return Status::Ok();
}

}  // namespace sonavelt::file_io
