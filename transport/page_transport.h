#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "base/status.h"

// Where a remote page comes from and where the run's files go back to: the
// seam between the run and the remote site's sessions (remote/ implements
// it; a local page needs none of it). Interfaces and plain values only, on
// base/ alone, so that remote/ can implement it without linking the run.
namespace sonavelt::run {

// The applet's class file: its name in the install folder and beside the
// page, on a disk or on a site.
inline constexpr char kAppletClassFileName[] = "SonaveltRandomEventBackground.class";

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

// The two remote steps of a run. One object serves one run at a time, and
// may serve many runs one after the other; `observer` lives as long as the
// call. A failed step returns the message the user must see (with its box
// style) and has cleaned up after itself: the connection is closed.
// Cancelled: the user quit; nothing to show.
class PageTransport {
 public:
  virtual ~PageTransport() = default;
  // Reads `page` into *bytes, byte for byte, and keeps the connection for
  // PublishPage. progress_text: the progress text of the fetch, shown again
  // after a reconnect.
  virtual Status FetchPage(const RemotePage& page, std::string* bytes,
                           const std::string& progress_text, TransferObserver& observer) = 0;
  // Places the files beside the page and the page last (the commit point),
  // reporting each transfer but those of the browser player's copies and
  // data files; closes the connection at the end, whatever the outcome.
  virtual Status PublishPage(const RemotePage& page, const PublishFiles& files,
                             TransferObserver& observer) = 0;
  // Between FetchPage and PublishPage: reads the file `name` beside the page
  // (what an earlier run left there) into *bytes, over the fetch's
  // connection. NotFound when there is no such file; a failure here leaves
  // the connection for PublishPage. The default has no site.
  virtual Status FetchBesidePage(const RemotePage& page, const std::string& name,
                                 std::string* bytes) {
    (void)page;
    (void)bytes;
    return Status::NotFound(name);
  }
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
  virtual void Close() = 0;
};

}  // namespace sonavelt::run
