#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>

// What the tests need of the servers they start on loopback (pyftpdlib,
// vsftpd, sshd): whether a missing one may be skipped, which port a started
// one listens on, and a port where nothing answers.
namespace sonavelt::testing {

// True where the suite is configured to have every server it uses (CI=true):
// a server that cannot start there is a fault of the machine, not a reason
// to skip.
bool ServersRequired();

// The one place that decides what a server that cannot start means: under
// CI=true the test fails, elsewhere it is skipped with the reason. The first
// for GoogleTest, the second for Qt Test (`why` a C string there).
#define SONAVELT_SERVER_UNAVAILABLE(why)                                       \
  do {                                                                         \
    if (::sonavelt::testing::ServersRequired()) GTEST_FAIL() << (why);         \
    GTEST_SKIP() << (why);                                                     \
  } while (0)
#define SONAVELT_QT_SERVER_UNAVAILABLE(why)                                    \
  do {                                                                         \
    if (::sonavelt::testing::ServersRequired()) QFAIL(why);                    \
    QSKIP(why);                                                                \
  } while (0)

// The TCP port process `pid` listens on (on IPv4 loopback or any address),
// found through the kernel's socket tables, so it is surely that process's
// and not a port someone else took meanwhile; 0 when it listens on none.
uint16_t ListeningPort(pid_t pid);

// Waits until `pid` listens on a TCP port and answers that port; 0 when the
// process ended first (it is left for the caller to reap) or `limit` passed.
uint16_t WaitForListeningPort(pid_t pid, std::chrono::milliseconds limit);

// The first line a server on 127.0.0.1:`port` sends (its banner: "220 ..."
// for FTP, "SSH-2.0-..." for SSH), without the line end; empty when it sends
// none within `limit`.
std::string ReadBanner(uint16_t port, std::chrono::milliseconds limit);

// A port on 127.0.0.1 where connections are refused, for as long as the
// object lives: bound but never listening, so no other server can take it
// while a test relies on it.
class RefusedPort {
 public:
  RefusedPort();
  ~RefusedPort();
  RefusedPort(const RefusedPort&) = delete;
  RefusedPort& operator=(const RefusedPort&) = delete;
  uint16_t port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// A port for a server that cannot be told to choose its own (sshd): free
// when asked, so the server's start must check (ListeningPort) that it got
// it, and try again with another when it did not.
uint16_t CandidatePort();

}  // namespace sonavelt::testing
