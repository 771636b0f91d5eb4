#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/program.h"
#include "tests/support/scratch_install.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::testing {

struct CliResult {
  int status = -1;  // -1: killed, also on the time-out
  bool timed_out = false;
  std::string output;  // standard output and standard error together
};

// A test of the real sonavelt-cli (run with RunProgram): a folder of the
// test's own, and in it an install folder of its own (dir_/install), so runs
// never write into the build tree. Skipped outside CTest, where there is no
// built program. A fixture's own SetUp calls this one first and returns when
// IsSkipped().
class CliTest : public ::testing::Test {
 protected:
  explicit CliTest(ScratchInstallParts parts = {}) : parts_(parts) {}

  void SetUp() override {
    cli_ = SonaveltCliPath();
    const char* data = std::getenv("SONAVELT_BUILD_DATA_DIR");
    if (cli_.empty() || data == nullptr) GTEST_SKIP() << "needs the built program and data";
    data_ = data;
    install_ = dir_.path() / "install";
    MakeScratchInstallFolder(install_, data_, parts_);
  }

  // Runs the program with `args` in a clean environment whose settings,
  // data, cache and home folders are this test's own, plus `extra_env`
  // ("NAME=value"), in a session of its own (no terminal to ask on). Killed
  // after `timeout`, so a hang fails the test; memory_kb limits its address
  // space (0: no limit).
  CliResult RunCli(const std::vector<std::string>& args, const std::vector<std::string>& extra_env = {},
                   std::chrono::seconds timeout = std::chrono::seconds(120), long memory_kb = 0) {
    std::vector<std::string> argv = {cli_};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> env = {
        "XDG_CONFIG_HOME=" + (dir_.path() / "config").string(),
        "XDG_DATA_HOME=" + (dir_.path() / "data").string(),
        "XDG_CACHE_HOME=" + (dir_.path() / "cache").string(), "HOME=" + dir_.path().string(),
        "PATH=/usr/bin:/bin"};
    env.insert(env.end(), extra_env.begin(), extra_env.end());
    ProgramResult p = RunProgram(argv, {.folder = dir_.path(),
                                        .environment = env,
                                        .clean_environment = true,
                                        .merge_output = true,
                                        .new_session = true,
                                        .timeout = timeout,
                                        .memory_kb = memory_kb});
    return {p.status, p.timed_out, p.out};
  }

  TempDir dir_;
  std::filesystem::path data_;     // the build tree's data folder
  std::filesystem::path install_;  // the test's install folder
  std::string cli_;                // the program

 private:
  ScratchInstallParts parts_;
};

}  // namespace sonavelt::testing
