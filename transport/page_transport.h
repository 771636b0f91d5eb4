#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "base/status.h"
#include "base/text.h"

// Where a page comes from and where the run's files go: the seam between
// the run and the page's place. remote/ implements it for a site
// (RemotePageTransfer), run/ for a page on this machine (LocalPageTransfer);
// the run drives both the same way. Interfaces and plain values only, on
// base/ alone, so that remote/ can implement it without linking the run.
namespace sonavelt::run {

// The applet's class file: its name in the install folder and beside the
// page, on a disk or on a site.
inline constexpr char kAppletClassFileName[] = "SonaveltRandomEventBackground.class";
// The folder beside the page that holds the sounds and their browser copies.
inline constexpr char kAudioFolder[] = "audio";

// A page on a site.
struct RemotePage {
  std::string site;  // the server's name; the transport's own endpoint may name it too
  std::string path;  // the page's path on the server, beginning with "/"
};

// A small text file the run makes in memory (the resource file, the browser
// player's data files), placed beside the page under `name`.
struct TextFile {
  std::string name;
  std::string bytes;
};

// One distinct sound of a run for "audio/" beside the page, made in the
// run's work folder.
struct SoundToPlace {
  std::string au_path;    // named as audio::SoundNames gave it
  std::string asked;      // the name it asked for (audio::PlacedNameOf)
  std::string copy_path;  // its browser copy; empty: none
};

// One file for "audio/".
struct PlacedFile {
  std::string from;   // in the work folder; empty: a copy an earlier run left there
  std::string name;   // in audio/
  bool write = true;  // false: audio/ holds these bytes already
  bool is_copy = false;
  bool found = false;  // used as it was, a file no page placed
};

// The files of a run to put beside a page, in placing order, and the page
// itself, placed last. The sounds, their copies, the class file and the
// player script are local paths (large, or the install's own); the page and
// the text files travel as bytes, so that none is read or written twice.
struct PublishFiles {
  std::string page;                      // the edited page, byte for byte
  std::vector<std::string> sounds;       // converted sounds, one per use, into "audio/"
  std::vector<std::string> sound_copies; // the browser player's copies, each once, into "audio/"
  std::string applet_class_path;         // beside the page as kAppletClassFileName
  std::string player_script_path;        // beside the page too; empty without the browser player
  TextFile resource;                     // beside the page
  // The browser player's data files, beside the page after the resource file.
  std::vector<TextFile> player_data;
  // Names in "audio/" only the page's earlier run used: removed once the
  // page is placed and no longer names them (a failure there is not the
  // run's; the page is done).
  std::vector<std::string> dropped_sounds;
};

// What a transfer tells the run as it goes, and how it learns that the user
// has quit. Called on the run's thread.
class TransferObserver {
 public:
  virtual ~TransferObserver() = default;
  // One file is about to be sent: the page by its remote path, the other
  // files by their local path. repeat: the same file once more after a
  // failure; the progress bar must not advance a second time for it.
  virtual void ReportTransferring(const std::string& file, bool repeat) = 0;
  // Replaces the large progress text (the lost-connection notice, the fetch's
  // own text again after a reconnect).
  virtual void SetProgressText(const std::string& text) = 0;
  // The run's cancel checkpoint: true when the user has confirmed quitting;
  // the transfers then stop at once and answer Cancelled.
  virtual bool CancelRequested() = 0;
  // The flag behind CancelRequested, read by the transfer in progress so that
  // it stops within a second; nullptr: transfers stop only between files.
  virtual const std::atomic<bool>* CancelFlag() { return nullptr; }
};

// The steps of a run that reach the page's place, in the order the run
// calls them: CheckBesidePage, FetchPage, FetchBesidePage and
// ListBesidePage, ClaimAudioNames, PublishPage. One object serves one run at
// a time, and may serve many runs one after the other; `observer` lives as
// long as the call. A failed step returns the message the user must see
// (with its box style) and has cleaned up after itself (a site's connection
// is closed). Cancelled: the user quit; nothing to show. The defaults are a
// site's.
class PageTransport {
 public:
  virtual ~PageTransport() = default;
  // Before the run writes anything: refuses, with the message to show, a
  // page that may not be written, or one of `names` beside it (the fixed
  // names the run places there) that leads where the run must not write.
  virtual Status CheckBesidePage(const RemotePage& page, const std::vector<std::string>& names) {
    (void)page;
    (void)names;
    return Status::Ok();
  }
  // Reads `page` into *bytes, byte for byte, and keeps the connection for
  // PublishPage. progress_text: the progress text of the fetch, shown again
  // after a reconnect.
  virtual Status FetchPage(const RemotePage& page, std::string* bytes,
                           const std::string& progress_text, TransferObserver& observer) = 0;
  // Between FetchPage and PublishPage: reads the file `name` beside the page
  // (what an earlier run left there; "audio/NAME" for a sound in its audio
  // folder) into *bytes, over the fetch's connection. NotFound when there is
  // no such file; a failure here leaves the connection for PublishPage.
  virtual Status FetchBesidePage(const RemotePage& page, const std::string& name,
                                 std::string* bytes) {
    (void)page;
    (void)bytes;
    return Status::NotFound(name);
  }
  // Between FetchPage and PublishPage: the names of the entries (files,
  // folders, links) in the page's folder (`sub_folder` empty) or in its
  // `sub_folder` ("audio"), over the fetch's connection, one try. NotFound
  // when there is no such folder; any other failure has closed the
  // connection and answers the message to show.
  virtual Status ListBesidePage(const RemotePage& page, const std::string& sub_folder,
                                std::vector<std::string>* names) {
    (void)page;
    names->clear();
    return Status::NotFound(sub_folder);
  }
  // Once the sounds are made: the names they and their copies take in
  // "audio/" beside the page, into *files (each sound's .au, then its
  // copy), kept until PublishPage places them. By default the files keep
  // their own names and are all written; a site's run names them against
  // what its folder holds (run/site_audio_names.h).
  virtual Status ClaimAudioNames(const RemotePage& page, const std::vector<SoundToPlace>& sounds,
                                 std::vector<PlacedFile>* files, TransferObserver& observer) {
    (void)page;
    (void)observer;
    files->clear();
    for (const SoundToPlace& sound : sounds) {
      files->push_back({sound.au_path, FileNameOfPath(sound.au_path)});
      if (!sound.copy_path.empty())
        files->push_back({sound.copy_path, FileNameOfPath(sound.copy_path), true, true});
    }
    return Status::Ok();
  }
  // Places the files beside the page and the page last (the commit point),
  // reporting each transfer but those of the browser player's copies and
  // data files; a site's connection is closed at the end, whatever the
  // outcome.
  virtual Status PublishPage(const RemotePage& page, const PublishFiles& files,
                             TransferObserver& observer) = 0;

  // After a failed fetch or publish the user may go back and choose again
  // (a page on this machine); a site's failure ends the run.
  virtual bool MayTryAgain() const { return false; }
  // The page opens from disk, where browsers fetch no files: the browser
  // player then needs its local preview beside the page.
  virtual bool OpensFromDisk() const { return false; }
  // The page's folder on this machine, whose room the run checks; empty
  // for a site.
  virtual std::string LocalFolder() const { return std::string(); }
  // Where the files go, as the progress names it.
  virtual std::string Destination(const RemotePage& page) const { return page.site; }
};

// A remote page's folder, for taking the player off a page again
// (page_removal.h): one connection, made by Open and dropped by Close. Paths
// are the site's, absolute. Failures answer the message to show (the
// server's reply when it gave one); Cancelled once the user quit.
class RemoteFolder {
 public:
  virtual ~RemoteFolder() = default;
  virtual Status Open(const RemotePage& page) = 0;
  // The names of the files (not folders) in `folder`.
  virtual Status List(const std::string& folder, std::vector<std::string>* names) = 0;
  // Downloads `remote_path` byte for byte into `local_path`.
  virtual Status Fetch(const std::string& remote_path, const std::string& local_path) = 0;
  // Puts the local file in the place of `remote_path` in one rename, after
  // checking its size under a temporary name: the site has the old file or
  // the new one, never a part.
  virtual Status Replace(const std::string& local_path, const std::string& remote_path) = 0;
  virtual Status Delete(const std::string& remote_path) = 0;
  // Removes the folder `remote_path`; a folder that is not empty is refused.
  virtual Status RemoveEmptyFolder(const std::string& remote_path) = 0;
  virtual void Close() = 0;
};

}  // namespace sonavelt::run
