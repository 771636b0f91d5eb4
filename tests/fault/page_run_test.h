#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/fault/fault_support.h"
#include "tests/support/cli_test.h"
#include "tests/support/program.h"

namespace sonavelt::testing {

using Snapshot = std::map<std::string, std::string>;  // relative path -> bytes

// Runs of sonavelt-cli on pages in the test's folder (root_) with sounds of
// the test's own, and snapshots of the folders they leave.
class PageRunTest : public CliTest {
 protected:
  using CliTest::CliTest;
  void SetUp() override {
    CliTest::SetUp();
    root_ = dir_.path();
  }

  // Sounds named bell.wav, ding.wav and hum.wav in `name`; `variant` makes
  // their contents differ from another folder's.
  std::filesystem::path Sounds(const std::string& name, int variant) {
    std::filesystem::path folder = root_ / name;
    std::filesystem::create_directories(folder);
    WriteFile((folder / "bell.wav").string(), SmallWave(3000 + 700 * variant));
    WriteFile((folder / "ding.wav").string(), SmallWave(2000 + 300 * variant, 11025));
    WriteFile((folder / "hum.wav").string(), SmallWave(5000 + 100 * variant, 22050));
    return folder;
  }
  // Two combinations of the sounds in `sounds` on `page`; `background`
  // replaces hum.wav when given.
  std::vector<std::string> Argv(const std::filesystem::path& page, const std::filesystem::path& sounds,
                                std::vector<std::string> extra = {"-q"},
                                const std::string& background = "") {
    const std::string s = sounds.string() + "/";
    const std::string b = background.empty() ? s + "hum.wav" : background;
    std::vector<std::string> argv = {cli_, "run", "--install-folder", install_.string(), "--yes",
                                     "-n", "2", "-e", s + "bell.wav", "-e", s + "ding.wav",
                                     "-x", s + "ding.wav", "-x", s + "bell.wav",
                                     "-b", b, "-b", b};
    argv.insert(argv.end(), extra.begin(), extra.end());
    argv.push_back(page.string());
    return argv;
  }
  // Settings, data and caches of the test's own.
  std::vector<std::string> Environment() const {
    return {"XDG_CONFIG_HOME=" + (root_ / "config").string(),
            "XDG_DATA_HOME=" + (root_ / "data").string(),
            "XDG_CACHE_HOME=" + (root_ / "cache").string()};
  }
  ProgramResult Run(const std::vector<std::string>& argv) {
    return RunProgram(argv, root_, Environment());
  }
  static Snapshot Take(const std::filesystem::path& folder) {
    Snapshot files;
    for (const std::string& f : FilesBelow(folder)) files[f] = ReadFile((folder / f).string());
    return files;
  }

  std::filesystem::path root_;
};

}  // namespace sonavelt::testing
