#include "tests/support/test_servers.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

namespace sonavelt::testing {

bool ServersRequired() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string(ci) == "true";
}

namespace {

// The socket inodes among `pid`'s open files.
std::set<unsigned long> SocketInodes(pid_t pid) {
  std::set<unsigned long> inodes;
  std::string folder = "/proc/" + std::to_string(pid) + "/fd";
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return inodes;
  while (dirent* entry = readdir(dir)) {
    char target[64];
    std::string link = folder + "/" + entry->d_name;
    ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = '\0';
    unsigned long inode = 0;
    if (std::sscanf(target, "socket:[%lu]", &inode) == 1) inodes.insert(inode);
  }
  closedir(dir);
  return inodes;
}

// True while `pid` has not ended (it is not reaped here).
bool Running(pid_t pid) {
  siginfo_t info{};
  if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
    return kill(pid, 0) == 0;  // not our child: ask the kernel
  return info.si_pid == 0;
}

int ConnectLoopback(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

}  // namespace

uint16_t ListeningPort(pid_t pid) {
  std::set<unsigned long> inodes = SocketInodes(pid);
  if (inodes.empty()) return 0;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);  // the heading
    while (std::getline(in, line)) {
      // sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
      std::istringstream fields(line);
      std::string sl, local, remote, state, queues, timer, retransmits, uid, timeout;
      unsigned long inode = 0;
      fields >> sl >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
          timeout >> inode;
      if (state != "0A" || inodes.count(inode) == 0) continue;  // 0A: LISTEN
      size_t colon = local.rfind(':');
      if (colon == std::string::npos) continue;
      return static_cast<uint16_t>(std::stoul(local.substr(colon + 1), nullptr, 16));
    }
  }
  return 0;
}

uint16_t WaitForListeningPort(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // The kernel offers no event for "a process started listening"; its
  // tables are looked at again every few milliseconds until it has.
  while (std::chrono::steady_clock::now() < deadline && Running(pid)) {
    if (uint16_t port = ListeningPort(pid)) return port;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return 0;
}

std::string ReadBanner(uint16_t port, std::chrono::milliseconds limit) {
  int fd = ConnectLoopback(port);
  if (fd < 0) return std::string();
  std::string text;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (text.find('\n') == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd pfd{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[256];
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  size_t end = text.find_first_of("\r\n");
  return end == std::string::npos ? std::string() : text.substr(0, end);
}

RefusedPort::RefusedPort() {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return;
  socklen_t len = sizeof addr;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
}

RefusedPort::~RefusedPort() {
  if (fd_ >= 0) close(fd_);
}

uint16_t CandidatePort() {
  RefusedPort free_now;
  return free_now.port();
}

}  // namespace sonavelt::testing
