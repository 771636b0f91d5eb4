#include "browser/find_file.h"

#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "base/text.h"

namespace sonavelt::browser {
namespace {

namespace fs = std::filesystem;

bool IsVirtualTree(const fs::path& path) {
  const std::string text = path.lexically_normal().string();
  return text == "/proc" || text == "/sys" || text == "/dev";
}

bool KindMatches(const fs::directory_entry& entry, EntryKind kind) {
  if (kind == EntryKind::kAny) return true;
  std::error_code ec;
  // A browser is often a link in a program folder to its real file.
  if (!fs::is_regular_file(entry.path(), ec)) return false;
  return ::access(entry.path().c_str(), X_OK) == 0;
}

std::string Search(const fs::path& folder, const std::string& lower_name, EntryKind kind) {
  std::error_code ec;
  fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
  if (ec) return std::string(kNotFound);
  for (const fs::directory_iterator end; it != end; it.increment(ec)) {
    if (ec) break;
    const fs::directory_entry& entry = *it;
    if (LowerCopy(entry.path().filename().string()) == lower_name && KindMatches(entry, kind))
      return entry.path().string();
    std::error_code type_ec;
    if (entry.is_symlink(type_ec) || !entry.is_directory(type_ec)) continue;
    if (IsVirtualTree(entry.path())) continue;
    std::string found = Search(entry.path(), lower_name, kind);
    if (found != kNotFound) return found;
  }
  return std::string(kNotFound);
}

}  // namespace

std::string FindFileRecursive(const std::string& folder, const std::string& name, EntryKind kind) {
  if (folder.empty() || name.empty()) return std::string(kNotFound);
  return Search(fs::path(folder), LowerCopy(name), kind);
}

}  // namespace sonavelt::browser
