#include "tests/remote/vsftpd_test_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "tests/support/temp_dir.h"
#include "tests/support/test_servers.h"

extern char** environ;

namespace sonavelt::testing {
VsftpdTestServer::~VsftpdTestServer() { Stop(); }

bool VsftpdTestServer::Start(const std::string& root, const std::string& config_folder,
                             const std::string& cert_file, const std::string& key_file,
                             bool implicit) {
  const char* binary = "/usr/sbin/vsftpd";
  if (access(binary, X_OK) != 0) {
    error_ = "vsftpd is not installed";
    return false;
  }
  if (geteuid() != 0) {
    error_ = "vsftpd runs only as root here";
    return false;
  }
  if (!std::filesystem::is_directory("/var/run/vsftpd/empty")) {
    error_ = "vsftpd's secure_chroot_dir /var/run/vsftpd/empty is missing";
    return false;
  }
  // listen_port=0: the kernel picks a free port, read back from its socket
  // tables once vsftpd listens (no other server can have taken it).
  port_ = 0;
  std::string config = "listen=YES\nlisten_address=127.0.0.1\nlisten_port=0"
                       "\nbackground=NO\nanonymous_enable=YES\nanon_root=" + root +
                       "\nno_anon_password=YES\nlocal_enable=NO\nwrite_enable=YES\n"
                       "anon_upload_enable=YES\nanon_mkdir_write_enable=YES\n"
                       "anon_other_write_enable=YES\nanon_umask=022\npasv_enable=YES\n"
                       "seccomp_sandbox=NO\nxferlog_enable=NO\n"
                       "secure_chroot_dir=/var/run/vsftpd/empty\n";
  if (!cert_file.empty()) {
    config += "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\n"
              "force_anon_data_ssl=YES\n"
              "rsa_cert_file=" + cert_file + "\nrsa_private_key_file=" + key_file + "\n";
    if (implicit) config += "implicit_ssl=YES\n";
  }
  config += extra_config_;
  std::string config_path = config_folder + "/vsftpd.conf";
  WriteFile(config_path, config);

  std::vector<std::string> args = {binary, config_path};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
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
  int rc = posix_spawn(&pid_, binary, &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = -1;
    error_ = "cannot start vsftpd";
    return false;
  }
  port_ = WaitForListeningPort(pid_, std::chrono::seconds(10));
  if (port_ != 0) return true;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    error_ = "vsftpd stopped at once (configuration refused)";
    return false;
  }
  Stop();
  error_ = "vsftpd did not start listening";
  return false;
}

void VsftpdTestServer::Stop() {
  if (pid_ <= 0) return;
  kill(-pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

}  // namespace sonavelt::testing
