#include "remote/helper_lanes.h"

#include <algorithm>

#include "base/file_io.h"
#include "remote/ftp_connection.h"

namespace sonavelt::remote {

HelperLanes::HelperLanes(const UploadPlan& plan, LaneSettings settings)
    : files_(plan.files), audio_folder_(plan.audio_folder), settings_(std::move(settings)),
      state_(plan.files.size(), kFree), sizes_(plan.files.size(), 0),
      seen_(plan.files.size(), false) {
  for (size_t i = 0; i < files_.size(); ++i) {
    if (files_[i].repeat) state_[i] = kRepeat;  // the run's own (in place by then)
    else if (files_[i].waits) state_[i] = kMine;
  }
  if (plan.lanes < 2 || files_.empty()) return;
  // The first file is always the run's own connection's.
  if (state_[0] == kFree) state_[0] = kMine;
  defer_proof_ = plan.prove_by_listing;
  for (int lane = 1; lane < plan.lanes; ++lane)
    workers_.emplace_back([this, lane] { Work(lane); });
}

HelperLanes::~HelperLanes() { Stop(nullptr, nullptr, nullptr); }

void HelperLanes::FolderReady() {
  std::lock_guard<std::mutex> lock(mutex_);
  folder_ready_ = true;
  changed_.notify_all();
}

HelperLanes::Outcome HelperLanes::TakeOrAwait(size_t i, size_t* size) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (state_[i] == kFree) state_[i] = kMine;
  if (state_[i] == kMine || state_[i] == kRepeat) return Outcome::kYours;
  changed_.wait(lock, [&] { return state_[i] != kTaken; });
  *size = sizes_[i];
  seen_[i] = true;
  if (state_[i] == kDone) return Outcome::kPlaced;
  if (state_[i] == kStored) return Outcome::kStored;
  return Outcome::kFailed;
}

void HelperLanes::HandOverLeftovers(std::vector<std::string>* temporaries) {
  std::lock_guard<std::mutex> lock(mutex_);
  temporaries->insert(temporaries->end(), leftovers_.begin(), leftovers_.end());
  leftovers_.clear();
}

void HelperLanes::Stop(std::vector<std::string>* temporaries, std::vector<std::string>* placed,
                       std::vector<StoredFile>* stored) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }
  for (std::thread& worker : workers_)
    if (worker.joinable()) worker.join();
  if (temporaries) HandOverLeftovers(temporaries);
  if (!placed || !stored) return;
  for (size_t i = 0; i < state_.size(); ++i) {
    if (seen_[i]) continue;
    const std::string& remote = files_[i].remote;
    if (state_[i] == kDone) placed->push_back(remote);
    if (state_[i] == kStored) {
      stored->push_back(
          {remote, files_[i].local, sizes_[i], files_[i].announced, files_[i].text});
    }
  }
}

size_t HelperLanes::Next(std::unique_lock<std::mutex>& lock) {
  for (;;) {
    if (stopped_) return files_.size();
    size_t i = files_.size();
    while (i > 0 && state_[i - 1] != kFree) --i;
    if (i == 0) return files_.size();
    if (folder_ready_ || ParentFolder(files_[i - 1].remote) != audio_folder_) return i - 1;
    changed_.wait(lock);
  }
}

void HelperLanes::Work(int lane) {
  FtpConnection connection(settings_.endpoint);
  connection.set_cancel_flag(settings_.cancel);
  if (!connection.has_session() || !connection.Open().ok()) return;
  for (;;) {
    size_t i;
    std::string temporary;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      i = Next(lock);
      if (i == files_.size()) return;
      state_[i] = kTaken;
      temporary = FtpConnection::TemporaryUploadPath(
          files_[i].remote, settings_.dot_names,
          settings_.tag + std::to_string(lane) + "-" + std::to_string(i));
    }
    const PlannedFile& file = files_[i];
    std::string data;
    int64_t size = -1;
    // Proved like every file: the size kept is the size sent (a server
    // that does not tell sizes is trusted with its 226), here or, straight
    // to its name, with its folder later. Should it fail, the run's
    // connection sends it again under a temporary name, renamed over it.
    const std::string& path = file.direct ? file.remote : temporary;
    const bool later = file.direct && defer_proof_;
    if (file.text) data = *file.text;
    bool ok = (file.text || file_io::ReadWholeFile(file.local, &data).ok()) &&
              connection.Store(data, path, later ? nullptr : &size).ok() &&
              (size < 0 || size == static_cast<int64_t>(data.size())) &&
              (file.direct || connection.Replace(temporary, file.remote).ok());
    if (!ok && file.direct) {
      // A cut made by the user leaves this session unable to delete: the
      // run's clean-up removes the cut-off copy like a temporary file.
      if (settings_.cancel && settings_.cancel->load()) {
        temporary = path;
      } else {
        static_cast<void>(connection.Delete(path));
        temporary.clear();
      }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    // A failed (or cancelled) file may have left its temporary copy.
    if (!ok && !temporary.empty()) leftovers_.push_back(temporary);
    sizes_[i] = data.size();
    state_[i] = !ok ? kFailed : later ? kStored : kDone;
    changed_.notify_all();
    if (!ok) return;
  }
}

}  // namespace sonavelt::remote
