#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "base/user_interface.h"
#include "remote/ftp_address.h"
#include "remote/ftp_connection.h"

// A run on a remote page: fetching the page before it is processed and
// publishing the result afterwards, with reconnects after failed transfers.
namespace sonavelt::remote {

// The applet's class file, beside the page on the site.
inline constexpr std::string_view kAppletClassFileName = "SonaveltRandomEventBackground.class";
// The page's local copy in the cache folder.
inline constexpr std::string_view kTempPageFileName = "dumytemp.htm";

// What the transfers tell the run as they go. Called on the run's thread.
class TransferObserver {
 public:
  virtual ~TransferObserver() = default;
  // One file is about to be sent: the page by its remote path, the other
  // files by their local path. repeat: the same file once more after a
  // failure; the progress bar must not advance a second time for it.
  virtual void ReportTransferring(const std::string& file, bool repeat) = 0;
  // Replaces the large progress text (the lost-connection notice, the
  // "Retrieving:" text again after a reconnect).
  virtual void SetProgressText(const std::string& text) = 0;
  // The run's cancel checkpoint: true when the user has confirmed quitting;
  // the transfers then stop at once and answer Cancelled.
  virtual bool CancelRequested() = 0;
  // The flag behind CancelRequested, read by the transfer in progress so that
  // it stops within a second; nullptr: transfers stop only between files.
  virtual const std::atomic<bool>* CancelFlag() { return nullptr; }
};

// How often a failed transfer is tried again. Every attempt after the first
// is preceded by a reconnect and a wait that doubles each time.
struct RetryPolicy {
  int max_attempts = 4;
  std::chrono::milliseconds first_wait{1000};
};

// The remote names of one run, derived from the page's remote path.
struct RemoteLayout {
  explicit RemoteLayout(std::string_view remote_page_path);
  std::string page_path;     // "/www/index.html"
  std::string folder;        // "/www"; empty for a page in the root
  std::string audio_folder;  // folder + "/audio"
  std::string SoundPath(std::string_view local_sound) const;  // audio folder + "/" + file name
  std::string ClassPath() const;                               // folder + "/" + class file name
  std::string BesidePage(std::string_view local_file) const;    // folder + "/" + its file name
  std::string ResourcePath(std::string_view resource_file_name) const;
};

// The local sounds in the order they go to the site: per combination the
// entrance, the exit and (unless no_background) the background sound. A sound
// used by several combinations is sent once per use.
std::vector<std::string> SoundUploadOrder(const std::vector<std::string>& entrance,
                                          const std::vector<std::string>& exit,
                                          const std::vector<std::string>& background,
                                          bool no_background);

// The files a publish sends, all local paths but remote_path.
struct PublishFiles {
  std::string temp_page_path;        // the edited page (deleted when the publish ends)
  std::string remote_path;           // the page on the server
  std::vector<std::string> sounds;   // in SoundUploadOrder
  // The browser player's copies of the sounds, sent into the audio folder
  // after the sounds, without a progress report.
  std::vector<std::string> sound_copies;
  std::string applet_class_path;
  std::string player_script_path;    // sent beside the page after the class file; empty: none
  std::string local_resource_path;
  std::string resource_file_name;    // its name on the site
  // The browser player's data files, sent beside the page after the resource
  // file (under their own file names), without a progress report.
  std::vector<std::string> player_data_paths;
};

// The two FTP steps of a run on a remote page, as the run sees them (tests
// of the run put a fake in its place).
class PageTransfer {
 public:
  virtual ~PageTransfer() = default;
  virtual Status FetchRemotePage(const std::string& remote_path,
                                 const std::string& temp_page_path,
                                 const std::string& retrieving_text) = 0;
  virtual Status PublishRemotePage(const PublishFiles& files) = 0;
};

// The FTP side of one run: owns the run's connection from the fetch to the end
// of the publish step. Messages go to `ui` as system-modal boxes: any non-ok
// result other than Cancelled has been shown to the user already, the
// connection is closed and the temporary page deleted; the run then ends as
// after any FTP failure. `ui` and `observer` must outlive this object.
class RemotePageTransfer : public PageTransfer {
 public:
  RemotePageTransfer(FtpEndpoint endpoint, UserInterface& ui, TransferObserver& observer,
                     RetryPolicy policy = {});
  ~RemotePageTransfer() override;

  // Opens the run's connection and downloads `remote_path` byte for byte to
  // `temp_page_path`, retrying a failed download after a reconnect. The old
  // page's bytes are kept for the publish's backup.
  // retrieving_text: the progress text shown again after each reconnect.
  Status FetchRemotePage(const std::string& remote_path, const std::string& temp_page_path,
                         const std::string& retrieving_text) override;

  // Sends the sounds and their browser copies into the audio folder (created
  // when missing), the class file, the player script when there is one, the
  // resource file and the player's data files, and the page last: its replacement is the publish's commit point. All in binary.
  // Each file goes up under a temporary name (".NAME.part", or
  // "NAME.sonavelt-part" on a server that refuses names starting with "."),
  // its size is checked, and it replaces the file on the site in one rename.
  // On a server that refuses renames, the other files are written in place
  // and the page only once its old text is kept on the site under a backup
  // name; the backup goes when the new page is complete.
  // Any failure before the page leaves the page as it was and says which files
  // were put beside it; temporary files are removed as far as the server
  // allows. A refusal (IsPermanentFailure) is not tried again.
  // Opens a connection when the fetch's is gone. Closes the connection and
  // deletes temp_page_path at the end.
  Status PublishRemotePage(const PublishFiles& files) override;

  // A fresh connection in place of the current one. On failure tells the
  // error's text (or "Ftp connection failed.") and answers false; the old
  // connection object stays.
  bool ReconnectRun();

  // Drops the connection, if any.
  void Close();

  // Off: the publish sends everything over the run's own connection, without
  // the second one that places files beside the page alongside it (on by
  // default, FTP and FTPS only).
  void set_second_connection(bool on) { second_connection_ = on; }

 private:
  // A fresh connection in place of the current one, telling nobody.
  Status Reconnect();
  // Opens the run's connection; on failure tells why and cleans up (Fail).
  Status OpenConnection(const std::string& temp_page_path);
  // Tells `text` (system-modal), drops the connection, deletes the temporary page.
  Status Fail(const std::string& text, const std::string& temp_page_path);
  // Runs `attempt` until it succeeds or the policy's attempts are used up,
  // with (optionally) the lost-connection notice, the cancel check, a growing
  // wait, a reconnect and `before_retry` between attempts.
  Status WithRetries(const std::function<Status()>& attempt,
                     const std::function<void()>& before_retry,
                     bool show_lost_connection = true);

  // A new connection object (not yet connected), with the cancel flag.
  std::unique_ptr<FtpConnection> NewConnection();
  // Sends `data` under a temporary name beside `target` (check_size: and
  // checks its size on the server); *temporary: its path. Falls back to a
  // name without a leading "." when the server refuses the first.
  Status StoreTemporary(const std::string& data, const std::string& target,
                        std::string* temporary, bool check_size);
  // StoreTemporary, then the rename onto `target`; a rename refused for a
  // temporary name starting with "." is tried once more with the other name.
  // *rename_refused: the server refuses renames (the temporary file is
  // complete and still there).
  Status SendAndRename(const std::string& data, const std::string& target,
                       std::string* temporary, bool* rename_refused, bool check_size);
  // Puts one file (not the page) in place: temporary name, check, rename.
  Status PlaceFile(const std::string& data, const std::string& target);
  // Puts the page in place; see PublishRemotePage.
  Status PlacePage(const std::string& data, const std::string& target,
                   const std::string& temp_page_path);
  // Enters `folder`, creating it when it is missing.
  Status EnsureFolder(const std::string& folder);
  // A publish that failed or was cancelled while sending `announced`.
  Status EndPublish(const Status& status, const std::string& announced,
                    const std::string& temp_page_path);
  // Sends `data` straight to `target` and checks its size.
  Status StoreChecked(const std::string& data, const std::string& target);
  // Removes what this publish left on the server, as far as it can;
  // connection_lost: on a new connection, with short time-outs.
  void RemoveTemporaries(bool connection_lost = false);

  // A file beside the page: its local path and its path on the site.
  struct SideFile {
    std::string local;
    std::string remote;
    bool quiet = false;  // announced to nobody
  };
  class SecondLane;

  FtpEndpoint endpoint_;
  UserInterface& ui_;
  TransferObserver& observer_;
  RetryPolicy policy_;
  std::unique_ptr<FtpConnection> connection_;
  // What the server was found to refuse during this run.
  bool dot_names_refused_ = false;
  bool renames_refused_ = false;
  bool second_connection_ = true;
  // The page as fetched, byte for byte.
  std::string original_page_;
  // Remote files this publish put in place, and its temporary files on the
  // server (removed on failure).
  std::vector<std::string> placed_;
  std::vector<std::string> temporaries_;
  // Set once the page's replacement has begun: failures no longer leave
  // the page as it was, and say what they leave.
  std::string page_note_;
};

}  // namespace sonavelt::remote
