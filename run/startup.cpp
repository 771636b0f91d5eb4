#include "run/startup.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "base/file_io.h"
#include "base/text.h"

namespace sonavelt::run {

namespace fs = std::filesystem;
using file_io::JoinPath;

std::string ChooseInstallFolder(const std::string& app_path, const std::string& program_folder,
                                const std::string& current_folder) {
  if (!app_path.empty()) return app_path;
  if (!program_folder.empty()) {
    std::error_code ec;
    fs::path beside = fs::path(program_folder).parent_path() / "share" / "sonavelt";
    if (fs::is_directory(beside, ec)) return beside.lexically_normal().string();
  }
  return current_folder;
}

std::string ProgramFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return std::string();
  return exe.parent_path().string();
}

std::string UserDataFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && *xdg != '\0') return xdg;
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return JoinPath(home, ".local/share");
  return std::string();
}

namespace {

constexpr std::string_view kOldProbePrefix = ".sonavelt-write-probe-";

// Earlier versions probed with a named file, which a killed program left
// behind: those whose writer is gone are removed (only regular files, never
// through a link).
void RemoveStaleProbes(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    std::string_view name = entry->d_name;
    if (name.substr(0, kOldProbePrefix.size()) != kOldProbePrefix) continue;
    std::string_view digits = name.substr(kOldProbePrefix.size());
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string_view::npos)
      continue;
    if (file_io::ProcessIsAlive(std::stol(std::string(digits)))) continue;
    struct stat st {};
    if (fstatat(dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
      continue;
    unlinkat(dirfd(dir), entry->d_name, 0);
  }
  closedir(dir);
}

}  // namespace

bool IsWritableFolder(const std::string& folder) {
  std::error_code ec;
  // A folder that is not there (a stale stored path, say) is not made here:
  // the work folders then go to the user's data folder.
  if (!fs::is_directory(folder, ec)) return false;
  // The mode bits may say yes where a network file system still refuses: a
  // real create settles it.
  if (!file_io::ProbeFolderWrite(folder).ok()) return false;
  RemoveStaleProbes(folder);
  return true;
}

InstallPaths MakeInstallPaths(const std::string& install_folder,
                              const std::string& user_data_folder) {
  InstallPaths paths;
  paths.install_folder = install_folder;
  std::string work_root = install_folder;
  std::error_code ec;
  bool system_wide = fs::exists(JoinPath(install_folder, kSystemWideMarker), ec);
  if ((system_wide || !IsWritableFolder(install_folder)) && !user_data_folder.empty())
    work_root = JoinPath(user_data_folder, "sonavelt");
  paths.history_folder = JoinPath(work_root, kHistoryFolderName);
  paths.applet_class_path = JoinPath(install_folder, kAppletClassFileName);
  paths.player_script_path = JoinPath(install_folder, kPlayerScriptInstallPath);
  paths.sample_page =
      user_data_folder.empty()
          ? JoinPath(install_folder, kSamplePage)
          : JoinPath(JoinPath(user_data_folder, kUserSampleFolder), FileNameOfPath(kSamplePage));
  return paths;
}

Status MakeSampleCopy(const InstallPaths& paths) {
  const std::string shipped = JoinPath(paths.install_folder, kSamplePage);
  if (paths.sample_page == shipped) return Status::Ok();
  std::error_code ec;
  if (fs::symlink_status(paths.sample_page, ec).type() != fs::file_type::not_found)
    return Status::Ok();
  fs::create_directories(fs::path(paths.sample_page).parent_path(), ec);
  if (ec) return Status::IoError(ec.message());
  // Only the page: the sample names no other file (its sounds come from
  // the run).
  return file_io::CopyFileAtomically(shipped, paths.sample_page);
}

StartUpChoices ChoicesFromHistory(const StoredHistory& stored, const InstallPaths& paths) {
  StartUpChoices c;
  // A page stored by an earlier version may be the install folder's own
  // sample: the user's copy stands in for it.
  const fs::path shipped = fs::path(JoinPath(paths.install_folder, kSamplePage)).lexically_normal();
  const bool sample =
      stored.html_file.empty() || fs::path(stored.html_file).lexically_normal() == shipped;
  c.page.local_html_path = sample ? paths.sample_page : stored.html_file;
  c.sounds.combination_count = stored.combination_count;
  ApplyStoredSwitches(stored, c.options);
  return c;
}

}  // namespace sonavelt::run
