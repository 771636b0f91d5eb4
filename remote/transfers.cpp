#include "remote/transfers.h"

#include <algorithm>
#include <cstdio>
#include <atomic>
#include <filesystem>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "base/file_io.h"
#include "base/text.h"
#include "remote/messages.h"

namespace sonavelt::remote {

RemoteLayout::RemoteLayout(std::string_view remote_page_path) : page_path(remote_page_path) {
  size_t slash = page_path.rfind('/');
  folder = slash == std::string::npos ? "" : page_path.substr(0, slash);
  audio_folder = folder + "/audio";
}

std::string RemoteLayout::SoundPath(std::string_view local_sound) const {
  return audio_folder + "/" + FileNameOfPath(local_sound);
}

std::string RemoteLayout::ClassPath() const {
  return folder + "/" + run::kAppletClassFileName;
}

std::string RemoteLayout::BesidePage(std::string_view local_file) const {
  return folder + "/" + FileNameOfPath(local_file);
}

namespace {

// The observer between two calls: nobody is told anything, nothing cancels.
class QuietObserver : public run::TransferObserver {
 public:
  void ReportTransferring(const std::string&, bool) override {}
  void SetProgressText(const std::string&) override {}
  bool CancelRequested() override { return false; }
};

QuietObserver quiet_observer;

// Lends the observer of one call to the transfer, for that call only.
class ObserverScope {
 public:
  ObserverScope(run::TransferObserver*& slot, run::TransferObserver& observer) : slot_(slot) {
    slot_ = &observer;
  }
  ~ObserverScope() { slot_ = &quiet_observer; }

 private:
  run::TransferObserver*& slot_;
};

}  // namespace

RemotePageTransfer::RemotePageTransfer(FtpEndpoint endpoint, RetryPolicy policy)
    : settings_(endpoint), endpoint_(std::move(endpoint)), observer_(&quiet_observer),
      policy_(policy) {
  if (policy_.max_attempts < 1) policy_.max_attempts = 1;
}

RemotePageTransfer::~RemotePageTransfer() = default;

void RemotePageTransfer::Close() { connection_.reset(); }

void RemotePageTransfer::BeginRun(const run::RemotePage& page) {
  // A run that ended between fetch and publish left its connection behind.
  Close();
  endpoint_ = settings_;
  if (endpoint_.server.empty()) endpoint_.server = page.site;
  dot_names_refused_ = false;
  renames_refused_ = false;
  original_page_.clear();
  placed_.clear();
  temporaries_.clear();
  page_note_.clear();
}

std::unique_ptr<FtpConnection> RemotePageTransfer::NewConnection() {
  auto connection = std::make_unique<FtpConnection>(endpoint_);
  connection->set_cancel_flag(observer_->CancelFlag());
  return connection;
}

Status RemotePageTransfer::OpenConnection(const std::string& temp_page_path) {
  connection_ = NewConnection();
  if (!connection_->has_session())
    return Fail(std::string(kCannotOpenInternetText), temp_page_path);
  Status status = connection_->Open();
  // A first login that timed out or broke off (a loaded server) gets one
  // more try on a fresh connection; a refusal does not.
  if (!status.ok() && !status.cancelled() && !IsPermanentFailure(status) &&
      !observer_->CancelRequested())
    status = connection_->Open(/*fresh=*/true);
  if (status.code() == Status::Code::kCancelled) return status;
  if (!status.ok()) {
    return Fail(status.message().empty() ? std::string(kFtpExceptionText) : status.message(),
                temp_page_path);
  }
  return status;
}

Status RemotePageTransfer::Fail(const std::string& text, const std::string& temp_page_path) {
  Close();
  std::error_code ignored;
  if (!temp_page_path.empty()) std::filesystem::remove(temp_page_path, ignored);
  return Status::IoError(text);
}

Status RemotePageTransfer::Reconnect() {
  auto fresh = NewConnection();
  Status status = fresh->Open(true);
  if (status.ok()) connection_ = std::move(fresh);
  return status;
}

Status RemotePageTransfer::ReconnectRun() {
  Status status = Reconnect();
  if (status.ok() || status.cancelled() || !status.message().empty()) return status;
  return Status::IoError(std::string(kFtpConnectionFailedText));
}

Status RemotePageTransfer::WithRetries(const std::function<Status()>& attempt,
                                       const std::function<void()>& before_retry,
                                       bool show_lost_connection) {
  Status status = attempt();
  Status lost;  // the failure that began a run of failed reconnects
  std::chrono::milliseconds wait = policy_.first_wait;
  for (int tries = 1; tries < policy_.max_attempts; ++tries) {
    // Only a lost connection (or a "try later" reply) is worth another try.
    if (status.ok() || status.code() == Status::Code::kCancelled || IsPermanentFailure(status))
      return status;
    if (show_lost_connection) observer_->SetProgressText(LostConnectionText(endpoint_.server));
    if (observer_->CancelRequested()) return Status::Cancelled();
    auto until = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < until) {
      if (observer_->CancelRequested()) return Status::Cancelled();
      std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(
          std::chrono::milliseconds(50),
          std::chrono::duration_cast<std::chrono::milliseconds>(until -
                                                                std::chrono::steady_clock::now()) +
              std::chrono::milliseconds(1)));
    }
    wait *= 2;
    // A server that cannot be reached again costs this try; the final
    // message tells the last error.
    Status reconnected = Reconnect();
    if (observer_->CancelRequested()) return Status::Cancelled();
    if (!reconnected.ok()) {
      if (IsPermanentFailure(reconnected)) return reconnected;
      if (lost.ok()) lost = status;
      status = Status::IoError(lost.message() + "\r\n" + reconnected.message());
      continue;
    }
    lost = Status::Ok();
    before_retry();
    status = attempt();
  }
  return status;
}

Status RemotePageTransfer::FetchPage(const run::RemotePage& page, const std::string& local_path,
                                     const std::string& progress_text,
                                     run::TransferObserver& observer) {
  ObserverScope scope(observer_, observer);
  BeginRun(page);
  const std::string& remote_path = page.path;
  const std::string& temp_page_path = local_path;
  Status status = OpenConnection(temp_page_path);
  if (!status.ok()) return status;
  // Byte for byte: the page's line ends are its own, on the site and here.
  status = WithRetries(
      [&] { return connection_->Download(remote_path, &original_page_); },
      [&] { observer_->SetProgressText(progress_text); });
  if (status.code() == Status::Code::kCancelled) {
    Close();
    return status;
  }
  if (status.ok()) {
    status = file_io::WriteFileAtomically(temp_page_path, original_page_);
    if (!status.ok()) status = Status::IoError("writing " + temp_page_path + ": " + status.message());
  }
  if (!status.ok())
    return Fail(CannotRetrieveText(remote_path, endpoint_.server, status.message()),
                temp_page_path);
  return Status::Ok();
}

Status RemotePageTransfer::FetchBesidePage(const run::RemotePage& page, const std::string& name,
                                           const std::string& local_path) {
  if (!connection_) return Status::NotFound(name);
  return connection_->Download(RemoteLayout(page.path).BesidePage(name), local_path);
}

namespace {

bool ReadLocal(const std::string& path, std::string* data) {
  return file_io::ReadWholeFile(path, data).ok();
}

void Forget(std::vector<std::string>& list, const std::string& item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

std::string RemotePageTransfer::FreshTag() { return run_tag_ + "-" + std::to_string(++serial_); }

Status RemotePageTransfer::StoreChecked(const std::string& data, const std::string& path,
                                        const std::string& shown) {
  int64_t size = -1;
  Status status = connection_->Store(data, path, &size);
  if (!status.ok()) return status;
  // The 226 proves nothing: the size the server kept must be the size sent.
  // A server that does not tell sizes is trusted with its 226.
  if (size >= 0 && size != static_cast<int64_t>(data.size()))
    return Status::Corrupt(SizeMismatchText(shown, size, static_cast<long long>(data.size())));
  return Status::Ok();
}

Status RemotePageTransfer::StoreProved(const std::string& data, const std::string& target) {
  Status status = StoreChecked(data, target, target);
  if (status.code() != Status::Code::kCorrupt) return status;
  status = StoreChecked(data, target, target);
  return status.code() == Status::Code::kCorrupt ? Status::Refused(status.message()) : status;
}

Status RemotePageTransfer::StoreTemporaryOnce(const std::string& data, const std::string& target,
                                              std::string* temporary) {
  Status status;
  if (!dot_names_refused_) {
    *temporary = FtpConnection::TemporaryUploadPath(target, true, FreshTag());
    temporaries_.push_back(*temporary);
    status = StoreChecked(data, *temporary, target);
    if (status.ok() || !IsPermanentFailure(status)) return status;
    // Many shared hosts refuse names starting with ".".
    if (connection_->Delete(*temporary).ok()) Forget(temporaries_, *temporary);
  }
  std::string plain = FtpConnection::TemporaryUploadPath(target, false, FreshTag());
  temporaries_.push_back(plain);
  *temporary = plain;
  Status second = StoreChecked(data, plain, target);
  if (!second.ok()) {
    if (IsPermanentFailure(second) && connection_->Delete(plain).ok()) Forget(temporaries_, plain);
    return second;
  }
  dot_names_refused_ = true;
  return second;
}

Status RemotePageTransfer::StoreTemporary(const std::string& data, const std::string& target,
                                          std::string* temporary) {
  Status status = StoreTemporaryOnce(data, target, temporary);
  if (status.code() != Status::Code::kCorrupt) return status;
  // The server kept another size: its copy goes, and one more attempt under
  // a fresh name; a second mismatch stops the publish (never retried).
  if (connection_->Delete(*temporary).ok()) Forget(temporaries_, *temporary);
  status = StoreTemporaryOnce(data, target, temporary);
  if (status.code() != Status::Code::kCorrupt) return status;
  if (connection_->Delete(*temporary).ok()) Forget(temporaries_, *temporary);
  return Status::Refused(status.message());
}

void RemotePageTransfer::RemoveStale() {
  std::vector<std::string> kept;
  for (const std::string& path : temporaries_)
    if (!connection_->Delete(path).ok()) kept.push_back(path);
  temporaries_.swap(kept);
}

Status RemotePageTransfer::SendAndRename(const std::string& data, const std::string& target,
                                         std::string* temporary, bool* rename_refused) {
  *rename_refused = false;
  for (;;) {
    Status status = StoreTemporary(data, target, temporary);
    if (!status.ok()) return status;
    status = connection_->Replace(*temporary, target);
    if (status.ok()) {
      Forget(temporaries_, *temporary);
      // A failed first attempt straight to the name may still be listed.
      Forget(temporaries_, target);
      placed_.push_back(target);
      return status;
    }
    if (!IsPermanentFailure(status)) return status;
    if (dot_names_refused_) {
      *rename_refused = true;
      return status;
    }
    // The rename may have been refused for the leading "." alone.
    static_cast<void>(connection_->Delete(*temporary));
    Forget(temporaries_, *temporary);
    dot_names_refused_ = true;
  }
}

Status RemotePageTransfer::PlaceFile(const std::string& data, const std::string& target) {
  // A sound used by several combinations is in place after its first use.
  if (std::find(placed_.begin(), placed_.end(), target) != placed_.end()) return Status::Ok();
  // A file the live page does not name yet is reached by no visitor: its
  // first attempt goes straight to its name (no rename: two round trips less),
  // proved by its size like any. Until proved it counts as a temporary file;
  // a later attempt takes a fresh temporary name, so that it never meets a
  // stalled session still holding this one.
  const bool first_attempt = attempted_.insert(target).second;
  if (first_attempt && !NamedByLivePage(target)) {
    temporaries_.push_back(target);
    Status status = StoreProved(data, target);
    if (!status.ok()) return status;
    Forget(temporaries_, target);
    placed_.push_back(target);
    return status;
  }
  if (!renames_refused_) {
    std::string temporary;
    bool rename_refused = false;
    Status status = SendAndRename(data, target, &temporary, &rename_refused);
    if (status.ok() || !rename_refused) return status;
    renames_refused_ = true;
    static_cast<void>(connection_->Delete(temporary));
    Forget(temporaries_, temporary);
  }
  // No renames here: a file beside the page is written in place (the page
  // still is the old one, and nothing of it changes).
  Status status = StoreProved(data, target);
  if (status.ok()) {
    Forget(temporaries_, target);
    placed_.push_back(target);
  }
  return status;
}

bool RemotePageTransfer::NamedByLivePage(const std::string& target) const {
  // Without the page's bytes, every file counts as named.
  return original_page_.empty() ||
         original_page_.find(FileNameOfPath(target)) != std::string::npos;
}

Status RemotePageTransfer::PlacePage(const std::string& data, const std::string& target,
                                     const std::string& temp_page_path) {
  std::string temporary;
  if (!renames_refused_) {
    bool rename_refused = false;
    Status status = SendAndRename(data, target, &temporary, &rename_refused);
    if (status.ok() || !rename_refused) return status;
    renames_refused_ = true;
    // The new page stays complete under its temporary name.
  } else {
    Status status = StoreTemporary(data, target, &temporary);
    if (!status.ok()) return status;
  }

  // The server renames nothing, so the page must be written in place. Its
  // old text goes beside it first, under a backup name, checked complete;
  // only then is the page overwritten, and the backup and the temporary copy
  // go once the page is complete.
  if (original_page_.empty()) {
    Status read = connection_->Download(target, &original_page_);
    if (!read.ok()) return read;
  }
  std::string backup = FtpConnection::BackupPath(target, !dot_names_refused_);
  temporaries_.push_back(backup);
  Status status = StoreProved(original_page_, backup);
  if (!status.ok() && IsPermanentFailure(status) && !dot_names_refused_) {
    static_cast<void>(connection_->Delete(backup));
    Forget(temporaries_, backup);
    backup = FtpConnection::BackupPath(target, false);
    temporaries_.push_back(backup);
    status = StoreProved(original_page_, backup);
  }
  if (!status.ok()) return status;

  page_note_ = PageBackupText(backup, temporary);
  Forget(temporaries_, backup);
  Forget(temporaries_, temporary);
  // The overwrite is not cancelled half way: it is the commit.
  connection_->set_cancel_flag(nullptr);
  status = StoreChecked(data, target, target);
  connection_->set_cancel_flag(observer_->CancelFlag());
  if (!status.ok()) {
    // A refused overwrite (a server that lets nobody replace a file) may
    // never have touched the page: when it still holds its old bytes, the
    // publish failed before the page, and its two helper copies go.
    // Else a retry sends the page again under a fresh name; this copy goes
    // once the page is complete (until then the message names it).
    if (PageIsUnchanged(target, temp_page_path)) {
      page_note_.clear();
      temporaries_.push_back(backup);
      temporaries_.push_back(temporary);
    } else {
      superseded_.push_back(temporary);
    }
    return status.code() == Status::Code::kCorrupt ? Status::Refused(status.message()) : status;
  }
  page_note_.clear();
  placed_.push_back(target);
  static_cast<void>(connection_->Delete(backup));
  static_cast<void>(connection_->Delete(temporary));
  for (const std::string& copy : superseded_) static_cast<void>(connection_->Delete(copy));
  superseded_.clear();
  return Status::Ok();
}

bool RemotePageTransfer::PageIsUnchanged(const std::string& target,
                                         const std::string& temp_page_path) {
  std::string copy = temp_page_path + ".check";
  Status read = connection_->Download(target, copy);
  if (!read.ok() && !IsPermanentFailure(read) && Reconnect().ok())
    read = connection_->Download(target, copy);
  std::string bytes;
  bool same = read.ok() && ReadLocal(copy, &bytes) && bytes == original_page_;
  std::error_code ignored;
  std::filesystem::remove(copy, ignored);
  return same;
}

Status RemotePageTransfer::EnsureFolder(const std::string& folder) {
  Status status = connection_->ChangeDirectory(folder);
  if (status.ok() || !IsPermanentFailure(status)) return status;
  // Missing (or closed to us): create it, and quote the MKD's own reply
  // when the server refuses.
  status = connection_->CreateDirectory(folder);
  if (!status.ok()) return status;
  return connection_->ChangeDirectory(folder);
}

void RemotePageTransfer::RemoveTemporaries(bool connection_lost) {
  if (temporaries_.empty()) return;
  if (!connection_ || connection_lost) {
    // A server that was lost gets a short try: the user waits for it.
    FtpEndpoint quick = endpoint_;
    quick.connect_timeout_seconds = std::min(endpoint_.connect_timeout_seconds, 5);
    quick.stall_timeout_seconds = std::min(endpoint_.stall_timeout_seconds, 5);
    connection_ = std::make_unique<FtpConnection>(quick);
  }
  connection_->set_cancel_flag(nullptr);
  for (const std::string& path : temporaries_) {
    Status status = connection_->Delete(path);
    // A server that cannot be reached will not take the other deletes either.
    if (!status.ok() && !IsPermanentFailure(status)) break;
  }
  temporaries_.clear();
}

Status RemotePageTransfer::EndPublish(const Status& status, const std::string& announced,
                                      const std::string& temp_page_path) {
  RemoveTemporaries(status.code() == Status::Code::kIoError);
  if (status.code() == Status::Code::kCancelled) {
    Close();
    std::error_code ignored;
    std::filesystem::remove(temp_page_path, ignored);
    // Stopped with files already on the site: the user learns which.
    if (placed_.empty()) return status;
    return Status::IoError(PublishStoppedText(announced) + "\r\n\r\n" +
                           (page_note_.empty() ? PageUnchangedText(placed_) : page_note_));
  }
  std::string text = CannotTransferText(announced, endpoint_.server, status.message());
  text += "\r\n\r\n" + (page_note_.empty() ? PageUnchangedText(placed_) : page_note_);
  return Fail(text, temp_page_path);
}

// A second connection that places files beside the page while the run's
// own connection places others: the run's connection takes them from the
// first, the second from the last before the resource file, until they meet. The second only ever
// does the plain case (temporary name, 226, rename); at its first failure of
// any kind it stops, and the run's connection does that file and the rest
// with every fallback, retry and message. It tells the user nothing itself.
class RemotePageTransfer::SecondLane {
 public:
  // Files from `run_own_from` on (those that name others) are left to the
  // run's connection, which comes to them once all before them are in place.
  SecondLane(RemotePageTransfer& owner, const std::vector<SideFile>& files, size_t run_own_from)
      : files_(files), run_own_from_(std::min(run_own_from, files.size())),
        state_(files.size(), kFree) {
    // Worth a second login only for FTP and FTPS with several files ahead.
    size_t unique = 0;
    for (size_t i = 0; i < files.size(); ++i) {
      bool seen = false;
      for (size_t j = 0; j < i; ++j) seen = seen || files[j].remote == files[i].remote;
      if (!seen) ++unique;
      else state_[i] = kRepeat;  // the run's own (in place by then)
    }
    if (!owner.second_connection_ || owner.endpoint_.security == Security::kSsh || unique < 4 ||
        owner.renames_refused_) {
      stopped_ = true;
      return;
    }
    // The first file is always the run's own connection's.
    state_[0] = kMine;
    for (size_t i = run_own_from_; i < state_.size(); ++i) state_[i] = kMine;
    dot_name_ = !owner.dot_names_refused_;
    tag_ = owner.run_tag_ + "-s";
    for (size_t i = 0; i < files.size(); ++i)
      if (!owner.NamedByLivePage(files[i].remote)) unnamed_.insert(i);
    cancel_ = owner.observer_->CancelFlag();
    endpoint_ = owner.endpoint_;
    worker_ = std::thread([this] { Work(); });
  }
  ~SecondLane() { Stop(nullptr, nullptr); }

  // True: file i is in place through the second connection. False: the
  // caller must place it (nobody took it, or the second connection failed).
  // *tried_there: the second connection tried file i and failed.
  bool TakeOrAwait(size_t i, bool* tried_there) {
    std::unique_lock<std::mutex> lock(mutex_);
    *tried_there = false;
    if (state_[i] == kFree) {
      state_[i] = kMine;
      return false;
    }
    if (state_[i] == kMine || state_[i] == kRepeat) return false;
    changed_.wait(lock, [&] { return state_[i] != kTaken; });
    *tried_there = state_[i] == kFailed;
    return state_[i] == kDone;
  }

  // The temporary file the second connection left when it gave up, to be
  // removed by the caller.
  void HandOverLeftovers(std::vector<std::string>* temporaries) {
    std::lock_guard<std::mutex> lock(mutex_);
    temporaries->insert(temporaries->end(), leftovers_.begin(), leftovers_.end());
    leftovers_.clear();
  }

  // Ends the second connection's work (the file in progress is cut short
  // only by a cancel) and hands over what it left.
  // *placed gains the files it put in place that the caller has not yet
  // come to.
  void Stop(std::vector<std::string>* temporaries, std::vector<std::string>* placed) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopped_ = true;
    }
    if (worker_.joinable()) worker_.join();
    if (temporaries) HandOverLeftovers(temporaries);
    if (!placed) return;
    for (size_t i = 0; i < state_.size(); ++i) {
      if (state_[i] == kDone &&
          std::find(placed->begin(), placed->end(), files_[i].remote) == placed->end())
        placed->push_back(files_[i].remote);
    }
  }

 private:
  enum State { kFree, kRepeat, kMine, kTaken, kDone, kFailed };

  void Work() {
    FtpConnection connection(endpoint_);
    connection.set_cancel_flag(cancel_);
    bool open = connection.has_session() && connection.Open().ok();
    for (size_t i = run_own_from_; i-- > 0;) {
      std::string temporary;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open || stopped_ || state_[i] == kMine) return;
        if (state_[i] == kRepeat) continue;
        state_[i] = kTaken;
        temporary =
            FtpConnection::TemporaryUploadPath(files_[i].remote, dot_name_, tag_ + std::to_string(i));
      }
      std::string data;
      int64_t size = -1;
      // Proved like every file: the size kept is the size sent (a server
      // that does not tell sizes is trusted with its 226). A file the live
      // page does not name goes straight to its name; should it fail, the
      // run's connection sends it again under a temporary name, renamed
      // over this one.
      const bool direct = unnamed_.count(i) > 0;
      const std::string& path = direct ? files_[i].remote : temporary;
      bool ok = ReadLocal(files_[i].local, &data) && connection.Store(data, path, &size).ok() &&
                (size < 0 || size == static_cast<int64_t>(data.size())) &&
                (direct || connection.Replace(temporary, files_[i].remote).ok());
      if (!ok && direct) {
        static_cast<void>(connection.Delete(path));
        temporary.clear();
      }
      std::lock_guard<std::mutex> lock(mutex_);
      // A failed (or cancelled) file may have left its temporary copy.
      if (!ok && !temporary.empty()) leftovers_.push_back(temporary);
      state_[i] = ok ? kDone : kFailed;
      changed_.notify_all();
      if (!ok) return;
    }
  }

  const std::vector<SideFile>& files_;
  size_t run_own_from_;
  FtpEndpoint endpoint_;
  const std::atomic<bool>* cancel_ = nullptr;
  bool dot_name_ = true;
  std::string tag_;
  std::set<size_t> unnamed_;  // files the live page does not name
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<State> state_;
  std::vector<std::string> leftovers_;
  bool stopped_ = false;
  std::thread worker_;
};

Status RemotePageTransfer::PublishPage(const run::RemotePage& page,
                                       const run::PublishFiles& files,
                                       run::TransferObserver& observer) {
  ObserverScope scope(observer_, observer);
  // Without a fetch before it, the publish is a run of its own.
  if (!connection_) BeginRun(page);
  const std::string& temp = files.page_path;
  const std::string& remote_path = page.path;
  placed_.clear();
  temporaries_.clear();
  superseded_.clear();
  attempted_.clear();
  page_note_.clear();
  {
    // A tag of this publish's own: its temporary names differ from those of
    // any earlier publish that a stalled session may still hold open.
    std::random_device random;
    char tag[16];
    std::snprintf(tag, sizeof tag, "%04x", static_cast<unsigned>(random()) & 0xffffu);
    run_tag_ = tag;
    serial_ = 0;
  }
  if (observer_->CancelRequested()) return EndPublish(Status::Cancelled(), "", temp);
  if (!connection_) {
    Status status = OpenConnection(temp);
    if (!status.ok()) return status;
  }
  connection_->set_cancel_flag(observer_->CancelFlag());

  RemoteLayout layout(remote_path);
  std::string announced;
  // One file: announce, send, and on failure announce again (as a repeat)
  // before each further attempt. A quiet file is announced to nobody: it is
  // not among the files the progress counts.
  auto send = [&](const std::string& shown, const std::string& local, const std::string& remote,
                  bool page, bool quiet = false) -> Status {
    announced = remote;
    if (observer_->CancelRequested()) return Status::Cancelled();
    if (!quiet) observer_->ReportTransferring(shown, false);
    std::string data;
    if (!ReadLocal(local, &data)) return Status::NotFound("cannot read " + local);
    return WithRetries(
        [&] { return page ? PlacePage(data, remote, temp) : PlaceFile(data, remote); },
        [&] {
          // What the failed attempt left goes first (on the new connection).
          RemoveStale();
          if (!quiet) observer_->ReportTransferring(shown, true);
        });
  };

  announced = layout.audio_folder;
  Status status = WithRetries([&] { return EnsureFolder(layout.audio_folder); }, [] {},
                              /*show_lost_connection=*/false);
  if (!status.ok()) {
    if (status.code() == Status::Code::kCancelled) return EndPublish(status, announced, temp);
    RemoveTemporaries();
    return Fail(CannotEnterFolderText(layout.audio_folder, endpoint_.server, status.message()) +
                    "\r\n\r\n" + PageUnchangedText(placed_),
                temp);
  }
  // The files beside the page, in the order they are announced.
  std::vector<SideFile> side;
  for (const std::string& sound : files.sounds) side.push_back({sound, layout.SoundPath(sound)});
  for (const std::string& copy : files.sound_copies)
    side.push_back({copy, layout.SoundPath(copy), /*quiet=*/true});
  side.push_back({files.applet_class_path, layout.ClassPath()});
  if (!files.player_script_path.empty())
    side.push_back({files.player_script_path, layout.BesidePage(files.player_script_path)});
  // The resource file and the data files name the others: they go up once
  // those are all in place.
  size_t naming = side.size();
  side.push_back({files.resource_path, layout.BesidePage(files.resource_path)});
  for (const std::string& data_file : files.player_data_paths)
    side.push_back({data_file, layout.BesidePage(data_file), /*quiet=*/true});

  SecondLane lane(*this, side, naming);
  for (size_t i = 0; i < side.size(); ++i) {
    const SideFile& file = side[i];
    announced = file.remote;
    if (observer_->CancelRequested()) status = Status::Cancelled();
    else if (bool tried_there = false; lane.TakeOrAwait(i, &tried_there)) {
      // Placed whole by the second connection.
      if (!file.quiet) observer_->ReportTransferring(file.local, false);
      placed_.push_back(file.remote);
      continue;
    } else {
      // Tried by the second connection: this one starts with a fresh name.
      if (tried_there) attempted_.insert(file.remote);
      lane.HandOverLeftovers(&temporaries_);
      status = send(file.local, file.local, file.remote, false, file.quiet);
    }
    if (!status.ok()) {
      lane.Stop(&temporaries_, &placed_);
      return EndPublish(status, announced, temp);
    }
  }
  lane.Stop(&temporaries_, &placed_);
  // What the second connection left (a file it gave up on, since placed by
  // this one) goes before the page.
  for (const std::string& path : temporaries_) static_cast<void>(connection_->Delete(path));
  temporaries_.clear();
  // The commit point: the page, last.
  status = send(remote_path, temp, remote_path, true);
  if (!status.ok()) return EndPublish(status, announced, temp);

  Close();
  std::error_code ignored;
  std::filesystem::remove(temp, ignored);
  return Status::Ok();
}

}  // namespace sonavelt::remote
