#include "run/page_removal.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <utility>

#include "base/file_io.h"
#include "base/folder_io.h"
#include "base/text.h"
#include "html/page_edit.h"
#include "html/page_remove.h"
#include "run/applet_block.h"
#include "run/choice_rules.h"
#include "run/folder_usage.h"
#include "run/player_data.h"
#include "run/run_messages.h"
#include "run/startup.h"
#include "run/target_lock.h"
#include "run/work_folder.h"

namespace sonavelt::run {
namespace {

namespace fs = std::filesystem;
using file_io::JoinPath;
using End = RemovalOutcome::End;

RemovalOutcome Ended(End end, Status message) {
  RemovalOutcome outcome;
  outcome.end = end;
  outcome.message = std::move(message);
  return outcome;
}

// What the page's folder looks like, however it was read.
struct FolderView {
  std::string page_text;
  std::string data_text;             // BASE.sounds.js; empty when missing
  std::set<std::string> beside;      // file names beside the page
  std::set<std::string> audio;       // file names in audio/
  FolderUsage usage;
};

// What goes, decided before anything is written.
// In removal order: the page's own files name the sounds, so they go first
// and nothing names a sound that is gone.
struct Plan {
  std::string restored_page;
  std::vector<std::string> own;     // BASE.res and the data files, beside the page
  std::vector<std::string> audio;   // names in audio/
  std::vector<std::string> shared;  // the class file and the player script
  Status note;
};

// The removal's decisions, the same for a local and a remote page: the page
// without its block, then the files that go. Refusals come back as an
// outcome; nothing is written here.
std::optional<RemovalOutcome> MakePlan(const FolderView& view, const std::string& page_name,
                                       const std::string& shown, Plan* plan) {
  const std::string base = ResourceBaseName(page_name);
  const std::string data_name = PlayerDataScriptName(base);
  // Without the first run's record the BODY tag is left as it is (kNone),
  // and the note says so.
  const std::optional<html::BodyEdit> recorded =
      html::BodyEditFromName(RecordedFirstRunBodyEdit(view.data_text));
  html::PageNames names;
  names.for_refusal = shown;
  names.for_body_error = shown;
  html::PageRemoveResult removed =
      html::RemovePlayer(view.page_text, recorded.value_or(html::BodyEdit::kNone), names);
  switch (removed.outcome) {
    case html::PageRemoveResult::Outcome::kRemoved:
      break;
    case html::PageRemoveResult::Outcome::kNoBlock:
    case html::PageRemoveResult::Outcome::kUnreadable:
      return Ended(End::kRefused, Status::Refused(removed.message).WithBox(BoxStyle::kSystemModal));
  }
  plan->restored_page = std::move(removed.page);
  if (!recorded)
    plan->note = Status::NotFound(NoBodyEditRecordMessage(shown, data_name)).WithBox(BoxStyle::kPlain);

  for (const std::string& name : {ResourceFileName(page_name), data_name,
                                  LocalPreviewScriptName(base)})
    if (view.beside.count(name) != 0) plan->own.push_back(name);
  for (const std::string& name : view.usage.FilesOnlyUsedBy(base))
    if (view.audio.count(name) != 0) plan->audio.push_back(name);
  if (view.beside.count(kAppletClassFileName) != 0 && !view.usage.ClassFileUsedByOthers(base))
    plan->shared.push_back(kAppletClassFileName);
  if (view.beside.count(kPlayerScriptFileName) != 0 && !view.usage.PlayerScriptUsedByOthers(base))
    plan->shared.push_back(kPlayerScriptFileName);
  return std::nullopt;
}

bool Stopped(const RemovalServices& services) {
  return services.cancel != nullptr && services.cancel->load(std::memory_order_relaxed);
}

// After the page: the files go one by one; those that stay are listed.
RemovalOutcome Finish(RemovalOutcome done, const std::vector<std::string>& failures,
                      const std::string& shown) {
  if (failures.empty()) return done;
  done.end = End::kIncomplete;
  done.message = Status::IoError(FilesNotRemovedMessage(shown, failures));
  return done;
}

RemovalOutcome RemoveLocal(const PageTarget& page, const RemovalServices& services) {
  const std::string& shown = page.local_html_path;
  const std::string page_name = FileNameOfPath(shown);
  if (Status usable = CheckLocalPagePath(shown); !usable.ok())
    return Ended(End::kRefused, usable);
  fs::path folder_path = fs::path(shown).parent_path();
  file_io::FolderHandle folder;
  if (Status opened = file_io::FolderHandle::Open(
          folder_path.empty() ? std::string(".") : folder_path.string(), &folder);
      !opened.ok())
    return Ended(End::kFailed, Status::IoError(CannotReadFileMessage(shown, opened.message())));
  const std::string write_path = file_io::ResolveLinks(shown);
  // As for a run: a page the user may not write is refused, and for root
  // the page's own write bits decide.
  struct stat st {};
  if (stat(write_path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      (access(write_path.c_str(), W_OK) != 0 || (st.st_mode & 0222) == 0))
    return Ended(End::kRefused, Status::Refused(PageReadOnlyMessage(shown)));

  FolderView view;
  if (Status read = file_io::ReadWholeFile(shown, &view.page_text, services.cancel); !read.ok()) {
    if (read.cancelled()) return Ended(End::kCancelled, Status::Ok());
    return Ended(End::kFailed, Status::IoError(CannotReadFileMessage(shown, read.message())));
  }
  const std::string base = ResourceBaseName(page_name);
  static_cast<void>(folder.Read(PlayerDataScriptName(base), &view.data_text));  // may be absent
  for (const std::string& name : folder.Names())
    if (folder.KindOf(name) == file_io::FolderHandle::Kind::kFile ||
        folder.KindOf(name) == file_io::FolderHandle::Kind::kLink)
      view.beside.insert(name);
  file_io::FolderHandle audio;
  const bool has_audio = folder.KindOf(kAudioFolder) == file_io::FolderHandle::Kind::kFolder &&
                         folder.OpenSub(kAudioFolder, false, &audio).ok();
  if (has_audio)
    for (const std::string& name : audio.Names())
      if (audio.KindOf(name) == file_io::FolderHandle::Kind::kFile ||
          audio.KindOf(name) == file_io::FolderHandle::Kind::kLink)
        view.audio.insert(name);
  view.usage = ReadFolderUsage(folder);

  Plan plan;
  if (std::optional<RemovalOutcome> refused = MakePlan(view, page_name, shown, &plan))
    return *refused;
  if (Stopped(services)) return Ended(End::kCancelled, Status::Ok());

  // The commit point: the page without its block.
  if (Status written = file_io::WriteFileAtomically(write_path, plan.restored_page, services.cancel);
      !written.ok()) {
    if (written.cancelled()) return Ended(End::kCancelled, Status::Ok());
    return Ended(End::kFailed, Status::IoError(CannotWriteFileMessage(shown, written.message())));
  }
  RemovalOutcome done;
  done.message = plan.note;
  done.removed.push_back(shown);
  std::vector<std::string> failures;
  auto remove = [&](const file_io::FolderHandle& in, const std::string& name) {
    Status gone = in.Remove(name);
    if (gone.ok()) done.removed.push_back(in.PathOf(name));
    else if (gone.code() != Status::Code::kNotFound)
      failures.push_back(in.PathOf(name) + ": " + gone.message());
  };
  for (const std::string& name : plan.own) remove(folder, name);
  for (const std::string& name : plan.audio) remove(audio, name);
  for (const std::string& name : plan.shared) remove(folder, name);
  // An audio/ folder this removal emptied goes with its files.
  if (has_audio && !plan.audio.empty() && audio.Names().empty() &&
      folder.RemoveEmptyFolder(kAudioFolder).ok())
    done.removed.push_back(folder.PathOf(kAudioFolder));
  return Finish(std::move(done), failures, shown);
}

// "/www" for "/www/index.htm"; "" for a page in the site's root.
std::string RemoteFolderOf(const std::string& page_path) {
  const size_t slash = page_path.rfind('/');
  return slash == std::string::npos ? std::string() : page_path.substr(0, slash);
}

RemovalOutcome RemoveRemote(const PageTarget& page, const RemovalServices& services,
                            const std::string& work) {
  RemoteFolder* site = services.remote;
  const std::string& shown = page.remote_path;
  if (site == nullptr)
    return Ended(End::kFailed, Status::Refused(RemoteUnavailableMessage(page.remote_site)));
  const std::string page_name = FileNameOfPath(page.remote_path);
  const std::string base = ResourceBaseName(page_name);
  const std::string folder = RemoteFolderOf(page.remote_path);
  const std::string audio_folder = folder + "/" + kAudioFolder;
  auto failed = [&](Status status) {
    site->Close();
    if (status.cancelled() || Stopped(services)) return Ended(End::kCancelled, Status::Ok());
    return Ended(End::kFailed, Status::IoError(SiteNotChangedMessage(status.message())));
  };

  if (Status open = site->Open({page.remote_site, page.remote_path}); !open.ok())
    return failed(open);
  std::vector<std::string> beside;
  if (Status listed = site->List(folder.empty() ? "/" : folder, &beside); !listed.ok())
    return failed(listed);
  std::vector<std::string> audio;
  // A folder without audio/ has no sounds to take.
  static_cast<void>(site->List(audio_folder, &audio));

  // The folder's resource and data files are read into a copy of the
  // folder here, which the folder's usage is then read from.
  const std::string mirror = JoinPath(work, "folder");
  std::error_code ec;
  fs::create_directories(mirror, ec);
  FolderView view;
  const std::string page_copy = JoinPath(work, "page");
  if (Status fetched = site->Fetch(page.remote_path, page_copy); !fetched.ok())
    return failed(fetched);
  if (Status read = file_io::ReadWholeFile(page_copy, &view.page_text); !read.ok())
    return failed(read);
  for (const std::string& name : beside) {
    view.beside.insert(name);
    if (!name.ends_with(kResourceSuffix) && !name.ends_with(kPlayerDataSuffix)) continue;
    if (name.find('/') != std::string::npos || name == "." || name == "..") continue;
    if (Status fetched = site->Fetch(folder + "/" + name, JoinPath(mirror, name)); !fetched.ok())
      return failed(fetched);
    if (Stopped(services)) return failed(Status::Cancelled());
  }
  view.audio.insert(audio.begin(), audio.end());
  static_cast<void>(
      file_io::ReadWholeFile(JoinPath(mirror, PlayerDataScriptName(base)), &view.data_text));
  view.usage = ReadFolderUsage(mirror);

  Plan plan;
  if (std::optional<RemovalOutcome> refused = MakePlan(view, page_name, shown, &plan)) {
    site->Close();
    return *refused;
  }
  const std::string restored = JoinPath(work, "restored");
  if (Status written = file_io::WriteFileAtomically(restored, plan.restored_page); !written.ok())
    return failed(written);
  if (Stopped(services)) return failed(Status::Cancelled());
  // The commit point.
  if (Status replaced = site->Replace(restored, page.remote_path); !replaced.ok())
    return failed(replaced);
  RemovalOutcome done;
  done.message = plan.note;
  done.removed.push_back(page.remote_path);
  std::vector<std::string> failures;
  auto remove = [&](const std::string& path) {
    Status gone = site->Delete(path);
    if (gone.ok()) done.removed.push_back(path);
    else failures.push_back(path + ": " + gone.message());
  };
  for (const std::string& name : plan.own) remove(folder + "/" + name);
  for (const std::string& name : plan.audio) remove(audio_folder + "/" + name);
  for (const std::string& name : plan.shared) remove(folder + "/" + name);
  // An audio/ folder this removal emptied goes with its files, as beside a
  // page on this machine; the server refuses one that holds anything more.
  std::vector<std::string> left;
  if (!plan.audio.empty() && site->List(audio_folder, &left).ok() && left.empty() &&
      site->RemoveEmptyFolder(audio_folder).ok())
    done.removed.push_back(audio_folder);
  site->Close();
  return Finish(std::move(done), failures, shown);
}

}  // namespace

RemovalOutcome RemovePagePlayer(const PageTarget& page, const RemovalServices& services) {
  const std::string shown = page.is_remote ? page.remote_path : page.local_html_path;
  const std::string lock_folder = services.lock_folder.empty() ? LockFolder() : services.lock_folder;
  TargetLock lock;
  Status locked = lock.Acquire(lock_folder, TargetKey(page), services.lock_wait, services.cancel,
                               [] {});
  if (locked.cancelled()) return Ended(End::kCancelled, Status::Ok());
  if (locked.code() == Status::Code::kRefused)
    return Ended(End::kRefused, Status::Refused(PageBusyMessage(shown)));
  if (!locked.ok())
    return Ended(End::kFailed,
                 Status::IoError(PageLockFailedMessage(shown, lock_folder, locked.message())));

  const std::string parent = services.work_parent.empty() ? UserCacheFolder() : services.work_parent;
  std::unique_ptr<WorkFolder> work;
  if (Status made = WorkFolder::Create(parent, "remove", &work); !made.ok())
    return Ended(End::kFailed, Status::IoError(WorkFolderFailedMessage(parent, made.message())));
  if (page.is_remote) return RemoveRemote(page, services, work->path());
  return RemoveLocal(page, services);
}

}  // namespace sonavelt::run
