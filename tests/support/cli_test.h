#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/program.h"
#include "tests/support/scratch_install.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::testing {

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

  TempDir dir_;
  std::filesystem::path data_;     // the build tree's data folder
  std::filesystem::path install_;  // the test's install folder
  std::string cli_;                // the program

 private:
  ScratchInstallParts parts_;
};

}  // namespace sonavelt::testing
