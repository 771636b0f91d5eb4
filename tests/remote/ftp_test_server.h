#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "remote/ftp_address.h"
#include "tests/support/test_servers.h"

namespace sonavelt::testing {

// Ways the test server misbehaves on purpose.
struct FtpServerFaults {
  int drop_stor = 0;       // drop the control connection at the N-th STOR (once)
  std::string drop_stor_of;  // ... at the first STOR of a name holding this
  std::string refuse_mkd;  // refuse MKD of paths containing this
  bool refuse_rename = false;
  bool deny_dot = false;        // refuse names starting with "." (vsftpd's deny_file={.*})
  std::string refuse_stor;      // "NAME:CODE": answer CODE to a STOR of a name holding NAME
  // Patterns ("*" for any text: temporary names have a tag of each attempt).
  std::string die_in_stor;      // the server ends half way through receiving NAME
  std::string stall_in_stor;    // the server stops answering half way through NAME
  int delay_ms = 0;             // wait before every reply
  // "NAME:BYTES" keeps only BYTES bytes of every file whose name holds NAME
  // and answers 226 all the same; "NAME:BYTES:1" does so once only.
  std::string cut_stor;
  bool refuse_overwrite = false;  // STOR onto an existing file: 550 (nothing written)
  bool refuse_stat = false;       // STAT (a listing on the control connection): 502
  // "CODE:TEXT" answers the login's USER with this reply and closes the
  // session; "|" separates the lines of a multi-line one ("421:a|b" is
  // "421-a", then "421 b").
  std::string reply;
  std::string log_commands;
  // Holds the first login's password reply this long (the server then
  // serves each connection on its own thread, so later logins go on).
  int slow_first_login_ms = 0;  // appends each command received (and its time) to this file
};

// A real FTP server (pyftpdlib, through ftp_test_server.py) on 127.0.0.1,
// serving a folder for one user. Started with an argument list, never a
// shell; stopped (killed) by Stop or the destructor.
class TestFtpServer {
 public:
  static constexpr const char* kUser = "tester";
  static constexpr const char* kPassword = "pa ss:w@rd";

  TestFtpServer() = default;
  ~TestFtpServer();
  TestFtpServer(const TestFtpServer&) = delete;
  TestFtpServer& operator=(const TestFtpServer&) = delete;

  // Serves `root` on a free port, or on `port` when nonzero (a restart).
  // False, with error() saying why, when the server cannot run here.
  bool Start(const std::string& root, const FtpServerFaults& faults = {}, uint16_t port = 0);
  void Stop();
  bool running() const { return pid_ > 0; }
  uint16_t port() const { return port_; }
  const std::string& error() const { return error_; }

  // A plain-FTP endpoint for the test user (short time-outs).
  remote::FtpEndpoint Endpoint() const;

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
  std::string error_;
  std::string password_file_;
};

}  // namespace sonavelt::testing
