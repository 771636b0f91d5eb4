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

std::optional<InputFile> InputFile::OpenIfReadable(const std::string& path) {
  std::optional<InputFile> file;
  return Open(path, &file).ok() ? std::move(file) : std::nullopt;
}

Status InputFile::Open(const std::string& path, std::optional<InputFile>* file) {
  file->reset();
  auto refuse = [](int e) { return Status::IoError(file_io::ErrorText(e)); };
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
  file->emplace(InputFile(fd, static_cast<uint64_t>(st.st_size), MtimeNs(st)));
  return Status::Ok();
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
  std::optional<InputFile> fa = InputFile::OpenIfReadable(a);
  std::optional<InputFile> fb = InputFile::OpenIfReadable(b);
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

}  // namespace sonavelt::audio
