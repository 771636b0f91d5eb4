#include "tests/remote/ftp_test_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "tests/support/temp_dir.h"

extern char** environ;

namespace sonavelt::testing {
namespace {

std::string FindPython() {
  // Debian's python3 carries python3-pyftpdlib; a python3 earlier on PATH
  // (a virtual environment, pyenv) may not.
  if (access("/usr/bin/python3", X_OK) == 0) return "/usr/bin/python3";
  return "python3";
}

}  // namespace

TestFtpServer::~TestFtpServer() {
  Stop();
  if (!password_file_.empty()) std::filesystem::remove(password_file_);
}

bool TestFtpServer::Start(const std::string& root, const FtpServerFaults& options, uint16_t port) {
  Stop();
  if (password_file_.empty()) {
    char pattern[] = "/tmp/sonavelt-ftp-pass-XXXXXX";
    int fd = mkstemp(pattern);
    if (fd < 0) {
      error_ = "cannot create the password file";
      return false;
    }
    close(fd);
    password_file_ = pattern;
    WriteFile(password_file_, kPassword);
  }
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0) {
    error_ = "pipe failed";
    return false;
  }
  std::vector<std::string> args = {FindPython(),  SONAVELT_FTP_TEST_SERVER_SCRIPT,
                                    "--root",      root,
                                    "--user",      kUser,
                                    "--password-file", password_file_,
                                    "--port",      std::to_string(port)};
  if (!options.drop_stor_of.empty()) {
    args.push_back("--drop-stor-of");
    args.push_back(options.drop_stor_of);
  }
  if (options.drop_stor > 0) {
    args.push_back("--drop-stor");
    args.push_back(std::to_string(options.drop_stor));
  }
  if (!options.refuse_mkd.empty()) {
    args.push_back("--refuse-mkd");
    args.push_back(options.refuse_mkd);
  }
  if (options.refuse_rename) args.push_back("--refuse-rename");
  if (options.deny_dot) args.push_back("--deny-dot");
  if (options.refuse_overwrite) args.push_back("--refuse-overwrite");
  if (options.refuse_stat) args.push_back("--refuse-stat");
  for (auto [flag, value] : {std::pair{"--refuse-stor", &options.refuse_stor},
                             std::pair{"--cut-stor", &options.cut_stor},
                             std::pair{"--reply", &options.reply},
                             std::pair{"--log-commands", &options.log_commands},
                             std::pair{"--die-in-stor", &options.die_in_stor},
                             std::pair{"--stall-in-stor", &options.stall_in_stor}}) {
    if (value->empty()) continue;
    args.push_back(flag);
    args.push_back(*value);
  }
  if (options.slow_first_login_ms > 0) {
    args.push_back("--slow-first-login-ms");
    args.push_back(std::to_string(options.slow_first_login_ms));
    args.push_back("--threaded");
  }
  if (options.delay_ms > 0) {
    args.push_back("--delay-ms");
    args.push_back(std::to_string(options.delay_ms));
  }
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
  posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  int rc = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_fds[1]);
  if (rc != 0) {
    pid_ = -1;
    close(pipe_fds[0]);
    error_ = "cannot start python3";
    return false;
  }
  // The script prints its port once it listens.
  std::string line;
  pollfd pfd{pipe_fds[0], POLLIN, 0};
  while (line.find('\n') == std::string::npos && poll(&pfd, 1, 15000) > 0) {
    char buffer[64];
    ssize_t n = read(pipe_fds[0], buffer, sizeof buffer);
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  int value = std::atoi(line.c_str());
  if (value <= 0 || value > 65535) {
    Stop();
    error_ = "the FTP test server did not start (is python3-pyftpdlib installed?)";
    return false;
  }
  port_ = static_cast<uint16_t>(value);
  return true;
}

void TestFtpServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
}

remote::FtpEndpoint TestFtpServer::Endpoint() const {
  remote::FtpEndpoint endpoint;
  endpoint.server = "127.0.0.1";
  endpoint.port = port_;
  endpoint.user_name = kUser;
  endpoint.password = kPassword;
  endpoint.connect_timeout_seconds = 10;
  return endpoint;
}

}  // namespace sonavelt::testing
