#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace sonavelt::testing {

// vsftpd on 127.0.0.1 with anonymous access to `root` (which must not be
// writable; its "incoming" folder, if any, is where anonymous uploads go).
// With a certificate it requires TLS on control and data channels, with
// vsftpd's own defaults otherwise (the data channel must resume the control
// channel's TLS session). It runs
// only as root here (it switches to the "ftp" user); Start says why not.
class VsftpdTestServer {
 public:
  VsftpdTestServer() = default;
  ~VsftpdTestServer();
  VsftpdTestServer(const VsftpdTestServer&) = delete;
  VsftpdTestServer& operator=(const VsftpdTestServer&) = delete;

  // cert_file/key_file: PEM files for TLS (explicit, AUTH TLS; implicit:
  // TLS from the first byte); empty: plain FTP.
  bool Start(const std::string& root, const std::string& config_folder,
             const std::string& cert_file = "", const std::string& key_file = "",
             bool implicit = false);
  void Stop();
  // Lines added to the configuration at the next Start ("deny_file={.*}\n").
  void set_extra_config(std::string lines) { extra_config_ = std::move(lines); }
  // The server's process group (its sessions are in it too).
  pid_t pid() const { return pid_; }
  uint16_t port() const { return port_; }
  const std::string& error() const { return error_; }

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
  std::string error_;
  std::string extra_config_;
};

}  // namespace sonavelt::testing
