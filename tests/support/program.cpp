#include "tests/support/program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace sonavelt::testing {
namespace fs = std::filesystem;

namespace {

// Reads `fd` to its end, handing each piece to `take`; closes it.
template <typename Take>
void Drain(int fd, Take take) {
  char buffer[4096];
  ssize_t n;
  while ((n = read(fd, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
    if (n > 0) take(buffer, static_cast<size_t>(n));
  close(fd);
}

}  // namespace

BackgroundProgram::BackgroundProgram(const std::vector<std::string>& argv,
                                     const ProgramOptions& options) {
  Start(argv, options);
}

BackgroundProgram::BackgroundProgram(const std::vector<std::string>& argv, const fs::path& folder,
                                     const std::vector<std::string>& extra_environment) {
  Start(argv, {.folder = folder, .environment = extra_environment});
}

void BackgroundProgram::Start(const std::vector<std::string>& argv,
                              const ProgramOptions& options) {
  if (argv.empty()) return;
  // Everything the child needs is made before fork: between fork and exec
  // only async-signal-safe calls are allowed.
  std::vector<std::string> env_text;
  if (!options.clean_environment)
    for (char** e = environ; *e != nullptr; ++e) env_text.emplace_back(*e);
  for (const std::string& extra : options.environment) {
    std::string name = extra.substr(0, extra.find('=') + 1);
    std::erase_if(env_text, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    env_text.push_back(extra);
  }
  std::vector<char*> args, env;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  for (const std::string& e : env_text) env.push_back(const_cast<char*>(e.c_str()));
  env.push_back(nullptr);
  // With search_path, the PATH the program will see is the one searched.
  std::vector<std::string> candidates;
  if (options.search_path && argv[0].find('/') == std::string::npos) {
    std::string path = "/usr/local/bin:/usr/bin:/bin";
    for (const std::string& e : env_text)
      if (e.rfind("PATH=", 0) == 0) path = e.substr(5);
    for (size_t at = 0; at <= path.size();) {
      size_t end = std::min(path.find(':', at), path.size());
      std::string dir = path.substr(at, end - at);
      candidates.push_back((dir.empty() ? std::string(".") : dir) + "/" + argv[0]);
      at = end + 1;
    }
  } else {
    candidates.push_back(argv[0]);
  }
  const std::string folder = options.folder.string();
  const rlim_t memory = static_cast<rlim_t>(options.memory_kb) * 1024;

  int out_pipe[2], err_pipe[2] = {-1, -1};
  if (pipe2(out_pipe, O_CLOEXEC) != 0) return;
  if (!options.merge_output && pipe2(err_pipe, O_CLOEXEC) != 0) {
    close(out_pipe[0]);
    close(out_pipe[1]);
    return;
  }
  pid_ = fork();
  if (pid_ == 0) {
    int null_in = open("/dev/null", O_RDONLY);
    dup2(null_in, 0);
    dup2(out_pipe[1], 1);
    dup2(options.merge_output ? out_pipe[1] : err_pipe[1], 2);
    if (options.new_session) setsid();
    if (memory > 0) {
      struct rlimit limit = {memory, memory};
      setrlimit(RLIMIT_AS, &limit);
    }
    if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(126);
    for (const std::string& c : candidates) execve(c.c_str(), args.data(), env.data());
    _exit(127);
  }
  close(out_pipe[1]);
  if (!options.merge_output) close(err_pipe[1]);
  if (pid_ < 0) {
    close(out_pipe[0]);
    if (!options.merge_output) close(err_pipe[0]);
    return;
  }

  // The stream WaitForError watches is read by a thread that wakes the
  // waiter at every piece; the other is just collected.
  auto watch = [this](int fd) {
    Drain(fd, [this](const char* data, size_t n) {
      std::lock_guard lock(mutex_);
      watched_.append(data, n);
      changed_.notify_all();
    });
    std::lock_guard lock(mutex_);
    watched_closed_ = true;
    changed_.notify_all();
  };
  if (options.merge_output) {
    out_reader_ = std::thread(watch, out_pipe[0]);
  } else {
    int out_fd = out_pipe[0];
    out_reader_ = std::thread([this, out_fd] {
      Drain(out_fd, [this](const char* data, size_t n) { result_.out.append(data, n); });
    });
    err_reader_ = std::thread(watch, err_pipe[0]);
  }
  if (options.timeout.count() > 0) {
    // The watchdog kills only while the program is not yet reaped (ended_
    // is set under the lock before waitpid may reap it), so it can never
    // hit another process that got the pid later.
    watchdog_ = std::thread([this, limit = options.timeout] {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_for(lock, limit, [this] { return ended_; })) {
        result_.timed_out = true;
        kill(pid_, SIGKILL);
      }
    });
  }
  merged_ = options.merge_output;
}

BackgroundProgram::~BackgroundProgram() {
  if (pid_ > 0 && !waited_) {
    std::lock_guard lock(mutex_);
    if (!ended_) kill(pid_, SIGKILL);
  }
  Wait();
}

void BackgroundProgram::Signal(int signal_number) {
  std::lock_guard lock(mutex_);
  if (pid_ > 0 && !ended_) kill(pid_, signal_number);
}

bool BackgroundProgram::WaitForError(const std::string& text, std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [&] {
    return watched_.find(text) != std::string::npos || watched_closed_;
  }) && watched_.find(text) != std::string::npos;
}

ProgramResult BackgroundProgram::Wait() {
  if (waited_ || pid_ <= 0) return result_;
  // Waits for the end without reaping, so the pid stays this program's
  // while the watchdog may still look at it.
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
  }
  {
    std::lock_guard lock(mutex_);
    ended_ = true;
    changed_.notify_all();
  }
  if (watchdog_.joinable()) watchdog_.join();
  int raw = 0;
  struct rusage usage {};
  while (wait4(pid_, &raw, 0, &usage) < 0 && errno == EINTR) {
  }
  // A program's children may hold the pipes open after it ended; the
  // readers end when the last of them closes its copy.
  if (out_reader_.joinable()) out_reader_.join();
  if (err_reader_.joinable()) err_reader_.join();
  waited_ = true;
  if (WIFEXITED(raw)) result_.status = WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) result_.signal = WTERMSIG(raw);
  result_.peak_rss_kb = usage.ru_maxrss;
  std::lock_guard lock(mutex_);
  (merged_ ? result_.out : result_.err) = watched_;
  return result_;
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const ProgramOptions& options) {
  BackgroundProgram program(argv, options);
  return program.Wait();
}

ProgramResult RunProgram(const std::vector<std::string>& argv, const fs::path& folder,
                         const std::vector<std::string>& extra_environment) {
  return RunProgram(argv, {.folder = folder, .environment = extra_environment});
}

bool RunProgram(std::vector<std::string> args, std::string* out) {
  ProgramResult r = RunProgram(args, ProgramOptions{.search_path = true});
  if (out != nullptr) *out += r.out;
  return r.status == 0;
}

std::string SonaveltCliPath() {
  const char* bin = std::getenv("SONAVELT_BIN_DIR");
  return bin == nullptr ? std::string() : std::string(bin) + "/sonavelt-cli";
}

}  // namespace sonavelt::testing
