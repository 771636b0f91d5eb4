#include "audio/posix_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <utility>

#include "base/file_io.h"

namespace sonavelt::audio {

namespace {

int64_t MtimeNs(const struct stat& st) {
  return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

}  // namespace

std::string SpecialFileKindOf(const std::string& path) { return file_io::SpecialFileKindOf(path); }

std::optional<InputFile> InputFile::Open(const std::string& path, int* error) {
  auto refuse = [&](int e) {
    if (error) *error = e;
    return std::nullopt;
  };
  // Looked at before opening: opening some devices does something, and a
  // FIFO's open waits for a writer.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return refuse(errno);
  if (!S_ISREG(st.st_mode)) return refuse(S_ISDIR(st.st_mode) ? EISDIR : file_io::kNotRegularFile);
  // O_NONBLOCK: should the path be swapped for a FIFO after the look, the
  // open still returns, and fstat below refuses it.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return refuse(errno);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int e = S_ISDIR(st.st_mode) ? EISDIR : file_io::kNotRegularFile;
    ::close(fd);
    return refuse(e);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return InputFile(fd, static_cast<uint64_t>(st.st_size), MtimeNs(st));
}

InputFile::InputFile(InputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), size_(other.size_), mtime_ns_(other.mtime_ns_) {}

InputFile& InputFile::operator=(InputFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    size_ = other.size_;
    mtime_ns_ = other.mtime_ns_;
  }
  return *this;
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t InputFile::ReadAt(uint8_t* dest, size_t want, uint64_t offset) const {
  size_t got = 0;
  while (got < want) {
    ssize_t r = ::pread(fd_, dest + got, want - got, static_cast<off_t>(offset + got));
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return static_cast<int64_t>(got);
}

std::optional<FileStamp> StampOfFile(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
  return FileStamp{static_cast<uint64_t>(st.st_size), MtimeNs(st)};
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool FilesHaveSameBytes(const std::string& a, const std::string& b) {
  std::optional<InputFile> fa = InputFile::Open(a, nullptr);
  std::optional<InputFile> fb = InputFile::Open(b, nullptr);
  if (!fa || !fb || fa->size() != fb->size()) return false;
  if (SameFile(a, b)) return true;
  constexpr size_t kPiece = 1 << 16;
  std::unique_ptr<uint8_t[]> pa(new uint8_t[kPiece]);
  std::unique_ptr<uint8_t[]> pb(new uint8_t[kPiece]);
  for (uint64_t offset = 0; offset < fa->size(); offset += kPiece) {
    const int64_t got_a = fa->ReadAt(pa.get(), kPiece, offset);
    const int64_t got_b = fb->ReadAt(pb.get(), kPiece, offset);
    if (got_a <= 0 || got_a != got_b) return false;
    if (std::memcmp(pa.get(), pb.get(), static_cast<size_t>(got_a)) != 0) return false;
  }
  return true;
}

AtomicFileWriter::~AtomicFileWriter() { Discard(); }

Status AtomicFileWriter::Open(const std::string& final_path) {
  Discard();
  final_path_ = final_path;
  // In the same folder, so the rename stays on one file system, and named
  // as every temporary file of the program is (file_io.h), so a later run
  // can remove it should this process be killed.
  std::string candidate = file_io::TempFileTemplate(final_path);
  int fd = ::mkostemp(candidate.data(), O_CLOEXEC);
  if (fd < 0) return Status::IoError(file_io::ErrorText(errno));
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
      return Status::IoError(file_io::ErrorText(errno));
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
      return Status::IoError(file_io::ErrorText(errno));
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
  if (rc != 0) return Status::IoError(file_io::ErrorText(errno));
  if (::rename(temp_path_.c_str(), final_path_.c_str()) != 0)
    return Status::IoError(file_io::ErrorText(errno));
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

}  // namespace sonavelt::audio
