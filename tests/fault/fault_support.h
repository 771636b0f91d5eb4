#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// Helpers for tests that put the real program in a hostile place: programs
// run from an argument list (never a shell), small or read-only file systems
// mounted for one test, and sound files made in memory.
namespace sonavelt::testing {

struct ProgramResult {
  int status = -1;  // exit status; -1 when killed by a signal
  int signal = 0;   // the signal that killed it, else 0
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs `argv` (argv[0] a path) in `folder` with standard input from
// /dev/null, extra environment entries "NAME=value" added. No shell.
ProgramResult RunProgram(const std::vector<std::string>& argv, const std::filesystem::path& folder,
                         const std::vector<std::string>& extra_environment = {});

// A program started like RunProgram that runs while the test goes on (to be
// raced against another, signalled, or killed). Its output is read on
// threads of its own. The destructor kills it (SIGKILL) if it still runs.
class BackgroundProgram {
 public:
  BackgroundProgram(const std::vector<std::string>& argv, const std::filesystem::path& folder,
                    const std::vector<std::string>& extra_environment = {});
  ~BackgroundProgram();
  BackgroundProgram(const BackgroundProgram&) = delete;
  BackgroundProgram& operator=(const BackgroundProgram&) = delete;

  pid_t pid() const { return pid_; }
  void Signal(int signal_number);
  // True once standard error holds `text`; false when the program closed it
  // (ended) or `limit` passed first.
  bool WaitForError(const std::string& text, std::chrono::milliseconds limit);
  // Waits for the end; the result is final after the first call.
  ProgramResult Wait();

 private:
  pid_t pid_ = -1;
  bool waited_ = false;
  ProgramResult result_;
  std::thread out_reader_, err_reader_;
  std::mutex mutex_;
  std::condition_variable err_grew_;
  std::string err_so_far_;
  bool err_closed_ = false;
};

// Gives this test process a mount namespace of its own, so that what it
// mounts is invisible outside and goes away with it. False (with *why) when
// the system does not allow it: not root, or no CAP_SYS_ADMIN.
bool PrivateMounts(std::string* why);

// Mounts a tmpfs of `bytes` (rounded up to pages) on `folder`, made first
// when missing.
bool MountTmpfs(const std::filesystem::path& folder, uint64_t bytes, std::string* why);
// Makes `folder` a read-only view of itself (a bind mount), so that even
// root cannot write there.
bool MountReadOnlyBind(const std::filesystem::path& folder, std::string* why);
// Detaches whatever is mounted on `folder`; quiet when nothing is.
void Unmount(const std::filesystem::path& folder);

// Fills the file system of `folder` with a file of its own until only
// `leave` bytes (rounded down to blocks) are free.
void FillFileSystem(const std::filesystem::path& folder, uint64_t leave);

// A mono 8-bit WAVE file of `frames` samples at `rate`, a slow ramp.
std::string SmallWave(int frames, int rate = 8000);

// Every regular file below `root`, relative to it, sorted.
std::vector<std::string> FilesBelow(const std::filesystem::path& root);

}  // namespace sonavelt::testing
