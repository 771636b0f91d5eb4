#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Starting programs from tests: the real sonavelt-cli, the servers' tools,
// a shell line where a test speaks in shell words. Always from an argument
// list; standard input is /dev/null.
namespace sonavelt::testing {

struct ProgramOptions {
  std::filesystem::path folder = {};  // the working folder; empty: the test's own
  // "NAME=value" entries added to the environment, replacing one of that name.
  std::vector<std::string> environment = {};
  // Start from an empty environment instead of the test's (then only
  // `environment` is passed on).
  bool clean_environment = false;
  // Standard error goes where standard output goes, in the order written;
  // the result's `out` holds both and `err` stays empty.
  bool merge_output = false;
  // A session of its own: no controlling terminal to ask on.
  bool new_session = false;
  // Look argv[0] up on PATH when it holds no "/".
  bool search_path = false;
  // Killed (SIGKILL) once this much time has passed, so that a hang fails
  // the test instead of hanging it; zero: never.
  std::chrono::milliseconds timeout{0};
  // An address-space limit for the program in KiB (RLIMIT_AS); 0: none.
  long memory_kb = 0;
};

struct ProgramResult {
  int status = -1;         // exit status; -1 when killed by a signal or not started
  int signal = 0;          // the signal that killed it, else 0
  bool timed_out = false;  // killed because `timeout` passed
  long peak_rss_kb = 0;    // the program's own peak resident size
  std::string out;         // standard output (and standard error with merge_output)
  std::string err;         // standard error
};

// A program that runs while the test goes on (to be raced against another,
// signalled, or killed). Its output is read on threads of its own, so a
// chatty program never blocks. The destructor kills it (SIGKILL) if it
// still runs.
class BackgroundProgram {
 public:
  BackgroundProgram(const std::vector<std::string>& argv, const ProgramOptions& options);
  BackgroundProgram(const std::vector<std::string>& argv, const std::filesystem::path& folder,
                    const std::vector<std::string>& extra_environment = {});
  ~BackgroundProgram();
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;

  pid_t pid() const { return pid_; }
  bool started() const { return pid_ > 0; }
  void Signal(int signal_number);
  // True once standard error (the merged output with merge_output) holds
  // `text`; false when the program closed it (ended) or `limit` passed first.
  bool WaitForError(const std::string& text, std::chrono::milliseconds limit);
  // Waits for the end; the result is final after the first call.
  ProgramResult Wait();

 private:
  void Start(const std::vector<std::string>& argv, const ProgramOptions& options);

  pid_t pid_ = -1;
  bool waited_ = false;
  ProgramResult result_;
  std::thread out_reader_, err_reader_, watchdog_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string watched_;  // what WaitForError looks at, as it arrives
  bool watched_closed_ = false;
  bool ended_ = false;  // set (under mutex_) before the program is reaped
  bool merged_ = false;
};

// Runs `argv` to its end.
ProgramResult RunProgram(const std::vector<std::string>& argv, const ProgramOptions& options);
// Runs `argv` (argv[0] a path) in `folder`, extra environment entries
// "NAME=value" added.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::filesystem::path& folder,
                         const std::vector<std::string>& extra_environment = {});
// Runs a tool looked up on PATH (ssh-keygen, openssl) and waits for it.
// True when it exits with 0; its standard output goes to `out` when given,
// standard error is dropped.
bool RunProgram(std::vector<std::string> args, std::string* out = nullptr);

// The built sonavelt-cli (from SONAVELT_BIN_DIR); empty when the test runs
// outside CTest.
std::string SonaveltCliPath();

}  // namespace sonavelt::testing
