#include "base/file_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>

#include "base/regular_file.h"

namespace sonavelt::file_io {
namespace {

constexpr size_t kChunk = size_t{1} << 20;
// Long enough to recognise the target, short enough that the temporary
// name stays under the file system's limit for any target name.
constexpr size_t kMaxNameInTemp = 120;

bool IsCancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}


std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool WriteAll(int fd, const char* data, size_t size, const std::atomic<bool>* cancel, int* error) {
  size_t done = 0;
  while (done < size) {
    if (IsCancelled(cancel)) {
      *error = ECANCELED;
      return false;
    }
    size_t part = std::min(kChunk, size - done);
    ssize_t n = write(fd, data + done, part);
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// A temporary file beside the target that is removed unless committed.
class TempFile {
 public:
  explicit TempFile(const std::string& target) {
    path_ = TempFileTemplate(target);
    fd_ = mkostemp(path_.data(), O_CLOEXEC);
    if (fd_ < 0) error_ = errno;
    fd_made_ = fd_ >= 0;
  }
  ~TempFile() {
    if (fd_ >= 0) close(fd_);
    if (fd_made_ && !committed_) unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_; }
  int error() const { return error_; }

  // Gives the new file the old one's mode and owner (a new one gets
  // new_mode), flushes it to disk and renames it over `target`.
  // A stop asked for before the rename (the flush can take long) leaves the
  // target as it was.
  Status Commit(const std::string& target, const struct stat* old,
                const std::atomic<bool>* cancel, unsigned new_mode = 0644) {
    if (old != nullptr) {
      // Root can give the file back to its owner; others keep what they can
      // (their own files; a group they belong to).
      if (old->st_uid != geteuid() || old->st_gid != getegid()) {
        if (fchown(fd_, old->st_uid, old->st_gid) != 0) (void)!fchown(fd_, -1, old->st_gid);
      }
      if (fchmod(fd_, old->st_mode & 07777) != 0) return FromErrno(errno);
    } else if (fchmod(fd_, new_mode) != 0) {
      return FromErrno(errno);
    }
    if (fsync(fd_) != 0) return FromErrno(errno);
    int closed = close(fd_);
    fd_ = -1;
    if (closed != 0) return FromErrno(errno);
    if (IsCancelled(cancel)) return Status::Cancelled();
    if (rename(path_.c_str(), target.c_str()) != 0) return FromErrno(errno);
    committed_ = true;
    // The rename itself reaches the disk with the folder.
    int dir = open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      fsync(dir);
      close(dir);
    }
    return Status::Ok();
  }

 private:
  std::string path_;
  int fd_ = -1;
  int error_ = 0;
  bool fd_made_ = false;
  bool committed_ = false;
};

// The existing target's status, or nullptr (with *missing) when there is
// none. A target that is there but is not a regular file is refused.
Status StatTarget(const std::string& target, struct stat* st, bool* exists) {
  *exists = false;
  if (stat(target.c_str(), st) != 0) {
    if (errno == ENOENT) return Status::Ok();
    return FromErrno(errno);
  }
  if (S_ISDIR(st->st_mode)) return FromErrno(EISDIR);
  if (!S_ISREG(st->st_mode)) return Status::Refused(ErrorText(kNotRegularFile));
  *exists = true;
  return Status::Ok();
}

}  // namespace

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string out(folder);
  if (out.back() != '/') out += '/';
  out += name;
  return out;
}

std::string ErrorText(int error) {
  if (error == kNotRegularFile) return "not a regular file";
  return std::strerror(error);
}

bool IsReadableFile(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  int fd = -1;
  if (!OpenRegularAt(AT_FDCWD, path, &st, &fd).ok()) return false;
  close(fd);
  return true;
}

std::string SpecialFileKindOf(const std::string& path) {
  struct stat st;
  if (path.empty() || stat(path.c_str(), &st) != 0) return std::string();
  if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode)) return std::string();
  if (S_ISFIFO(st.st_mode)) return "a named pipe (FIFO)";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
  if (S_ISSOCK(st.st_mode)) return "a socket";
  return "not a regular file";
}

Status ReadWholeFile(const std::string& path, std::string* bytes, const std::atomic<bool>* cancel) {
  struct stat st;
  int fd = -1;
  if (Status opened = OpenRegularAt(AT_FDCWD, path, &st, &fd); !opened.ok()) return opened;
  Status read = ReadToEnd(fd, st, bytes, std::numeric_limits<uint64_t>::max(), cancel);
  close(fd);
  return read;
}

std::string ResolveLinks(const std::string& path) {
  std::string current = path;
  // Follows at most as many links as the system would.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
    ssize_t n = readlink(current.c_str(), target.data(), target.size());
    if (n < 0) return current;
    target.resize(static_cast<size_t>(n));
    current = (!target.empty() && target[0] == '/') ? target : JoinPath(FolderOf(current), target);
  }
  return current;
}

namespace {

// WriteFileAtomically's work on a target whose links are resolved.
Status ReplaceTarget(const std::string& target, std::string_view head, std::string_view tail,
                     const std::atomic<bool>* cancel, unsigned new_mode) {
  struct stat old;
  bool exists = false;
  if (Status s = StatTarget(target, &old, &exists); !s.ok()) return s;
  TempFile temp(target);
  if (temp.fd() < 0) return FromErrno(temp.error());
  int error = 0;
  if (!WriteAll(temp.fd(), head.data(), head.size(), cancel, &error) ||
      !WriteAll(temp.fd(), tail.data(), tail.size(), cancel, &error))
    return error == ECANCELED ? Status::Cancelled() : FromErrno(error);
  return temp.Commit(target, exists ? &old : nullptr, cancel, new_mode);
}

}  // namespace

Status WriteFileAtomically(const std::string& path, std::string_view bytes,
                           const std::atomic<bool>* cancel) {
  return ReplaceTarget(ResolveLinks(path), bytes, {}, cancel, 0644);
}

Status AppendLineAtomically(const std::string& path, std::string_view line,
                            unsigned new_file_mode) {
  const std::string target = ResolveLinks(path);
  std::string bytes;
  if (Status read = ReadWholeFile(target, &bytes); !read.ok()) {
    struct stat st;
    if (lstat(target.c_str(), &st) == 0 || errno != ENOENT) return read;
  }
  if (!bytes.empty() && bytes.back() != '\n') bytes += '\n';
  std::string tail(line);
  tail += '\n';
  return ReplaceTarget(target, bytes, tail, nullptr, new_file_mode);
}

Status CopyFileAtomically(const std::string& from, const std::string& to,
                          const std::atomic<bool>* cancel) {
  const std::string target = ResolveLinks(to);
  struct stat old;
  bool exists = false;
  if (Status s = StatTarget(target, &old, &exists); !s.ok()) return s;
  struct stat source;
  int in = -1;
  if (Status opened = OpenRegularAt(AT_FDCWD, from, &source, &in); !opened.ok()) return opened;
  if (exists && source.st_dev == old.st_dev && source.st_ino == old.st_ino) {
    close(in);
    return Status::Ok();
  }
  TempFile temp(target);
  if (temp.fd() < 0) {
    close(in);
    return FromErrno(temp.error());
  }
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  int error = 0;
  for (;;) {
    if (IsCancelled(cancel)) {
      error = ECANCELED;
      break;
    }
    ssize_t n = read(in, buffer.get(), kChunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    if (!WriteAll(temp.fd(), buffer.get(), static_cast<size_t>(n), cancel, &error)) break;
  }
  close(in);
  if (error == ECANCELED) return Status::Cancelled();
  if (error != 0) return FromErrno(error);
  return temp.Commit(target, exists ? &old : nullptr, cancel);
}

std::string TempFileTemplate(const std::string& target) {
  std::string name = NameOf(target);
  if (name.size() > kMaxNameInTemp) name.resize(kMaxNameInTemp);
  return JoinPath(FolderOf(target), "." + name + std::string(kTempMarker) +
                                        std::to_string(static_cast<long>(getpid())) + "-XXXXXX");
}

long TempFileOwner(std::string_view name) {
  // ".<NAME>.sonavelt-tmp-<PID>-XXXXXX"
  if (name.size() < 2 || name[0] != '.') return 0;
  size_t marker = name.rfind(kTempMarker);
  if (marker == std::string_view::npos || marker < 1) return 0;
  std::string_view rest = name.substr(marker + kTempMarker.size());
  size_t dash = rest.find('-');
  if (dash == std::string_view::npos || dash == 0 || dash > 10) return 0;
  if (rest.size() != dash + 7) return 0;
  long pid = 0;
  for (char c : rest.substr(0, dash)) {
    if (c < '0' || c > '9') return 0;
    pid = pid * 10 + (c - '0');
  }
  for (char c : rest.substr(dash + 1)) {
    bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!alnum) return 0;
  }
  return pid;
}

Status ProbeFolderWrite(const std::string& folder) {
  int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (fd >= 0) {
    close(fd);
    return Status::Ok();
  }
  // Without unnamed files (EOPNOTSUPP; EISDIR or EINVAL from kernels that
  // predate them) a named one settles it; anything else is the answer.
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return FromErrno(errno);
  std::string path = TempFileTemplate(JoinPath(folder, "write-probe"));
  fd = mkostemp(path.data(), O_CLOEXEC);
  if (fd < 0) return FromErrno(errno);
  close(fd);
  unlink(path.c_str());
  return Status::Ok();
}

bool ProcessIsAlive(long pid) {
  if (pid <= 0) return false;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

int RemoveStaleTempFiles(const std::string& folder) {
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return 0;
  DIR* listing = fdopendir(dup(dir));
  if (listing == nullptr) {
    close(dir);
    return 0;
  }
  int removed = 0;
  const long self = static_cast<long>(getpid());
  while (dirent* entry = readdir(listing)) {
    long owner = TempFileOwner(entry->d_name);
    if (owner == 0 || owner == self || ProcessIsAlive(owner)) continue;
    struct stat st;
    if (fstatat(dir, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
      continue;
    if (unlinkat(dir, entry->d_name, 0) == 0) ++removed;
  }
  closedir(listing);
  close(dir);
  return removed;
}

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

Status AtomicFileWriter::Open(const std::string& final_path) {
  Discard();
  final_path_ = final_path;
  // In the same folder, so the rename stays on one file system, and named
  // as every temporary file of the program is, so a later run
  // can remove it should this process be killed.
  std::string candidate = TempFileTemplate(final_path);
  int fd = ::mkostemp(candidate.data(), O_CLOEXEC);
  if (fd < 0) return Status::IoError(ErrorText(errno));
  // mkostemp makes 0600; a finished file is readable as any other.
  ::fchmod(fd, 0644);
  fd_ = fd;
  temp_path_ = candidate;
  return Status::Ok();
}

Status AtomicFileWriter::Write(const void* bytes, size_t count) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  while (count > 0) {
    ssize_t w = ::write(fd_, p, count);
    if (w < 0) {
      if (errno == EINTR) continue;
      return Status::IoError(ErrorText(errno));
    }
    p += w;
    count -= static_cast<size_t>(w);
  }
  return Status::Ok();
}

Status AtomicFileWriter::WriteAt(const void* bytes, size_t count, uint64_t offset) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  while (count > 0) {
    ssize_t w = ::pwrite(fd_, p, count, static_cast<off_t>(offset));
    if (w < 0) {
      if (errno == EINTR) continue;
      return Status::IoError(ErrorText(errno));
    }
    p += w;
    offset += static_cast<uint64_t>(w);
    count -= static_cast<size_t>(w);
  }
  return Status::Ok();
}

Status AtomicFileWriter::Commit() {
  if (fd_ < 0) return Status::IoError("not open");
  // close() is where some file systems report a full disk.
  int rc = ::close(fd_);
  fd_ = -1;
  if (rc != 0) return Status::IoError(ErrorText(errno));
  if (::rename(temp_path_.c_str(), final_path_.c_str()) != 0)
    return Status::IoError(ErrorText(errno));
  temp_path_.clear();
  return Status::Ok();
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_path_.empty()) {
    ::unlink(temp_path_.c_str());
    temp_path_.clear();
  }
}

}  // namespace sonavelt::file_io
