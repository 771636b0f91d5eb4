#include "tests/remote/ftp_daemon.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "tests/remote/publish_fixture.h"
#include "tests/support/program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_servers.h"

extern char** environ;

namespace sonavelt::testing {
namespace {

using remote::Security;

// kPassword as crypt(3) SHA-512 (`openssl passwd -6 -salt sonavelt`): the
// account files of proftpd and pure-ftpd hold it in this form.
constexpr char kPasswordHash[] =
    "$6$sonavelt$qOMM8K8HCSHCvotPtvESMHBIxqb19kbBwOuTuJans1n7SCXjuIDUWbGRbSkBtFVh8hU9cAfjFbVuQESb"
    "OPChB/";

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

}  // namespace

const char* DaemonName(FtpDaemonKind kind) {
  switch (kind) {
    case FtpDaemonKind::kVsftpd: return "vsftpd";
    case FtpDaemonKind::kProftpd: return "proftpd";
    case FtpDaemonKind::kPureFtpd: break;
  }
  return "pure-ftpd";
}

std::string DaemonTestName(FtpDaemonKind kind) {
  std::string name = DaemonName(kind);
  std::erase(name, '-');
  return name;
}

std::string UnpackedServersFolder() {
  if (const char* folder = std::getenv("SONAVELT_TEST_SERVERS")) return folder;
  if (const char* source = std::getenv("SONAVELT_SOURCE_DIR"))
    return std::string(source) + "/.cache/test-servers";
  return ".cache/test-servers";
}

FtpDaemon::~FtpDaemon() { Stop(); }

std::string FtpDaemon::user() const { return kind_ == FtpDaemonKind::kVsftpd ? "" : kUser; }
std::string FtpDaemon::password() const {
  return kind_ == FtpDaemonKind::kVsftpd ? "" : kPassword;
}

bool FtpDaemon::Start(const std::string& root, const std::string& config_folder,
                      const FtpDaemonOptions& options) {
  Stop();
  error_.clear();
  if (geteuid() != 0) {
    error_ = std::string(DaemonName(kind_)) + " runs only as root here";
    return false;
  }
  if (getpwnam("ftp") == nullptr) {
    error_ = "no ftp user for the FTP servers to write as";
    return false;
  }
  if (kind_ == FtpDaemonKind::kVsftpd) {
    // vsftpd takes listen_port=0: the kernel picks a free port, read back
    // from its socket tables (no other server can have taken it).
    return Launch(VsftpdArgs(root, config_folder, options), 0);
  }
  if (kind_ == FtpDaemonKind::kPureFtpd && options.security == Security::kImplicitTls) {
    error_ = "pure-ftpd has no implicit TLS";
    return false;
  }
  // proftpd and pure-ftpd need a port named in advance: one that is free
  // when asked, checked in the kernel's tables once the server listens.
  for (int attempt = 0; attempt < 5; ++attempt) {
    uint16_t port = CandidatePort();
    std::vector<std::string> args = kind_ == FtpDaemonKind::kProftpd
                                        ? ProftpdArgs(root, config_folder, options, port)
                                        : PureFtpdArgs(root, config_folder, options, port);
    if (args.empty()) return false;
    if (Launch(args, port)) return true;
  }
  return false;
}

std::vector<std::string> FtpDaemon::VsftpdArgs(const std::string& root, const std::string& folder,
                                               const FtpDaemonOptions& options) {
  const char* binary = "/usr/sbin/vsftpd";
  if (access(binary, X_OK) != 0) {
    error_ = "vsftpd is not installed";
    return {};
  }
  if (!std::filesystem::is_directory("/var/run/vsftpd/empty")) {
    error_ = "vsftpd's secure_chroot_dir /var/run/vsftpd/empty is missing";
    return {};
  }
  std::vector<std::string> config = {
      "listen=YES", "listen_address=127.0.0.1", "listen_port=0", "background=NO",
      "anonymous_enable=YES", "anon_root=" + root, "no_anon_password=YES", "local_enable=NO",
      "write_enable=YES", "anon_upload_enable=YES", "anon_mkdir_write_enable=YES",
      "anon_other_write_enable=YES", "anon_umask=022", "pasv_enable=YES",
      "seccomp_sandbox=NO", "xferlog_enable=NO", "secure_chroot_dir=/var/run/vsftpd/empty"};
  if (options.security != Security::kPlain) {
    config.insert(config.end(), {"ssl_enable=YES", "allow_anon_ssl=YES",
                                 "force_anon_logins_ssl=YES", "force_anon_data_ssl=YES",
                                 "rsa_cert_file=" + options.cert_file,
                                 "rsa_private_key_file=" + options.key_file});
    if (options.security == Security::kImplicitTls) config.push_back("implicit_ssl=YES");
  }
  config.insert(config.end(), options.extra.begin(), options.extra.end());
  std::string path = folder + "/vsftpd.conf";
  WriteFile(path, Lines(config));
  return {binary, path};
}

std::vector<std::string> FtpDaemon::ProftpdArgs(const std::string& root, const std::string& folder,
                                                const FtpDaemonOptions& options, uint16_t port) {
  const std::string servers = UnpackedServersFolder();
  const std::string binary = servers + "/usr/sbin/proftpd";
  if (access(binary.c_str(), X_OK) != 0) {
    error_ = "proftpd is not unpacked in " + servers + " (scripts/setup.sh does it)";
    return {};
  }
  struct passwd* ftp = getpwnam("ftp");
  struct group* group = getgrgid(ftp->pw_gid);
  if (group == nullptr) {
    error_ = "the ftp user's group has no name";
    return {};
  }
  const std::string uid = std::to_string(ftp->pw_uid), gid = std::to_string(ftp->pw_gid);
  // proftpd refuses account files others can read.
  const std::string users = folder + "/proftpd.passwd", groups = folder + "/proftpd.group";
  WriteFile(users, std::string(kUser) + ":" + kPasswordHash + ":" + uid + ":" + gid + "::" + root +
                       ":/bin/false\n");
  WriteFile(groups, std::string(group->gr_name) + ":x:" + gid + ":\n");
  chmod(users.c_str(), 0600);
  chmod(groups.c_str(), 0600);
  std::vector<std::string> config = {
      "ServerName \"test\"", "ServerType standalone", "Port " + std::to_string(port),
      "DefaultAddress 127.0.0.1", "SocketBindTight on", "UseIPv6 off",
      "User " + std::string(ftp->pw_name), "Group " + std::string(group->gr_name),
      "PidFile " + folder + "/proftpd.pid", "ScoreboardFile " + folder + "/proftpd.scoreboard",
      "DelayTable none", "WtmpLog off", "TransferLog none",
      "SystemLog " + folder + "/proftpd.log", "AuthOrder mod_auth_file.c",
      "AuthUserFile " + users, "AuthGroupFile " + groups, "RequireValidShell off",
      "DefaultRoot ~", "UseReverseDNS off", "Umask 022", "MaxInstances 50",
      std::string("AllowOverwrite ") + (options.allow_overwrite ? "on" : "off"),
      "ModulePath " + servers + "/usr/lib/proftpd"};
  if (options.security != Security::kPlain) {
    config.insert(config.end(), {"LoadModule mod_tls.c", "TLSEngine on", "TLSRequired on",
                                 "TLSRSACertificateFile " + options.cert_file,
                                 "TLSRSACertificateKeyFile " + options.key_file,
                                 "TLSProtocol TLSv1.2 TLSv1.3",
                                 "TLSLog " + folder + "/proftpd-tls.log"});
    if (options.security == Security::kImplicitTls)
      config.push_back("TLSOptions UseImplicitSSL");
  }
  config.insert(config.end(), options.extra.begin(), options.extra.end());
  const std::string path = folder + "/proftpd.conf";
  WriteFile(path, Lines(config));
  return {binary, "--nodaemon", "--quiet", "--config", path};
}

std::vector<std::string> FtpDaemon::PureFtpdArgs(const std::string& root, const std::string& folder,
                                                 const FtpDaemonOptions& options, uint16_t port) {
  const std::string servers = UnpackedServersFolder();
  const std::string binary = servers + "/usr/sbin/pure-ftpd";
  if (access(binary.c_str(), X_OK) != 0) {
    error_ = "pure-ftpd is not unpacked in " + servers + " (scripts/setup.sh does it)";
    return {};
  }
  struct passwd* ftp = getpwnam("ftp");
  // A virtual account; "/./" in its home folder chroots it there.
  const std::string users = folder + "/pureftpd.passwd", database = folder + "/pureftpd.pdb";
  WriteFile(users, std::string(kUser) + ":" + kPasswordHash + ":" + std::to_string(ftp->pw_uid) +
                       ":" + std::to_string(ftp->pw_gid) + "::" + root + "/./::::::::::::\n");
  if (!RunProgram({servers + "/usr/bin/pure-pw", "mkdb", database, "-f", users})) {
    error_ = "pure-pw could not make pure-ftpd's account database";
    return {};
  }
  std::vector<std::string> args = {binary, "--bind", "127.0.0.1," + std::to_string(port),
                                    "--login", "puredb:" + database,
                                    "--noanonymous", "--dontresolve", "--chrooteveryone",
                                    "--maxclientsperip", "50"};
  if (options.security != Security::kPlain) {
    // 3: TLS on the control and the data channels, cleartext refused.
    args.insert(args.end(), {"--tls", "3", "--certfile", options.cert_file + "," + options.key_file});
  }
  args.insert(args.end(), options.extra.begin(), options.extra.end());
  return args;
}

bool FtpDaemon::Launch(const std::vector<std::string>& args, uint16_t wanted_port) {
  if (args.empty()) return false;
  const char* name = DaemonName(kind_);
  std::vector<std::string> owned = args;
  std::vector<char*> argv;
  for (std::string& a : owned) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // A group of its own: Stop ends the sessions' processes too.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  int rc = posix_spawn(&pid_, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = -1;
    error_ = std::string("cannot start ") + name;
    return false;
  }
  port_ = WaitForListeningPort(pid_, std::chrono::seconds(10));
  if (port_ != 0 && (wanted_port == 0 || port_ == wanted_port)) return true;
  int status = 0;
  if (port_ == 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    error_ = std::string(name) + " stopped at once (configuration refused, or its port taken)";
    return false;
  }
  Stop();
  error_ = std::string(name) + " did not start listening";
  return false;
}

void FtpDaemon::Stop() {
  if (pid_ <= 0) return;
  // A session that left the server's process group ends with it too.
  for (pid_t session : Descendants(pid_)) kill(session, SIGKILL);
  kill(-pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace sonavelt::testing
