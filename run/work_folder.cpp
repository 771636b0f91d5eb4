#include "run/work_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "base/file_io.h"

namespace sonavelt::run {
namespace {

namespace fs = std::filesystem;

int OpenFolderLocked(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// A folder of this user's own in a place others may write (/tmp): made
// 0700 when missing, and refused unless it is a real folder (not a link)
// owned by this user that no one else may write.
bool PrivateFolderIn(const std::string& path) {
  mkdir(path.c_str(), 0700);
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & 022) == 0;
}

}  // namespace

std::string UserCacheFolder() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg != nullptr && xdg[0] == '/') return file_io::JoinPath(xdg, "sonavelt");
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return file_io::JoinPath(home, ".cache/sonavelt");
  return "/tmp/sonavelt-" + std::to_string(static_cast<long>(geteuid()));
}

Status WorkFolder::Create(const std::string& parent, std::string_view prefix,
                          std::unique_ptr<WorkFolder>* folder) {
  folder->reset();
  std::error_code ec;
  fs::create_directories(parent, ec);
  if (ec) return Status::IoError(ec.message());
  std::string path = file_io::JoinPath(
      parent, std::string(prefix) + "-" + std::to_string(static_cast<long>(getpid())) + "-XXXXXX");
  if (mkdtemp(path.data()) == nullptr) return Status::IoError(file_io::ErrorText(errno));
  int fd = OpenFolderLocked(path);
  if (fd < 0) {
    Status failed = Status::IoError(file_io::ErrorText(errno));
    rmdir(path.c_str());
    return failed;
  }
  folder->reset(new WorkFolder(std::move(path), fd));
  return Status::Ok();
}

WorkFolder::~WorkFolder() {
  std::error_code ec;
  fs::remove_all(path_, ec);
  close(lock_fd_);
}

long WorkFolderOwner(std::string_view name, std::string_view prefix) {
  if (name.substr(0, prefix.size()) != prefix || name.size() < prefix.size() + 9 ||
      name[prefix.size()] != '-')
    return 0;
  std::string_view rest = name.substr(prefix.size() + 1);
  size_t dash = rest.find('-');
  if (dash == std::string_view::npos || dash == 0 || dash > 10 || rest.size() != dash + 7)
    return 0;
  long pid = 0;
  for (char c : rest.substr(0, dash)) {
    if (c < '0' || c > '9') return 0;
    pid = pid * 10 + (c - '0');
  }
  return pid;
}

int RemoveStaleWorkFolders(const std::string& parent, std::string_view prefix) {
  std::vector<std::string> names;
  if (DIR* listing = opendir(parent.c_str())) {
    while (dirent* entry = readdir(listing)) names.emplace_back(entry->d_name);
    closedir(listing);
  }
  int removed = 0;
  for (const std::string& name : names) {
    long owner = WorkFolderOwner(name, prefix);
    if (owner == 0 || owner == static_cast<long>(getpid()) || file_io::ProcessIsAlive(owner))
      continue;
    std::string path = file_io::JoinPath(parent, name);
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) continue;
    int fd = OpenFolderLocked(path);
    if (fd < 0) continue;  // its owner (or another sweeper) holds it
    std::error_code ec;
    fs::remove_all(path, ec);
    close(fd);
    if (!ec) ++removed;
  }
  return removed;
}

std::string FallbackCacheFolder() {
  std::error_code ec;
  std::string temp = fs::temp_directory_path(ec).string();
  if (ec || temp.empty()) temp = "/tmp";
  std::string folder = file_io::JoinPath(temp, "sonavelt-" + std::to_string(geteuid()));
  return PrivateFolderIn(folder) ? folder : std::string();
}

Status MakeSessionWorkFolder(std::unique_ptr<WorkFolder>* folder) {
  std::error_code ec;
  std::string temp = fs::temp_directory_path(ec).string();
  if (ec || temp.empty()) temp = "/tmp";
  const std::string fallback = file_io::JoinPath(temp, "sonavelt-" + std::to_string(geteuid()));
  const std::string root = UserCacheFolder();
  std::string reasons;
  for (const std::string& parent : {root, fallback}) {
    if (parent == fallback && !PrivateFolderIn(parent)) {
      reasons += (reasons.empty() ? "" : "; ") + parent + ": not a private folder of this user's";
      continue;
    }
    RemoveStaleWorkFolders(parent, "work");
    RemoveStaleWorkFolders(parent, "run");
    Status made = WorkFolder::Create(parent, "work", folder);
    if (made.ok()) return made;
    reasons += (reasons.empty() ? "" : "; ") + parent + ": " + made.message();
  }
  return Status::IoError(reasons);
}

}  // namespace sonavelt::run
