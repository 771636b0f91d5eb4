#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "remote/ftp_connection.h"
#include "remote/ssh_host_key.h"
#include "tests/remote/ftp_test_server.h"
#include "tests/remote/test_process.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::remote {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

// An sshd of our own on 127.0.0.1 (its own config, an ed25519 host key, the
// test's key as the only authorized one) serving SFTP to the current user.
class SftpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* sshd = "/usr/sbin/sshd";
    if (access(sshd, X_OK) != 0) SONAVELT_SERVER_UNAVAILABLE("openssh-server is not installed");
    struct passwd* me = getpwuid(geteuid());
    if (!me) GTEST_SKIP() << "no user name for this process";
    user_ = me->pw_name;
    home_ = me->pw_dir;
    // sshd started as root insists on its privilege separation folder.
    if (geteuid() == 0 && !fs::exists("/run/sshd")) {
      std::error_code ec;
      fs::create_directories("/run/sshd", ec);
    }
    std::string dir = dir_.path().string();
    site_ = dir + "/site";
    fs::create_directories(site_ + "/www");
    std::string host_key = dir + "/host_ed25519", client_key = dir + "/client_ed25519";
    std::string fingerprint;
    if (!testing::RunProgram({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", host_key}) ||
        !testing::RunProgram({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", client_key}) ||
        !testing::RunProgram({"ssh-keygen", "-l", "-E", "sha256", "-f", host_key + ".pub"},
                             &fingerprint))
      GTEST_SKIP() << "ssh-keygen could not make the test keys";
    // "256 SHA256:<base64> comment (ED25519)"
    size_t start = fingerprint.find("SHA256:");
    if (start == std::string::npos) GTEST_SKIP() << "unexpected ssh-keygen output";
    start += 7;
    host_key_sha256_ = fingerprint.substr(start, fingerprint.find(' ', start) - start);
    fs::copy_file(client_key + ".pub", dir + "/authorized_keys");
    client_key_ = client_key;

    port_ = testing::UnusedPort();
    std::string config = dir + "/sshd_config";
    WriteFile(config, "Port " + std::to_string(port_) +
                          "\nListenAddress 127.0.0.1\nHostKey " + host_key +
                          "\nPidFile none\nUsePAM no\nPasswordAuthentication no\n"
                          "KbdInteractiveAuthentication no\nPubkeyAuthentication yes\n"
                          "AuthorizedKeysFile " + dir + "/authorized_keys\n"
                          "PermitRootLogin prohibit-password\nStrictModes no\n"
                          "Subsystem sftp internal-sftp\n");
    std::vector<std::string> args = {sshd, "-D", "-e", "-f", config};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      freopen("/dev/null", "w", stderr);
      execv(sshd, argv.data());
      _exit(127);
    }
    for (int i = 0; i < 100; ++i) {
      int status;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        SONAVELT_SERVER_UNAVAILABLE("sshd refused to start here");
      }
      FtpConnection probe(Endpoint());
      if (probe.Open().ok()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    SONAVELT_SERVER_UNAVAILABLE("sshd did not accept the test login");
  }

  void TearDown() override {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

  FtpEndpoint Endpoint() const {
    FtpEndpoint endpoint;
    endpoint.security = Security::kSsh;
    endpoint.server = "127.0.0.1";
    endpoint.port = port_;
    endpoint.user_name = user_;
    endpoint.ssh_host_key_sha256 = host_key_sha256_;
    endpoint.ssh_private_key_file = client_key_;
    endpoint.connect_timeout_seconds = 10;
    return endpoint;
  }

  testing::TempDir dir_;
  testing::TempDir local_;
  std::string site_, user_, home_, client_key_, host_key_sha256_;
  uint16_t port_ = 0;
  pid_t pid_ = -1;
};

TEST_F(SftpTest, SessionWorksLikeFtp) {
  FtpConnection connection(Endpoint());
  ASSERT_TRUE(connection.Open().ok());
  EXPECT_EQ(connection.home_directory(), home_);

  WriteFile(site_ + "/www/index.html", "old");
  WriteFile(local_.File("page.htm"), "<html>\r\n<body>\n</html>\r\n");
  Status sent = connection.Upload(local_.File("page.htm"), site_ + "/www/index.html",
                                  TransferType::kAscii);
  ASSERT_TRUE(sent.ok()) << sent.ToString();
  EXPECT_EQ(ReadFile(site_ + "/www/index.html"), "<html>\n<body>\n</html>\n");
  ASSERT_TRUE(connection.Download(site_ + "/www/index.html", local_.File("back.htm"),
                                  TransferType::kAscii).ok());
  EXPECT_EQ(ReadFile(local_.File("back.htm")), "<html>\n<body>\n</html>\n");

  ASSERT_TRUE(connection.CreateDirectory(site_ + "/www/audio").ok());
  EXPECT_FALSE(connection.CreateDirectory(site_ + "/www/audio").ok());
  EXPECT_TRUE(connection.ChangeDirectory(site_ + "/www/audio").ok());
  EXPECT_FALSE(connection.ChangeDirectory(site_ + "/www/none").ok());
  std::string bytes("\x2e\x73\x6e\x64\r\n\0\xff", 8);
  WriteFile(local_.File("s.au"), bytes);
  ASSERT_TRUE(connection.Upload(local_.File("s.au"), "s.au", TransferType::kBinary).ok());
  EXPECT_EQ(ReadFile(site_ + "/www/audio/s.au"), bytes);

  std::vector<RemoteEntry> entries;
  ASSERT_TRUE(connection.List(site_ + "/www", &entries).ok());
  std::sort(entries.begin(), entries.end(),
            [](const RemoteEntry& a, const RemoteEntry& b) { return a.name < b.name; });
  EXPECT_EQ(entries,
            (std::vector<RemoteEntry>{{"audio", true, false}, {"index.html", false, false}}));
}

TEST(Sha256FingerprintTest, KnownDigests) {
  EXPECT_EQ(Sha256Fingerprint("abc"), "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0");
  EXPECT_EQ(Sha256Fingerprint(std::string(200, 'a')),
            "wqkI2Y9d+Yet5BtfziEwZ++8wh7yJAISpB5UtefCiuU");
}

TEST_F(SftpTest, TheHostKeyCanBeReadBeforeItIsTrusted) {
  std::string fingerprint;
  Status status = ReadSshHostKey("127.0.0.1", port_, 10, &fingerprint);
  ASSERT_TRUE(status.ok()) << status.ToString();
  EXPECT_EQ(fingerprint, host_key_sha256_);
  EXPECT_FALSE(ReadSshHostKey("127.0.0.1", testing::UnusedPort(), 10, &fingerprint).ok());
}

TEST_F(SftpTest, UnknownOrOtherHostKeysAreRefused) {
  FtpEndpoint endpoint = Endpoint();
  endpoint.ssh_host_key_sha256 = "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA";
  EXPECT_FALSE(FtpConnection(endpoint).Open().ok());

  // No pinned key and a known_hosts file that does not know the server.
  std::string saved_home = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", local_.path().c_str(), 1);
  endpoint.ssh_host_key_sha256.clear();
  Status status = FtpConnection(endpoint).Open();
  setenv("HOME", saved_home.c_str(), 1);
  EXPECT_FALSE(status.ok());
}

}  // namespace
}  // namespace sonavelt::remote
