#include "run/startup.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/file_io.h"

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

bool IsWritableFolder(const std::string& folder) {
  std::error_code ec;
  // A folder that is not there (a stale stored path, say) is not made here:
  // the work folders then go to the user's data folder.
  if (!fs::is_directory(folder, ec)) return false;
  if (access(folder.c_str(), W_OK) != 0) return false;
  std::string probe = JoinPath(folder, ".sonavelt-write-probe-" + std::to_string(getpid()));
  { std::ofstream out(probe); if (!out) return false; }
  fs::remove(probe, ec);
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
  return paths;
}

StartUpChoices ChoicesFromHistory(const StoredHistory& stored, const InstallPaths& paths) {
  StartUpChoices c;
  c.page.local_html_path =
      stored.html_file.empty() ? JoinPath(paths.install_folder, kSamplePage) : stored.html_file;
  c.sounds.combination_count = stored.combination_count;
  ApplyStoredSwitches(stored, c.options);
  return c;
}

}  // namespace sonavelt::run
