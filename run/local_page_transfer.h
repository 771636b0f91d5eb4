#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "base/folder_io.h"
#include "run/folder_lock.h"
#include "transport/page_transport.h"

// The seam for a page on this machine: the run's files are placed beside the
// page in its own folder, and the page is replaced last. The folder is
// opened once (CheckBesidePage) and every file is made relative to it, with
// the file module's atomic writes; a link another user made beside the page
// is never followed for writing. The folder's lock is taken when the sounds
// get their names in audio/ (ClaimAudioNames) and let go once the page names
// them, so that two runs in one folder never choose the same free name.
//
// One object serves one run; the folder, its audio/ folder and the lock go
// with it. Failures answer the message to show, with what was put beside the
// page: before the page is replaced, the page is as it was.
namespace sonavelt::run {

class LocalPageTransfer : public PageTransport {
 public:
  // `page_path`: the page as the user named it (links are followed for its
  // writing, never for the files beside it). `lock_wait`: how long the
  // folder's lock is waited for before the run stops.
  LocalPageTransfer(std::string page_path, std::chrono::milliseconds lock_wait);

  // Removes the temporary files of killed runs beside the page, refuses a
  // page the user may not write, and refuses when one of `names` beside the
  // page (or audio/) is a link another user made.
  Status CheckBesidePage(const RemotePage& page, const std::vector<std::string>& names) override;
  // Reads the page, byte for byte.
  Status FetchPage(const RemotePage& page, std::string* bytes, const std::string& progress_text,
                   TransferObserver& observer) override;
  Status FetchBesidePage(const RemotePage& page, const std::string& name,
                         std::string* bytes) override;
  // Takes the folder's lock (waiting with the observer's progress text),
  // checks the names again and decides the names in audio/ against what the
  // folder holds (audio_placement.h). A sound without a copy keeps the copy
  // an earlier run of this page placed (an entry without `from`). The files
  // in audio/ an earlier run of this page placed (as its data file says)
  // that no other page uses and this run does not take (in any letter case)
  // are noted, to go once the page no longer names them.
  Status ClaimAudioNames(const RemotePage& page, const std::vector<SoundToPlace>& sounds,
                         std::vector<PlacedFile>* files, TransferObserver& observer) override;
  // Copies every file the page needs beside it (the folder's own, shared
  // files only when they differ; a failed copy does not stop the others),
  // then replaces the page, through a link to its real file, keeping its
  // mode and owner, and then removes the sounds only its earlier run used,
  // still under the folder's lock.
  Status PublishPage(const RemotePage& page, const PublishFiles& files,
                     TransferObserver& observer) override;
  bool MayTryAgain() const override { return true; }
  bool OpensFromDisk() const override { return true; }
  std::string LocalFolder() const override { return page_folder_; }
  std::string Destination(const RemotePage& page) const override;

 private:
  // The message of a publish stopped before the page: `why`, then what was
  // put beside it. Cancelled without a word when nothing was.
  Status StoppedBeforeThePage(const std::string& why) const;
  Status CheckNames() const;
  // Copies `from` into `folder` as `name` unless it is there already;
  // false on a stop.
  bool Copy(const file_io::FolderHandle& folder, const std::string& from, const std::string& name,
            bool write, const std::atomic<bool>* cancel);
  // Writes one text file beside the page; false on a stop.
  bool WriteText(const TextFile& file, const std::atomic<bool>* cancel);

  std::string page_path_;
  std::string page_file_name_;
  std::string page_folder_;
  std::string page_write_path_;  // the page's real file (links followed)
  std::chrono::milliseconds lock_wait_;
  std::vector<std::string> names_;  // the fixed names beside the page
  file_io::FolderHandle page_dir_;
  file_io::FolderHandle audio_dir_;
  std::string audio_dir_error_;  // why audio/ (or the page's folder) could not be opened
  FolderLock folder_lock_;
  std::map<std::string, PlacedFile> planned_;  // by name in audio/
  std::vector<std::string> dropped_;  // in audio/: the page's earlier sounds it no longer uses
  // What this publish put beside the page, and what failed.
  std::vector<std::string> placed_;
  std::vector<std::string> failures_;
  std::vector<std::string> done_;
};

}  // namespace sonavelt::run
