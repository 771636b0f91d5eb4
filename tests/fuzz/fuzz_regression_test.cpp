// Replays every kept fuzz input (the seed corpora and the inputs that once
// crashed a target) through the same entry points the fuzzers drive, so the
// normal and the sanitizer test runs catch a reader that regresses.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_entries.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::fuzz {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> KeptInputs(std::string_view target) {
  std::vector<fs::path> files;
  for (const char* kind : {"corpus", "regressions"}) {
    fs::path dir = fs::path(SONAVELT_FUZZ_DIR) / kind / target;
    if (!fs::is_directory(dir)) continue;
    for (const fs::directory_entry& e : fs::directory_iterator(dir))
      if (e.is_regular_file()) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace

// Names the target in test output instead of dumping the entry's bytes.
void PrintTo(const NamedEntry& entry, std::ostream* out) { *out << entry.name; }

namespace {

class FuzzRegressionTest : public ::testing::TestWithParam<NamedEntry> {};

TEST_P(FuzzRegressionTest, KeptInputsPass) {
  std::vector<fs::path> inputs = KeptInputs(GetParam().name);
  ASSERT_FALSE(inputs.empty()) << "no seed corpus for " << GetParam().name;
  for (const fs::path& input : inputs) {
    SCOPED_TRACE(input.string());
    std::string bytes = testing::ReadFile(input.string());
    // A failing input aborts inside the entry point with its own message.
    EXPECT_EQ(GetParam().entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Targets, FuzzRegressionTest, ::testing::ValuesIn(AllEntries().begin(), AllEntries().end()),
                         [](const ::testing::TestParamInfo<NamedEntry>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace sonavelt::fuzz
