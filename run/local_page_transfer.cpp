#include "run/local_page_transfer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "base/file_io.h"
#include "base/text.h"
#include "run/applet_block.h"
#include "run/audio_placement.h"
#include "run/folder_usage.h"
#include "run/run_messages.h"
#include "run/startup.h"

namespace sonavelt::run {

using file_io::JoinPath;

namespace fs = std::filesystem;

LocalPageTransfer::LocalPageTransfer(std::string page_path, std::chrono::milliseconds lock_wait)
    : page_path_(std::move(page_path)),
      page_file_name_(FileNameOfPath(page_path_)),
      lock_wait_(lock_wait) {
  fs::path folder = fs::path(page_path_).parent_path();
  page_folder_ = folder.empty() ? std::string(".") : folder.string();
}

std::string LocalPageTransfer::Destination(const RemotePage&) const { return page_folder_; }

Status LocalPageTransfer::CheckBesidePage(const RemotePage&,
                                          const std::vector<std::string>& names) {
  names_ = names;
  page_write_path_ = file_io::ResolveLinks(page_path_);
  // Temporary files of runs that were killed: each name carries its
  // writer's pid, and only those of processes that are gone are removed.
  file_io::RemoveStaleTempFiles(page_folder_);
  fs::path real_folder = fs::path(page_write_path_).parent_path();
  if (!real_folder.empty() && real_folder != fs::path(page_folder_))
    file_io::RemoveStaleTempFiles(real_folder.string());
  // A page the user may not write is refused before anything is written.
  // Root may write anything, so for root the page's own write bits decide.
  struct stat st;
  if (stat(page_write_path_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    bool may_write = access(page_write_path_.c_str(), W_OK) == 0;
    if (!may_write || (st.st_mode & 0222) == 0)
      return Status::Refused(PageReadOnlyMessage(page_path_));
  }
  // A folder that cannot be opened holds no page either; reading the page
  // says so in its own words.
  if (file_io::FolderHandle::Open(page_folder_, &page_dir_).ok()) {
    if (Status checked = CheckNames(); !checked.ok()) return checked;
    // Only once audio/ is known not to lead into another user's folder.
    file_io::RemoveStaleTempFiles(JoinPath(page_folder_, kAudioFolder));
  }
  return Status::Ok();
}

Status LocalPageTransfer::CheckNames() const {
  for (const std::string& name : names_) {
    if (page_dir_.CheckWritable(name).ok()) continue;
    return Status::Refused(ForeignLinkMessage(page_path_, page_dir_.PathOf(name)));
  }
  return Status::Ok();
}

Status LocalPageTransfer::FetchPage(const RemotePage&, std::string* bytes, const std::string&,
                                    TransferObserver& observer) {
  Status read = file_io::ReadWholeFile(page_path_, bytes, observer.CancelFlag());
  if (read.ok() || read.cancelled()) return read;
  return Status::IoError(CannotReadFileMessage(page_path_, read.message()));
}

Status LocalPageTransfer::FetchBesidePage(const RemotePage&, const std::string& name,
                                          std::string* bytes) {
  if (!page_dir_.valid()) return Status::NotFound(name);
  return page_dir_.Read(name, bytes);
}

Status LocalPageTransfer::ClaimAudioNames(const RemotePage&, const std::vector<SoundToPlace>& sounds,
                                          std::vector<PlacedFile>* files,
                                          TransferObserver& observer) {
  files->clear();
  planned_.clear();
  dropped_.clear();
  if (!page_dir_.valid()) {
    // Reading the page tells why, if the page is gone with its folder; a
    // folder that holds it but cannot be opened fails the copies.
    Status opened = file_io::FolderHandle::Open(page_folder_, &page_dir_);
    if (!opened.ok()) {
      audio_dir_error_ = opened.message();
      return Status::Ok();
    }
  }
  Status locked = folder_lock_.Acquire(page_dir_, lock_wait_, observer.CancelFlag(), [&] {
    observer.SetProgressText(WaitingForFolderText(page_folder_));
  });
  if (locked.cancelled()) return locked;
  if (locked.code() == Status::Code::kRefused)
    return Status::Refused(FolderBusyMessage(page_path_, page_folder_));
  // A file system that keeps no locks (some network ones) cannot hold
  // this one: the run goes on as before such a lock existed, with the page
  // lock keeping runs on this page apart.
  // The links may have changed while the run converted.
  if (Status checked = CheckNames(); !checked.ok()) return checked;
  Status opened = page_dir_.OpenSub(kAudioFolder, /*create=*/true, &audio_dir_);
  if (opened.code() == Status::Code::kRefused)
    return Status::Refused(ForeignLinkMessage(page_path_, page_dir_.PathOf(kAudioFolder)));
  // A folder that cannot be made is reported with the copies that fail.
  if (!opened.ok()) audio_dir_error_ = opened.message();

  const FolderUsage usage = ReadFolderUsage(page_dir_);
  const std::string base = ResourceBaseName(page_file_name_);
  const AudioPlan plan = PlanAudioFolder(audio_dir_, usage, base, sounds);
  *files = plan.files;
  // A sound without a copy keeps the copy an earlier run of this page put
  // in audio/.
  if (audio_dir_.valid())
    for (PlacedFile& kept :
         EarlierCopiesKept(usage, base, sounds, plan, [&](size_t i, const std::string& copy) {
           return audio_dir_.KindOf(copy) == file_io::FolderHandle::Kind::kFile &&
                  audio_dir_.HoldsCopyOf(plan.au_names[i], sounds[i].au_path);
         }))
      files->push_back(std::move(kept));
  for (const PlacedFile& file : *files) planned_.emplace(file.name, file);
  dropped_ = DroppedByRun(usage, base, *files);
  return Status::Ok();
}

bool LocalPageTransfer::Copy(const file_io::FolderHandle& folder, const std::string& from,
                             const std::string& name, bool write,
                             const std::atomic<bool>* cancel) {
  if (cancel && cancel->load()) return false;
  const std::string to =
      folder.valid() ? folder.PathOf(name)
                     : JoinPath(&folder == &audio_dir_ ? JoinPath(page_folder_, kAudioFolder)
                                                       : page_folder_,
                                name);
  if (!write || std::find(done_.begin(), done_.end(), to) != done_.end()) return true;
  done_.push_back(to);
  if (!folder.valid()) {
    failures_.push_back(from + " -> " + to + ": " + audio_dir_error_);
    return true;
  }
  Status copied = folder.Copy(from, name, cancel);
  if (copied.cancelled()) return false;
  if (copied.ok()) placed_.push_back(to);
  else failures_.push_back(from + " -> " + to + ": " + copied.message());
  return true;
}

bool LocalPageTransfer::WriteText(const TextFile& file, const std::atomic<bool>* cancel) {
  if (cancel && cancel->load()) return false;
  const std::string to = page_dir_.PathOf(file.name);
  Status written = page_dir_.Write(file.name, file.bytes, cancel);
  if (written.cancelled()) return false;
  if (written.ok()) placed_.push_back(to);
  else failures_.push_back("writing " + to + ": " + written.message());
  return true;
}

Status LocalPageTransfer::StoppedBeforeThePage(const std::string& why) const {
  // A plain stop with nothing put beside the page needs no word.
  if (why.empty() && placed_.empty()) return Status::Cancelled();
  std::string text = why.empty() ? std::string() : why + "\r\n\r\n";
  return Status::IoError(text + PageKeptMessage(page_path_, placed_));
}

Status LocalPageTransfer::PublishPage(const RemotePage&, const PublishFiles& files,
                                      TransferObserver& observer) {
  placed_.clear();
  failures_.clear();
  done_.clear();
  const std::atomic<bool>* cancel = observer.CancelFlag();
  auto stop = [&] { return StoppedBeforeThePage(""); };
  auto named = [&](const std::string& path) -> const PlacedFile* {
    auto file = planned_.find(FileNameOfPath(path));
    return file == planned_.end() || file->second.from.empty() ? nullptr : &file->second;
  };
  // A failed copy does not stop the others, but it is reported, and the page
  // is then left as it was.
  for (const std::string& sound : files.sounds) {
    observer.ReportTransferring(sound, false);
    const PlacedFile* file = named(sound);
    if (file == nullptr) {
      if (observer.CancelRequested()) return stop();
      continue;
    }
    if (!Copy(audio_dir_, sound, file->name, file->write, cancel)) return stop();
  }
  // The browser copies go beside the .au files. They are not among the
  // files the progress counts.
  for (const std::string& copy : files.sound_copies) {
    const PlacedFile* file = named(copy);
    if (file != nullptr && !Copy(audio_dir_, copy, file->name, file->write, cancel)) return stop();
  }
  // The class file and the player script are the folder's, shared by its
  // pages: they are written only when they differ.
  const std::string class_name = FileNameOfPath(files.applet_class_path);
  observer.ReportTransferring(files.applet_class_path, false);
  if (!Copy(page_dir_, files.applet_class_path, class_name,
            !page_dir_.HoldsCopyOf(class_name, files.applet_class_path), cancel))
    return stop();
  // The page loads the player by this name, whatever the install calls it.
  const bool player = !files.player_script_path.empty();
  if (player) {
    observer.ReportTransferring(files.player_script_path, false);
    if (!Copy(page_dir_, files.player_script_path, kPlayerScriptFileName,
              !page_dir_.HoldsCopyOf(kPlayerScriptFileName, files.player_script_path), cancel))
      return stop();
  }
  if (observer.CancelRequested()) return stop();
  observer.ReportTransferring(files.resource.name, false);
  if (!page_dir_.valid()) {
    failures_.push_back("writing " + JoinPath(page_folder_, files.resource.name) + ": " +
                        audio_dir_error_);
    // The data files also without the browser player (whose block then
    // does not load them): they keep the record for taking the player off.
    if (player) failures_.push_back("writing into " + page_folder_ + ": " + audio_dir_error_);
  } else {
    if (!WriteText(files.resource, cancel)) return stop();
    for (const TextFile& data : files.player_data)
      if (!WriteText(data, cancel)) return stop();
  }
  if (!failures_.empty()) return StoppedBeforeThePage(CopyFailedMessage(failures_));

  // The commit point: everything the page needs is beside it, and this
  // rename is the run's last write.
  if (observer.CancelRequested()) return stop();
  Status written = file_io::WriteFileAtomically(page_write_path_, files.page, cancel);
  if (written.cancelled()) return stop();
  if (!written.ok())
    return StoppedBeforeThePage(CannotWriteFileMessage(page_path_, written.message()));
  // The page names its files now, and no longer those of its earlier run
  // that no other page uses: they go, as a removal would take them. The run
  // is done whatever becomes of them.
  if (audio_dir_.valid())
    for (const std::string& name : dropped_) static_cast<void>(audio_dir_.Remove(name));
  // Other runs in the folder may go on.
  folder_lock_.Release();
  return Status::Ok();
}

}  // namespace sonavelt::run
