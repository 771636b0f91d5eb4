#pragma once

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <string>

#include "base/status.h"

// The two readers of the file module (path-based in file_io, folder-relative
// in folder_io) open and read files the same way; this is that way.
namespace sonavelt::file_io {

// Status::IoError with the system's text for `error` (ErrorText).
Status FromErrno(int error);

// Opens `name` for reading relative to the open folder `dir` (AT_FDCWD: a
// path), following links, and answers the descriptor in *fd and its stat in
// *st. Anything but a regular file is refused without blocking on it (a
// FIFO would wait for a writer). The caller closes *fd.
Status OpenRegularAt(int dir, const std::string& name, struct stat* st, int* fd);

// Reads the open regular file `fd` (stat `st`) to its end into *bytes.
// A file larger than max_bytes is refused ("file too large"); running out
// of memory is ENOMEM's error, not an abort. Does not close fd.
Status ReadToEnd(int fd, const struct stat& st, std::string* bytes,
                 uint64_t max_bytes = std::numeric_limits<uint64_t>::max(),
                 const std::atomic<bool>* cancel = nullptr);

}  // namespace sonavelt::file_io
