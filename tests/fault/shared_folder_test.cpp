// sonavelt-cli in folders it shares: several pages and their sounds in one
// folder (one run after another, and at once), the user's own sounds in
// audio/, links another user planted in a world-writable sticky folder, one
// page reached through a bind mount, a file system too small for the
// browser copies, and the settings page of a run that stops.
#include <gtest/gtest.h>
#include <grp.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "run/folder_usage.h"
#include "run/run_inputs.h"
#include "run/target_lock.h"
#include "tests/fault/fault_support.h"
#include "tests/fault/page_run_test.h"
#include "tests/remote/ftp_test_server.h"
#include "tests/support/cli_test.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kPage[] =
    "<HTML><HEAD><TITLE>Home</TITLE></HEAD>\r\n<BODY BGCOLOR=\"#336699\">\r\n"
    "<P>Welcome.</P>\r\n</BODY></HTML>\r\n";

class SharedFolderTest : public PageRunTest {
 protected:
  // The bundled sounds, for the runs that use the default choices.
  SharedFolderTest() : PageRunTest(ScratchInstallParts{/*sample_page=*/false, /*sounds=*/true}) {}

  void TearDown() override {
    for (const fs::path& mount : mounts_) Unmount(mount);
  }

  // An empty page folder holding `pages` (each kPage).
  fs::path Site(const std::string& name, const std::vector<std::string>& pages = {"index.htm"}) {
    fs::path site = root_ / name;
    if (fs::exists(site))
      for (const auto& entry : fs::directory_iterator(site)) fs::remove_all(entry.path());
    fs::create_directories(site);
    for (const std::string& page : pages) WriteFile((site / page).string(), kPage);
    return site;
  }

  // What page `base` of `site` plays: the bytes of every file its resource
  // and data files name, in their order (so that two pages that play the
  // same sounds under different names compare equal).
  static std::vector<std::string> Played(const fs::path& site, const std::string& base) {
    std::vector<std::string> names;
    EXPECT_TRUE(run::ResourceFileAudioNames(ReadFile((site / (base + ".res")).string()), &names));
    if (fs::exists(site / (base + ".sounds.js")))
      EXPECT_TRUE(run::PlayerDataAudioNames(ReadFile((site / (base + ".sounds.js")).string()),
                                            &names));
    std::vector<std::string> played;
    for (const std::string& name : names) {
      EXPECT_TRUE(fs::is_regular_file(site / "audio" / name)) << name;
      played.push_back(ReadFile((site / "audio" / name).string()));
    }
    return played;
  }
  // What index.htm with the sounds of s1 and other.htm with those of s2 each
  // play alone in a folder of their own; the two differ.
  std::pair<std::vector<std::string>, std::vector<std::string>> PlaysAlone(const fs::path& s1,
                                                                          const fs::path& s2) {
    const fs::path ref1 = Site("ref1"), ref2 = Site("ref2", {"other.htm"});
    EXPECT_EQ(Run(Argv(ref1 / "index.htm", s1)).status, 0);
    EXPECT_EQ(Run(Argv(ref2 / "other.htm", s2)).status, 0);
    std::pair<std::vector<std::string>, std::vector<std::string>> plays{Played(ref1, "index"),
                                                                        Played(ref2, "other")};
    EXPECT_NE(plays.first, plays.second);
    return plays;
  }
  static std::vector<std::string> Names(const fs::path& site, const std::string& base) {
    std::vector<std::string> names;
    run::ResourceFileAudioNames(ReadFile((site / (base + ".res")).string()), &names);
    return names;
  }
  bool Mounts(std::string* why) { return PrivateMounts(why); }

  std::vector<fs::path> mounts_;
};

TEST_F(SharedFolderTest, PagesSharingAudioEachKeepPlayingTheirOwnSounds) {
  const fs::path s1 = Sounds("s1", 0), s2 = Sounds("s2", 1);
  // Each page alone in a folder gives what it must play.
  const auto [plays1, plays2] = PlaysAlone(s1, s2);

  // One after the other: the second page's different bell gets a name of
  // its own; the first page's sounds stay as they were.
  const fs::path site = Site("site", {"index.htm", "other.htm"});
  ProgramResult r = Run(Argv(site / "index.htm", s1));
  ASSERT_EQ(r.status, 0) << r.err;
  r = Run(Argv(site / "other.htm", s2));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Played(site, "index"), plays1);
  EXPECT_EQ(Played(site, "other"), plays2);
  EXPECT_EQ(Names(site, "other")[0], "bell-2.au");

  // Running either page again changes nothing in audio/, and the class file
  // and player script, the same for both, are not written again.
  const Snapshot audio = Take(site / "audio");
  auto inode = [&](const char* name) {
    struct stat st;
    return stat((site / name).c_str(), &st) == 0 ? st.st_ino : 0;
  };
  const ino_t class_file = inode("SonaveltRandomEventBackground.class"),
              player = inode("sonavelt-player.js");
  ASSERT_EQ(Run(Argv(site / "index.htm", s1)).status, 0);
  ASSERT_EQ(Run(Argv(site / "other.htm", s2)).status, 0);
  EXPECT_EQ(Take(site / "audio"), audio);
  EXPECT_EQ(inode("SonaveltRandomEventBackground.class"), class_file);
  EXPECT_EQ(inode("sonavelt-player.js"), player);
  // The second page choosing the first one's sounds shares their files,
  // and its own earlier sounds, which no page plays any more, go.
  ASSERT_EQ(Run(Argv(site / "other.htm", s1)).status, 0);
  EXPECT_EQ(Names(site, "other"), Names(site, "index"));
  EXPECT_EQ(Played(site, "other"), plays1);
  EXPECT_EQ(Played(site, "index"), plays1);
  Snapshot shared = audio;
  std::erase_if(shared, [](const auto& file) { return file.first.find("-2.") != std::string::npos; });
  EXPECT_EQ(Take(site / "audio"), shared);
  EXPECT_EQ(shared.size(), 6u);

  // At once, in a fresh folder each round.
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const fs::path both = Site("both", {"index.htm", "other.htm"});
    BackgroundProgram a(Argv(both / "index.htm", s1), root_, Environment());
    BackgroundProgram b(Argv(both / "other.htm", s2), root_, Environment());
    ProgramResult ra = a.Wait(), rb = b.Wait();
    ASSERT_EQ(ra.status, 0) << ra.err;
    ASSERT_EQ(rb.status, 0) << rb.err;
    EXPECT_EQ(Played(both, "index"), plays1);
    EXPECT_EQ(Played(both, "other"), plays2);
  }
}

// The same folder on a site: the server's files tell which page uses
// which sound, as on a disk, and the user's own bell is never written.
TEST_F(SharedFolderTest, PagesSharingASiteFolderEachKeepPlayingTheirOwnSounds) {
  const fs::path s1 = Sounds("s1", 0), s2 = Sounds("s2", 1);
  const auto [plays1, plays2] = PlaysAlone(s1, s2);

  const fs::path site = Site("served/www", {"index.htm", "other.htm"});
  fs::create_directories(site / "audio");
  const std::string own = "the user's own bell";
  WriteFile((site / "audio/bell.au").string(), own);
  TestFtpServer server;
  if (!server.Start((root_ / "served").string())) SONAVELT_SERVER_UNAVAILABLE(server.error());
  auto on_site = [&](const std::string& page, const fs::path& sounds,
                     std::vector<std::string> extra = {"-q"}) {
    const std::string address = "ftp://" + std::string(TestFtpServer::kUser) + "@127.0.0.1:" +
                                std::to_string(server.port()) + "/www/" + page;
    std::vector<std::string> env = Environment();
    env.push_back("SONAVELT_FTP_PASSWORD=" + std::string(TestFtpServer::kPassword));
    ProgramResult r = RunProgram(Argv(address, sounds, std::move(extra)), root_, env);
    EXPECT_EQ(r.status, 0) << page << "\n" << r.err;
    EXPECT_TRUE(ReadFile((site / "audio/bell.au").string()) == own) << page;
  };

  on_site("index.htm", s1);
  EXPECT_EQ(Names(site, "index")[0], "bell-2.au");
  on_site("other.htm", s2);
  EXPECT_EQ(Names(site, "other")[0], "bell-3.au");
  EXPECT_EQ(Played(site, "index"), plays1);
  EXPECT_EQ(Played(site, "other"), plays2);

  // Each page again with its sounds: its own names, nothing else in audio/.
  const Snapshot audio = Take(site / "audio");
  const std::vector<std::string> names1 = Names(site, "index"), names2 = Names(site, "other");
  on_site("other.htm", s2);
  on_site("index.htm", s1);
  EXPECT_EQ(Names(site, "index"), names1);
  EXPECT_EQ(Names(site, "other"), names2);
  EXPECT_EQ(Take(site / "audio"), audio);
  EXPECT_EQ(Played(site, "index"), plays1);
  EXPECT_EQ(Played(site, "other"), plays2);
  // Without the browser player the page's copies stay named as its own.
  on_site("index.htm", s1, {"-q", "--no-html5"});
  EXPECT_EQ(Played(site, "index"), plays1);
  EXPECT_EQ(Take(site / "audio"), audio);

  // The second page with the first one's sounds, without the browser player:
  // its .au files keep their names and take the new sounds, and the copies of
  // its old sounds, which visitors would hear instead, go. With the player
  // again, each sound has its copy.
  on_site("other.htm", s1, {"-q", "--no-html5"});
  EXPECT_EQ(Names(site, "other"), names2);
  for (const std::string& name : names2)
    EXPECT_FALSE(fs::exists(site / "audio" / (name.substr(0, name.rfind('.')) + ".opus"))) << name;
  EXPECT_EQ(Played(site, "index"), plays1);
  on_site("other.htm", s1, {"-q", "--html5"});
  EXPECT_EQ(Played(site, "other"), plays1);
  EXPECT_EQ(Played(site, "index"), plays1);
}

TEST_F(SharedFolderTest, TheUsersOwnSoundsInAudioAreNeverOverwritten) {
  const fs::path a = Sounds("a", 0), b = Sounds("b", 1), c = Sounds("c", 2);
  // Two different bells in one run ask for bell.au and bell-2.au.
  auto argv = [&](const fs::path& page, const fs::path& first) {
    return std::vector<std::string>{cli_, "run", "--install-folder", install_.string(), "--yes",
                                    "-q", "-n", "2", "--no-background",
                                    "-e", (first / "bell.wav").string(),
                                    "-e", (b / "bell.wav").string(),
                                    "-x", (first / "ding.wav").string(),
                                    "-x", (b / "ding.wav").string(), page.string()};
  };
  const fs::path ref = Site("ref"), ref_c = Site("ref-c");
  ASSERT_EQ(Run(argv(ref / "index.htm", a)).status, 0);
  ASSERT_EQ(Run(argv(ref_c / "index.htm", c)).status, 0);
  ASSERT_EQ(Names(ref, "index")[0], "bell.au");
  ASSERT_EQ(Names(ref, "index")[1], "bell-2.au");

  const fs::path site = Site("site");
  fs::create_directories(site / "audio");
  const std::map<std::string, std::string> own = {{"bell.au", "the user's own bell"},
                                                  {"bell-2.au", "the user's second bell"},
                                                  {"Ding.au", "the user's ding"}};
  for (const auto& [name, bytes] : own) WriteFile((site / "audio" / name).string(), bytes);
  auto expect_own_files_kept = [&] {
    for (const auto& [name, bytes] : own)
      EXPECT_EQ(ReadFile((site / "audio" / name).string()), bytes) << name;
  };

  ProgramResult r = Run(argv(site / "index.htm", a));
  ASSERT_EQ(r.status, 0) << r.err;
  expect_own_files_kept();
  EXPECT_EQ(Played(site, "index"), Played(ref, "index"));
  const std::vector<std::string> names = Names(site, "index");
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 2),
            (std::vector<std::string>{"bell-3.au", "bell-4.au"}));
  // "ding.au" differs from the user's "Ding.au" only in case; "ding-2.au"
  // is the run's second ding.
  EXPECT_EQ(names[2], "ding-3.au");
  EXPECT_EQ(names[3], "ding-2.au");

  // The page's own sounds, used by no other page, are its to replace.
  r = Run(argv(site / "index.htm", c));
  ASSERT_EQ(r.status, 0) << r.err;
  expect_own_files_kept();
  EXPECT_EQ(Names(site, "index"), names);
  EXPECT_EQ(Played(site, "index"), Played(ref_c, "index"));

  // A sound of the user's in audio/, chosen as it is, is used where it
  // lies; it stays the user's when the page later gets another sound of
  // that name.
  const std::string chime = ReadFile((ref / "audio/bell.au").string());
  WriteFile((site / "audio/chime.au").string(), chime);
  auto one = [&](const std::string& sound) {
    return std::vector<std::string>{cli_, "run", "--install-folder", install_.string(), "--yes",
                                    "-q", "-n", "1", "--no-background", "-e", sound, "-x",
                                    (a / "ding.wav").string(), (site / "index.htm").string()};
  };
  r = Run(one((site / "audio/chime.au").string()));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Names(site, "index")[0], "chime.au");
  EXPECT_EQ(run::ReadFolderUsage(site.string()).pages().at("index").found_files,
            std::set<std::string>{"chime.au"});
  fs::copy_file(c / "bell.wav", root_ / "chime.wav");
  r = Run(one((root_ / "chime.wav").string()));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Names(site, "index")[0], "chime-2.au");
  EXPECT_EQ(ReadFile((site / "audio/chime.au").string()), chime);
  expect_own_files_kept();
}

// A user made by the test, removed again at its end.
class TestUser {
 public:
  explicit TestUser(const std::string& name) : name_(name) {
    RunProgram({"useradd", "--system", "--no-create-home", "--shell", "/usr/sbin/nologin", name});
    if (const passwd* entry = getpwnam(name.c_str())) {
      uid_ = entry->pw_uid;
      gid_ = entry->pw_gid;
    }
  }
  ~TestUser() {
    if (uid_ != 0) RunProgram({"userdel", name_});
  }
  bool made() const { return uid_ != 0; }
  uid_t uid() const { return uid_; }
  gid_t gid() const { return gid_; }

  // Makes a symbolic link as this user.
  bool Link(const fs::path& target, const fs::path& link) const {
    pid_t child = fork();
    if (child == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(gid_) != 0 || setuid(uid_) != 0) _exit(2);
      _exit(symlink(target.c_str(), link.c_str()) == 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  std::string name_;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
};

TEST_F(SharedFolderTest, LinksAnotherUserPlantedInAStickyFolderAreNeverWrittenThrough) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to make a user and to run as another";
  TestUser mallory("sonavelt-t" + std::to_string(getpid()));
  if (!mallory.made()) GTEST_SKIP() << "useradd could not make a user here";
  // The other user must reach the shared folder.
  fs::permissions(root_, fs::perms(0755));
  const fs::path shared = root_ / "shared";
  fs::create_directories(shared);
  ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
  WriteFile((shared / "index.htm").string(), kPage);
  const fs::path secret = root_ / "secret.conf", tool = root_ / "tool.sh",
                 theirs = root_ / "theirs";
  WriteFile(secret.string(), "password=root's own\n");
  ASSERT_EQ(chmod(secret.c_str(), 0600), 0);
  WriteFile(tool.string(), "#!/bin/sh\necho a tool of root's\n");
  ASSERT_EQ(chmod(tool.c_str(), 0755), 0);
  fs::create_directories(theirs);
  ASSERT_EQ(chown(theirs.c_str(), mallory.uid(), mallory.gid()), 0);
  ASSERT_TRUE(mallory.Link(secret, shared / "index.res"));
  ASSERT_TRUE(mallory.Link(tool, shared / "sonavelt-player.js"));
  ASSERT_TRUE(mallory.Link(theirs, shared / "audio"));

  const fs::path s1 = Sounds("s1", 0);
  // One link at a time is named, each before anything is written.
  for (const char* link : {"index.res", "audio", "sonavelt-player.js"}) {
    SCOPED_TRACE(link);
    ProgramResult r = Run(Argv(shared / "index.htm", s1));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find((shared / link).string() + " is a symbolic link that another user made"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Nothing was written."), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile((shared / "index.htm").string()), kPage);
    EXPECT_EQ(ReadFile(secret.string()), "password=root's own\n");
    EXPECT_EQ(ReadFile(tool.string()), "#!/bin/sh\necho a tool of root's\n");
    EXPECT_EQ(fs::status(tool).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
    EXPECT_TRUE(fs::is_empty(theirs));
    EXPECT_FALSE(fs::exists(install_ / "HISTORY/HIS_index.htm"));
    fs::remove(shared / link);
  }
  // With the links gone the run goes ahead.
  ProgramResult r = Run(Argv(shared / "index.htm", s1));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_regular_file(shared / "index.res"));
  EXPECT_TRUE(fs::is_empty(theirs));
}

TEST_F(SharedFolderTest, EveryPathToOnePageSharesItsLock) {
  std::string why;
  if (!Mounts(&why)) GTEST_SKIP() << why;
  const fs::path site = Site("site"), bind = root_ / "bind";
  fs::create_directories(bind);
  ASSERT_EQ(mount(site.c_str(), bind.c_str(), nullptr, MS_BIND, nullptr), 0) << strerror(errno);
  mounts_.push_back(bind);
  fs::create_directories(root_ / "up");
  fs::create_directory_symlink(site, root_ / "up/link");

  // The lock itself: one key for every path, so the second path waits.
  run::PageTarget direct, through_bind, through_dots;
  direct.local_html_path = (site / "index.htm").string();
  through_bind.local_html_path = (bind / "index.htm").string();
  through_dots.local_html_path = (root_ / "up/link/../site/index.htm").string();
  EXPECT_EQ(run::TargetKey(direct), run::TargetKey(through_bind));
  EXPECT_EQ(run::TargetKey(direct), run::TargetKey(through_dots));
  run::TargetLock first, second;
  const std::string locks = (root_ / "locks").string();
  ASSERT_TRUE(first.Acquire(locks, run::TargetKey(direct), std::chrono::milliseconds(0), nullptr,
                            nullptr).ok());
  EXPECT_EQ(second.Acquire(locks, run::TargetKey(through_bind), std::chrono::milliseconds(0),
                           nullptr, nullptr).code(),
            Status::Code::kRefused);
  first.Release();

  // Two runs, one through each path, with different sounds: the page's
  // files all come from one run or all from the other.
  const fs::path s1 = Sounds("s1", 0), s2 = Sounds("s2", 1);
  const fs::path ref1 = Site("ref1"), ref2 = Site("ref2");
  ASSERT_EQ(Run(Argv(ref1 / "index.htm", s1)).status, 0);
  ASSERT_EQ(Run(Argv(ref2 / "index.htm", s2)).status, 0);
  const Snapshot want1 = Take(ref1), want2 = Take(ref2);
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Site("site");
    BackgroundProgram a(Argv(site / "index.htm", s1), root_, Environment());
    BackgroundProgram b(Argv(bind / "index.htm", s2), root_, Environment());
    ProgramResult ra = a.Wait(), rb = b.Wait();
    ASSERT_EQ(ra.status, 0) << ra.err;
    ASSERT_EQ(rb.status, 0) << rb.err;
    const Snapshot now = Take(site);
    EXPECT_TRUE(now == want1 || now == want2) << ::testing::PrintToString(FilesBelow(site));
  }
}

TEST_F(SharedFolderTest, ASmallFileSystemIsSeenWithTheBrowserCopiesCounted) {
  // The bundled sounds (four combinations) put 0.83 MB beside the page
  // without the browser player, 2.9 MB with it (their copies and the local
  // preview): a 2 MB file system holds the one, not the other.
  const fs::path site = root_ / "small";
  std::string why;
  if (!MountTmpfs(site, 2 << 20, &why)) GTEST_SKIP() << why;
  mounts_.push_back(site);
  WriteFile((site / "index.htm").string(), kPage);
  auto argv = [&](const std::vector<std::string>& extra) {
    std::vector<std::string> v = {cli_, "run", "--install-folder", install_.string(), "--yes",
                                  "-q"};
    v.insert(v.end(), extra.begin(), extra.end());
    v.push_back((site / "index.htm").string());
    return v;
  };
  ProgramResult r = Run(argv({}));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("Disk space is low."), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile((site / "index.htm").string()), kPage);
  EXPECT_EQ(FilesBelow(site), std::vector<std::string>{"index.htm"});
  // Without the browser player the same sounds fit, and the run completes.
  r = Run(argv({"--no-html5"}));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("Disk space is low."), std::string::npos) << r.err;
}

TEST_F(SharedFolderTest, ARunThatStopsBeforeThePageLeavesItsSettingsPageAsItWas) {
  const fs::path s1 = Sounds("s1", 0), site = Site("site");
  fs::create_directories(install_ / "HISTORY");
  const std::string settings = (install_ / "HISTORY/HIS_index.htm").string();
  WriteFile(settings, "the settings of the last run");
  // A file where audio/ must go: the sounds cannot be put beside the page.
  WriteFile((site / "audio").string(), "not a folder");
  ProgramResult r = Run(Argv(site / "index.htm", s1));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find((site / "index.htm").string() + " was left as it was."), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Not a directory"), std::string::npos) << r.err;
  EXPECT_EQ(ReadFile((site / "index.htm").string()), kPage);
  EXPECT_EQ(ReadFile(settings), "the settings of the last run");

  fs::remove(site / "audio");
  r = Run(Argv(site / "index.htm", s1));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(ReadFile(settings).find("bell.au"), std::string::npos);
}

}  // namespace
}  // namespace sonavelt::testing
