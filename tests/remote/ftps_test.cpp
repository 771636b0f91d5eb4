#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <signal.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "remote/ftp_connection.h"
#include "remote/messages.h"
#include "remote/transfers.h"
#include "tests/remote/ftp_daemon.h"
#include "tests/remote/ftp_test_server.h"
#include "tests/remote/publish_fixture.h"
#include "tests/support/program.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::remote {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

using testing::FtpDaemonKind;

// One of the real servers, in one of its security modes.
struct ServerCase {
  FtpDaemonKind kind;
  Security security;
};

// A real server (vsftpd, proftpd, pure-ftpd) serving /incoming for uploads,
// with a certificate made for 127.0.0.1 by openssl, trusted through the
// endpoint's CA file.
class FtpsTest : public ::testing::TestWithParam<ServerCase> {
 protected:
  FtpsTest() : server_(GetParam().kind) {}

  void SetUp() override {
    root_ = dir_.path() / "root";
    fs::create_directories(root_ / "incoming");
    fs::permissions(dir_.path(), fs::perms(0755));
    fs::permissions(root_, fs::perms(0755));
    struct passwd* ftp = getpwnam("ftp");
    if (!ftp) SONAVELT_SERVER_UNAVAILABLE("no ftp user for the FTP servers");
    if (chown((root_ / "incoming").c_str(), ftp->pw_uid, ftp->pw_gid) != 0)
      GTEST_SKIP() << "cannot give the upload folder to the ftp user (not root)";
    WriteFile((root_ / "page.htm").string(), "<html>\n</html>\n");
    options_.security = GetParam().security;
    if (options_.security != Security::kPlain) {
      cert_ = (dir_.path() / "cert.pem").string();
      options_.cert_file = cert_;
      options_.key_file = (dir_.path() / "key.pem").string();
      if (!testing::RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                                "-keyout", options_.key_file, "-out", cert_, "-days", "2",
                                "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"}))
        SONAVELT_SERVER_UNAVAILABLE("openssl could not make a test certificate");
    }
    if (!server_.Start(root_.string(), dir_.path().string(), options_))
      SONAVELT_SERVER_UNAVAILABLE(server_.error());
  }

  remote::FtpEndpoint Endpoint() const {
    FtpEndpoint endpoint;
    endpoint.security = GetParam().security;
    endpoint.server = "127.0.0.1";
    endpoint.user_name = server_.user();
    endpoint.password = server_.password();
    endpoint.port = server_.port();
    endpoint.ca_file = cert_;
    endpoint.stall_timeout_seconds = 10;
    endpoint.connect_timeout_seconds = 10;
    return endpoint;
  }

  // A page in the upload folder, owned by the user the servers write as.
  void PutPage(const std::string& bytes) {
    std::string page = (root_ / "incoming/index.html").string();
    WriteFile(page, bytes);
    struct passwd* ftp = getpwnam("ftp");
    ASSERT_EQ(chown(page.c_str(), ftp->pw_uid, ftp->pw_gid), 0);
  }

  // Publishes the run's files (`sound_size` bytes each) to /incoming.
  Status Publish(size_t sound_size, long long send_rate = 0) {
    remote::FtpEndpoint endpoint = Endpoint();
    endpoint.max_send_bytes_per_second = send_rate;
    testing::RunFiles files =
        testing::MakeRunFiles(local_.File("cache"), "/incoming/index.html", sound_size);
    testing::RunTransfer transfer(endpoint, ui_, observer_, RetryPolicy{2, std::chrono::milliseconds(20)});
    Status status = transfer.Fetch(files.remote_path, files.page_path, "");
    if (!status.ok()) return status;
    if (testing::WhichPage(ReadFile(files.page_path)) != "old page")
      return Status::Corrupt("the fetched page differs from the site's");
    WriteFile(files.page_path, testing::NewTestPage());
    return transfer.Publish(files);
  }

  std::string Site(const std::string& name) const { return (root_ / "incoming" / name).string(); }

  testing::FtpDaemonOptions options_;
  testing::TempDir dir_;
  testing::TempDir local_;
  fs::path root_;
  std::string cert_;
  testing::RecordingUserInterface ui_;
  testing::QuietObserver observer_;
  testing::FtpDaemon server_;
};

TEST_P(FtpsTest, EncryptedSessionListsFetchesAndPublishes) {
  FtpConnection connection(Endpoint());
  Status opened = connection.Open();
  ASSERT_TRUE(opened.ok()) << opened.ToString();
  std::vector<RemoteEntry> entries;
  ASSERT_TRUE(connection.List("/", &entries).ok());
  EXPECT_EQ(entries.size(), 2u);
  ASSERT_TRUE(connection.Download("/page.htm", local_.File("p.htm")).ok());
  EXPECT_EQ(ReadFile(local_.File("p.htm")), "<html>\n</html>\n");

  std::string bytes("\x2e\x73\x6e\x64\r\n\0\xff", 8);
  int64_t stored = -1;
  Status sent = connection.Store(bytes, "/incoming/s.au", &stored);
  ASSERT_TRUE(sent.ok()) << sent.ToString();
  EXPECT_EQ(stored, 8);
  EXPECT_EQ(ReadFile((root_ / "incoming/s.au").string()), bytes);
  ASSERT_TRUE(connection.CreateDirectory("/incoming/audio").ok());
  EXPECT_TRUE(connection.ChangeDirectory("/incoming/audio").ok());
}

TEST_P(FtpsTest, AnUntrustedCertificateIsRefusedNamingTheCaFileOption) {
  if (GetParam().security == Security::kPlain) GTEST_SKIP() << "no certificate in plain FTP";
  FtpEndpoint endpoint = Endpoint();
  endpoint.ca_file.clear();  // the system's store does not know our certificate
  FtpConnection connection(endpoint);
  Status status = connection.Open();
  EXPECT_EQ(status.code(), Status::Code::kRefused);
  EXPECT_NE(status.message().find("certificate"), std::string::npos) << status.message();
  EXPECT_NE(status.message().find("--ca-file"), std::string::npos) << status.message();
}

// Each server's defaults: with TLS, vsftpd and proftpd require every data
// connection to resume the control connection's session. Sounds of 300 KB, three publishes in a row; the page
// keeps its own line ends; nothing temporary stays.
TEST_P(FtpsTest, PublishesWholeRunsWithTheServersDefaults) {
  for (int run = 0; run < 3; ++run) {
    PutPage(testing::OldTestPage());
    Status status = Publish(300000);
    ASSERT_TRUE(status.ok()) << run << ": " << status.ToString();
    EXPECT_EQ(testing::WhichPage(ReadFile(Site("index.html"))), "new page");
    EXPECT_EQ(ReadFile(Site("audio/e2.au")), ReadFile(local_.File("cache/e2.au")));
    EXPECT_EQ(testing::LeftoversIn((root_ / "incoming").string()), std::vector<std::string>{});
  }
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_P(FtpsTest, AServerKilledDuringThePageLeavesTheOldPageWhole) {
  PutPage(testing::OldTestPage(40000));
  testing::KillMidUpload killer((root_ / "incoming").string(), ".index.html.*.part",
                                testing::NewTestPage(40000).size(), server_.pid());
  remote::FtpEndpoint endpoint = Endpoint();
  endpoint.max_send_bytes_per_second = 400000;
  testing::RunFiles files = testing::MakeRunFiles(local_.File("cache"), "/incoming/index.html", 1000);
  testing::RunTransfer transfer(endpoint, ui_, observer_, RetryPolicy{2, std::chrono::milliseconds(20)});
  ASSERT_TRUE(transfer.Fetch(files.remote_path, files.page_path, "").ok());
  WriteFile(files.page_path, testing::NewTestPage(40000));
  EXPECT_FALSE(transfer.Publish(files).ok());
  EXPECT_GT(killer.killed_at(), 0u);
  EXPECT_EQ(testing::WhichPage(ReadFile(Site("index.html")), 40000), "old page");
  ASSERT_FALSE(ui_.calls.empty());
  EXPECT_NE(ui_.calls.back().text.find("The page on the site was not changed."), std::string::npos)
      << ui_.calls.back().text;
}

// A session of ours that stops dead in the middle of a sound (as a silent
// network drop looks to the server: the session's processes SIGSTOPped;
// vsftpd's hold their upload lock) never blocks the next attempt: after the stall
// time the run reconnects, sends under a fresh name, removes the stale copy,
// and completes.
TEST_P(FtpsTest, AStoppedSessionDoesNotBlockTheNextAttempt) {
  if (GetParam().security != Security::kPlain) GTEST_SKIP() << "the plain server is enough";
  PutPage(testing::OldTestPage());
  remote::FtpEndpoint endpoint = Endpoint();
  endpoint.max_send_bytes_per_second = 200000;
  endpoint.stall_timeout_seconds = 2;
  testing::RunFiles files = testing::MakeRunFiles(local_.File("cache"), "/incoming/index.html", 300000);
  testing::RunTransfer transfer(endpoint, ui_, observer_, RetryPolicy{3, std::chrono::milliseconds(20)});
  transfer.set_second_connection(false);
  ASSERT_TRUE(transfer.Fetch(files.remote_path, files.page_path, "").ok());
  WriteFile(files.page_path, testing::NewTestPage());
  std::vector<pid_t> stopped;
  std::atomic<bool> done{false};
  std::thread stopper([&] {
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!done && std::chrono::steady_clock::now() < until) {
      std::error_code ec;
      for (const auto& entry : fs::directory_iterator(root_ / "incoming/audio", ec)) {
        std::string name = entry.path().filename().string();
        std::error_code size_ec;
        if (name.find("x1.au") != std::string::npos && entry.file_size(size_ec) > 0) {
          stopped = testing::Descendants(server_.pid());
          for (pid_t pid : stopped) kill(pid, SIGSTOP);
          return;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  auto start = std::chrono::steady_clock::now();
  Status status = transfer.Publish(files);
  auto took = std::chrono::steady_clock::now() - start;
  done = true;
  stopper.join();
  ASSERT_FALSE(stopped.empty()) << "the session was never stopped";
  EXPECT_TRUE(status.ok()) << status.ToString();
  EXPECT_LT(took, std::chrono::seconds(20));
  EXPECT_EQ(testing::WhichPage(ReadFile(Site("index.html"))), "new page");
  EXPECT_EQ(ReadFile(Site("audio/x1.au")), ReadFile(local_.File("cache/x1.au")));
  EXPECT_EQ(testing::LeftoversIn((root_ / "incoming").string()), std::vector<std::string>{});
  for (pid_t pid : stopped) kill(pid, SIGCONT);
}

// A certificate made for another name: said so, with the name it is for
// (a CA file cannot mend it).
TEST_P(FtpsTest, ACertificateForAnotherNameSaysWhichNameItIsFor) {
  if (GetParam().security == Security::kPlain) GTEST_SKIP() << "no certificate in plain FTP";
  FtpEndpoint endpoint = Endpoint();
  endpoint.server = "localhost";  // the certificate is for 127.0.0.1
  Status status = FtpConnection(endpoint).Open();
  EXPECT_EQ(status.code(), Status::Code::kRefused);
  EXPECT_EQ(status.message(), CertificateNameText("localhost", "127.0.0.1")) << status.message();
}

// A cleartext login to a server that takes only TLS sessions is refused at
// once, quoting what the server said (pure-ftpd's 421, vsftpd's 530,
// proftpd's 550), and the message says how to get in: "use ftpes://", not
// another password.
TEST_P(FtpsTest, ACleartextLoginToATlsOnlyServerQuotesItsRefusal) {
  if (GetParam().security != Security::kExplicitTls) GTEST_SKIP() << "needs a TLS-only server";
  FtpEndpoint endpoint = Endpoint();
  endpoint.security = Security::kPlain;
  testing::RunTransfer transfer(endpoint, ui_, observer_, RetryPolicy{2, std::chrono::milliseconds(20)});
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(transfer.Fetch("/page.htm", local_.File("p.htm"), "").ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  ASSERT_EQ(ui_.Messages().size(), 1u);
  const std::string text = ui_.Messages()[0];
  EXPECT_EQ(text.find("did not answer"), std::string::npos) << text;
  if (GetParam().kind == FtpDaemonKind::kPureFtpd) {
    EXPECT_NE(text.find("421 Please reconnect using TLS security mechanisms."), std::string::npos)
        << text;
  }
  EXPECT_NE(text.find("use ftpes://"), std::string::npos) << text;
  EXPECT_EQ(text.find("another password"), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(local_.File("p.htm")));
}

// proftpd with AllowOverwrite off refuses both the rename over the page and
// writing it in place: the page was never touched, the message says so (not
// that it may be incomplete), and neither helper copy stays.
class OverwriteRefusedTest : public FtpsTest {
 protected:
  void SetUp() override {
    options_.allow_overwrite = false;
    FtpsTest::SetUp();
  }
};

TEST_P(OverwriteRefusedTest, ThePageIsLeftUnchangedWithNoHelperCopies) {
  PutPage(testing::OldTestPage());
  EXPECT_FALSE(Publish(2000).ok());
  EXPECT_EQ(testing::WhichPage(ReadFile(Site("index.html"))), "old page");
  std::vector<std::string> placed;
  for (const char* name : {"e1.au", "x1.au", "b1.au", "e2.au"})
    if (fs::exists(Site(std::string("audio/") + name))) placed.push_back(std::string("/incoming/audio/") + name);
  for (const char* name : {"SonaveltRandomEventBackground.class", "index.res"})
    if (fs::exists(Site(name))) placed.push_back(std::string("/incoming/") + name);
  ASSERT_EQ(ui_.Messages().size(), 1u);
  const std::string text = ui_.Messages()[0];
  EXPECT_NE(text.find(PageUnchangedText(placed)), std::string::npos) << text;
  EXPECT_EQ(text.find("may be incomplete"), std::string::npos) << text;
  EXPECT_EQ(testing::LeftoversIn((root_ / "incoming").string()), std::vector<std::string>{});
}

// Each server's own way of refusing names that start with a dot.
class DotDeniedTest : public FtpsTest {
 protected:
  void SetUp() override {
    switch (GetParam().kind) {
      case FtpDaemonKind::kVsftpd: options_.extra = {"deny_file={.*}"}; break;
      case FtpDaemonKind::kProftpd: options_.extra = {"PathDenyFilter \"(^|/)[.][^/]*$\""}; break;
      case FtpDaemonKind::kPureFtpd: options_.extra = {"--prohibitdotfileswrite"}; break;
    }
    FtpsTest::SetUp();
  }
};

TEST_P(DotDeniedTest, HostsThatForbidDotNamesArePublishedTo) {
  FtpConnection connection(Endpoint());
  ASSERT_TRUE(connection.Open().ok());
  int64_t stored = -1;
  ASSERT_FALSE(connection.Store("x", "/incoming/.probe", &stored).ok())
      << "the server takes dot names";
  PutPage(testing::OldTestPage());
  Status status = Publish(2000);
  ASSERT_TRUE(status.ok()) << status.ToString();
  EXPECT_EQ(testing::WhichPage(ReadFile(Site("index.html"))), "new page");
  EXPECT_EQ(testing::LeftoversIn((root_ / "incoming").string()), std::vector<std::string>{});
}

std::string CaseName(const ::testing::TestParamInfo<ServerCase>& info) {
  const std::string name = testing::DaemonTestName(info.param.kind);
  switch (info.param.security) {
    case Security::kPlain: return name + "Plain";
    case Security::kExplicitTls: return name + "Explicit";
    case Security::kImplicitTls: return name + "Implicit";
    case Security::kSsh: break;
  }
  return name + "Ssh";
}

constexpr ServerCase kEveryServer[] = {
    {FtpDaemonKind::kVsftpd, Security::kPlain},      {FtpDaemonKind::kVsftpd, Security::kExplicitTls},
    {FtpDaemonKind::kVsftpd, Security::kImplicitTls}, {FtpDaemonKind::kProftpd, Security::kPlain},
    {FtpDaemonKind::kProftpd, Security::kExplicitTls}, {FtpDaemonKind::kProftpd, Security::kImplicitTls},
    {FtpDaemonKind::kPureFtpd, Security::kPlain},    {FtpDaemonKind::kPureFtpd, Security::kExplicitTls}};

INSTANTIATE_TEST_SUITE_P(Servers, FtpsTest, ::testing::ValuesIn(kEveryServer), CaseName);
INSTANTIATE_TEST_SUITE_P(Servers, DotDeniedTest,
                         ::testing::Values(ServerCase{FtpDaemonKind::kVsftpd, Security::kPlain},
                                           ServerCase{FtpDaemonKind::kVsftpd, Security::kExplicitTls},
                                           ServerCase{FtpDaemonKind::kProftpd, Security::kPlain},
                                           ServerCase{FtpDaemonKind::kPureFtpd, Security::kPlain}),
                         CaseName);
INSTANTIATE_TEST_SUITE_P(Servers, OverwriteRefusedTest,
                         ::testing::Values(ServerCase{FtpDaemonKind::kProftpd, Security::kPlain}),
                         CaseName);

}  // namespace
}  // namespace sonavelt::remote
