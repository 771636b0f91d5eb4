#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/status.h"

// Every file the program writes goes through here. A file is never opened
// under its final name for writing: the bytes go to a temporary file in the
// target's folder, are flushed to disk, get the old file's mode and owner,
// and are renamed over the target. A reader therefore sees the old file or
// the new one, never a part.
//
// Temporary files are named ".<NAME>.sonavelt-tmp-<PID>-XXXXXX" (NAME the
// target's file name, PID the writing process), so that a later run can tell
// ours from the user's and remove those of a process that no longer exists.
//
// Errors: a failed call leaves the target as it was and removes its
// temporary file; the Status message is the system's own words for what went
// wrong ("No space left on device", "Permission denied"), for the caller to
// put into a message that names the file.
namespace sonavelt::file_io {

inline constexpr std::string_view kTempMarker = ".sonavelt-tmp-";

// folder + "/" + name with exactly one "/" between them; an empty folder
// gives name.
std::string JoinPath(std::string_view folder, std::string_view name);

// The error a reader gives for a path that names something other than a
// regular file or a folder (a FIFO, a device, a socket); ErrorText knows it.
inline constexpr int kNotRegularFile = -1;

// The system's text for an errno value ("No such file or directory"), or
// "not a regular file" for kNotRegularFile: the one error text of the
// program's messages.
std::string ErrorText(int error);

// True when `path` names a regular file that can be opened for reading (a
// folder, a FIFO, a device, a missing or unreadable file: false). Looks
// before it opens, so a FIFO never blocks and a device is never opened.
bool IsReadableFile(const std::string& path);

// What `path` names when that is neither a regular file nor a folder, for
// messages: "a named pipe (FIFO)", "a device", "a socket", "not a regular
// file"; empty otherwise (also for a path that cannot be examined).
// Symbolic links are followed; nothing is opened.
std::string SpecialFileKindOf(const std::string& path);

// Reads the whole of `path`. Refuses anything but a regular file (a FIFO, a
// device, a folder) before reading a byte: the message is then
// "not a regular file". A cancel flag that becomes true stops the read
// (Status::Cancelled).
Status ReadWholeFile(const std::string& path, std::string* bytes,
                     const std::atomic<bool>* cancel = nullptr);

// The file a write to `path` changes: `path` itself, or the file at the end
// of its symbolic links (so that writing through a link edits its target and
// keeps the link). A link whose target is missing resolves to that target.
std::string ResolveLinks(const std::string& path);

// Replaces (or creates) `path` with `bytes`, atomically, through symbolic
// links. An existing file keeps its permission bits and, where the system
// allows it (always for root), its owner and group; a new one gets 0644. The
// cancel flag is read between chunks and once more right before the rename:
// a write stopped there is Status::Cancelled and leaves the target as it was.
Status WriteFileAtomically(const std::string& path, std::string_view bytes,
                           const std::atomic<bool>* cancel = nullptr);

// Adds `line` and a line end to the text file `path`, atomically and
// through symbolic links as WriteFileAtomically does: a reader, or the file
// after a crash, has all of the line or none of it, never a part. The other
// bytes stay as they were, except that a last line without its line end
// gets one, so that `line` starts a line of its own. A missing file is
// created with `new_file_mode`, which its temporary file has from the start
// (no other mode is ever visible); an existing one keeps its mode and owner.
// Two processes adding at once may lose one of the lines: callers add rare
// lines a user asked for, one at a time.
Status AppendLineAtomically(const std::string& path, std::string_view line,
                            unsigned new_file_mode = 0644);

// Copies `from` over `to` the same way. A file copied onto itself counts as
// copied. `from` must be a regular file.
Status CopyFileAtomically(const std::string& from, const std::string& to,
                          const std::atomic<bool>* cancel = nullptr);

// The mkstemp template of a temporary file beside `target`:
// ".NAME.sonavelt-tmp-PID-XXXXXX" in target's folder, NAME cut to a length
// any file system takes.
std::string TempFileTemplate(const std::string& target);

// The pid that wrote the temporary file named `name` (a file name, not a
// path), or 0 when the name is not one of ours.
long TempFileOwner(std::string_view name);

// Whether this process can create a file in `folder`, found by creating
// one: a file without a name (O_TMPFILE) where the file system has them,
// else one of our temporary files, removed at once. Either way a program
// killed here leaves nothing a later run would not remove. The message is
// the system's words ("Read-only file system", "Permission denied").
Status ProbeFolderWrite(const std::string& folder);

// True while a process with this pid exists.
bool ProcessIsAlive(long pid);

// Removes, from `folder` only (not below it), our temporary files whose
// writer no longer exists. Never follows a symbolic link and never removes
// anything but regular files. Answers how many were removed.
int RemoveStaleTempFiles(const std::string& folder);

// A file written in pieces (a converter's output, a header filled in at the
// end) the same way: under a temporary name in the folder of its final path,
// renamed into place on Commit. A writer destroyed without Commit (a
// cancel, a failed write) removes the temporary file, so the final name
// never holds a partly written file.
class AtomicFileWriter {
 public:
  AtomicFileWriter() = default;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter();

  // Creates the temporary file beside final_path, named as the temporary
  // files above are; the finished file has mode 0644.
  Status Open(const std::string& final_path);
  Status Write(const void* bytes, size_t count);
  // Overwrites bytes already written (a header filled in at the end).
  Status WriteAt(const void* bytes, size_t count, uint64_t offset);
  // Closes the file and renames it to the final path, replacing any file
  // of that name.
  Status Commit();
  // Removes the temporary file; the final path is untouched.
  void Discard();

 private:
  std::string final_path_;
  std::string temp_path_;
  int fd_ = -1;
};

}  // namespace sonavelt::file_io
