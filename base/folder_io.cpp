#include "base/folder_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <random>

#include "base/file_io.h"
#include "base/regular_file.h"

namespace sonavelt::file_io {
namespace {

constexpr size_t kChunk = size_t{1} << 20;

bool IsCancelled(const std::atomic<bool>* cancel) {
  return cancel != nullptr && cancel->load(std::memory_order_relaxed);
}

Status ForeignLink() { return Status::Refused(std::string(kForeignLinkText)); }

bool WriteAll(int fd, const char* data, size_t size, const std::atomic<bool>* cancel,
              int* error) {
  size_t done = 0;
  while (done < size) {
    if (IsCancelled(cancel)) {
      *error = ECANCELED;
      return false;
    }
    ssize_t n = write(fd, data + done, std::min(kChunk, size - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The temporary name beside `name`, as file_io.h names them, with a fresh
// random tail.
std::string TempNameFor(const std::string& name) {
  std::string pattern = TempFileTemplate(name);
  size_t slash = pattern.rfind('/');
  if (slash != std::string::npos) pattern.erase(0, slash + 1);
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  thread_local std::mt19937_64 random{std::random_device{}()};
  for (size_t i = pattern.size() - 6; i < pattern.size(); ++i)
    pattern[i] = kLetters[random() % (sizeof kLetters - 1)];
  return pattern;
}

}  // namespace

bool LinkMayBeFollowed(uid_t link_owner, uid_t folder_owner) {
  return link_owner == geteuid() || link_owner == folder_owner;
}

FolderHandle::~FolderHandle() {
  if (fd_ >= 0) close(fd_);
}

FolderHandle::FolderHandle(FolderHandle&& other) noexcept { *this = std::move(other); }

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    owner_ = other.owner_;
    device_ = other.device_;
    inode_ = other.inode_;
    other.fd_ = -1;
  }
  return *this;
}

Status FolderHandle::Open(const std::string& path, FolderHandle* folder) {
  int fd = open(path.empty() ? "." : path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return FromErrno(errno);
  return Adopt(fd, path.empty() ? "." : path, folder);
}

Status FolderHandle::Adopt(int fd, std::string path, FolderHandle* folder) {
  struct stat st;
  if (fstat(fd, &st) != 0) {
    int error = errno;
    close(fd);
    return FromErrno(error);
  }
  FolderHandle opened;
  opened.fd_ = fd;
  opened.path_ = std::move(path);
  opened.owner_ = st.st_uid;
  opened.device_ = st.st_dev;
  opened.inode_ = st.st_ino;
  *folder = std::move(opened);
  return Status::Ok();
}

std::string FolderHandle::PathOf(std::string_view name) const { return JoinPath(path_, name); }

Status FolderHandle::OpenSub(const std::string& name, bool create, FolderHandle* sub) const {
  if (create && mkdirat(fd_, name.c_str(), 0755) != 0 && errno != EEXIST) return FromErrno(errno);
  int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
  struct stat st;
  if (fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return FromErrno(errno);
  if (S_ISLNK(st.st_mode)) {
    if (!LinkMayBeFollowed(st.st_uid, owner_)) return ForeignLink();
  } else {
    flags |= O_NOFOLLOW;
  }
  int fd = openat(fd_, name.c_str(), flags);
  if (fd < 0) return FromErrno(errno == ELOOP ? ENOTDIR : errno);
  return Adopt(fd, PathOf(name), sub);
}

FolderHandle::Kind FolderHandle::KindOf(const std::string& name) const {
  struct stat st;
  if (fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Kind::kMissing;
  if (S_ISLNK(st.st_mode)) return Kind::kLink;
  if (S_ISREG(st.st_mode)) return Kind::kFile;
  if (S_ISDIR(st.st_mode)) return Kind::kFolder;
  return Kind::kOther;
}

Status FolderHandle::CheckWritable(const std::string& name) const {
  struct stat st;
  if (fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return Status::Ok();
  if (S_ISLNK(st.st_mode) && !LinkMayBeFollowed(st.st_uid, owner_)) return ForeignLink();
  return Status::Ok();
}

Status FolderHandle::Read(const std::string& name, std::string* bytes, uint64_t max_bytes) const {
  struct stat st;
  int fd = -1;
  if (Status opened = OpenRegularAt(fd_, name, &st, &fd); !opened.ok()) return opened;
  Status read = ReadToEnd(fd, st, bytes, max_bytes);
  close(fd);
  return read;
}

bool FolderHandle::HoldsCopyOf(const std::string& name, const std::string& path) const {
  struct stat held_st, path_st;
  int held = -1;
  if (!OpenRegularAt(fd_, name, &held_st, &held).ok()) return false;
  int other = -1;
  bool same = OpenRegularAt(AT_FDCWD, path, &path_st, &other).ok() && held_st.st_size == path_st.st_size;
  if (same && held_st.st_dev == path_st.st_dev && held_st.st_ino == path_st.st_ino) {
    close(held);
    close(other);
    return true;
  }
  std::unique_ptr<char[]> a(new char[65536]), b(new char[65536]);
  while (same) {
    ssize_t n = read(held, a.get(), 65536);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      same = n == 0;
      break;
    }
    ssize_t got = 0;
    while (got < n) {
      ssize_t m = read(other, b.get() + got, static_cast<size_t>(n - got));
      if (m < 0 && errno == EINTR) continue;
      if (m <= 0) break;
      got += m;
    }
    same = got == n && std::memcmp(a.get(), b.get(), static_cast<size_t>(n)) == 0;
  }
  close(held);
  if (other >= 0) close(other);
  return same;
}

Status FolderHandle::Write(const std::string& name, std::string_view bytes,
                           const std::atomic<bool>* cancel) const {
  return Replace(name, -1, bytes, cancel);
}

Status FolderHandle::Copy(const std::string& from, const std::string& name,
                          const std::atomic<bool>* cancel) const {
  if (Status writable = CheckWritable(name); !writable.ok()) return writable;
  struct stat source;
  int in = -1;
  if (Status opened = OpenRegularAt(AT_FDCWD, from, &source, &in); !opened.ok()) return opened;
  struct stat old;
  // A file copied onto itself counts as copied.
  if (fstatat(fd_, name.c_str(), &old, 0) == 0 && old.st_dev == source.st_dev &&
      old.st_ino == source.st_ino) {
    close(in);
    return Status::Ok();
  }
  Status copied = Replace(name, in, {}, cancel);
  close(in);
  return copied;
}

Status FolderHandle::Replace(const std::string& name, int source_fd, std::string_view bytes,
                             const std::atomic<bool>* cancel) const {
  struct stat old;
  bool exists = false;
  if (fstatat(fd_, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(old.st_mode)) {
      if (!LinkMayBeFollowed(old.st_uid, owner_)) return ForeignLink();
      // An allowed link is written through, keeping the link, as the
      // path-based writers do.
      std::string target(PATH_MAX, '\0');
      ssize_t n = readlinkat(fd_, name.c_str(), target.data(), target.size());
      if (n < 0) return FromErrno(errno);
      target.resize(static_cast<size_t>(n));
      const std::string path = (!target.empty() && target[0] == '/') ? target : PathOf(target);
      if (source_fd < 0) return WriteFileAtomically(path, bytes, cancel);
      return CopyFileAtomically("/proc/self/fd/" + std::to_string(source_fd), path, cancel);
    }
    if (S_ISDIR(old.st_mode)) return FromErrno(EISDIR);
    if (!S_ISREG(old.st_mode)) return Status::Refused(ErrorText(kNotRegularFile));
    exists = true;
  } else if (errno != ENOENT) {
    return FromErrno(errno);
  }

  std::string temp;
  int fd = -1;
  for (int tries = 0; fd < 0 && tries < 100; ++tries) {
    temp = TempNameFor(name);
    fd = openat(fd_, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) return FromErrno(errno);
  }
  if (fd < 0) return FromErrno(EEXIST);
  int error = 0;
  if (source_fd < 0) {
    WriteAll(fd, bytes.data(), bytes.size(), cancel, &error);
  } else {
    std::unique_ptr<char[]> buffer(new char[kChunk]);
    for (;;) {
      if (IsCancelled(cancel)) {
        error = ECANCELED;
        break;
      }
      ssize_t n = read(source_fd, buffer.get(), kChunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) error = errno;
      if (n <= 0) break;
      if (!WriteAll(fd, buffer.get(), static_cast<size_t>(n), cancel, &error)) break;
    }
  }
  if (error == 0 && exists) {
    // Root gives the file back to its owner; others keep what they can.
    if (old.st_uid != geteuid() || old.st_gid != getegid()) {
      if (fchown(fd, old.st_uid, old.st_gid) != 0) (void)!fchown(fd, -1, old.st_gid);
    }
    if (fchmod(fd, old.st_mode & 07777) != 0) error = errno;
  } else if (error == 0 && fchmod(fd, 0644) != 0) {
    error = errno;
  }
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && IsCancelled(cancel)) error = ECANCELED;
  if (error == 0 && renameat(fd_, temp.c_str(), fd_, name.c_str()) != 0) error = errno;
  if (error != 0) {
    unlinkat(fd_, temp.c_str(), 0);
    return error == ECANCELED ? Status::Cancelled() : FromErrno(error);
  }
  fsync(fd_);
  return Status::Ok();
}

Status FolderHandle::Remove(const std::string& name) const {
  const Kind kind = KindOf(name);
  if (kind == Kind::kMissing) return Status::NotFound(ErrorText(ENOENT));
  if (kind != Kind::kFile && kind != Kind::kLink) return Status::Refused(ErrorText(kNotRegularFile));
  if (unlinkat(fd_, name.c_str(), 0) != 0) return Status::IoError(ErrorText(errno));
  return Status::Ok();
}

Status FolderHandle::RemoveEmptyFolder(const std::string& name) const {
  if (KindOf(name) != Kind::kFolder) return Status::Refused(ErrorText(ENOTDIR));
  if (unlinkat(fd_, name.c_str(), AT_REMOVEDIR) != 0) return Status::IoError(ErrorText(errno));
  return Status::Ok();
}

std::vector<std::string> FolderHandle::Names() const {
  std::vector<std::string> names;
  int dup_fd = dup(fd_);
  if (dup_fd < 0) return names;
  DIR* listing = fdopendir(dup_fd);
  if (listing == nullptr) {
    close(dup_fd);
    return names;
  }
  rewinddir(listing);
  while (dirent* entry = readdir(listing)) {
    std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  closedir(listing);
  return names;
}

}  // namespace sonavelt::file_io
