#include "remote/transfers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <random>

#include "remote/messages.h"
#include "tests/remote/ftp_test_server.h"
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
  EXPECT_EQ(nested.ResourcePath("index.res"), "/www/index.res");
  RemoteLayout root("/index.html");
  EXPECT_EQ(root.folder, "");
  EXPECT_EQ(root.audio_folder, "/audio");
  EXPECT_EQ(root.ClassPath(), "/SonaveltRandomEventBackground.class");
}

TEST(RemoteLayoutTest, SoundOrderPerCombination) {
  std::vector<std::string> in = {"e1", "e2", "e3"}, out = {"x1", "x2", "x3"},
                           back = {"b1", "b2", "b3"};
  EXPECT_EQ(SoundUploadOrder(in, out, back, false),
            (std::vector<std::string>{"e1", "x1", "b1", "e2", "x2", "b2", "e3", "x3", "b3"}));
  EXPECT_EQ(SoundUploadOrder(in, out, {}, true),
            (std::vector<std::string>{"e1", "x1", "e2", "x2", "e3", "x3"}));
}

class RecordingObserver : public TransferObserver {
 public:
  void ReportTransferring(const std::string& file, bool repeat) override {
    events.push_back((repeat ? "again:" : "send:") + fs::path(file).filename().string());
    if (on_report) on_report(file, repeat);
  }
  void SetProgressText(const std::string& text) override {
    events.push_back("text:" + text);
    if (on_text) on_text(text);
  }
  bool CancelRequested() override { return cancel; }

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
  bool cancel = false;
  std::function<void(const std::string&, bool)> on_report;
  std::function<void(const std::string&)> on_text;
};

// A site with /www/index.html, a cache folder with the run's files, and the
// real server in between.
class TransfersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = (dir_.path() / "site").string();
    cache_ = (dir_.path() / "cache").string();
    fs::create_directories(site_ + "/www");
    fs::create_directories(cache_);
    WriteFile(site_ + "/www/index.html", kPage);
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
    if (!StartServer()) GTEST_SKIP() << server_.error();
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

  PublishFiles Files() const {
    PublishFiles files;
    files.temp_page_path = Temp();
    files.remote_path = "/www/index.html";
    files.sounds = sounds_;
    files.applet_class_path = cache_ + "/SonaveltRandomEventBackground.class";
    files.local_resource_path = cache_ + "/index.res";
    files.resource_file_name = "index.res";
    return files;
  }
  std::string Temp() const { return cache_ + "/" + std::string(kTempPageFileName); }

  // The page the run leaves in the cache: the fetched text plus a CR LF block.
  void EditFetchedPage() {
    WriteFile(Temp(), ReadFile(Temp()) + "<applet code=x>\r\n</applet>\r\n");
  }

  void ExpectCompleteSite() {
    EXPECT_EQ(ReadFile(site_ + "/www/index.html"),
              std::string(kPage) + "<applet code=x>\n</applet>\n");
    for (const std::string& sound : sounds_)
      EXPECT_EQ(ReadFile(site_ + "/www/audio/" + fs::path(sound).filename().string()),
                ReadFile(sound));
    EXPECT_EQ(ReadFile(site_ + "/www/SonaveltRandomEventBackground.class"),
              ReadFile(cache_ + "/SonaveltRandomEventBackground.class"));
    EXPECT_EQ(ReadFile(site_ + "/www/index.res"), ReadFile(cache_ + "/index.res"));
    for (const auto& entry : fs::recursive_directory_iterator(site_))
      EXPECT_NE(entry.path().extension(), ".part") << "left behind: " << entry.path();
    EXPECT_FALSE(fs::exists(Temp()));
  }

  const Events kAllSent = {"index.html", "e1.au", "x1.au", "b1.au", "e2.au",
                           "x2.au",      "b2.au", "SonaveltRandomEventBackground.class",
                           "index.res"};
  static constexpr const char* kPage = "<html>\n<body>\n</body>\n</html>\n";

  testing::TempDir dir_;
  std::string site_;
  std::string cache_;
  std::vector<std::string> sounds_;
  testing::TestFtpServer server_;
  RecordingObserver observer_;
  testing::RecordingUserInterface ui_;
};

TEST_F(TransfersTest, FetchesAndPublishesAWholeRunTwice) {
  for (int run = 0; run < 2; ++run) {
    WriteFile(site_ + "/www/index.html", kPage);
    RemotePageTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
    ASSERT_TRUE(transfer.FetchRemotePage("/www/index.html", Temp(), "Retrieving:").ok());
    EXPECT_EQ(ReadFile(Temp()), kPage);
    EditFetchedPage();
    observer_.events.clear();
    // The second run finds the audio folder there already.
    ASSERT_TRUE(transfer.PublishRemotePage(Files()).ok()) << run;
    EXPECT_EQ(observer_.events.size(), kAllSent.size()) << "no retries expected";
    EXPECT_EQ(observer_.Sent(), kAllSent);
    ExpectCompleteSite();
  }
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(TransfersTest, ThePlayerScriptGoesBesideThePageBeforeTheResourceFile) {
  WriteFile(cache_ + "/sonavelt-player.js", "play();\r\n");
  PublishFiles files = Files();
  files.player_script_path = cache_ + "/sonavelt-player.js";
  RemotePageTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  ASSERT_TRUE(transfer.FetchRemotePage("/www/index.html", Temp(), "Retrieving:").ok());
  ASSERT_TRUE(transfer.PublishRemotePage(files).ok());
  Events expected = kAllSent;
  expected.insert(expected.end() - 1, "sonavelt-player.js");
  EXPECT_EQ(observer_.Sent(), expected);
  EXPECT_EQ(ReadFile(site_ + "/www/sonavelt-player.js"), "play();\r\n");
}

TEST_F(TransfersTest, AnUploadCutOffMidwayIsSentAgainAfterAReconnect) {
  testing::FtpServerFaults faults;
  faults.drop_stor = 3;  // the page, e1, then x1 is cut off
  ASSERT_TRUE(StartServer(faults));
  RemotePageTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  ASSERT_TRUE(transfer.FetchRemotePage("/www/index.html", Temp(), "Retrieving:").ok());
  EditFetchedPage();
  ASSERT_TRUE(transfer.PublishRemotePage(Files()).ok());
  EXPECT_EQ(observer_.Sent(), kAllSent);
  EXPECT_EQ(observer_.Count("again:x1.au"), 1);
  EXPECT_EQ(observer_.Count("text:" + LostConnectionText("127.0.0.1")), 1);
  ExpectCompleteSite();
  EXPECT_TRUE(ui_.calls.empty());
}

// libcurl notices the dead control connection and logs in again by itself;
// the run sees nothing of it.
TEST_F(TransfersTest, AServerRestartedBetweenStepsIsLoggedIntoAgain) {
  RemotePageTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  ASSERT_TRUE(transfer.FetchRemotePage("/www/index.html", Temp(), "Retrieving:").ok());
  EditFetchedPage();
  observer_.on_report = [&](const std::string& file, bool repeat) {
    if (!repeat && fs::path(file).filename() == "e2.au") {
      server_.Stop();
      ASSERT_TRUE(StartServer());
    }
  };
  ASSERT_TRUE(transfer.PublishRemotePage(Files()).ok());
  EXPECT_EQ(observer_.Sent(), kAllSent);
  ExpectCompleteSite();
}

TEST_F(TransfersTest, ARefusedAudioFolderEndsTheRunAfterBoundedRetries) {
  testing::FtpServerFaults faults;
  faults.refuse_mkd = "audio";
  ASSERT_TRUE(StartServer(faults));
  RemotePageTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries(3));
  ASSERT_TRUE(transfer.FetchRemotePage("/www/index.html", Temp(), "Retrieving:").ok());
  EditFetchedPage();
  Status status = transfer.PublishRemotePage(Files());
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(observer_.Count("text:" + LostConnectionText("127.0.0.1")), 0);
  ASSERT_EQ(ui_.calls.size(), 1u);
  EXPECT_EQ(ui_.calls[0].style, BoxStyle::kSystemModal);
  EXPECT_EQ(ui_.calls[0].text.find(CannotEnterFolderText("/www/audio", "127.0.0.1", "")), 0u)
      << ui_.calls[0].text;
  EXPECT_NE(ui_.calls[0].text.find("550"), std::string::npos);
  EXPECT_FALSE(fs::exists(Temp()));
  EXPECT_FALSE(fs::exists(site_ + "/www/audio"));
  EXPECT_EQ(observer_.Sent(), Events{"index.html"});
}

TEST_F(TransfersTest, TheFetchIsRetriedAndThenGivenUp) {
  fs::remove(site_ + "/www/index.html");
  // Appears on the server while the run waits to reconnect.
  observer_.on_text = [&](const std::string& text) {
    if (text == LostConnectionText("127.0.0.1")) WriteFile(site_ + "/www/index.html", kPage);
  };
  RemotePageTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  ASSERT_TRUE(transfer.FetchRemotePage("/www/index.html", Temp(), "Retrieving:").ok());
  EXPECT_EQ(observer_.events, (Events{"text:" + LostConnectionText("127.0.0.1"), "text:Retrieving:"}));
  EXPECT_EQ(ReadFile(Temp()), kPage);

  observer_.on_text = nullptr;
  fs::remove(Temp());
  RemotePageTransfer missing(server_.Endpoint(), ui_, observer_, FastRetries(2));
  EXPECT_FALSE(missing.FetchRemotePage("/www/absent.html", Temp(), "Retrieving:").ok());
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_EQ(ui_.Messages()[0].rfind("Sonavelt could not retrieve /www/absent.html from 127.0.0.1.", 0), 0u);
  EXPECT_FALSE(fs::exists(Temp()));
}

TEST_F(TransfersTest, ServerGoneBeforeTheFetchIsFatalWithTheErrorsText) {
  server_.Stop();
  WriteFile(Temp(), "stale copy of an earlier run");
  RemotePageTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  EXPECT_FALSE(transfer.FetchRemotePage("/www/index.html", Temp(), "Retrieving:").ok());
  ASSERT_EQ(ui_.calls.size(), 1u);
  EXPECT_EQ(ui_.calls[0].style, BoxStyle::kSystemModal);
  EXPECT_NE(ui_.calls[0].text.find("onnect"), std::string::npos) << ui_.calls[0].text;
  EXPECT_FALSE(fs::exists(Temp()));
  // A reconnect that fails says so, and tells the caller.
  EXPECT_FALSE(transfer.ReconnectRun());
  EXPECT_EQ(ui_.calls.size(), 2u);
}

TEST_F(TransfersTest, CancelStopsBeforeTheNextFile) {
  RemotePageTransfer transfer(server_.Endpoint(), ui_, observer_, FastRetries());
  ASSERT_TRUE(transfer.FetchRemotePage("/www/index.html", Temp(), "Retrieving:").ok());
  observer_.on_report = [&](const std::string& file, bool) {
    if (fs::path(file).filename() == "x1.au") observer_.cancel = true;
  };
  Status status = transfer.PublishRemotePage(Files());
  EXPECT_EQ(status.code(), Status::Code::kCancelled);
  EXPECT_EQ(observer_.Sent(), (Events{"index.html", "e1.au", "x1.au"}));
  EXPECT_TRUE(ui_.calls.empty());
}

}  // namespace
}  // namespace sonavelt::remote
