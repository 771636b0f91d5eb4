#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "base/status.h"

// Thin POSIX file helpers for the sound readers and writers: reads at an
// offset (so a reader never holds more of a file than it asked for) and
// writes that only ever put a complete file under its final name.
namespace sonavelt::audio {

// A file opened for reading. Only regular files are opened: a folder, a FIFO
// or a device is refused before any read (a FIFO would block the reader, a
// device such as /dev/zero never ends), so "can be opened" means "is a
// readable file".
class InputFile {
 public:
  // Opens path into *file. A failure answers Status::IoError with the
  // system's words for it (file_io::ErrorText of the errno: EISDIR for a
  // folder, file_io::kNotRegularFile for other non-regular files) and
  // leaves *file empty.
  static Status Open(const std::string& path, std::optional<InputFile>* file);
  // The open file, or nullopt, for callers that need no reason.
  static std::optional<InputFile> OpenIfReadable(const std::string& path);

  InputFile(InputFile&& other) noexcept;
  InputFile& operator=(InputFile&& other) noexcept;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // The file's length when it was opened.
  uint64_t size() const { return size_; }
  // Modification time of the file when it was opened, in nanoseconds.
  int64_t mtime_ns() const { return mtime_ns_; }

  // Reads up to `want` bytes at `offset` into dest. Answers the bytes read,
  // fewer than want only at the end of the file, or -1 on a read error.
  int64_t ReadAt(uint8_t* dest, size_t want, uint64_t offset) const;

 private:
  InputFile(int fd, uint64_t size, int64_t mtime_ns) : fd_(fd), size_(size), mtime_ns_(mtime_ns) {}
  int fd_ = -1;
  uint64_t size_ = 0;
  int64_t mtime_ns_ = 0;
};

// The size and modification time of a file, to tell whether it changed.
struct FileStamp {
  uint64_t size = 0;
  int64_t mtime_ns = 0;
  bool operator==(const FileStamp&) const = default;
};
// nullopt when the file cannot be examined.
std::optional<FileStamp> StampOfFile(const std::string& path);

// True when a and b are readable regular files with the same bytes (the
// same file through two paths included). Read in pieces, never whole.
bool FilesHaveSameBytes(const std::string& a, const std::string& b);

// True when the two paths name one existing file or folder (links followed).
bool SameFile(const std::string& a, const std::string& b);

}  // namespace sonavelt::audio
