#pragma once

#include <string>
#include <string_view>

namespace sonavelt::browser {

// The answer of FindFileRecursive when nothing matched.
inline constexpr std::string_view kNotFound = "NOTFOUND";

// Which directory entries may match the name sought.
enum class EntryKind {
  kAny,             // files and folders alike
  // A program this user may safely start: a regular file (links resolved)
  // the user may execute, owned by root or the user and not writable by
  // everyone, in a folder that is neither writable by everyone nor owned by
  // another user. With this kind the search also never enters such folders.
  kTrustedProgram,
};

// Searches folder depth-first for the first entry whose name equals name
// without regard to ASCII letter case, and answers its full path, or
// kNotFound. Entries are taken in the order the directory listing gives them;
// an entry's own name is tested before its contents are searched. Folders
// that cannot be listed count as empty. Symbolic links are never followed
// into, and the kernel's virtual trees /proc, /sys and /dev are skipped, so a
// search from "/" ends.
std::string FindFileRecursive(const std::string& folder, const std::string& name,
                              EntryKind kind = EntryKind::kAny);

// True when folder may hold programs to start: a folder, not writable by
// everyone, owned by root or the user (links resolved).
bool IsTrustedFolder(const std::string& folder);
// True when path is a program to start under EntryKind::kTrustedProgram's
// rules, the folder that holds it (after resolving links) included.
bool IsTrustedProgram(const std::string& path);

}  // namespace sonavelt::browser
