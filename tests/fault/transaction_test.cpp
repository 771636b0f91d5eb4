// sonavelt-cli run as a transaction, tried the hard way: two runs at once on
// pages and sounds with the same names, runs killed at random moments, runs
// stopped by Ctrl-C and SIGTERM, pages behind links, with owners and modes of
// their own, or read-only, and an install folder with a "Cache" that is not
// the program's. Every result is compared byte for byte with a clean run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/fault/fault_support.h"
#include "tests/fault/page_run_test.h"
#include "tests/support/cli_test.h"
#include "tests/support/scratch_install.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::testing {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

constexpr char kPage[] =
    "<HTML><HEAD><TITLE>Home</TITLE></HEAD>\r\n<BODY BGCOLOR=\"#336699\">\r\n"
    "<P>Welcome.</P>\r\n</BODY></HTML>\r\n";

// A pid that surely belongs to no process: a child that has been reaped.
pid_t DeadPid() {
  pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return child;
}

// A data file without its "found" list. Sounds a killed run put into
// audio/ before its resource file named them cannot be told from the user's
// own files: the next run uses them where they lie and records them as
// found, which is all that differs from a clean run.
std::string WithoutFoundList(std::string bytes) {
  const size_t found = bytes.find(",\n\"found\": [");
  if (found == std::string::npos) return bytes;
  const size_t end = bytes.find(']', found);
  return bytes.erase(found, end + 1 - found);
}

class TransactionTest : public PageRunTest {
 protected:
  // A page folder holding index.htm (kPage, or `page`).
  fs::path Site(const std::string& name, const std::string& page = kPage) {
    fs::path site = root_ / name;
    fs::remove_all(site);
    fs::create_directories(site);
    WriteFile((site / "index.htm").string(), page);
    return site;
  }

  static std::vector<std::string> Names(const Snapshot& files) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : files) names.push_back(name);
    return names;
  }
  // What the cache folder holds besides the page locks: the work folders
  // that were not removed.
  std::vector<std::string> LeftInCache() const {
    std::vector<std::string> left;
    if (!fs::exists(root_ / "cache/sonavelt")) return left;
    for (const auto& entry : fs::directory_iterator(root_ / "cache/sonavelt"))
      if (entry.path().filename() != "locks") left.push_back(entry.path().filename().string());
    return left;
  }
  static bool HasTempFiles(const Snapshot& files) {
    for (const auto& [name, bytes] : files)
      if (name.find(".sonavelt-tmp-") != std::string::npos) return true;
    return false;
  }

};

TEST_F(TransactionTest, TwoRunsAtOnceEachGetExactlyTheirOwnFiles) {
  fs::path sounds_a = Sounds("sounds-a", 0), sounds_b = Sounds("sounds-b", 1);
  // Clean single runs give the expected bytes.
  fs::path ref_a = Site("ref-a"), ref_b = Site("ref-b");
  ASSERT_EQ(Run(Argv(ref_a / "index.htm", sounds_a)).status, 0);
  ASSERT_EQ(Run(Argv(ref_b / "index.htm", sounds_b)).status, 0);
  const Snapshot want_a = Take(ref_a), want_b = Take(ref_b);
  ASSERT_NE(want_a.at("audio/bell.au"), want_b.at("audio/bell.au"));
  ASSERT_NE(want_a.at("index.res"), want_b.at("index.res"));

  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    fs::path a = Site("a"), b = Site("b");
    BackgroundProgram run_a(Argv(a / "index.htm", sounds_a), root_, Environment());
    BackgroundProgram run_b(Argv(b / "index.htm", sounds_b), root_, Environment());
    ProgramResult ra = run_a.Wait(), rb = run_b.Wait();
    ASSERT_EQ(ra.status, 0) << ra.err;
    ASSERT_EQ(rb.status, 0) << rb.err;
    EXPECT_EQ(Take(a), want_a);
    EXPECT_EQ(Take(b), want_b);
  }

  // Two runs on one page: the second waits for the first, never interleaves.
  fs::path a = Site("a");
  BackgroundProgram first(Argv(a / "index.htm", sounds_a), root_, Environment());
  BackgroundProgram second(Argv(a / "index.htm", sounds_a), root_, Environment());
  ProgramResult r1 = first.Wait(), r2 = second.Wait();
  EXPECT_EQ(r1.status, 0) << r1.err;
  EXPECT_EQ(r2.status, 0) << r2.err;
  EXPECT_EQ(Take(a), want_a);
  EXPECT_EQ(LeftInCache(), std::vector<std::string>{});
}

TEST_F(TransactionTest, RunsKilledAtRandomMomentsLeaveTheOldPageOrTheNewAndNoLeftovers) {
  fs::path sounds = Sounds("sounds", 0);
  // A page large enough that writing it is a phase of its own.
  std::string page = kPage;
  page.insert(page.find("<P>"), "<!-- " + std::string(1 << 20, 'p') + " -->\r\n");
  // The kill moments spread over the length of a clean run: the shortest of
  // three, as the first one also pays for cold caches and would put many
  // kills after the end of a warm run.
  fs::path ref = Site("ref", page);
  milliseconds clean_time = milliseconds::max();
  for (int i = 0; i < 3; ++i) {
    fs::path clean = i == 0 ? ref : Site("clean-" + std::to_string(i), page);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Run(Argv(clean / "index.htm", sounds)).status, 0);
    clean_time = std::min(clean_time, std::chrono::duration_cast<milliseconds>(
                                          std::chrono::steady_clock::now() - start));
  }
  const Snapshot want = Take(ref);
  const std::string& new_page = want.at("index.htm");

  fs::path site = Site("site", page);
  const unsigned seed = 20261207;
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> moment(0, static_cast<int>(clean_time.count() * 11 / 10) + 1);
  int killed = 0, left_temporary = 0;
  for (int round = 0; round < 30; ++round) {
    int after = moment(random);
    SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round) +
                 ", killed after " + std::to_string(after) + " ms");
    BackgroundProgram run(Argv(site / "index.htm", sounds), root_, Environment());
    std::this_thread::sleep_for(milliseconds(after));
    run.Signal(SIGKILL);
    ProgramResult r = run.Wait();
    if (r.signal == SIGKILL) ++killed;
    const std::string now = ReadFile((site / "index.htm").string());
    ASSERT_TRUE(now == page || now == new_page) << "the page is neither the old nor the new one";
    // Whatever is beside the page under a final name is whole.
    Snapshot now_there = Take(site);
    if (HasTempFiles(now_there)) ++left_temporary;
    for (const auto& [name, bytes] : now_there) {
      if (name.find(".sonavelt-tmp-") != std::string::npos || name == "index.htm") continue;
      ASSERT_TRUE(want.count(name)) << name;
      EXPECT_EQ(WithoutFoundList(bytes), want.at(name)) << name;
    }
  }
  EXPECT_GT(killed, 10) << "too few rounds were killed in time to mean anything (clean run: "
                        << clean_time.count() << " ms)";
  RecordProperty("rounds_that_left_temporary_files", left_temporary);
  RecordProperty("rounds_killed", killed);
  RecordProperty("clean_run_ms", static_cast<int>(clean_time.count()));

  // Besides what the kills left: a killed run's files, planted, go; one of a
  // process that still runs (this test) stays.
  const std::string dead = std::to_string(DeadPid());
  WriteFile((site / (".index.htm.sonavelt-tmp-" + dead + "-Ab12Cd")).string(), "half a page");
  fs::create_directories(site / "audio");
  WriteFile((site / ("audio/.bell.au.sonavelt-tmp-" + dead + "-Ab12Cd")).string(), ".snd");
  const std::string live = ".other.htm.sonavelt-tmp-" + std::to_string(getpid()) + "-Ab12Cd";
  WriteFile((site / live).string(), "another run's page, being written");

  ProgramResult r = Run(Argv(site / "index.htm", sounds));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(site / live));
  fs::remove(site / live);
  Snapshot after = Take(site);
  EXPECT_FALSE(HasTempFiles(after)) << ::testing::PrintToString(Names(after));
  for (auto& [name, bytes] : after) bytes = WithoutFoundList(bytes);
  EXPECT_EQ(after, want);
  EXPECT_EQ(FilesBelow(install_ / "HISTORY"), std::vector<std::string>{"HIS_index.htm"});
  EXPECT_EQ(LeftInCache(), std::vector<std::string>{});
}

TEST_F(TransactionTest, StopSignalsLeaveThePageUntouchedAndSayWhatWasPutBesideIt) {
  fs::path sounds = Sounds("sounds", 0);
  // A large .au sound is copied as it is: long enough to be stopped in.
  std::string big = ".snd";
  for (uint32_t v : {24u, 0xFFFFFFFFu, 1u, 8000u, 1u}) {
    for (int shift = 24; shift >= 0; shift -= 8) big.push_back(static_cast<char>(v >> shift));
  }
  big.resize(big.size() + (256u << 20), '\x7f');
  WriteFile((sounds / "big.au").string(), big);
  big.clear();
  big.shrink_to_fit();

  struct Case {
    int signal_number;
    const char* wait_for;  // the status text after which the signal is sent
  } cases[] = {{SIGINT, "Transferring: big.au"}, {SIGTERM, "Converting:"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(strsignal(c.signal_number));
    fs::path site = Site("site");
    // Progress on (no -q), so the test sees where the run is. Without the
    // browser player for the copy: its browser copy (nine hours of sound)
    // would be made before the copying starts.
    std::vector<std::string> extra;
    if (c.signal_number == SIGINT) extra.push_back("--no-html5");
    BackgroundProgram run(Argv(site / "index.htm", sounds, extra, (sounds / "big.au").string()),
                          root_, Environment());
    ASSERT_TRUE(run.WaitForError(c.wait_for, milliseconds(60000))) << run.Wait().err;
    run.Signal(c.signal_number);
    ProgramResult r = run.Wait();
    EXPECT_EQ(r.status, 3) << r.err;
    EXPECT_NE(r.err.find("Stopped by the user."), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile((site / "index.htm").string()), kPage);
    Snapshot beside = Take(site);
    EXPECT_FALSE(HasTempFiles(beside)) << ::testing::PrintToString(Names(beside));
    // Ctrl-C came while big.au was being copied: it is not there, not even
    // in part; the sounds before it are, and are named.
    if (c.signal_number == SIGINT) {
      EXPECT_FALSE(beside.count("audio/big.au"));
      EXPECT_TRUE(beside.count("audio/bell.au"));
      EXPECT_NE(r.err.find(" put beside it:"), std::string::npos) << r.err;
    }
    if (beside.size() > 1) {
      EXPECT_NE(r.err.find("index.htm was left as it was."), std::string::npos) << r.err;
      for (const auto& [name, bytes] : beside)
        if (name != "index.htm") EXPECT_NE(r.err.find((site / name).string()), std::string::npos);
    }
    EXPECT_EQ(LeftInCache(), std::vector<std::string>{});
  }
}

TEST_F(TransactionTest, AnInstallFolderCacheThatIsNotOursIsNeverTouched) {
  fs::path sounds = Sounds("sounds", 0);
  fs::create_directories(root_ / "precious");
  WriteFile((root_ / "precious/letter.txt").string(), "keep me");
  fs::create_directory_symlink(root_ / "precious", install_ / "Cache");
  fs::path site = Site("site");
  ProgramResult r = Run(Argv(site / "index.htm", sounds));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(install_ / "Cache"));
  EXPECT_EQ(FilesBelow(root_ / "precious"), std::vector<std::string>{"letter.txt"});

  fs::remove(install_ / "Cache");
  fs::create_directories(install_ / "Cache/notes");
  WriteFile((install_ / "Cache/dumytemp.htm").string(), "a file of the user's");
  WriteFile((install_ / "Cache/notes/n.txt").string(), "n");
  r = Run(Argv(Site("site") / "index.htm", sounds));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(FilesBelow(install_ / "Cache"),
            (std::vector<std::string>{"dumytemp.htm", "notes/n.txt"}));
  EXPECT_EQ(ReadFile((install_ / "Cache/dumytemp.htm").string()), "a file of the user's");
}

TEST_F(TransactionTest, PageBehindALinkKeepsLinkModeAndOwner) {
  fs::path sounds = Sounds("sounds", 0);
  fs::path ref = Site("ref");
  ASSERT_EQ(Run(Argv(ref / "index.htm", sounds)).status, 0);
  const std::string new_page = ReadFile((ref / "index.htm").string());

  fs::path site = Site("site");
  fs::create_directories(root_ / "real");
  fs::rename(site / "index.htm", root_ / "real/page.htm");
  fs::create_symlink("../real/page.htm", site / "index.htm");
  const std::string real = (root_ / "real/page.htm").string();
  ASSERT_EQ(chmod(real.c_str(), 0640), 0);
  const bool root = geteuid() == 0;
  if (root) ASSERT_EQ(chown(real.c_str(), 4321, 5432), 0);

  ProgramResult r = Run(Argv(site / "index.htm", sounds));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(site / "index.htm"));
  EXPECT_EQ(ReadFile(real), new_page);
  struct stat st;
  ASSERT_EQ(stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 5432u);
  }
  // Its files are beside the link, where the browser finds the page.
  EXPECT_EQ(ReadFile((site / "index.res").string()), ReadFile((ref / "index.res").string()));
  EXPECT_TRUE(fs::exists(site / "audio/bell.au"));
}

TEST_F(TransactionTest, ReadOnlyPageIsRefusedBeforeAnythingIsWritten) {
  fs::path sounds = Sounds("sounds", 0);
  fs::path site = Site("site");
  const std::string page = (site / "index.htm").string();
  ASSERT_EQ(chmod(page.c_str(), 0444), 0);
  ProgramResult r = Run(Argv(site / "index.htm", sounds));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find(page + " is read-only: Sonavelt may not change it."), std::string::npos)
      << r.err;
  EXPECT_EQ(ReadFile(page), kPage);
  EXPECT_EQ(FilesBelow(site), std::vector<std::string>{"index.htm"});
}

}  // namespace
}  // namespace sonavelt::testing
