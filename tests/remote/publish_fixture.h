#pragma once

#include <fnmatch.h>
#include <signal.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "base/user_interface.h"
#include "remote/transfers.h"
#include "tests/support/temp_dir.h"

// A whole publish against any server kind: the run's files in a cache
// folder, a page with mixed line ends, and a watcher that kills a server in
// the middle of an upload.
namespace sonavelt::testing {

// The page before the run: CR LF and LF lines, bytes above 127, `lines` long.
inline std::string OldTestPage(int lines = 3000) {
  std::string page = "<html>\r\n<head><title>caf\xE9</title></head>\n<body>\r\n";
  for (int i = 0; i < lines; ++i) page += "<p>line " + std::to_string(i) + (i % 3 ? "\r\n" : "\n");
  return page + "</body>\n</html>\r\n";
}
// The page after it: the run's block in CR LF, the rest untouched.
inline std::string NewTestPage(int lines = 3000) {
  return OldTestPage(lines) + "<applet code=x>\r\n</applet>\r\n";
}
// Which of the two `bytes` is, in a few words (no whole page in a failure).
inline std::string WhichPage(const std::string& bytes, int lines = 3000) {
  if (bytes == OldTestPage(lines)) return "old page";
  if (bytes == NewTestPage(lines)) return "new page";
  return "other (" + std::to_string(bytes.size()) + " bytes)";
}

// The files of one publish and the page they go beside, all as files in a
// cache folder; Published() reads the page and the text files as the run
// hands them over.
struct RunFiles {
  std::string remote_path;  // the page on the server
  std::string page_path;    // the edited page
  std::vector<std::string> sounds;
  std::vector<std::string> sound_copies;
  std::string applet_class_path;
  std::string player_script_path;
  std::string resource_path;
  std::vector<std::string> player_data_paths;

  run::PublishFiles Published() const {
    run::PublishFiles files;
    files.page = ReadFile(page_path);
    files.sounds = sounds;
    files.sound_copies = sound_copies;
    files.applet_class_path = applet_class_path;
    files.player_script_path = player_script_path;
    files.resource = {std::filesystem::path(resource_path).filename().string(),
                      ReadFile(resource_path)};
    for (const std::string& path : player_data_paths)
      files.player_data.push_back({std::filesystem::path(path).filename().string(), ReadFile(path)});
    return files;
  }
};

// A transfer driven the way the run drives it: each failure it returns is
// shown in `ui` as the run shows it, so that tests see the user's messages.
class RunTransfer {
 public:
  RunTransfer(remote::FtpEndpoint endpoint, UserInterface& ui, run::TransferObserver& observer,
              remote::RetryPolicy policy = {})
      : transfer_(std::move(endpoint), policy), ui_(ui), observer_(observer) {}

  // Fetches the page and, when it came, writes its bytes to `local_path`.
  Status Fetch(const std::string& remote_path, const std::string& local_path,
               const std::string& progress_text) {
    std::string bytes;
    Status fetched = transfer_.FetchPage({"", remote_path}, &bytes, progress_text, observer_);
    if (fetched.ok()) WriteFile(local_path, bytes);
    return Shown(fetched);
  }
  Status Publish(const RunFiles& files) {
    return Shown(transfer_.PublishPage({"", files.remote_path}, files.Published(), observer_));
  }
  Status ReconnectRun() { return Shown(transfer_.ReconnectRun()); }
  void set_second_connection(bool on) { transfer_.set_second_connection(on); }

 private:
  Status Shown(Status status) {
    Show(ui_, status);
    return status;
  }

  remote::RemotePageTransfer transfer_;
  UserInterface& ui_;
  run::TransferObserver& observer_;
};

// Four sounds of `sound_size` random bytes, the class and resource files.
inline RunFiles MakeRunFiles(const std::string& cache, const std::string& remote_page,
                             size_t sound_size) {
  std::filesystem::create_directories(cache);
  RunFiles files;
  std::mt19937 random(5);
  for (const char* name : {"e1.au", "x1.au", "b1.au", "e2.au"}) {
    std::string bytes(sound_size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    bytes.replace(0, 4, ".snd");
    bytes.replace(40, 3, "\r\n\n");
    WriteFile(cache + "/" + name, bytes);
    files.sounds.push_back(cache + "/" + name);
  }
  files.applet_class_path = cache + "/SonaveltRandomEventBackground.class";
  WriteFile(files.applet_class_path, std::string("\xCA\xFE\xBA\xBE\r\n", 6));
  files.resource_path = cache + "/index.res";
  WriteFile(files.resource_path, std::string("\x02\x00\r\n\x01", 5));
  files.remote_path = remote_page;
  files.page_path = cache + "/page.htm";
  return files;
}

// Files whose names say they are a publish's temporary or backup files.
inline std::vector<std::string> LeftoversIn(const std::string& folder) {
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    std::string name = entry.path().filename().string();
    if (name.find(".part") != std::string::npos || name.find(".old") != std::string::npos ||
        name.find("sonavelt-") != std::string::npos)
      left.push_back(name);
  }
  return left;
}

class QuietObserver : public run::TransferObserver {
 public:
  void ReportTransferring(const std::string&, bool) override {}
  void SetProgressText(const std::string&) override {}
  bool CancelRequested() override { return cancel.load(); }
  const std::atomic<bool>* CancelFlag() override { return &cancel; }
  std::atomic<bool> cancel{false};
};

// The processes below `root` (servers put their sessions in process groups
// and sessions of their own), nearest first.
inline std::vector<pid_t> Descendants(pid_t root) {
  std::vector<std::pair<pid_t, pid_t>> parents;  // (pid, parent)
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    std::getline(stat, line);
    size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream rest(line.substr(close + 2));
    char state;
    pid_t parent = 0;
    rest >> state >> parent;
    parents.emplace_back(static_cast<pid_t>(std::stol(name)), parent);
  }
  std::vector<pid_t> below = {root};
  for (size_t i = 0; i < below.size(); ++i)
    for (auto [pid, parent] : parents)
      if (parent == below[i]) below.push_back(pid);
  below.erase(below.begin());
  return below;
}

// Kills `root` and every process below it.
inline void KillTree(pid_t root) {
  std::vector<pid_t> doomed = Descendants(root);
  doomed.insert(doomed.begin(), root);
  for (pid_t pid : doomed) kill(pid, SIGKILL);
}

// Kills the server `root` (KillTree) as soon as a file whose name matches the
// pattern `name` ("*" for any text) in `folder` has some but not all of
// `full_size` bytes.
class KillMidUpload {
 public:
  KillMidUpload(std::string folder, std::string name, size_t full_size, pid_t root)
      : thread_([=, this] {
          auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
          while (!stop_ && std::chrono::steady_clock::now() < until) {
            std::error_code ec;
            for (auto it = std::filesystem::directory_iterator(folder, ec);
                 !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
              if (fnmatch(name.c_str(), it->path().filename().c_str(), 0) != 0) continue;
              std::error_code size_ec;
              auto size = it->file_size(size_ec);
              if (!size_ec && size > 0 && size < full_size) {
                KillTree(root);
                killed_at_ = size;
                return;
              }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
          }
        }) {}
  ~KillMidUpload() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // The size the file had when the server was killed; 0: not killed.
  size_t killed_at() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return killed_at_;
  }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<size_t> killed_at_{0};
  std::thread thread_;
};

}  // namespace sonavelt::testing
