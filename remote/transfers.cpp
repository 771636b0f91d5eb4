#include "remote/transfers.h"

#include <algorithm>
#include <cstdio>
#include <atomic>
#include <functional>
#include <random>
#include <set>
#include <thread>

#include "base/file_io.h"
#include "base/text.h"
#include "remote/helper_lanes.h"
#include "remote/messages.h"

namespace sonavelt::remote {

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

Status RemotePageTransfer::OpenConnection() {
  connection_ = NewConnection();
  if (!connection_->has_session()) return Fail(std::string(kCannotOpenInternetText));
  Status status = connection_->Open();
  // A first login that timed out or broke off (a loaded server) gets one
  // more try on a fresh connection; a refusal does not.
  if (!status.ok() && !status.cancelled() && !IsPermanentFailure(status) &&
      !observer_->CancelRequested())
    status = connection_->Open(/*fresh=*/true);
  if (status.code() == Status::Code::kCancelled) return status;
  if (!status.ok()) {
    return Fail(status.message().empty() ? std::string(kFtpExceptionText) : status.message());
  }
  return status;
}

Status RemotePageTransfer::Fail(const std::string& text) {
  Close();
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

Status RemotePageTransfer::FetchPage(const run::RemotePage& page, std::string* bytes,
                                     const std::string& progress_text,
                                     run::TransferObserver& observer) {
  ObserverScope scope(observer_, observer);
  BeginRun(page);
  const std::string& remote_path = page.path;
  Status status = OpenConnection();
  if (!status.ok()) return status;
  // Byte for byte: the page's line ends are its own, on the site and here.
  status = WithRetries(
      [&] { return connection_->Download(remote_path, &original_page_); },
      [&] { observer_->SetProgressText(progress_text); });
  if (status.code() == Status::Code::kCancelled) {
    Close();
    return status;
  }
  if (!status.ok())
    return Fail(CannotRetrieveText(remote_path, endpoint_.server, status.message()));
  *bytes = original_page_;
  return Status::Ok();
}

Status RemotePageTransfer::FetchBesidePage(const run::RemotePage& page, const std::string& name,
                                           std::string* bytes) {
  if (!connection_) return Status::NotFound(name);
  const RemoteLayout layout(page.path);
  const size_t slash = name.find('/');
  if (slash == std::string::npos) return connection_->Download(layout.BesidePage(name), bytes);
  // One folder down, by name: never a way out of the page's folder.
  const std::string folder = name.substr(0, slash), file = name.substr(slash + 1);
  if (folder.empty() || folder == "." || folder == ".." || file.empty() || file == "." ||
      file == ".." || file.find('/') != std::string::npos)
    return Status::NotFound(name);
  return connection_->Download(layout.folder + "/" + name, bytes);
}

Status RemotePageTransfer::ListBesidePage(const run::RemotePage& page,
                                          const std::string& sub_folder,
                                          std::vector<std::string>* names) {
  names->clear();
  if (!connection_) return Status::NotFound(sub_folder);
  const std::string folder = sub_folder.empty() ? ParentFolder(page.path)
                                                : RemoteLayout(page.path).BesidePage(sub_folder);
  std::vector<RemoteEntry> entries;
  Status listed = connection_->List(folder, &entries);
  if (listed.code() == Status::Code::kNotFound) return listed;
  if (listed.cancelled()) {
    Close();
    return listed;
  }
  if (!listed.ok()) return Fail(CannotRetrieveText(folder, endpoint_.server, listed.message()));
  for (RemoteEntry& entry : entries) names->push_back(std::move(entry.name));
  return Status::Ok();
}

namespace {

// A file's bytes: a text file's own, else its local file's.
bool ReadLocal(const std::string& path, const std::optional<std::string>& text,
               std::string* data) {
  if (text) {
    *data = *text;
    return true;
  }
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

Status RemotePageTransfer::PlaceFile(const std::string& data, const std::string& target,
                                     bool direct) {
  // A sound used by several combinations is in place after its first use.
  if (std::find(placed_.begin(), placed_.end(), target) != placed_.end()) return Status::Ok();
  for (const StoredFile& stored : unproved_)
    if (stored.remote == target) return Status::Ok();
  // A file the live page does not name yet is reached by no visitor: its
  // first attempt goes straight to its name (no rename: two round trips less),
  // proved by its size like any. Until proved it counts as a temporary file;
  // a later attempt takes a fresh temporary name, so that it never meets a
  // stalled session still holding this one.
  const bool first_attempt = attempted_.insert(target).second;
  if (first_attempt && direct) {
    temporaries_.push_back(target);
    if (plan_ && plan_->prove_by_listing) {
      // Proved with its folder before the page: one listing for all.
      Status status = connection_->Store(data, target);
      if (!status.ok()) return status;
      Forget(temporaries_, target);
      unproved_.push_back({target, "", data.size(), false});
      return status;
    }
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

Status RemotePageTransfer::PlacePage(const std::string& data, const std::string& target) {
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
    if (PageIsUnchanged(target)) {
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

bool RemotePageTransfer::PageIsUnchanged(const std::string& target) {
  std::string bytes;
  Status read = connection_->Download(target, &bytes);
  if (!read.ok() && !IsPermanentFailure(read) && Reconnect().ok())
    read = connection_->Download(target, &bytes);
  return read.ok() && bytes == original_page_;
}

Status RemotePageTransfer::EnsureFolder(const std::string& folder, bool create_first) {
  Status created;
  if (create_first) {
    // Most likely missing: one MKD does it. Refused, the folder may be there.
    created = connection_->CreateDirectory(folder);
    if (created.ok() || !IsPermanentFailure(created)) return created;
  }
  Status status = connection_->ChangeDirectory(folder);
  if (status.ok() || !IsPermanentFailure(status)) return status;
  // Missing (or closed to us): create it, and quote the MKD's own reply
  // when the server refuses.
  if (create_first) return created;
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

void RemotePageTransfer::SortPlaced() {
  if (!plan_) return;
  auto order = [&](const std::string& remote) {
    for (size_t i = 0; i < plan_->files.size(); ++i)
      if (plan_->files[i].remote == remote) return i;
    return plan_->files.size();
  };
  std::stable_sort(placed_.begin(), placed_.end(),
                   [&](const std::string& a, const std::string& b) { return order(a) < order(b); });
}

Status RemotePageTransfer::ProveStored(bool resend, std::string* announced) {
  if (unproved_.empty()) return Status::Ok();
  // One listing per folder, in the order the files went up.
  std::vector<std::string> folders;
  for (const StoredFile& stored : unproved_)
    if (std::find(folders.begin(), folders.end(), ParentFolder(stored.remote)) == folders.end())
      folders.push_back(ParentFolder(stored.remote));
  std::vector<std::pair<std::string, int64_t>> listed;  // remote path, size
  std::vector<std::string> listed_folders;  // folders whose listing showed files
  for (const std::string& folder : folders) {
    std::vector<ListedFile> files;
    Status status = resend ? WithRetries([&] { return connection_->ListSizes(folder, &files); },
                                         [] {}, /*show_lost_connection=*/false)
                           : connection_->ListSizes(folder, &files);
    if (status.cancelled()) return status;
    if (!status.ok() && !IsPermanentFailure(status)) {
      if (resend) return status;
      return Status::Ok();  // a lost server proves nothing: the files stay temporary
    }
    for (const ListedFile& file : files) listed.emplace_back(folder + "/" + file.name, file.size);
    if (!files.empty()) listed_folders.push_back(folder);
  }
  std::vector<StoredFile> pending;
  pending.swap(unproved_);
  for (size_t i = 0; i < pending.size(); ++i) {
    const StoredFile& stored = pending[i];
    int64_t size = -1;
    bool shown = false;
    for (const auto& [path, listed_size] : listed) {
      if (path == stored.remote) {
        size = listed_size;
        shown = true;
      }
    }
    // Not in the listing (a server without STAT, an odd listing): its own
    // SIZE. A server that tells no sizes at all is trusted with its 226; a
    // file missing from a listing that shows others is missing.
    if (!shown) {
      Status asked = connection_->Size(stored.remote, &size);
      if (!asked.ok() && !IsPermanentFailure(asked)) {
        unproved_.insert(unproved_.end(), pending.begin() + i, pending.end());
        return resend ? asked : Status::Ok();
      }
      const std::string folder = ParentFolder(stored.remote);
      if (!asked.ok() && std::find(listed_folders.begin(), listed_folders.end(), folder) !=
                             listed_folders.end())
        size = 0;
    }
    if (size < 0 || size == static_cast<int64_t>(stored.size)) {
      placed_.push_back(stored.remote);
      continue;
    }
    if (!resend) {
      unproved_.push_back(stored);
      continue;
    }
    // Another size: sent once more straight to its name (its first attempt
    // ended with a 226, so no session of ours holds it); a second mismatch
    // stops the publish. A lost connection makes further attempts take a
    // fresh temporary name.
    *announced = stored.remote;
    temporaries_.push_back(stored.remote);  // until proved
    std::string data;
    if (!ReadLocal(stored.local, stored.text, &data)) {
      unproved_.insert(unproved_.end(), pending.begin() + i, pending.end());
      return Status::NotFound("cannot read " + stored.local);
    }
    if (stored.announced) observer_->ReportTransferring(stored.local, true);
    bool first = true;
    Status status = WithRetries(
        [&] {
          if (!first) return PlaceFile(data, stored.remote, false);
          first = false;
          Status sent = StoreChecked(data, stored.remote, stored.remote);
          if (sent.code() == Status::Code::kCorrupt) return Status::Refused(sent.message());
          if (sent.ok()) {
            Forget(temporaries_, stored.remote);
            placed_.push_back(stored.remote);
          }
          return sent;
        },
        [&] {
          RemoveStale();
          if (stored.announced) observer_->ReportTransferring(stored.local, true);
        });
    if (!status.ok()) {
      unproved_.insert(unproved_.end(), pending.begin() + i + 1, pending.end());
      return status;
    }
  }
  return Status::Ok();
}

Status RemotePageTransfer::EndPublish(const Status& status, const std::string& announced) {
  // Files that went straight to their names count as placed once proved;
  // the others go with the temporary files.
  if (connection_ && status.code() != Status::Code::kIoError) {
    connection_->set_cancel_flag(nullptr);
    std::string ignored;
    static_cast<void>(ProveStored(/*resend=*/false, &ignored));
  }
  // What is not proved goes with the temporary files.
  for (const StoredFile& stored : unproved_) temporaries_.push_back(stored.remote);
  unproved_.clear();
  RemoveTemporaries(status.code() == Status::Code::kIoError);
  SortPlaced();
  if (status.code() == Status::Code::kCancelled) {
    Close();
    // Stopped with files already on the site: the user learns which.
    if (placed_.empty()) return status;
    return Status::IoError(PublishStoppedText(announced) + "\r\n\r\n" +
                           (page_note_.empty() ? PageUnchangedText(placed_) : page_note_));
  }
  std::string text = CannotTransferText(announced, endpoint_.server, status.message());
  text += "\r\n\r\n" + (page_note_.empty() ? PageUnchangedText(placed_) : page_note_);
  return Fail(text);
}

Status RemotePageTransfer::Send(const PlannedFile& file) {
  if (observer_->CancelRequested()) return Status::Cancelled();
  if (file.announced) observer_->ReportTransferring(file.local, false);
  std::string data;
  if (!ReadLocal(file.local, file.text, &data))
    return Status::NotFound("cannot read " + file.local);
  const size_t proved = unproved_.size();
  Status status = WithRetries([&] { return PlaceFile(data, file.remote, file.direct); },
                              [&] {
                                // What the failed attempt left goes first (on the new connection).
                                RemoveStale();
                                if (file.announced) observer_->ReportTransferring(file.local, true);
                              });
  // A file sent straight to its name: what ProveStored needs to send it again.
  if (unproved_.size() > proved) {
    unproved_.back().local = file.local;
    unproved_.back().announced = file.announced;
    unproved_.back().text = file.text;
  }
  return status;
}

Status RemotePageTransfer::CarryOut(const UploadPlan& plan, const std::string& page) {
  plan_ = &plan;
  // The helpers log in while the run's connection sees to the folder.
  LaneSettings settings;
  settings.endpoint = endpoint_;
  settings.cancel = observer_->CancelFlag();
  settings.dot_names = !dot_names_refused_;
  settings.tag = run_tag_ + "-s";
  HelperLanes lanes(plan, settings);
  std::string announced = plan.audio_folder;
  Status status = WithRetries(
      [&] { return EnsureFolder(plan.audio_folder, plan.create_audio_folder_first); }, [] {},
      /*show_lost_connection=*/false);
  if (!status.ok()) {
    lanes.Stop(&temporaries_, &placed_, &unproved_);
    if (status.code() == Status::Code::kCancelled) return EndPublish(status, announced);
    for (const StoredFile& stored : unproved_) temporaries_.push_back(stored.remote);
    unproved_.clear();
    RemoveTemporaries();
    return Fail(CannotEnterFolderText(plan.audio_folder, endpoint_.server, status.message()) +
                "\r\n\r\n" + PageUnchangedText(placed_));
  }
  lanes.FolderReady();
  bool proved = false;
  for (size_t i = 0; i < plan.files.size() && status.ok(); ++i) {
    const PlannedFile& file = plan.files[i];
    announced = file.remote;
    // Every file before one that waits is in place and proved by now.
    if (file.waits && !proved) {
      proved = true;
      status = ProveStored(/*resend=*/true, &announced);
      if (!status.ok()) break;
      announced = file.remote;
    }
    if (observer_->CancelRequested()) {
      status = Status::Cancelled();
      break;
    }
    size_t size = 0;
    switch (lanes.TakeOrAwait(i, &size)) {
      case HelperLanes::Outcome::kPlaced:
        if (file.announced) observer_->ReportTransferring(file.local, false);
        placed_.push_back(file.remote);
        continue;
      case HelperLanes::Outcome::kStored:
        if (file.announced) observer_->ReportTransferring(file.local, false);
        attempted_.insert(file.remote);
        unproved_.push_back({file.remote, file.local, size, file.announced, file.text});
        continue;
      case HelperLanes::Outcome::kFailed:
        // Tried by a helper: this connection starts with a fresh name.
        attempted_.insert(file.remote);
        break;
      case HelperLanes::Outcome::kYours: break;
    }
    lanes.HandOverLeftovers(&temporaries_);
    status = Send(file);
  }
  lanes.Stop(&temporaries_, &placed_, &unproved_);
  if (status.ok()) status = ProveStored(/*resend=*/true, &announced);
  if (!status.ok()) return EndPublish(status, announced);
  // What the helpers left (a file one gave up on, since placed by this
  // connection) goes before the page.
  for (const std::string& path : temporaries_) static_cast<void>(connection_->Delete(path));
  temporaries_.clear();
  // The commit point: the page, last.
  announced = plan.page_remote;
  if (observer_->CancelRequested()) return EndPublish(Status::Cancelled(), announced);
  observer_->ReportTransferring(plan.page_remote, false);
  status = WithRetries([&] { return PlacePage(page, plan.page_remote); },
                       [&] {
                         RemoveStale();
                         observer_->ReportTransferring(plan.page_remote, true);
                       });
  if (!status.ok()) return EndPublish(status, announced);
  // The page no longer names these: they go, and the run is done whatever
  // becomes of them.
  if (connection_) {
    connection_->set_cancel_flag(nullptr);
    for (const std::string& path : plan.delete_after_page)
      static_cast<void>(connection_->Delete(path));
  }

  Close();
  return Status::Ok();
}

Status RemotePageTransfer::PublishPage(const run::RemotePage& page,
                                       const run::PublishFiles& files,
                                       run::TransferObserver& observer) {
  ObserverScope scope(observer_, observer);
  // Without a fetch before it, the publish is a run of its own.
  if (!connection_) BeginRun(page);
  placed_.clear();
  temporaries_.clear();
  superseded_.clear();
  attempted_.clear();
  unproved_.clear();
  page_note_.clear();
  plan_ = nullptr;
  {
    // A tag of this publish's own: its temporary names differ from those of
    // any earlier publish that a stalled session may still hold open.
    std::random_device random;
    char tag[16];
    std::snprintf(tag, sizeof tag, "%04x", static_cast<unsigned>(random()) & 0xffffu);
    run_tag_ = tag;
    serial_ = 0;
  }
  if (observer_->CancelRequested()) return EndPublish(Status::Cancelled(), "");
  if (!connection_) {
    Status status = OpenConnection();
    if (!status.ok()) return status;
  }
  connection_->set_cancel_flag(observer_->CancelFlag());

  PlanLimits limits;
  limits.max_lanes = second_connection_ ? kMaxConnections : 1;
  limits.ssh = endpoint_.security == Security::kSsh;
  limits.renames_refused = renames_refused_;
  const UploadPlan plan = PlanUpload(files, RemoteLayout(page.path), original_page_, limits);
  Status status = CarryOut(plan, files.page);
  plan_ = nullptr;
  return status;
}

}  // namespace sonavelt::remote
