#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "remote/ftp_address.h"
#include "remote/ftp_connection.h"
#include "remote/helper_lanes.h"
#include "remote/upload_plan.h"
#include "transport/page_transport.h"

// A run on a remote page: fetching the page before it is processed and
// publishing the result afterwards, with reconnects after failed transfers.
namespace sonavelt::remote {

// How often a failed transfer is tried again. Every attempt after the first
// is preceded by a reconnect and a wait that doubles each time.
struct RetryPolicy {
  int max_attempts = 4;
  std::chrono::milliseconds first_wait{1000};
};

// The FTP side of a run on a remote page: owns the run's connection from the
// fetch to the end of the publish step. The front end makes one, sets the
// endpoint of the page picked last (set_endpoint) and lends it to the runs.
// A failed step returns its message (system-modal) for the run to show; by
// then the connection is closed and the local page copy deleted.
class RemotePageTransfer : public run::PageTransport {
 public:
  explicit RemotePageTransfer(FtpEndpoint endpoint = {}, RetryPolicy policy = {});
  ~RemotePageTransfer() override;

  // The site, login and connection settings of the page chosen last. Set
  // before a run starts, never while one works: the run reads it on its own
  // thread. An endpoint without a server takes the page's site.
  void set_endpoint(FtpEndpoint endpoint) { settings_ = std::move(endpoint); }
  const FtpEndpoint& endpoint() const { return settings_; }

  // Opens the run's connection and downloads the page byte for byte into
  // *bytes, retrying a failed download after a reconnect. The old page's
  // bytes are kept for the publish's backup.
  Status FetchPage(const run::RemotePage& page, std::string* bytes,
                   const std::string& progress_text, run::TransferObserver& observer) override;

  // Sends the sounds and their browser copies into the audio folder (created
  // when missing), the class file, the player script when there is one, the
  // resource file and the player's data files, and the page last: its
  // replacement is the publish's commit point. All in binary, as planned by
  // PlanUpload (upload_plan.h), over up to kMaxConnections connections.
  // A file the live page names goes up under a temporary name (".NAME.TAG.part",
  // or "NAME.TAG.sonavelt-part" on a server that refuses names starting with
  // "."), its size is checked, and it replaces the file on the site in one
  // rename; a file the live page does not name goes straight to its name.
  // Every file's size on the server is proved equal to the size sent before
  // the page goes up (FTP: one listing per folder, STAT; a mismatch is sent
  // once more, a second one stops the publish).
  // On a server that refuses renames, the other files are written in place
  // and the page only once its old text is kept on the site under a backup
  // name; the backup goes when the new page is complete.
  // Any failure before the page leaves the page as it was and says which files
  // were put beside it; temporary files are removed as far as the server
  // allows. A refusal (IsPermanentFailure) is not tried again.
  // Opens a connection when the fetch's is gone. Closes the connection at
  // the end.
  Status PublishPage(const run::RemotePage& page, const run::PublishFiles& files,
                     run::TransferObserver& observer) override;

  // One try, in binary, without reconnecting: what it reads is a record the
  // run can do without.
  Status FetchBesidePage(const run::RemotePage& page, const std::string& name,
                         std::string* bytes) override;

  // One try, like FetchBesidePage; a failure other than NotFound closes
  // the connection and says which folder could not be read.
  Status ListBesidePage(const run::RemotePage& page, const std::string& sub_folder,
                        std::vector<std::string>* names) override;

  // A fresh connection in place of the current one. On failure returns the
  // error's text (or "Ftp connection failed.") to show; the old connection
  // object stays.
  Status ReconnectRun();

  // Drops the connection, if any.
  void Close();

  // Off: the publish sends everything over the run's own connection, without
  // the others that place files beside the page alongside it (on by
  // default, FTP and FTPS only: one more per kFilesPerLane files, up to
  // kMaxConnections in all).
  void set_second_connection(bool on) { second_connection_ = on; }
  static constexpr int kMaxConnections = 4;

 private:
  // A fresh connection in place of the current one, telling nobody.
  Status Reconnect();
  // The endpoint of a run on `page`, and a start without the last run's
  // connection or anything it found out about its server.
  void BeginRun(const run::RemotePage& page);
  // Opens the run's connection; on failure cleans up and says why (Fail).
  Status OpenConnection();
  // Drops the connection and returns `text` as the failure to show
  // (system-modal).
  Status Fail(const std::string& text);
  // Runs `attempt` until it succeeds or the policy's attempts are used up,
  // with (optionally) the lost-connection notice, the cancel check, a growing
  // wait, a reconnect and `before_retry` between attempts.
  Status WithRetries(const std::function<Status()>& attempt,
                     const std::function<void()>& before_retry,
                     bool show_lost_connection = true);

  // A new connection object (not yet connected), with the cancel flag.
  std::unique_ptr<FtpConnection> NewConnection();
  // A tag no earlier attempt of this run used, for a temporary name.
  std::string FreshTag();
  // Sends `data` to `path` and proves it: the size on the server must be the
  // size sent (Corrupt, with a message that names `shown`, when not).
  Status StoreChecked(const std::string& data, const std::string& path, const std::string& shown);
  // StoreChecked to `target` itself, once more after a mismatch; a second
  // mismatch is Refused.
  Status StoreProved(const std::string& data, const std::string& target);
  // Sends `data` under a fresh temporary name beside `target` and proves
  // its size; *temporary: its path. Falls back to a name without a leading
  // "." when the server refuses the first.
  Status StoreTemporaryOnce(const std::string& data, const std::string& target,
                            std::string* temporary);
  // StoreTemporaryOnce; a size mismatch removes that copy and tries once more
  // under a fresh name, and a second mismatch is Refused (not retried).
  Status StoreTemporary(const std::string& data, const std::string& target,
                        std::string* temporary);
  // StoreTemporary, then the rename onto `target`; a rename refused for a
  // temporary name starting with "." is tried once more with the other name.
  // *rename_refused: the server refuses renames (the temporary file is
  // complete and still there).
  Status SendAndRename(const std::string& data, const std::string& target,
                       std::string* temporary, bool* rename_refused);
  // Deletes the temporary files of failed attempts, as far as the server
  // lets it (the others stay listed for the end of the publish).
  void RemoveStale();
  // True when the page on the site still holds the bytes fetched.
  bool PageIsUnchanged(const std::string& target);

  // The executor of a plan: every step below works on the run's own
  // connection, the helper lanes on theirs.
  Status CarryOut(const UploadPlan& plan, const std::string& page);
  // One file with every fallback and retry: announced (unless quiet), read,
  // placed; announced again as a repeat before each further attempt.
  Status Send(const PlannedFile& file);
  // Puts one file (not the page) in place. direct: the first attempt goes
  // straight to its name; with plan_->prove_by_listing its size is proved
  // later with its folder (ProveStored), else at once.
  Status PlaceFile(const std::string& data, const std::string& target, bool direct);
  // Puts the page in place; see PublishPage.
  Status PlacePage(const std::string& data, const std::string& target);
  // Enters `folder`, creating it when it is missing (create_first: MKD
  // first, CWD only when the MKD is refused).
  Status EnsureFolder(const std::string& folder, bool create_first);
  // Proves the files sent straight to their names and not yet proved: one
  // listing per folder, SIZE for what it does not show. resend: a file of
  // another size is sent once more (a second mismatch is Refused); else it
  // stays a temporary file (removed at the end of a failed publish).
  // *announced: the file being sent again, for the failure's message.
  Status ProveStored(bool resend, std::string* announced);
  // A publish that failed or was cancelled while sending `announced`.
  Status EndPublish(const Status& status, const std::string& announced);
  // Removes what this publish left on the server, as far as it can;
  // connection_lost: on a new connection, with short time-outs.
  void RemoveTemporaries(bool connection_lost = false);
  // placed_ in the plan's order, the page last.
  void SortPlaced();

  FtpEndpoint settings_;  // as set by the front end
  FtpEndpoint endpoint_;  // the current run's: the settings, with the page's site
  // The observer of the call in progress; a quiet one between calls.
  run::TransferObserver* observer_;
  RetryPolicy policy_;
  std::unique_ptr<FtpConnection> connection_;
  // What the server was found to refuse during this run.
  bool dot_names_refused_ = false;
  bool renames_refused_ = false;
  bool second_connection_ = true;
  // Temporary names: "TAG-N", TAG fresh for each publish, N counting attempts.
  std::string run_tag_;
  int serial_ = 0;
  // The page as fetched, byte for byte.
  std::string original_page_;
  // Remote files this publish put in place, and its temporary files on the
  // server (removed on failure).
  std::vector<std::string> placed_;
  std::vector<std::string> temporaries_;
  // Complete copies of the new page from in-place writes that failed and
  // were tried again: deleted once the page is complete.
  std::vector<std::string> superseded_;
  // Files (remote paths) this publish has tried to place at least once.
  std::set<std::string> attempted_;
  // Files sent straight to their names, not yet proved; at the end of a failed
  // publish they count as placed once proved, else they are removed.
  std::vector<StoredFile> unproved_;
  // The plan being carried out; nullptr between publishes.
  const UploadPlan* plan_ = nullptr;
  // Set once the page's replacement has begun: failures no longer leave
  // the page as it was, and say what they leave.
  std::string page_note_;
};

}  // namespace sonavelt::remote
