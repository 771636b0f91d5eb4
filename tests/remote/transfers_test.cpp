#include "remote/transfers.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "remote/messages.h"
#include "tests/remote/ftp_test_server.h"
#include "tests/remote/publish_fixture.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::remote {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;
using Events = std::vector<std::string>;

TEST(RemoteLayoutTest, NamesBesideThePage) {
  RemoteLayout nested("/www/index.html");
  EXPECT_EQ(nested.folder, "/www");
  EXPECT_EQ(nested.SoundPath("/cache/Ding Dong.au"), "/www/audio/Ding Dong.au");
  EXPECT_EQ(nested.ClassPath(), "/www/SonaveltRandomEventBackground.class");
  EXPECT_EQ(nested.BesidePage("/cache/index.res"), "/www/index.res");
  RemoteLayout root("/index.html");
  EXPECT_EQ(root.folder, "");
  EXPECT_EQ(root.audio_folder, "/audio");
  EXPECT_EQ(root.ClassPath(), "/SonaveltRandomEventBackground.class");
}

class RecordingObserver : public run::TransferObserver {
 public:
  void ReportTransferring(const std::string& file, bool repeat) override {
    events.push_back((repeat ? "again:" : "send:") + fs::path(file).filename().string());
    if (on_report) on_report(file, repeat);
  }
  void SetProgressText(const std::string& text) override {
    events.push_back("text:" + text);
    if (on_text) on_text(text);
  }
  bool CancelRequested() override { return cancel.load(); }
  const std::atomic<bool>* CancelFlag() override { return &cancel; }

  // The files announced once each, in order (repeats left out).
  Events Sent() const {
    Events sent;
    for (const std::string& e : events)
      if (e.rfind("send:", 0) == 0) sent.push_back(e.substr(5));
    return sent;
  }
  int Count(const std::string& event) const {
    return static_cast<int>(std::count(events.begin(), events.end(), event));
  }

  Events events;
  std::atomic<bool> cancel{false};
  std::function<void(const std::string&, bool)> on_report;
  std::function<void(const std::string&)> on_text;
};

// The page on the site before the run: mixed line ends, bytes above 127, and
// more than the test server's 16 KB breaking point.
std::string OldPage() {
  std::string page = "<html>\r\n<head><title>caf\xE9</title></head>\n<body>\r\n";
  for (int i = 0; i < 3000; ++i) page += "<p>line " + std::to_string(i) + (i % 3 ? "\r\n" : "\n");
  return page + "</body>\n</html>\r\n";
}

// A site with /www/index.html, a cache folder with the run's files, and the
// real server in between.
class TransfersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = (dir_.path() / "site").string();
    cache_ = (dir_.path() / "cache").string();
    fs::create_directories(site_ + "/www");
    fs::create_directories(cache_);
    WriteFile(site_ + "/www/index.html", OldPage());
    std::mt19937 random(11);
    for (const char* name : {"e1.au", "x1.au", "b1.au", "e2.au", "x2.au", "b2.au"}) {
      std::string bytes(20000, '\0');
      for (char& c : bytes) c = static_cast<char>(random());
      bytes.replace(0, 4, ".snd");
      bytes.replace(50, 3, "\r\n\n");
      WriteFile(cache_ + "/" + name, bytes);
      sounds_.push_back(cache_ + "/" + name);
    }
    WriteFile(cache_ + "/SonaveltRandomEventBackground.class", std::string("\xCA\xFE\xBA\xBE\r\n", 6));
    WriteFile(cache_ + "/index.res", std::string("\x02\x00\r\n\x01", 5));
    if (!StartServer()) SONAVELT_SERVER_UNAVAILABLE(server_.error());
  }

  bool StartServer(const testing::FtpServerFaults& faults = {}) {
    return server_.Start(site_, faults, server_.port());
  }

  RetryPolicy FastRetries(int attempts = 4) {
    RetryPolicy policy;
    policy.max_attempts = attempts;
    policy.first_wait = std::chrono::milliseconds(20);
    return policy;
  }

  testing::RunFiles Files() const {
    testing::RunFiles files;
    files.page_path = Temp();
    files.remote_path = "/www/index.html";
    files.sounds = sounds_;
    files.applet_class_path = cache_ + "/SonaveltRandomEventBackground.class";
    files.resource_path = cache_ + "/index.res";
    return files;
  }
  // The edited page as the test hands it over (Published() reads it).
  std::string Temp() const { return cache_ + "/page.htm"; }
  std::string Page() const { return ReadFile(site_ + "/www/index.html"); }
  // Which page the site holds, in a few words (a failure shows no whole page).
  static std::string Which(const std::string& page) {
    if (page == OldPage()) return "old page";
    if (page == NewPage()) return "new page";
    return "other (" + std::to_string(page.size()) + " bytes)";
  }

  // The page the run leaves in the cache: the fetched bytes plus a CR LF block.
  static std::string NewPage() { return OldPage() + "<applet code=x>\r\n</applet>\r\n"; }
  void Fetch(testing::RunTransfer& transfer) {
    ASSERT_TRUE(transfer.Fetch("/www/index.html", Temp(), "Retrieving:").ok());
    ASSERT_EQ(Which(ReadFile(Temp())), "old page") << "fetched byte for byte";
    WriteFile(Temp(), NewPage());
  }

  // The run's files beside the page that are on the site under their final
  // names, in announced order: the sounds, the class file, the resource file.
  std::vector<std::string> PlacedBesideThePage() const {
    std::vector<std::string> placed;
    for (const std::string& sound : sounds_) {
      std::string remote = "/www/audio/" + fs::path(sound).filename().string();
      if (fs::exists(site_ + remote)) placed.push_back(remote);
    }
    for (const char* name : {"/www/SonaveltRandomEventBackground.class", "/www/index.res"})
      if (fs::exists(site_ + name)) placed.push_back(name);
    return placed;
  }

  // Files left on the site by the publish (temporary and backup names).
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(site_)) {
      std::string name = entry.path().filename().string();
      if (name.find(".part") != std::string::npos || name.find(".old") != std::string::npos ||
          name.find("sonavelt-") != std::string::npos)
        left.push_back(name);
    }
    return left;
  }

  // True once a file of `name` on the server (its own or a temporary one)
  // holds some bytes: its upload is under way.
  bool ServerHoldsPartOf(const std::string& name) const {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(site_, ec); !ec && it != fs::end(it);
         it.increment(ec)) {
      std::string file = it->path().filename().string();
      if (file.find(name) != std::string::npos && it->is_regular_file(ec) &&
          it->file_size(ec) > 0)
        return true;
    }
    return false;
  }

  void ExpectCompleteSite() {
    EXPECT_EQ(Which(Page()), "new page");
    for (const std::string& sound : sounds_)
      EXPECT_EQ(ReadFile(site_ + "/www/audio/" + fs::path(sound).filename().string()),
                ReadFile(sound));
    EXPECT_EQ(ReadFile(site_ + "/www/SonaveltRandomEventBackground.class"),
              ReadFile(cache_ + "/SonaveltRandomEventBackground.class"));
    EXPECT_EQ(ReadFile(site_ + "/www/index.res"), ReadFile(cache_ + "/index.res"));
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    EXPECT_EQ(testing::LeftoversIn(cache_), std::vector<std::string>{});
  }

  const Events kAllSent = {"e1.au", "x1.au", "b1.au", "e2.au", "x2.au", "b2.au",
                           "SonaveltRandomEventBackground.class", "index.res", "index.html"};

  testing::TempDir dir_;
  std::string site_;
  std::string cache_;
  std::vector<std::string> sounds_;
  testing::TestFtpServer server_;
  RecordingObserver observer_;
  testing::RecordingUserInterface ui_;
};

TEST_F(TransfersTest, FetchesAndPublishesAWholeRunTwiceWithThePageLast) {
  for (int run = 0; run < 2; ++run) {
    WriteFile(site_ + "/www/index.html", OldPage());
    testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
    Fetch(transfer);
    observer_.events.clear();
    // The second run finds the audio folder there already.
    ASSERT_TRUE(transfer.Publish(Files()).ok()) << run;
    EXPECT_EQ(observer_.events.size(), kAllSent.size()) << "no retries expected";
    EXPECT_EQ(observer_.Sent(), kAllSent);
    ExpectCompleteSite();
  }
  EXPECT_TRUE(ui_.calls.empty());
}

// The front end lends one transfer to every run: each run starts afresh (a
// run that ended after its fetch leaves nothing in the way), and an endpoint
// without a server takes the page's site.
TEST_F(TransfersTest, OneTransferServesRunAfterRunOnThePagesSite) {
  FtpEndpoint endpoint = server_.Endpoint();
  endpoint.server.clear();
  RemotePageTransfer transfer(endpoint, FastRetries());
  run::RemotePage page{"127.0.0.1", "/www/index.html"};
  std::string fetched;
  ASSERT_TRUE(transfer.FetchPage(page, &fetched, "Retrieving:", observer_).ok());
  for (int run = 0; run < 2; ++run) {
    WriteFile(site_ + "/www/index.html", OldPage());
    ASSERT_TRUE(transfer.FetchPage(page, &fetched, "Retrieving:", observer_).ok()) << run;
    EXPECT_EQ(Which(fetched), "old page");
    WriteFile(Temp(), NewPage());
    observer_.events.clear();
    ASSERT_TRUE(transfer.PublishPage(page, Files().Published(), observer_).ok()) << run;
    EXPECT_EQ(observer_.Sent(), kAllSent);
    ExpectCompleteSite();
  }
  EXPECT_EQ(transfer.endpoint().server, "");
}

TEST_F(TransfersTest, ThePlayerScriptGoesBesideThePageBeforeTheResourceFile) {
  WriteFile(cache_ + "/sonavelt-player.js", "play();\r\n");
  testing::RunFiles files = Files();
  files.player_script_path = cache_ + "/sonavelt-player.js";
  testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  Fetch(transfer);
  ASSERT_TRUE(transfer.Publish(files).ok());
  Events expected = kAllSent;
  expected.insert(expected.end() - 2, "sonavelt-player.js");
  EXPECT_EQ(observer_.Sent(), expected);
  EXPECT_EQ(ReadFile(site_ + "/www/sonavelt-player.js"), "play();\r\n");
}

// The browser player's copies and data file go up before the page like the
// other files (temporary name, rename), but unannounced: the progress counts
// the same files with or without them, a cut-off one included.
TEST_F(TransfersTest, TheBrowserPlayersFilesGoUpUnannouncedBeforeThePage) {
  WriteFile(cache_ + "/e1.opus", std::string("OggS\0\r\n\x01", 8));
  WriteFile(cache_ + "/x1.opus", std::string("OggS\0\n\r\x02", 8));
  WriteFile(cache_ + "/index.sounds.js", "window.data = {};\r\n");
  testing::RunFiles files = Files();
  files.sound_copies = {cache_ + "/e1.opus", cache_ + "/x1.opus"};
  files.player_data_paths = {cache_ + "/index.sounds.js"};

  testing::FtpServerFaults drop;
  drop.drop_stor = 7;  // the six sounds, then the first copy is cut off
  ASSERT_TRUE(StartServer(drop));
  {
    testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
    transfer.set_second_connection(false);  // the STORs counted are the run's own
    Fetch(transfer);
    ASSERT_TRUE(transfer.Publish(files).ok());
  }
  EXPECT_EQ(observer_.Sent(), kAllSent);
  EXPECT_EQ(observer_.Count("text:" + LostConnectionText("127.0.0.1")), 1);
  EXPECT_EQ(observer_.Count("again:e1.opus"), 0);
  EXPECT_EQ(ReadFile(site_ + "/www/audio/e1.opus"), ReadFile(cache_ + "/e1.opus"));
  EXPECT_EQ(ReadFile(site_ + "/www/audio/x1.opus"), ReadFile(cache_ + "/x1.opus"));
  EXPECT_EQ(ReadFile(site_ + "/www/index.sounds.js"), "window.data = {};\r\n");
  EXPECT_EQ(Which(Page()), "new page");
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});

  // The data file refused: it comes after everything but the page, which
  // stays as it was, and the message names what was put beside it.
  WriteFile(site_ + "/www/index.html", OldPage());
  fs::remove_all(site_ + "/www/audio");
  fs::remove(site_ + "/www/index.sounds.js");
  ui_.calls.clear();
  observer_.events.clear();
  testing::FtpServerFaults refuse;
  refuse.refuse_stor = "sounds.js:553";
  ASSERT_TRUE(StartServer(refuse));
  testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  Fetch(transfer);
  EXPECT_FALSE(transfer.Publish(files).ok());
  EXPECT_EQ(observer_.Sent(), Events(kAllSent.begin(), kAllSent.end() - 1));
  ASSERT_EQ(ui_.calls.size(), 1u);
  const std::string& text = ui_.calls[0].text;
  EXPECT_NE(text.find("index.sounds.js"), std::string::npos) << text;
  EXPECT_NE(text.find("553 Refused by the test server."), std::string::npos) << text;
  EXPECT_NE(text.find("/www/audio/x1.opus"), std::string::npos) << text;
  EXPECT_NE(text.find("/www/index.res"), std::string::npos) << text;
  EXPECT_EQ(Which(Page()), "old page");
  EXPECT_FALSE(fs::exists(site_ + "/www/index.sounds.js"));
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  EXPECT_EQ(testing::LeftoversIn(cache_), std::vector<std::string>{});
}

TEST_F(TransfersTest, AnUploadCutOffMidwayIsSentAgainAfterAReconnect) {
  testing::FtpServerFaults faults;
  faults.drop_stor = 2;  // e1, then x1 is cut off
  ASSERT_TRUE(StartServer(faults));
  testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  transfer.set_second_connection(false);  // the STORs counted are the run's own
  Fetch(transfer);
  ASSERT_TRUE(transfer.Publish(Files()).ok());
  EXPECT_EQ(observer_.Sent(), kAllSent);
  EXPECT_EQ(observer_.Count("again:x1.au"), 1);
  EXPECT_EQ(observer_.Count("text:" + LostConnectionText("127.0.0.1")), 1);
  ExpectCompleteSite();
  EXPECT_TRUE(ui_.calls.empty());
}

// libcurl notices the dead control connection and logs in again by itself;
// the run sees nothing of it.
TEST_F(TransfersTest, AServerRestartedBetweenStepsIsLoggedIntoAgain) {
  testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  Fetch(transfer);
  observer_.on_report = [&](const std::string& file, bool repeat) {
    if (!repeat && fs::path(file).filename() == "e2.au") {
      server_.Stop();
      ASSERT_TRUE(StartServer());
    }
  };
  ASSERT_TRUE(transfer.Publish(Files()).ok());
  EXPECT_EQ(observer_.Sent(), kAllSent);
  ExpectCompleteSite();
}

// A refusal is final at once, quotes the refused command's own reply, and
// leaves the page as it was, naming what was put beside it.
TEST_F(TransfersTest, RefusalsAreNotRetriedAndLeaveThePageAsItWas) {
  struct Case {
    testing::FtpServerFaults faults;
    std::string quoted;
    Events sent;
    std::vector<std::string> placed;
  };
  testing::FtpServerFaults mkd, denied, full;
  mkd.refuse_mkd = "audio";
  denied.refuse_stor = "x1.au:553";
  full.refuse_stor = "index.res:552";
  std::vector<Case> cases = {
      {mkd, "550 Permission denied.", {}, {}},
      {denied, "553 Refused by the test server.", {"e1.au", "x1.au"}, {"/www/audio/e1.au"}},
      {full, "552 Refused by the test server.",
       Events(kAllSent.begin(), kAllSent.end() - 1),
       {"/www/audio/e1.au", "/www/audio/x1.au", "/www/audio/b1.au", "/www/audio/e2.au",
        "/www/audio/x2.au", "/www/audio/b2.au", "/www/SonaveltRandomEventBackground.class"}},
  };
  for (const Case& c : cases) {
    fs::remove_all(site_ + "/www/audio");
    fs::remove(site_ + "/www/SonaveltRandomEventBackground.class");
    fs::remove(site_ + "/www/index.res");
    ui_.calls.clear();
    observer_.events.clear();
    ASSERT_TRUE(StartServer(c.faults));
    testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
    Fetch(transfer);
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(transfer.Publish(Files()).ok()) << c.quoted;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(observer_.Count("text:" + LostConnectionText("127.0.0.1")), 0) << c.quoted;
    EXPECT_EQ(observer_.Sent(), c.sent);
    ASSERT_EQ(ui_.calls.size(), 1u) << c.quoted;
    const std::string& text = ui_.calls[0].text;
    EXPECT_NE(text.find(c.quoted), std::string::npos) << text;
    // The second connection may have put later files in place by then: the
    // message names exactly what is on the site, in announced order.
    const std::vector<std::string> placed = PlacedBesideThePage();
    for (const std::string& remote : c.placed)
      EXPECT_NE(std::find(placed.begin(), placed.end(), remote), placed.end()) << remote;
    EXPECT_NE(text.find(PageUnchangedText(placed)), std::string::npos) << text;
    EXPECT_EQ(Which(Page()), "old page");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << c.quoted;
    EXPECT_EQ(testing::LeftoversIn(cache_), std::vector<std::string>{});
  }
}

// The files beside the page go up on two connections, the second taking them
// from the last. A refusal on the first connection still leaves the page as
// it was, names what the second put in place and leaves no temporary file.
TEST_F(TransfersTest, FilesPlacedByTheSecondConnectionAreNamedWhenTheFirstIsRefused) {
  testing::FtpServerFaults faults;
  faults.refuse_stor = "e1.au:553";
  ASSERT_TRUE(StartServer(faults));
  // The live page names the resource file: a visitor may fetch it at once.
  const std::string live = OldPage() + "<a href=\"index.res\">\r\n";
  WriteFile(site_ + "/www/index.html", live);
  testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  ASSERT_TRUE(transfer.Fetch("/www/index.html", Temp(), "Retrieving:").ok());
  WriteFile(Temp(), NewPage());
  observer_.on_report = [&](const std::string& file, bool) {
    // Hold the first connection until the second has placed the class file.
    if (fs::path(file).filename() != "e1.au") return;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!fs::exists(site_ + "/www/SonaveltRandomEventBackground.class") && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  };
  EXPECT_FALSE(transfer.Publish(Files()).ok());
  EXPECT_EQ(observer_.Sent(), Events{"e1.au"});
  ASSERT_EQ(ui_.calls.size(), 1u);
  const std::vector<std::string> placed = PlacedBesideThePage();
  ASSERT_NE(std::find(placed.begin(), placed.end(), "/www/SonaveltRandomEventBackground.class"),
            placed.end());
  EXPECT_EQ(ReadFile(site_ + "/www/SonaveltRandomEventBackground.class"),
            ReadFile(cache_ + "/SonaveltRandomEventBackground.class"));
  // The resource file names the sounds: it waits for all of them.
  EXPECT_FALSE(fs::exists(site_ + "/www/index.res"));
  EXPECT_NE(ui_.calls[0].text.find(PageUnchangedText(placed)), std::string::npos)
      << ui_.calls[0].text;
  EXPECT_EQ(Page(), live);
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  EXPECT_EQ(testing::LeftoversIn(cache_), std::vector<std::string>{});
}

TEST_F(TransfersTest, AMissingPageIsNotFetchedAgainAndAgain) {
  testing::RunTransfer missing(server_.Endpoint(), ui_, observer_, FastRetries());
  EXPECT_FALSE(missing.Fetch("/www/absent.html", Temp(), "Retrieving:").ok());
  EXPECT_EQ(observer_.Count("text:" + LostConnectionText("127.0.0.1")), 0);
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_EQ(ui_.Messages()[0].rfind("Sonavelt could not retrieve /www/absent.html from 127.0.0.1.", 0), 0u);
  EXPECT_NE(ui_.Messages()[0].find("550"), std::string::npos);
  EXPECT_EQ(testing::LeftoversIn(cache_), std::vector<std::string>{});
}

TEST_F(TransfersTest, ServerGoneBeforeTheFetchIsFatalWithTheErrorsText) {
  server_.Stop();
  testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  EXPECT_FALSE(transfer.Fetch("/www/index.html", Temp(), "Retrieving:").ok());
  ASSERT_EQ(ui_.calls.size(), 1u);
  EXPECT_EQ(ui_.calls[0].style, BoxStyle::kSystemModal);
  EXPECT_NE(ui_.calls[0].text.find("onnect"), std::string::npos) << ui_.calls[0].text;
  EXPECT_EQ(testing::LeftoversIn(cache_), std::vector<std::string>{});
  // A reconnect that fails says so, and tells the caller.
  EXPECT_FALSE(transfer.ReconnectRun().ok());
  EXPECT_EQ(ui_.calls.size(), 2u);
}

TEST_F(TransfersTest, HostsThatForbidDotNamesGetPlainTemporaryNames) {
  testing::FtpServerFaults faults;
  faults.deny_dot = true;
  ASSERT_TRUE(StartServer(faults));
  testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  Fetch(transfer);
  ASSERT_TRUE(transfer.Publish(Files()).ok()) << ui_.Messages()[0];
  ExpectCompleteSite();
}

// The server dies half way through the new page: the site keeps the old page,
// complete; what went beside it is named; nothing temporary is left once the
// server is back (the next publish cleans up its own names).
TEST_F(TransfersTest, AServerKilledDuringThePageLeavesTheOldPageComplete) {
  testing::FtpServerFaults faults;
  faults.die_in_stor = ".index.html.*.part";
  ASSERT_TRUE(StartServer(faults));
  testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries(2));
  Fetch(transfer);
  EXPECT_FALSE(transfer.Publish(Files()).ok());
  EXPECT_EQ(Which(Page()), "old page");
  ASSERT_EQ(ui_.calls.size(), 1u);  // one message at the end, not one per reconnect
  EXPECT_NE(ui_.calls[0].text.find("The page on the site was not changed."), std::string::npos)
      << ui_.calls[0].text;
  EXPECT_NE(ui_.calls[0].text.find("/www/index.res"), std::string::npos);
}

// Renames refused: the old page is kept under a backup name while the page is
// written in place. Killed in the middle of that write and back again, the
// retry completes the page; killed for good, the message names the backup.
TEST_F(TransfersTest, WithoutRenamesThePageIsWrittenInPlaceOnlyBehindABackup) {
  testing::FtpServerFaults no_rename;
  no_rename.refuse_rename = true;
  ASSERT_TRUE(StartServer(no_rename));
  {
    testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
    Fetch(transfer);
    ASSERT_TRUE(transfer.Publish(Files()).ok());
    ExpectCompleteSite();
  }
  for (bool comes_back : {true, false}) {
    WriteFile(site_ + "/www/index.html", OldPage());
    ui_.calls.clear();
    testing::FtpServerFaults dying = no_rename;
    dying.die_in_stor = "index.html";
    ASSERT_TRUE(StartServer(dying));
    observer_.on_text = [&](const std::string& text) {
      if (comes_back && text == LostConnectionText("127.0.0.1")) ASSERT_TRUE(StartServer(no_rename));
    };
    testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries(2));
    Fetch(transfer);
    Status status = transfer.Publish(Files());
    if (comes_back) {
      EXPECT_TRUE(status.ok());
      ExpectCompleteSite();
      continue;
    }
    EXPECT_FALSE(status.ok());
    // A refused rename of a ".name" may be the "." alone: the plain names
    // were tried before renames were given up.
    EXPECT_EQ(Which(ReadFile(site_ + "/www/index.html.sonavelt-old")), "old page");
    std::string part;
    for (const auto& entry : fs::directory_iterator(site_ + "/www")) {
      std::string name = entry.path().filename().string();
      if (name.rfind("index.html.", 0) == 0 && name.find(".sonavelt-part") != std::string::npos)
        part = name;
    }
    EXPECT_EQ(Which(ReadFile(site_ + "/www/" + part)), "new page");
    EXPECT_NE(ui_.Messages().back().find(
                  PageBackupText("/www/index.html.sonavelt-old", "/www/" + part)),
              std::string::npos)
        << ui_.Messages().back();
  }
}

// A server that keeps fewer bytes than were sent and answers 226 all the
// same: every file is proved by its size before its rename and before the
// page, by its folder's listing or, on a server without one, its own SIZE.
// Cut once, the file goes up again; cut every time, the publish stops with
// the page untouched, on any connection.
TEST_F(TransfersTest, EveryFileIsProvedByItsSizeBeforeThePage) {
  WriteFile(cache_ + "/b1.opus", std::string(30000, 'o'));
  struct Case {
    std::string cut;
    bool second_connection;
    bool completes;
    bool refuse_stat = false;
  };
  for (const Case& c : {Case{"b1.au:1000:1", false, true}, Case{"b1.au:1000", false, false},
                        Case{"b2.au:1000", true, false}, Case{"b1.opus:999", true, false},
                        Case{"index.html:5000:1", false, true},
                        Case{"x2.au:1000:1", true, true, true},
                        Case{"e2.au:1000", true, false, true}}) {
    SCOPED_TRACE(c.cut);
    fs::remove_all(site_ + "/www/audio");
    WriteFile(site_ + "/www/index.html", OldPage());
    ui_.calls.clear();
    testing::FtpServerFaults faults;
    faults.cut_stor = c.cut;
    faults.refuse_stat = c.refuse_stat;
    ASSERT_TRUE(StartServer(faults));
    testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
    transfer.set_second_connection(c.second_connection);
    Fetch(transfer);
    testing::RunFiles files = Files();
    files.sound_copies = {cache_ + "/b1.opus"};
    Status status = transfer.Publish(files);
    if (c.completes) {
      ASSERT_TRUE(status.ok()) << status.ToString();
      ExpectCompleteSite();
      continue;
    }
    EXPECT_FALSE(status.ok());
    std::string file = c.cut.substr(0, c.cut.find(':'));
    long long kept = std::stoll(c.cut.substr(c.cut.find(':') + 1));
    long long sent = static_cast<long long>(fs::file_size(cache_ + "/" + file));
    ASSERT_EQ(ui_.Messages().size(), 1u);
    EXPECT_NE(ui_.Messages()[0].find(SizeMismatchText("/www/audio/" + file, kept, sent)),
              std::string::npos)
        << ui_.Messages()[0];
    EXPECT_NE(ui_.Messages()[0].find("The page on the site was not changed."), std::string::npos);
    EXPECT_FALSE(fs::exists(site_ + "/www/audio/" + file));
    EXPECT_EQ(Which(Page()), "old page");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  }
}

// Renames refused and overwrites refused too (a server that lets nobody
// replace a file): the page was never touched, the message says so, and the
// backup and the new page's copy are gone.
TEST_F(TransfersTest, ARefusedOverwriteOfThePageLeavesItUnchangedAndNoHelperCopies) {
  testing::FtpServerFaults faults;
  faults.refuse_rename = true;
  faults.refuse_overwrite = true;
  ASSERT_TRUE(StartServer(faults));
  testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  Fetch(transfer);
  EXPECT_FALSE(transfer.Publish(Files()).ok());
  EXPECT_EQ(Which(Page()), "old page");
  ASSERT_EQ(ui_.Messages().size(), 1u);
  const std::string text = ui_.Messages()[0];
  EXPECT_NE(text.find("550 Overwriting is not allowed here."), std::string::npos) << text;
  EXPECT_NE(text.find(PageUnchangedText(PlacedBesideThePage())), std::string::npos) << text;
  EXPECT_EQ(text.find("may be incomplete"), std::string::npos) << text;
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

// Every attempt sends under a name of its own, and what a failed attempt left
// is removed before the next one.
TEST_F(TransfersTest, EachAttemptHasAFreshTemporaryName) {
  testing::FtpServerFaults faults;
  faults.drop_stor_of = "x1.au";
  faults.log_commands = (dir_.path() / "commands.log").string();
  ASSERT_TRUE(StartServer(faults));
  testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  transfer.set_second_connection(false);
  Fetch(transfer);
  ASSERT_TRUE(transfer.Publish(Files()).ok());
  ExpectCompleteSite();
  std::vector<std::string> names;
  std::istringstream log(ReadFile(faults.log_commands));
  std::string time, command, arg;
  while (log >> time >> command && std::getline(log, arg))
    if (command == "STOR" && arg.find("x1.au") != std::string::npos) names.push_back(arg.substr(1));
  ASSERT_EQ(names.size(), 2u);
  // The live page does not name x1.au yet: the first attempt goes straight to
  // its name, the retry under a temporary name, renamed over it.
  EXPECT_EQ(names[0], "x1.au");
  EXPECT_EQ(names[1].rfind(".x1.au.", 0), 0u) << names[1];
  EXPECT_NE(ReadFile(faults.log_commands).find("DELE /www/audio/" + names[0]), std::string::npos)
      << ReadFile(faults.log_commands);
}

// Files the live page does not name go straight to their names and are
// proved together, one listing per folder on the control connection; the
// page alone takes a temporary name, its own SIZE and a rename. The audio
// folder, which the live page names nothing in, costs one MKD.
TEST_F(TransfersTest, FilesSentStraightToTheirNamesAreProvedByOneListingPerFolder) {
  testing::FtpServerFaults faults;
  faults.log_commands = (dir_.path() / "commands.log").string();
  ASSERT_TRUE(StartServer(faults));
  testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  Fetch(transfer);
  ASSERT_TRUE(transfer.Publish(Files()).ok());
  ExpectCompleteSite();
  std::map<std::string, std::vector<std::string>> commands;  // verb: arguments, after the fetch
  std::istringstream log(ReadFile(faults.log_commands));
  std::string time, command, arg;
  bool fetched = false;
  while (log >> time >> command && std::getline(log, arg)) {
    if (fetched) commands[command].push_back(arg.empty() ? arg : arg.substr(1));
    fetched = fetched || command == "RETR";
  }
  EXPECT_EQ(commands["STAT"], (std::vector<std::string>{"/www/audio", "/www"}));
  ASSERT_EQ(commands["SIZE"].size(), 1u);
  EXPECT_EQ(commands["SIZE"][0].rfind("/www/.index.html.", 0), 0u) << commands["SIZE"][0];
  EXPECT_EQ(commands["RNTO"], std::vector<std::string>{"/www/index.html"});
  EXPECT_EQ(commands["MKD"], std::vector<std::string>{"/www/audio"});
  EXPECT_EQ(commands["STOR"].size(), 9u);
}

// Many files go up on four connections: each helper logs in once, every
// file arrives whole and is announced once in order, the page last.
TEST_F(TransfersTest, ManyFilesGoUpOnFourConnections) {
  testing::FtpServerFaults faults;
  faults.log_commands = (dir_.path() / "commands.log").string();
  ASSERT_TRUE(StartServer(faults));
  testing::RunFiles files = Files();
  Events expected;
  for (int i = 0; i < 24; ++i) {
    std::string copy = cache_ + "/c" + std::to_string(i) + ".opus";
    WriteFile(copy, std::string(1000 + 997 * i, static_cast<char>('a' + i % 26)));
    files.sound_copies.push_back(copy);
  }
  testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  Fetch(transfer);
  observer_.events.clear();
  ASSERT_TRUE(transfer.Publish(files).ok()) << (ui_.calls.empty() ? "" : ui_.calls[0].text);
  EXPECT_EQ(observer_.events.size(), kAllSent.size()) << "no retries expected";
  EXPECT_EQ(observer_.Sent(), kAllSent);
  ExpectCompleteSite();
  for (const std::string& copy : files.sound_copies)
    EXPECT_EQ(ReadFile(site_ + "/www/audio/" + fs::path(copy).filename().string()),
              ReadFile(copy));
  std::string log = ReadFile(faults.log_commands);
  size_t logins = 0;
  for (size_t at = log.find(" USER "); at != std::string::npos; at = log.find(" USER ", at + 1))
    ++logins;
  EXPECT_EQ(logins, 4u) << "the fetch's login and three helpers";
}

// A first login slower than the connect time (a loaded server) is tried
// once more before the run gives up.
TEST_F(TransfersTest, ASlowFirstLoginIsTriedOnceMore) {
  testing::FtpServerFaults faults;
  faults.slow_first_login_ms = 3000;
  ASSERT_TRUE(StartServer(faults));
  FtpEndpoint endpoint = server_.Endpoint();
  endpoint.connect_timeout_seconds = 2;
  testing::RunTransfer transfer(endpoint, ui_, observer_, FastRetries());
  Status status = transfer.Fetch("/www/index.html", Temp(), "Retrieving:");
  EXPECT_TRUE(status.ok()) << status.ToString();
  EXPECT_EQ(Which(ReadFile(Temp())), "old page");
}

// A 421 (here: the server wants TLS, over several lines) is the server's
// refusal, quoted whole, with what to do; not a time-out, not retried.
TEST_F(TransfersTest, ARefusedSessionIsQuotedWholeWithWhatToDo) {
  testing::FtpServerFaults faults;
  faults.reply = "421:Cleartext sessions are not accepted on this server.|"
                 "Please reconnect using TLS security mechanisms.";
  ASSERT_TRUE(StartServer(faults));
  testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(transfer.Fetch("/www/index.html", Temp(), "Retrieving:").ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_NE(ui_.Messages()[0].find(SessionRefusedText(
                "127.0.0.1",
                "421-Cleartext sessions are not accepted on this server.\r\n"
                "421 Please reconnect using TLS security mechanisms.",
                true)),
            std::string::npos)
      << ui_.Messages()[0];
  EXPECT_NE(ui_.Messages()[0].find("use ftpes://"), std::string::npos);
}

// Stopped in the middle of a sound: within a second, the page as it was, no
// temporary file left, and the files already on the site named.
TEST_F(TransfersTest, CancelStopsTheTransferInProgressWithinASecond) {
  testing::FtpServerFaults faults;
  ASSERT_TRUE(StartServer(faults));
  FtpEndpoint slow = server_.Endpoint();
  slow.max_send_bytes_per_second = 40000;  // each sound takes five seconds
  for (const std::string& sound : sounds_) WriteFile(sound, std::string(200000, 's'));
  for (const char* during : {"e1.au", "x1.au"}) {
    SCOPED_TRACE(during);
    fs::remove_all(site_ + "/www/audio");
    ui_.calls.clear();
    observer_.cancel = false;
    observer_.events.clear();
    testing::RunTransfer transfer(slow, ui_, observer_, FastRetries());
    transfer.set_second_connection(false);
    Fetch(transfer);
    std::chrono::steady_clock::time_point asked;
    std::thread quitter;
    observer_.on_report = [&](const std::string& file, bool) {
      if (fs::path(file).filename() != during) return;
      quitter = std::thread([&] {
        // Cancelled once the server holds part of the sound: the transfer is
        // then surely in progress.
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!ServerHoldsPartOf(during) && std::chrono::steady_clock::now() < until)
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        asked = std::chrono::steady_clock::now();
        observer_.cancel = true;
      });
    };
    Status status = transfer.Publish(Files());
    auto stopped = std::chrono::steady_clock::now();
    quitter.join();
    observer_.on_report = nullptr;
    EXPECT_LT(stopped - asked, std::chrono::milliseconds(1000));
    if (std::string(during) == "e1.au") {
      EXPECT_EQ(status.code(), Status::Code::kCancelled);
      EXPECT_TRUE(ui_.calls.empty());
    } else {
      ASSERT_EQ(ui_.Messages().size(), 1u);
      EXPECT_EQ(ui_.Messages()[0], PublishStoppedText("/www/audio/x1.au") + "\r\n\r\n" +
                                       PageUnchangedText({"/www/audio/e1.au"}));
    }
    EXPECT_EQ(Which(Page()), "old page");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << "the cut temporary file is removed";
    EXPECT_EQ(testing::LeftoversIn(cache_), std::vector<std::string>{});
  }
}

// Ctrl-C ends the other phases within a second too: a login the server never
// answers, and the wait before a reconnect.
TEST_F(TransfersTest, CancelEndsTheLoginAndTheWaitBeforeAReconnectWithinASecond) {
  // Listens (the kernel accepts) but never says a word.
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(fd, 4), 0);
  socklen_t length = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
  FtpEndpoint silent = server_.Endpoint();
  silent.port = ntohs(addr.sin_port);
  silent.connect_timeout_seconds = 20;
  std::chrono::steady_clock::time_point asked;
  auto cancel_soon = [&] {
    return std::thread([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      asked = std::chrono::steady_clock::now();
      observer_.cancel = true;
    });
  };
  {
    testing::RunTransfer transfer(silent, ui_, observer_, FastRetries());
    std::thread quitter = cancel_soon();
    Status status = transfer.Fetch("/www/index.html", Temp(), "Retrieving:");
    auto stopped = std::chrono::steady_clock::now();
    quitter.join();
    EXPECT_EQ(status.code(), Status::Code::kCancelled) << status.ToString();
    EXPECT_LT(stopped - asked, std::chrono::milliseconds(1000));
  }
  close(fd);

  observer_.cancel = false;
  testing::FtpServerFaults faults;
  faults.drop_stor_of = "x1.au";
  ASSERT_TRUE(StartServer(faults));
  testing::RunTransfer transfer(server_.Endpoint(), ui_, observer_,
                                RetryPolicy{4, std::chrono::milliseconds(5000)});
  transfer.set_second_connection(false);
  Fetch(transfer);
  std::thread quitter;
  observer_.on_text = [&](const std::string& text) {
    if (text == LostConnectionText("127.0.0.1")) quitter = cancel_soon();
  };
  Status status = transfer.Publish(Files());
  auto stopped = std::chrono::steady_clock::now();
  quitter.join();
  EXPECT_FALSE(status.ok());
  EXPECT_LT(stopped - asked, std::chrono::milliseconds(1000));
  EXPECT_EQ(Which(Page()), "old page");
}

TEST_F(TransfersTest, AStalledTransferIsALostConnectionAfterTheStallTime) {
  testing::FtpServerFaults faults;
  faults.stall_in_stor = "*e1.au*";
  ASSERT_TRUE(StartServer(faults));
  FtpEndpoint endpoint = server_.Endpoint();
  endpoint.stall_timeout_seconds = 2;
  WriteFile(cache_ + "/e1.au", std::string(200000, 'x'));
  testing::RunTransfer transfer(endpoint, ui_, observer_, FastRetries(1));
  Fetch(transfer);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(transfer.Publish(Files()).ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  ASSERT_FALSE(ui_.calls.empty());
  EXPECT_NE(ui_.calls.back().text.find(StalledText(2)), std::string::npos)
      << ui_.calls.back().text;
  EXPECT_EQ(Which(Page()), "old page");
}

TEST(ConnectTimeoutTest, AServerThatNeverAnswersIsGivenUpAfterTheConnectTime) {
  // Listens (the kernel accepts) but never says a word.
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(fd, 4), 0);
  socklen_t length = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
  FtpEndpoint endpoint;
  endpoint.server = "127.0.0.1";
  endpoint.port = ntohs(addr.sin_port);
  endpoint.connect_timeout_seconds = 2;
  FtpConnection connection(endpoint);
  auto start = std::chrono::steady_clock::now();
  Status status = connection.Open();
  auto took = std::chrono::steady_clock::now() - start;
  close(fd);
  EXPECT_EQ(status.message(), ConnectTimeoutText("127.0.0.1", 2));
  EXPECT_FALSE(IsPermanentFailure(status));
  EXPECT_LT(took, std::chrono::seconds(4));
}

}  // namespace
}  // namespace sonavelt::remote
