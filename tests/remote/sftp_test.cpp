#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <thread>

#include "remote/ftp_connection.h"
#include "remote/messages.h"
#include "remote/remote_folder.h"
#include "remote/ssh_host_key.h"
#include "remote/transfers.h"
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

    // sshd cannot be told to choose a port of its own: a free one is picked,
    // and should another server take it first, sshd ends and the next is
    // tried. That the port is this sshd's is read from the kernel.
    const std::string config = dir + "/sshd_config";
    for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
      port_ = testing::CandidatePort();
      WriteFile(config, "Port " + std::to_string(port_) +
                            "\nListenAddress 127.0.0.1\nHostKey " + host_key +
                            "\nPidFile none\nUsePAM no\nLogLevel VERBOSE\n"
                            // Passwords are allowed, so that the log shows
                            // whether one was offered.
                            "PasswordAuthentication yes\n"
                            "KbdInteractiveAuthentication yes\nPubkeyAuthentication yes\n"
                            "AuthorizedKeysFile " + dir + "/authorized_keys\n"
                            "PermitRootLogin prohibit-password\nStrictModes no\n"
                            "Subsystem sftp internal-sftp\n");
      log_ = dir + "/sshd.log";
      std::vector<std::string> args = {sshd, "-D", "-E", log_, "-f", config};
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      pid_ = fork();
      if (pid_ == 0) {
        freopen("/dev/null", "w", stderr);
        execv(sshd, argv.data());
        _exit(127);
      }
      if (testing::WaitForListeningPort(pid_, std::chrono::seconds(10)) == port_) break;
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
    if (pid_ < 0) SONAVELT_SERVER_UNAVAILABLE("sshd refused to start here");
    // The server is up when it greets as an SSH server. The login is what
    // the tests try, so a login that fails fails them instead of skipping.
    const std::string banner = testing::ReadBanner(port_, std::chrono::seconds(10));
    if (banner.rfind("SSH-2.0-", 0) != 0)
      SONAVELT_SERVER_UNAVAILABLE("sshd did not greet on port " + std::to_string(port_) + ": \"" +
                                  banner + "\"");
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
  std::string site_, user_, home_, client_key_, host_key_sha256_, log_;
  uint16_t port_ = 0;
  pid_t pid_ = -1;
};

TEST_F(SftpTest, SessionWorksLikeFtp) {
  FtpConnection connection(Endpoint());
  ASSERT_TRUE(connection.Open().ok());
  EXPECT_EQ(connection.home_directory(), home_);

  // The removal puts a page back over SFTP, whose rename replaces nothing:
  // the old page steps aside, the new one takes its place, line ends and all.
  WriteFile(site_ + "/www/index.html", "old");
  const std::string page = "<html>\r\n<body>\n</html>\r\n";
  WriteFile(local_.File("page.htm"), page);
  {
    FtpRemoteFolder folder(Endpoint());
    ASSERT_TRUE(folder.Open(run::RemotePage{"127.0.0.1", site_ + "/www/index.html"}).ok());
    Status sent = folder.Replace(local_.File("page.htm"), site_ + "/www/index.html");
    ASSERT_TRUE(sent.ok()) << sent.ToString();
  }
  EXPECT_EQ(ReadFile(site_ + "/www/index.html"), page);
  std::string back;
  ASSERT_TRUE(connection.Download(site_ + "/www/index.html", &back).ok());
  EXPECT_EQ(back, page);

  ASSERT_TRUE(connection.CreateDirectory(site_ + "/www/audio").ok());
  EXPECT_FALSE(connection.CreateDirectory(site_ + "/www/audio").ok());
  EXPECT_TRUE(connection.ChangeDirectory(site_ + "/www/audio").ok());
  EXPECT_FALSE(connection.ChangeDirectory(site_ + "/www/none").ok());
  std::string bytes("\x2e\x73\x6e\x64\r\n\0\xff", 8);
  int64_t stored = -1;
  ASSERT_TRUE(connection.Store(bytes, "s.au", &stored).ok());
  EXPECT_EQ(stored, 8);
  EXPECT_EQ(ReadFile(site_ + "/www/audio/s.au"), bytes);

  std::vector<RemoteEntry> entries;
  ASSERT_TRUE(connection.List(site_ + "/www", &entries).ok());
  std::sort(entries.begin(), entries.end(),
            [](const RemoteEntry& a, const RemoteEntry& b) { return a.name < b.name; });
  EXPECT_EQ(entries,
            (std::vector<RemoteEntry>{{"audio", true, false}, {"index.html", false, false}}));

  // A folder goes only once it is empty.
  EXPECT_FALSE(connection.RemoveDirectory(site_ + "/www/audio").ok());
  ASSERT_TRUE(connection.Delete(site_ + "/www/audio/s.au").ok());
  EXPECT_TRUE(connection.RemoveDirectory(site_ + "/www/audio").ok());
  EXPECT_FALSE(std::filesystem::exists(site_ + "/www/audio"));
}

// What a run reads beside the page before it names its sounds, over the
// fetch's session: the page's folder, its audio/ (folders too) and a
// page's file there; a folder that is not there is NotFound.
TEST_F(SftpTest, TheRunSeesTheFilesBesideThePage) {
  WriteFile(site_ + "/www/index.html", "<html></html>");
  WriteFile(site_ + "/www/index.res", std::string("res\0bytes", 9));
  fs::create_directories(site_ + "/www/audio/bell-2.au");
  WriteFile(site_ + "/www/audio/bell.au", "bell");
  RemotePageTransfer transfer(Endpoint());
  testing::QuietObserver observer;
  const run::RemotePage where{"127.0.0.1", site_ + "/www/index.html"};
  std::string page;
  ASSERT_TRUE(transfer.FetchPage(where, &page, "", observer).ok());
  auto sorted = [&](const std::string& sub_folder) {
    std::vector<std::string> names;
    Status listed = transfer.ListBesidePage(where, sub_folder, &names);
    EXPECT_TRUE(listed.ok()) << listed.ToString();
    std::sort(names.begin(), names.end());
    return names;
  };
  EXPECT_EQ(sorted(""), (std::vector<std::string>{"audio", "index.html", "index.res"}));
  EXPECT_EQ(sorted("audio"), (std::vector<std::string>{"bell-2.au", "bell.au"}));
  std::string bytes;
  ASSERT_TRUE(transfer.FetchBesidePage(where, "index.res", &bytes).ok());
  EXPECT_EQ(bytes, std::string("res\0bytes", 9));
  std::vector<std::string> names;
  EXPECT_EQ(transfer.ListBesidePage(where, "none", &names).code(), Status::Code::kNotFound);
  transfer.Close();
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
  testing::RefusedPort refused;
  EXPECT_FALSE(ReadSshHostKey("127.0.0.1", refused.port(), 10, &fingerprint).ok());
}

// Runs `body` with HOME (and so ~/.ssh/known_hosts) in an empty folder.
void WithEmptyHome(const std::string& home, const std::function<void()>& body) {
  std::string saved = std::getenv("HOME") ? std::getenv("HOME") : "";
  setenv("HOME", home.c_str(), 1);
  body();
  setenv("HOME", saved.c_str(), 1);
}

TEST_F(SftpTest, HostKeysAreCheckedWithMessagesThatSayWhatToDo) {
  FtpEndpoint endpoint = Endpoint();
  endpoint.ssh_host_key_sha256 = "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA";
  Status pinned = FtpConnection(endpoint).Open();
  EXPECT_EQ(pinned.code(), Status::Code::kRefused);
  EXPECT_EQ(pinned.message(), HostKeyNotPinnedText("127.0.0.1", host_key_sha256_,
                                                   endpoint.ssh_host_key_sha256));

  endpoint.ssh_host_key_sha256.clear();
  endpoint.known_hosts_file = local_.File("data/sonavelt/known_hosts");
  WithEmptyHome(local_.path().string(), [&] {
    Status unknown = FtpConnection(endpoint).Open();
    EXPECT_EQ(unknown.code(), Status::Code::kRefused);
    EXPECT_EQ(unknown.message(), UnknownHostKeyText("127.0.0.1", host_key_sha256_));
    EXPECT_NE(unknown.message().find("--host-key SHA256:" + host_key_sha256_), std::string::npos);

    // Accepted once (as the wizard does): known from then on.
    std::string fingerprint, blob;
    ASSERT_TRUE(ReadSshHostKey("127.0.0.1", port_, 10, &fingerprint, &blob).ok());
    ASSERT_TRUE(RememberHostKey(endpoint.known_hosts_file, "127.0.0.1", port_, blob).ok());
    Status known = FtpConnection(endpoint).Open();
    EXPECT_TRUE(known.ok()) << known.ToString();

    // Another key for the same host and type: refused with a warning.
    std::string other = blob;
    other.back() ^= 0x01;
    WriteFile(endpoint.known_hosts_file, "");
    ASSERT_TRUE(RememberHostKey(endpoint.known_hosts_file, "127.0.0.1", port_, other).ok());
    Status changed = FtpConnection(endpoint).Open();
    EXPECT_EQ(changed.code(), Status::Code::kRefused);
    EXPECT_EQ(changed.message(), ChangedHostKeyText("127.0.0.1", host_key_sha256_,
                                                    endpoint.known_hosts_file, 1));
  });
}

// The user's own ~/.ssh/known_hosts is honoured too.
TEST_F(SftpTest, TheUsersKnownHostsFileIsReadAsWell) {
  FtpEndpoint endpoint = Endpoint();
  endpoint.ssh_host_key_sha256.clear();
  std::string fingerprint, blob;
  ASSERT_TRUE(ReadSshHostKey("127.0.0.1", port_, 10, &fingerprint, &blob).ok());
  ASSERT_TRUE(RememberHostKey(local_.File(".ssh/known_hosts"), "127.0.0.1", port_, blob).ok());
  WithEmptyHome(local_.path().string(), [&] {
    Status status = FtpConnection(endpoint).Open();
    EXPECT_TRUE(status.ok()) << status.ToString();
  });
}

TEST_F(SftpTest, TheSshAgentsKeysLogIn) {
  std::string socket = local_.File("agent.sock");
  pid_t agent = fork();
  if (agent == 0) {
    setpgid(0, 0);
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    execlp("ssh-agent", "ssh-agent", "-D", "-a", socket.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 100 && !fs::exists(socket); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::string saved = std::getenv("SSH_AUTH_SOCK") ? std::getenv("SSH_AUTH_SOCK") : "";
  setenv("SSH_AUTH_SOCK", socket.c_str(), 1);
  bool added = testing::RunProgram({"ssh-add", "-q", client_key_});
  FtpEndpoint endpoint = Endpoint();
  endpoint.ssh_private_key_file.clear();
  endpoint.use_ssh_agent = true;
  Status status = added ? FtpConnection(endpoint).Open() : Status::IoError("ssh-add failed");
  if (saved.empty()) unsetenv("SSH_AUTH_SOCK");
  else setenv("SSH_AUTH_SOCK", saved.c_str(), 1);
  kill(agent, SIGTERM);
  waitpid(agent, nullptr, 0);
  EXPECT_TRUE(status.ok()) << status.ToString();
  // Without the agent and without a key: no way in.
  endpoint.use_ssh_agent = false;
  EXPECT_FALSE(FtpConnection(endpoint).Open().ok());
}

// The authentication lines of sshd's log that name a password method.
std::vector<std::string> PasswordAttempts(const std::string& log) {
  std::vector<std::string> attempts;
  std::istringstream lines(log);
  std::string line;
  while (std::getline(lines, line)) {
    bool auth = line.find("Failed ") != std::string::npos ||
                line.find("Accepted ") != std::string::npos ||
                line.find("Postponed ") != std::string::npos;
    if (auth && (line.find("password") != std::string::npos ||
                 line.find("keyboard-interactive") != std::string::npos))
      attempts.push_back(line);
  }
  return attempts;
}

// A key's passphrase unlocks the key here and is never offered to the server
// as a password, not even when it is the account's password too; a password
// login is offered only when asked for.
TEST_F(SftpTest, AKeysPassphraseNeverReachesTheServer) {
  const std::string key = local_.File("unauthorised_ed25519");
  ASSERT_TRUE(testing::RunProgram(
      {"ssh-keygen", "-q", "-t", "ed25519", "-N", "correct horse", "-f", key}));
  EXPECT_TRUE(PrivateKeyIsEncrypted(key));
  EXPECT_FALSE(PrivateKeyIsEncrypted(client_key_));

  FtpEndpoint endpoint = Endpoint();
  endpoint.ssh_private_key_file = key;
  endpoint.ssh_key_passphrase = "correct horse";
  endpoint.password = "correct horse";
  Status refused = FtpConnection(endpoint).Open();
  EXPECT_EQ(refused.code(), Status::Code::kRefused);
  EXPECT_EQ(refused.message(), KeyRefusedText("127.0.0.1", user_, key));

  endpoint.ssh_key_passphrase = "wrong";
  Status locked = FtpConnection(endpoint).Open();
  EXPECT_EQ(locked.code(), Status::Code::kRefused);
  EXPECT_EQ(locked.message(), KeyNotUnlockedText(key));
  // The authorised key, unlocked, still logs in with a password at hand.
  endpoint = Endpoint();
  endpoint.password = "correct horse";
  Status in = FtpConnection(endpoint).Open();
  EXPECT_TRUE(in.ok()) << in.ToString();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // sshd's log written
  EXPECT_EQ(PasswordAttempts(ReadFile(log_)), std::vector<std::string>{});
  EXPECT_NE(ReadFile(log_).find("publickey"), std::string::npos) << "the key was offered";

  // Asked for: the password is offered after the key (the log sees it).
  endpoint.ssh_private_key_file = key;
  endpoint.ssh_key_passphrase = "correct horse";
  endpoint.ssh_password_login = true;
  Status password = FtpConnection(endpoint).Open();
  EXPECT_EQ(password.code(), Status::Code::kRefused);
  EXPECT_NE(password.message().find("refused the login of " + user_), std::string::npos)
      << password.message();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(PasswordAttempts(ReadFile(log_)).empty());
}

class SftpPublishTest : public SftpTest {
 protected:
  Status Publish(int lines, long long send_rate = 0) {
    FtpEndpoint endpoint = Endpoint();
    endpoint.max_send_bytes_per_second = send_rate;
    testing::RunFiles files = testing::MakeRunFiles(local_.File("cache"), site_ + "/www/index.html", 30000);
    testing::RunTransfer transfer(endpoint, ui_, observer_, RetryPolicy{2, std::chrono::milliseconds(20)});
    Status status = transfer.Fetch(files.remote_path, files.page_path, "");
    if (!status.ok()) return status;
    if (testing::WhichPage(ReadFile(files.page_path), lines) != "old page")
      return Status::Corrupt("the fetched page differs from the site's");
    WriteFile(files.page_path, testing::NewTestPage(lines));
    return transfer.Publish(files);
  }
  testing::RecordingUserInterface ui_;
  testing::QuietObserver observer_;
};

// SFTP has no overwriting rename here: the old page steps aside only once
// the new one is complete beside it.
TEST_F(SftpPublishTest, PublishesAWholeRunKeepingThePagesOwnBytes) {
  for (int run = 0; run < 2; ++run) {
    WriteFile(site_ + "/www/index.html", testing::OldTestPage());
    Status status = Publish(3000);
    ASSERT_TRUE(status.ok()) << status.ToString();
    EXPECT_EQ(testing::WhichPage(ReadFile(site_ + "/www/index.html")), "new page");
    EXPECT_EQ(ReadFile(site_ + "/www/audio/x1.au"), ReadFile(local_.File("cache/x1.au")));
    EXPECT_EQ(testing::LeftoversIn(site_), std::vector<std::string>{});
  }
}

TEST_F(SftpPublishTest, AServerKilledDuringThePageLeavesTheOldPageWhole) {
  WriteFile(site_ + "/www/index.html", testing::OldTestPage(40000));
  testing::KillMidUpload killer(site_ + "/www", ".index.html.*.part",
                                testing::NewTestPage(40000).size(), pid_);
  EXPECT_FALSE(Publish(40000, 400000).ok());
  EXPECT_GT(killer.killed_at(), 0u);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
  EXPECT_EQ(testing::WhichPage(ReadFile(site_ + "/www/index.html"), 40000), "old page");
  ASSERT_FALSE(ui_.calls.empty());
  EXPECT_NE(ui_.calls.back().text.find("The page on the site was not changed."), std::string::npos)
      << ui_.calls.back().text;
}

// Through a relay that forwards the SSH stream and then goes silent (neither
// breaking nor moving), the publish gives up after the stall time, like FTP.
TEST_F(SftpPublishTest, ASilentConnectionIsGivenUpAfterTheStallTime) {
  const std::string port_file = local_.File("relay.port");
  testing::ProgramOptions options;
  options.search_path = true;
  testing::BackgroundProgram relay({"python3", SONAVELT_SILENT_RELAY_SCRIPT, "--to-port",
                                    std::to_string(port_), "--after", "60000", "--port-file",
                                    port_file},
                                   options);
  for (int i = 0; i < 200 && !fs::exists(port_file); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(fs::exists(port_file)) << "the relay did not start";
  FtpEndpoint endpoint = Endpoint();
  endpoint.port = static_cast<uint16_t>(std::stoi(ReadFile(port_file)));
  endpoint.stall_timeout_seconds = 2;
  endpoint.connect_timeout_seconds = 3;
  WriteFile(site_ + "/www/index.html", testing::OldTestPage());
  testing::RunFiles files =
      testing::MakeRunFiles(local_.File("cache"), site_ + "/www/index.html", 100000);
  testing::RunTransfer transfer(endpoint, ui_, observer_, RetryPolicy{1, std::chrono::milliseconds(20)});
  auto start = std::chrono::steady_clock::now();
  Status fetched = transfer.Fetch(files.remote_path, files.page_path, "");
  Status status = fetched.ok() ? transfer.Publish(files) : fetched;
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(status.ok());
  EXPECT_LT(took, std::chrono::seconds(15));
  ASSERT_FALSE(ui_.Messages().empty());
  EXPECT_NE(ui_.Messages().back().find(StalledText(2)), std::string::npos) << ui_.Messages().back();
  EXPECT_EQ(testing::WhichPage(ReadFile(site_ + "/www/index.html")), "old page");
}

// "No such file" is the server's answer, not a lost connection: no retries
// (with their waits of 1, 2 and 4 seconds).
TEST_F(SftpPublishTest, AMissingPageIsARefusalNotRetried) {
  testing::RunTransfer transfer(Endpoint(), ui_, observer_, RetryPolicy{});
  auto start = std::chrono::steady_clock::now();
  Status status = transfer.Fetch(site_ + "/www/absent.htm", local_.File("page"), "");
  EXPECT_FALSE(status.ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_NE(ui_.Messages()[0].find("absent.htm"), std::string::npos) << ui_.Messages()[0];
}

}  // namespace
}  // namespace sonavelt::remote
