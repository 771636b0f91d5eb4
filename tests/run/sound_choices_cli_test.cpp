// sonavelt-cli run with the sounds and pages a user can pick by mistake or
// by chance: sounds of one name from different folders, special files, paths
// holding ";", a page whose name starts with "-", and a remote run after a
// local one. The real program, real files, a real FTP server on loopback.
#include <gtest/gtest.h>

#include "tests/audio/shown_status.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "audio/wave_converter.h"
#include "base/byte_order.h"
#include "run/resource_text.h"
#include "tests/remote/ftp_test_server.h"
#include "tests/support/cli_test.h"
#include "tests/support/program.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/resource_file.h"
#include "tests/support/scratch_install.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_bytes.h"

namespace sonavelt::run {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

using Result = testing::CliResult;

// A mono 8-bit WAVE file at 8000 Hz of `frames` samples `fill` (no pad byte).
std::string Wave(char fill, size_t frames) {
  return testing::Riff(testing::Chunk("fmt ", testing::FmtBody(1, 8000, 8)) +
                       testing::Chunk("data", std::string(frames, fill), std::nullopt, false));
}

// A Sun .au file (mu-law, 8000 Hz, mono) of `frames` bytes `fill`.
std::string Au(char fill, size_t frames) {
  return testing::AuFile(24, 1, 8000, 1, "", std::string(frames, fill));
}

// The "audio/NAME" entries of a resource file's text, in order.
std::vector<std::string> AudioNames(const std::string& text) {
  std::vector<std::string> names;
  for (size_t at = text.find("audio/"); at != std::string::npos; at = text.find("audio/", at)) {
    at += 6;
    size_t end = text.find_first_of(",;", at);
    names.push_back(text.substr(at, end - at));
  }
  return names;
}

class SoundChoicesTest : public testing::CliTest {
 protected:
  SoundChoicesTest() : CliTest({.sample_page = true, .sounds = true}) {}
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped()) return;
    fs::create_directories(dir_.path() / "site");
    fs::copy_file(data_ / "samples/sample.htm", dir_.path() / "site/sample.htm");
  }

  std::string File(const std::string& name, const std::string& bytes) {
    fs::create_directories((dir_.path() / name).parent_path());
    WriteFile(dir_.File(name), bytes);
    return name;
  }

  // sonavelt-cli run with an argument list, killed after `timeout_s`.
  Result Cli(std::vector<std::string> args, int timeout_s = 60,
             const std::vector<std::string>& extra_env = {}, long memory_kb = 0) {
    args.insert(args.begin(), {"run", "--install-folder", install_.string()});
    return RunCli(args, extra_env, std::chrono::seconds(timeout_s), memory_kb);
  }

  std::string Ini() {
    std::error_code ec;
    if (!fs::exists(dir_.path() / "config/Brindlecor/Sonavelt.ini", ec)) return std::string();
    return ReadFile((dir_.path() / "config/Brindlecor/Sonavelt.ini").string());
  }
  std::string Stored(const std::string& key) {
    std::string ini = Ini();
    size_t at = ini.find(key + "=");
    if (at == std::string::npos) return std::string();
    at += key.size() + 1;
    return ini.substr(at, ini.find('\n', at) - at);
  }

};

TEST_F(SoundChoicesTest, SoundsOfOneNameFromDifferentFoldersKeepTheirOwnFiles) {
  // Combination 1: a converted bell.wav and a chosen bell.au; two ding.au.
  // Combination 2: the user's own bell-2.au, a second, different bell.wav,
  // and a byte-for-byte copy of a/bell.wav, which shares its file.
  const std::string a_bell = File("a/bell.wav", Wave('\x10', 800));
  const std::string b_bell = File("b/bell.au", Au('\x20', 500));
  const std::string c_ding = File("c/ding.au", Au('\x30', 500));
  const std::string d_ding = File("d/ding.au", Au('\x40', 600));
  const std::string own = File("e/bell-2.au", Au('\x50', 700));
  const std::string f_bell = File("f/bell.wav", Wave('\x60', 900));
  const std::string copy = File("g/bell.wav", Wave('\x10', 800));
  Result r = Cli({"--yes", "-n", "2", "--in-order", "-e", a_bell, "-x", b_bell, "-b", c_ding,
                  "-e", own, "-x", f_bell, "-b", d_ding, "-e", copy, "-x", a_bell, "-b", c_ding,
                  "site/sample.htm"});
  ASSERT_EQ(r.status, 2) << "three entrance sounds for two combinations";
  r = Cli({"--yes", "-n", "3", "--in-order", "-e", a_bell, "-x", b_bell, "-b", c_ding, "-e",
           own, "-x", f_bell, "-b", d_ding, "-e", copy, "-x", a_bell, "-b", c_ding,
           "site/sample.htm"});
  ASSERT_EQ(r.status, 0) << r.output;

  // What each chosen sound must sound like on the site.
  std::map<std::string, std::string> expected;
  testing::RecordingUserInterface ui;
  for (const std::string& sound : {a_bell, f_bell, copy}) {
    const std::string au = dir_.File("expected.au");
    ASSERT_EQ(testing::Shown(ui, audio::ConvertWaveFile(dir_.File(sound), au, {})),
              audio::ConversionOutcome::kConverted);
    expected[sound] = ReadFile(au);
  }
  for (const std::string& sound : {b_bell, c_ding, d_ding, own})
    expected[sound] = ReadFile(dir_.File(sound));

  std::string text;
  ASSERT_TRUE(testing::DecodeResourceFile(ReadFile(dir_.File("site/sample.res")), &text).ok());
  const std::vector<std::string> names = AudioNames(text);
  // Three lists of three: entrance, exit and background sounds.
  ASSERT_EQ(names.size(), 9u) << text;
  const std::vector<std::string> chosen = {a_bell, own,    copy,   b_bell, f_bell,
                                           a_bell, c_ding, d_ding, c_ding};
  std::map<std::string, std::string> sound_of_name;
  for (size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(chosen[i] + " as " + names[i]);
    const fs::path placed = dir_.path() / "site/audio" / names[i];
    ASSERT_TRUE(fs::is_regular_file(placed));
    EXPECT_EQ(ReadFile(placed.string()), expected[chosen[i]]);
    // One name, one sound (a copy with the same bytes may share it).
    auto [it, fresh] = sound_of_name.emplace(names[i], expected[chosen[i]]);
    if (!fresh) {
      EXPECT_EQ(it->second, expected[chosen[i]]);
    }
  }
  EXPECT_EQ(names[0], "bell.au");
  EXPECT_EQ(names[1], "bell-2.au");  // the user's own name is kept
  EXPECT_EQ(names[2], "bell.au");    // the same bytes as a/bell.wav
  EXPECT_EQ(names[6], "ding.au");
  EXPECT_EQ(names[7], "ding-2.au");
  EXPECT_NE(names[3], names[0]);
  EXPECT_NE(names[4], names[0]);
  EXPECT_NE(names[3], names[4]);
  // Nothing else arrived in the audio folder but each sound's browser copy.
  std::set<std::string> on_site;
  for (const auto& entry : fs::directory_iterator(dir_.path() / "site/audio"))
    on_site.insert(entry.path().filename().string());
  std::set<std::string> wanted;
  for (const std::string& name : names) {
    wanted.insert(name);
    wanted.insert(name.substr(0, name.size() - 3) + ".opus");
  }
  EXPECT_EQ(on_site, wanted);
  // The progress names the file written.
  EXPECT_NE(r.output.find("Converting: bell.au To: " + names[3]), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("Converting: bell.wav To: " + names[4]), std::string::npos) << r.output;

  // A second run on the same page with the page's own audio/bell.au and a
  // different bell.wav converted first: the placed file keeps its name and
  // is not overwritten by the other sound.
  const std::string placed_before = ReadFile(dir_.File("site/audio/bell.au"));
  r = Cli({"--yes", "-q", "-n", "1", "-e", f_bell, "-x", "site/audio/bell.au", "-b", c_ding,
           "site/sample.htm"});
  ASSERT_EQ(r.status, 0) << r.output;
  ASSERT_TRUE(testing::DecodeResourceFile(ReadFile(dir_.File("site/sample.res")), &text).ok());
  EXPECT_EQ(AudioNames(text), (std::vector<std::string>{"bell-2.au", "bell.au", "ding.au"}));
  EXPECT_EQ(ReadFile(dir_.File("site/audio/bell.au")), placed_before);
  EXPECT_EQ(ReadFile(dir_.File("site/audio/bell-2.au")), expected[f_bell]);
}

TEST_F(SoundChoicesTest, SpecialFilesAreRefusedAtOnce) {
  ASSERT_EQ(mkfifo(dir_.File("pipe.htm").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(dir_.File("pipe.wav").c_str(), 0600), 0);
  const std::string page = ReadFile(dir_.File("site/sample.htm"));
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const Case cases[] = {
      {{"pipe.htm"}, "pipe.htm is a named pipe (FIFO), not a file.\nPlease select an HTML file."},
      {{"/dev/zero"}, "/dev/zero is a device, not a file.\nPlease select an HTML file."},
      {{"-n", "1", "-x", "pipe.wav", "site/sample.htm"},
       "pipe.wav is a named pipe (FIFO), not a file.\nPlease select an audio file."},
      {{"-n", "1", "-b", "/dev/zero", "site/sample.htm"},
       "/dev/zero is a device, not a file.\nPlease select an audio file."},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--yes"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    Result r = Cli(args, 20);
    SCOPED_TRACE(c.args.front());
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(c.message), std::string::npos) << r.output;
  }
  EXPECT_EQ(ReadFile(dir_.File("site/sample.htm")), page);
  EXPECT_FALSE(fs::exists(dir_.path() / "site/audio"));
  EXPECT_EQ(Ini(), "");
}

TEST_F(SoundChoicesTest, PathsHoldingASemicolonAreRefusedBeforeTheyAreStored) {
  File("x;y.wav", Wave('\x10', 800));
  fs::copy_file(dir_.path() / "site/sample.htm", dir_.path() / "site/a;b.htm");
  Result sound = Cli({"--yes", "-n", "1", "-e", "x;y.wav", "site/sample.htm"});
  EXPECT_EQ(sound.status, 1);
  EXPECT_NE(sound.output.find("x;y.wav\ncannot be used: its path holds \";\""), std::string::npos)
      << sound.output;
  Result page = Cli({"--yes", "site/a;b.htm"});
  EXPECT_EQ(page.status, 1);
  EXPECT_NE(page.output.find("a;b.htm\ncannot be used"), std::string::npos) << page.output;
  EXPECT_NE(page.output.find("select another HTML file"), std::string::npos) << page.output;
  EXPECT_EQ(Ini(), "");
  EXPECT_EQ(ReadFile(dir_.File("site/a;b.htm")), ReadFile(dir_.File("site/sample.htm")));

  // A completed run stores every sound list with one entry per combination.
  Result ok = Cli({"--yes", "-q", "-n", "2", "site/sample.htm"});
  ASSERT_EQ(ok.status, 0) << ok.output;
  for (const char* key : {"OSFs", "CSFs", "BSFs"}) {
    const std::string list = Stored(key);
    EXPECT_EQ(std::count(list.begin(), list.end(), ';'), 2) << key << "=" << list;
  }
}

TEST_F(SoundChoicesTest, DoubleDashEndsTheOptions) {
  fs::copy_file(dir_.path() / "site/sample.htm", dir_.path() / "-page.htm");
  EXPECT_EQ(Cli({"--yes", "-q", "-n", "1", "-page.htm"}).status, 2);
  Result r = Cli({"--yes", "-q", "-n", "1", "--", "-page.htm"});
  ASSERT_EQ(r.status, 0) << r.output;
  EXPECT_TRUE(fs::exists(dir_.path() / "-page.res"));
  EXPECT_NE(ReadFile(dir_.File("-page.htm")).find("<applet"), std::string::npos);
  EXPECT_EQ(Cli({"--yes", "-q", "--", "-page.htm", "other.htm"}).status, 2);
}

TEST_F(SoundChoicesTest, RunningOutOfMemoryIsAMessageNotAnAbort) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves its shadow memory up front: an address-space limit "
                  "stops it before the program starts";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  GTEST_SKIP() << "AddressSanitizer reserves its shadow memory up front: an address-space limit "
                  "stops it before the program starts";
#endif
#endif
  // A page the program can read but not also edit in the memory it may
  // have (sparse: no disk); the program itself starts in under 100 MB of
  // address space. Where the memory runs out decides which words say so:
  // the page's reader ("Cannot allocate memory") or the command's edge.
  WriteFile(dir_.File("big.htm"), "<html><body>");
  ASSERT_EQ(truncate(dir_.File("big.htm").c_str(), 200l << 20), 0);
  Result r = Cli({"--yes", "-q", "-n", "1", "big.htm"}, 60, {}, 350l * 1024);
  EXPECT_EQ(r.status, 1) << r.output;  // not killed by an abort
  EXPECT_TRUE(r.output.find("Sonavelt ran out of memory and stopped the run.") != std::string::npos ||
              r.output.find("Cannot allocate memory") != std::string::npos)
      << r.output;
  EXPECT_EQ(Ini(), "");
  EXPECT_EQ(fs::file_size(dir_.path() / "big.htm"), 200u << 20);
}

TEST_F(SoundChoicesTest, RemoteRunKeepsTheStoredLocalPage) {
  // A local run remembers its page.
  Result local = Cli({"--yes", "-q", "-n", "1", "site/sample.htm"});
  ASSERT_EQ(local.status, 0) << local.output;
  const std::string stored = Stored("HtmlFile");
  EXPECT_EQ(stored, dir_.File("site/sample.htm"));

  fs::path served = dir_.path() / "served";
  fs::create_directories(served / "www");
  fs::copy_file(data_ / "samples/sample.htm", served / "www/index.htm");
  testing::TestFtpServer server;
  if (!server.Start(served.string())) SONAVELT_SERVER_UNAVAILABLE(server.error());
  const std::string address = "ftp://" + std::string(testing::TestFtpServer::kUser) +
                              "@127.0.0.1:" + std::to_string(server.port()) + "/www/index.htm";
  Result remote = Cli({"--yes", "-q", "-n", "1", address}, 120,
                      {std::string("SONAVELT_FTP_PASSWORD=") + testing::TestFtpServer::kPassword});
  ASSERT_EQ(remote.status, 0) << remote.output;
  EXPECT_NE(ReadFile((served / "www/index.htm").string()).find("<applet"), std::string::npos);
  // As the wizard does: the local page is still the one remembered.
  EXPECT_EQ(Stored("HtmlFile"), stored);
  // And a run without a page goes back to it.
  Result again = Cli({"--yes", "-q"});
  ASSERT_EQ(again.status, 0) << again.output;
  EXPECT_NE(again.output.find("page: " + dir_.File("site/sample.htm")), std::string::npos)
      << again.output;
}

}  // namespace
}  // namespace sonavelt::run
