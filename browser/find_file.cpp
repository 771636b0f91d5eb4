#include "browser/find_file.h"

#include <sys/stat.h>
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

bool OwnedByUs(const struct stat& st) { return st.st_uid == 0 || st.st_uid == ::geteuid(); }

// Sticky or not, a folder everyone may write to can hold anybody's files.
bool SafeFolderStat(const struct stat& st) {
  return S_ISDIR(st.st_mode) && OwnedByUs(st) && (st.st_mode & S_IWOTH) == 0;
}

bool KindMatches(const fs::directory_entry& entry, EntryKind kind) {
  if (kind == EntryKind::kAny) return true;
  return IsTrustedProgram(entry.path().string());
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
    if (kind == EntryKind::kTrustedProgram && !IsTrustedFolder(entry.path().string())) continue;
    std::string found = Search(entry.path(), lower_name, kind);
    if (found != kNotFound) return found;
  }
  return std::string(kNotFound);
}

}  // namespace

bool IsTrustedFolder(const std::string& folder) {
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && SafeFolderStat(st);
}

bool IsTrustedProgram(const std::string& path) {
  // The link itself, when it is one, must be ours too: whoever owns it
  // chooses what it points to.
  struct stat link {};
  if (::lstat(path.c_str(), &link) != 0 || !OwnedByUs(link)) return false;
  std::error_code ec;
  const fs::path target = fs::canonical(path, ec);
  if (ec) return false;
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || !OwnedByUs(st) ||
      (st.st_mode & S_IWOTH) != 0) {
    return false;
  }
  if (!IsTrustedFolder(fs::path(path).parent_path().string()) ||
      !IsTrustedFolder(target.parent_path().string())) {
    return false;
  }
  return ::access(target.c_str(), X_OK) == 0;
}

std::string FindFileRecursive(const std::string& folder, const std::string& name, EntryKind kind) {
  if (folder.empty() || name.empty()) return std::string(kNotFound);
  if (kind == EntryKind::kTrustedProgram && !IsTrustedFolder(folder)) return std::string(kNotFound);
  return Search(fs::path(folder), LowerCopy(name), kind);
}

}  // namespace sonavelt::browser
