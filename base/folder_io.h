#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

// Files beside a page, made and replaced relative to the page's folder,
// opened once: a name is looked up in that folder and nowhere else, so a
// folder renamed or replaced by a link under a run cannot redirect its
// writes. The rules of file_io.h hold (temporary file, flush, mode and
// owner kept, rename); in addition:
//
//  - what the run makes (temporary files, new folders) is created with
//    O_EXCL / O_NOFOLLOW, so a link planted under that name is never
//    followed;
//  - an existing symbolic link is followed only where the kernel's rule for
//    links in sticky folders would follow it: when the link's owner is this
//    process's user or the folder's owner (LinkMayBeFollowed). Any other
//    link is refused (Status::Refused, message kForeignLinkText) before a
//    byte is written; the caller names it to the user.
//
// Writing through an allowed link edits the file at its end and keeps the
// link, as file_io's writers do.
namespace sonavelt::file_io {

// The message of a refused link, for the caller's own message.
inline constexpr std::string_view kForeignLinkText =
    "a symbolic link owned by another user, which Sonavelt does not follow";

// The kernel's rule (fs.protected_symlinks) for a link in a sticky folder,
// applied beside the page whatever the folder's mode.
bool LinkMayBeFollowed(uid_t link_owner, uid_t folder_owner);

class FolderHandle {
 public:
  FolderHandle() = default;
  ~FolderHandle();
  FolderHandle(FolderHandle&& other) noexcept;
  FolderHandle& operator=(FolderHandle&& other) noexcept;
  FolderHandle(const FolderHandle&) = delete;
  FolderHandle& operator=(const FolderHandle&) = delete;

  // Opens the folder at `path` (links in the path are followed: it is the
  // folder as the user named it).
  static Status Open(const std::string& path, FolderHandle* folder);

  // Opens the sub-folder `name`; with `create`, makes it (0755) when
  // missing. A link named `name` is followed only under LinkMayBeFollowed
  // (else Status::Refused with kForeignLinkText); anything but a folder is
  // refused with the system's "Not a directory".
  Status OpenSub(const std::string& name, bool create, FolderHandle* sub) const;

  bool valid() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // The path it was opened by, for messages and for links to follow.
  const std::string& path() const { return path_; }
  uid_t owner() const { return owner_; }
  dev_t device() const { return device_; }
  ino_t inode() const { return inode_; }
  std::string PathOf(std::string_view name) const;

  // What a name is, without following it.
  enum class Kind { kMissing, kFile, kFolder, kLink, kOther };
  Kind KindOf(const std::string& name) const;

  // Ok when writing `name` follows no link, or only one that
  // LinkMayBeFollowed allows; Status::Refused (kForeignLinkText) otherwise.
  // A link is judged by its own owner, whatever it points to.
  Status CheckWritable(const std::string& name) const;

  // Reads the whole regular file `name` (a link is followed, as reading
  // changes nothing), refusing anything else without blocking on it, and
  // a file larger than `max_bytes` (Status::Refused, "file too large").
  Status Read(const std::string& name, std::string* bytes,
              uint64_t max_bytes = UINT64_MAX) const;

  // True when `name` is a regular file (links followed) with exactly the
  // bytes of the regular file `path`; false when either is missing,
  // unreadable, or they differ. Reads both in chunks.
  bool HoldsCopyOf(const std::string& name, const std::string& path) const;

  // Replaces (or creates, 0644) `name` with `bytes` / a copy of the regular
  // file `from`, atomically, under the rules above. A cancel seen between
  // chunks or before the rename is Status::Cancelled with `name` unchanged.
  Status Write(const std::string& name, std::string_view bytes,
               const std::atomic<bool>* cancel = nullptr) const;
  Status Copy(const std::string& from, const std::string& name,
              const std::atomic<bool>* cancel = nullptr) const;

  // The names in the folder (without "." and ".."), unsorted; empty when
  // it cannot be listed.
  std::vector<std::string> Names() const;

  // Removes the file `name` from this folder: a regular file, or a
  // symbolic link itself (never what it points to). Anything else is
  // refused with "not a regular file"; a missing name is NotFound.
  Status Remove(const std::string& name) const;
  // Removes the sub-folder `name` when it is empty (a link is not
  // followed); the system's words otherwise ("Directory not empty").
  Status RemoveEmptyFolder(const std::string& name) const;

 private:
  // Takes the open folder `fd` as *folder, known as `path`; closes fd when
  // it cannot be looked at.
  static Status Adopt(int fd, std::string path, FolderHandle* folder);
  Status Replace(const std::string& name, int source_fd, std::string_view bytes,
                 const std::atomic<bool>* cancel) const;

  int fd_ = -1;
  std::string path_;
  uid_t owner_ = 0;
  dev_t device_ = 0;
  ino_t inode_ = 0;
};

}  // namespace sonavelt::file_io
