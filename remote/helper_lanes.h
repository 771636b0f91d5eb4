#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "remote/ftp_address.h"
#include "remote/upload_plan.h"

// Connections beside the run's own that place files beside the page while
// the run's connection places others: the run's connection takes them from
// the first, the helpers from the last, until they meet. A helper only ever
// does the plain case (straight to the name, or temporary name, size and
// rename); at its first failure of any kind it stops, and the run's
// connection does that file with every fallback, retry and message. Files
// that wait are the run's connection's alone. Helpers tell the user nothing.
namespace sonavelt::remote {

// A file sent straight to its name whose size is not proved yet.
struct StoredFile {
  std::string remote;
  std::string local;
  size_t size = 0;  // bytes sent
  bool announced = true;
  std::optional<std::string> text;  // PlannedFile::text
};

// What the helpers take from the run.
struct LaneSettings {
  FtpEndpoint endpoint;
  const std::atomic<bool>* cancel = nullptr;  // must outlive the lanes
  bool dot_names = true;  // temporary names may start with "."
  std::string tag;        // this publish's own, for the temporary names
};

class HelperLanes {
 public:
  enum class Outcome {
    kYours,   // the caller places it
    kFailed,  // the caller places it; a helper tried and failed
    kPlaced,  // in place and proved
    kStored,  // straight to its name, its size not proved yet
  };

  // Starts plan.lanes - 1 helpers, each logging in on a connection of its
  // own; `plan` must outlive the lanes. Files in the audio folder wait for
  // FolderReady.
  HelperLanes(const UploadPlan& plan, LaneSettings settings);
  ~HelperLanes();
  HelperLanes(const HelperLanes&) = delete;
  HelperLanes& operator=(const HelperLanes&) = delete;

  // The audio folder exists: files for it may go.
  void FolderReady();

  // What became of plan file i; waits while a helper is sending it.
  // *size: the bytes a helper sent.
  Outcome TakeOrAwait(size_t i, size_t* size);

  // The temporary files the helpers left when they gave up, to be removed
  // by the caller.
  void HandOverLeftovers(std::vector<std::string>* temporaries);

  // Ends the helpers' work (the file in progress is cut short only by a
  // cancel) and hands over what they left; *placed and *stored gain the
  // files they sent that the caller has not come to.
  void Stop(std::vector<std::string>* temporaries, std::vector<std::string>* placed,
            std::vector<StoredFile>* stored);

 private:
  enum State { kFree, kRepeat, kMine, kTaken, kDone, kStored, kFailed };

  // The last free file, once its folder is there; files_.size() when none
  // is left (or the helpers stop).
  size_t Next(std::unique_lock<std::mutex>& lock);
  void Work(int lane);

  const std::vector<PlannedFile>& files_;
  std::string audio_folder_;
  LaneSettings settings_;
  bool defer_proof_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<State> state_;
  std::vector<size_t> sizes_;
  std::vector<bool> seen_;  // the caller has taken note of the outcome
  std::vector<std::string> leftovers_;
  bool folder_ready_ = false;
  bool stopped_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace sonavelt::remote
