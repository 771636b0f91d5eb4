#pragma once

#include <string>
#include <string_view>

namespace sonavelt::browser {

// The answer of FindFileRecursive when nothing matched.
inline constexpr std::string_view kNotFound = "NOTFOUND";

// Which directory entries may match the name sought.
enum class EntryKind {
  kAny,             // files and folders alike
  kExecutableFile,  // regular files the user may execute (links resolved)
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

}  // namespace sonavelt::browser
