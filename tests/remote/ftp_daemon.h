#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "remote/ftp_address.h"

namespace sonavelt::testing {

// The FTP servers the suite starts from their own programs. vsftpd is
// installed; proftpd and pure-ftpd conflict with it as Debian packages, so
// scripts/setup.sh unpacks their packages into the checkout's
// .cache/test-servers/ (dpkg-deb -x) and they run from there.
enum class FtpDaemonKind { kVsftpd, kProftpd, kPureFtpd };

// "vsftpd", "proftpd", "pure-ftpd".
const char* DaemonName(FtpDaemonKind kind);
// The name as a test's name may hold it: "vsftpd", "proftpd", "pureftpd".
std::string DaemonTestName(FtpDaemonKind kind);
// Every kind, for a test run on each server.
inline constexpr FtpDaemonKind kAllFtpDaemons[] = {FtpDaemonKind::kVsftpd, FtpDaemonKind::kProftpd,
                                                   FtpDaemonKind::kPureFtpd};

struct FtpDaemonOptions {
  // kPlain, kExplicitTls or kImplicitTls (pure-ftpd has no implicit TLS).
  // With TLS, cleartext sessions are refused and data channels encrypted too;
  // each server keeps its own defaults otherwise (vsftpd and proftpd require
  // the data channel to resume the control channel's TLS session).
  remote::Security security = remote::Security::kPlain;
  std::string cert_file;  // PEM; needed for TLS
  std::string key_file;
  // vsftpd, proftpd: lines added to the configuration ("deny_file={.*}");
  // pure-ftpd: arguments added to its command line ("-x").
  std::vector<std::string> extra;
  // proftpd's AllowOverwrite (its default is off; the others always allow).
  bool allow_overwrite = true;
};

// One server on 127.0.0.1 serving `root`, which must exist and not be
// writable by the "ftp" user (vsftpd refuses a writable anonymous root); its
// "incoming" folder, owned by that user, is where uploads go. vsftpd serves
// it to anonymous logins, proftpd and pure-ftpd to the account user() with
// password(), chrooted: the paths are the same on all three ("/incoming/x").
// Every server writes as the "ftp" user. They run only as root here (they
// switch to that user); Start says why a server cannot run.
class FtpDaemon {
 public:
  static constexpr const char* kUser = "tester";
  static constexpr const char* kPassword = "pa ss:w@rd";

  explicit FtpDaemon(FtpDaemonKind kind) : kind_(kind) {}
  ~FtpDaemon();
  FtpDaemon(const FtpDaemon&) = delete;
  FtpDaemon& operator=(const FtpDaemon&) = delete;

  // `config_folder` receives the configuration, account and log files.
  bool Start(const std::string& root, const std::string& config_folder,
             const FtpDaemonOptions& options = {});
  void Stop();

  FtpDaemonKind kind() const { return kind_; }
  // The server's process group (its sessions are in it too).
  pid_t pid() const { return pid_; }
  uint16_t port() const { return port_; }
  const std::string& error() const { return error_; }
  // The login: empty for vsftpd (anonymous).
  std::string user() const;
  std::string password() const;

 private:
  bool Launch(const std::vector<std::string>& args, uint16_t wanted_port);
  std::vector<std::string> VsftpdArgs(const std::string& root, const std::string& folder,
                                      const FtpDaemonOptions& options);
  std::vector<std::string> ProftpdArgs(const std::string& root, const std::string& folder,
                                       const FtpDaemonOptions& options, uint16_t port);
  std::vector<std::string> PureFtpdArgs(const std::string& root, const std::string& folder,
                                        const FtpDaemonOptions& options, uint16_t port);

  FtpDaemonKind kind_;
  pid_t pid_ = -1;
  uint16_t port_ = 0;
  std::string error_;
};

// Where scripts/setup.sh unpacked proftpd and pure-ftpd (below it:
// usr/sbin/proftpd, usr/sbin/pure-ftpd, ...).
std::string UnpackedServersFolder();

}  // namespace sonavelt::testing
