#include "tests/fault/fault_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "base/byte_order.h"

extern char** environ;

namespace sonavelt::testing {
namespace fs = std::filesystem;

namespace {

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) text.append(buffer, static_cast<size_t>(n));
  close(fd);
  return text;
}

}  // namespace

BackgroundProgram::BackgroundProgram(const std::vector<std::string>& argv, const fs::path& folder,
                                     const std::vector<std::string>& extra_environment) {
  int out_pipe[2], err_pipe[2];
  if (pipe(out_pipe) != 0) return;
  if (pipe(err_pipe) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return;
  }
  std::vector<std::string> env_text;
  for (char** e = environ; *e != nullptr; ++e) env_text.emplace_back(*e);
  for (const std::string& extra : extra_environment) {
    std::string name = extra.substr(0, extra.find('=') + 1);
    std::erase_if(env_text, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    env_text.push_back(extra);
  }
  std::vector<char*> args, env;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : env_text) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);

  pid_ = fork();
  if (pid_ == 0) {
    int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    close(out_pipe[0]);
    close(err_pipe[0]);
    if (chdir(folder.c_str()) != 0) _exit(126);
    execve(args[0], args.data(), env.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  // Both pipes are drained at once so a chatty program never blocks.
  int out_fd = out_pipe[0], err_fd = err_pipe[0];
  out_reader_ = std::thread([this, out_fd] { result_.out = ReadAll(out_fd); });
  err_reader_ = std::thread([this, err_fd] {
    char buffer[4096];
    ssize_t n;
    while ((n = read(err_fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
      if (n <= 0) continue;
      std::lock_guard lock(mutex_);
      err_so_far_.append(buffer, static_cast<size_t>(n));
      err_grew_.notify_all();
    }
    close(err_fd);
    std::lock_guard lock(mutex_);
    err_closed_ = true;
    err_grew_.notify_all();
  });
}

BackgroundProgram::~BackgroundProgram() {
  if (pid_ > 0 && !waited_) kill(pid_, SIGKILL);
  Wait();
}

void BackgroundProgram::Signal(int signal_number) {
  if (pid_ > 0 && !waited_) kill(pid_, signal_number);
}

bool BackgroundProgram::WaitForError(const std::string& text, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return err_grew_.wait_for(lock, limit, [&] {
    return err_so_far_.find(text) != std::string::npos || err_closed_;
  }) && err_so_far_.find(text) != std::string::npos;
}

ProgramResult BackgroundProgram::Wait() {
  if (waited_ || pid_ <= 0) return result_;
  if (out_reader_.joinable()) out_reader_.join();
  if (err_reader_.joinable()) err_reader_.join();
  int raw = 0;
  waitpid(pid_, &raw, 0);
  waited_ = true;
  if (WIFEXITED(raw)) result_.status = WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) result_.signal = WTERMSIG(raw);
  result_.err = err_so_far_;
  return result_;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const fs::path& folder,
                         const std::vector<std::string>& extra_environment) {
  BackgroundProgram program(argv, folder, extra_environment);
  return program.Wait();
}

bool PrivateMounts(std::string* why) {
  static bool done = false;
  if (done) return true;
  if (geteuid() != 0) {
    *why = "needs root to mount a small or read-only file system";
    return false;
  }
  if (unshare(CLONE_NEWNS) != 0) {
    *why = std::string("cannot make a mount namespace: ") + std::strerror(errno);
    return false;
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    *why = std::string("cannot make mounts private: ") + std::strerror(errno);
    return false;
  }
  done = true;
  return true;
}

bool MountTmpfs(const fs::path& folder, uint64_t bytes, std::string* why) {
  if (!PrivateMounts(why)) return false;
  fs::create_directories(folder);
  std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
    *why = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool MountReadOnlyBind(const fs::path& folder, std::string* why) {
  if (!PrivateMounts(why)) return false;
  if (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
      mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    *why = std::string("cannot make a read-only bind mount: ") + std::strerror(errno);
    return false;
  }
  return true;
}

void Unmount(const fs::path& folder) { umount2(folder.c_str(), MNT_DETACH); }

void FillFileSystem(const fs::path& folder, uint64_t leave) {
  struct statvfs info {};
  if (statvfs(folder.c_str(), &info) != 0) return;
  uint64_t free_bytes = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
  if (free_bytes <= leave) return;
  std::string filler((free_bytes - leave) / info.f_frsize * info.f_frsize, 'f');
  int fd = open((folder / ".filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  size_t done = 0;
  while (done < filler.size()) {
    ssize_t n = write(fd, filler.data() + done, filler.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
}

std::string SmallWave(int frames, int rate) {
  std::string data;
  for (int i = 0; i < frames; ++i) data.push_back(static_cast<char>(128 + (i % 64) - 32));
  if (data.size() % 2 == 1) data.push_back('\x80');
  std::string fmt;
  AppendLe16(fmt, 1);
  AppendLe16(fmt, 1);
  AppendLe32(fmt, static_cast<uint32_t>(rate));
  AppendLe32(fmt, static_cast<uint32_t>(rate));
  AppendLe16(fmt, 1);
  AppendLe16(fmt, 8);
  std::string chunks = "fmt ";
  AppendLe32(chunks, static_cast<uint32_t>(fmt.size()));
  chunks += fmt + "data";
  AppendLe32(chunks, static_cast<uint32_t>(data.size()));
  chunks += data;
  std::string out = "RIFF";
  AppendLe32(out, static_cast<uint32_t>(chunks.size() + 4));
  return out + "WAVE" + chunks;
}

std::vector<std::string> FilesBelow(const fs::path& root) {
  std::vector<std::string> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::end(it);
       it.increment(ec)) {
    if (it->is_regular_file() || it->is_symlink())
      files.push_back(fs::relative(it->path(), root).string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace sonavelt::testing
