#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"
#include "remote/ftp_address.h"
#include "remote/listing_parser.h"

namespace sonavelt::remote {

// True for a failure that trying again cannot mend: the server refused the
// command (a 5xx reply, an SFTP permission or no-such-file answer, a refused
// login or certificate). Lost connections, time-outs and 4xx replies are not.
bool IsPermanentFailure(const Status& status);

// One logged-in session with an FTP, FTPS or SFTP site, over one libcurl easy
// handle that keeps its control connection from one operation to the next.
// Files travel byte for byte (a page's line ends stay its own).
//
// Paths are remote paths: absolute ("/www/index.html") or relative to
// current_directory(). The current directory lives on our side: every
// operation names its full path, so a connection that curl had to re-open
// (after the server dropped it) has no state to replay, and the next
// operation simply logs in again.
//
// Operations answer a Status: ok, or a message that carries the reply line of
// the command that failed ("530 Login incorrect.") when the server gave one,
// else what went wrong in plain words. Refused and NotFound mean the server
// said no (IsPermanentFailure); IoError, that the connection was lost or timed
// out; Cancelled, that the cancel flag stopped the operation. Nothing throws. Not thread-safe: one thread
// at a time (the handle may move between threads between calls).
//
// The password is handed to libcurl as an option: it never appears in a URL,
// a message or a log.
class FtpConnection : public RemoteLister {
 public:
  explicit FtpConnection(FtpEndpoint endpoint);
  ~FtpConnection();
  FtpConnection(const FtpConnection&) = delete;
  FtpConnection& operator=(const FtpConnection&) = delete;

  // Contacts the server and logs in; on success home_directory() and
  // current_directory() are the server's login directory.
  // fresh: drop any open control connection and make a new one.
  Status Open(bool fresh = false);

  // False when libcurl could not set up a handle at all (no operation can
  // work; the program's "Cannot open an Internet connection" case).
  bool has_session() const { return handle_ != nullptr && multi_ != nullptr; }
  const FtpEndpoint& endpoint() const { return endpoint_; }
  const std::string& home_directory() const { return home_directory_; }
  const std::string& current_directory() const { return current_directory_; }

  // Makes `path` the current directory if the server has such a folder and
  // lets us in; NotFound (with the server's reply) when not. The connection
  // stays usable either way.
  Status ChangeDirectory(const std::string& path);
  // Creates one folder (its parent must exist). Refused when the server
  // refuses (it may exist already); the connection stays usable.
  Status CreateDirectory(const std::string& path);
  // The entries of a folder in the server's order, "." and ".." left out.
  Status List(const std::string& folder, std::vector<RemoteEntry>* entries) override;
  // Reads a remote file into *bytes (empty on failure).
  Status Download(const std::string& remote_path, std::string* bytes);
  // Copies a remote file to `local_path` with file_io::WriteFileAtomically
  // (a temporary name the clean-up knows, flushed, renamed), so a failed
  // download leaves the local file as it was. A local failure says
  // "writing LOCAL_PATH: " and the system's words.
  Status Download(const std::string& remote_path, const std::string& local_path);
  // Sends `data` (binary) to `remote_path`, creating or overwriting it.
  // stored_size (optional): the file's size on the server afterwards, -1
  // when the server does not tell.
  Status Store(const std::string& data, const std::string& remote_path,
               int64_t* stored_size = nullptr);
  // The size of a remote file in bytes (SIZE, else the server's stat).
  Status Size(const std::string& remote_path, int64_t* size);
  // The plain files of `folder` with their sizes, as the server lists them
  // on the control connection (STAT with a path: one round trip, no data
  // connection). FTP and FTPS; Refused when the server will not (SFTP too).
  Status ListSizes(const std::string& folder, std::vector<ListedFile>* files);
  // Renames a remote file. FTP: RNFR/RNTO, which replaces an existing target.
  // SFTP: the target must not exist.
  Status Rename(const std::string& from, const std::string& to);
  // Puts the complete file `complete` in the place of `target` (which may
  // exist). FTP: one rename. SFTP, where a rename does not replace: `target`
  // is renamed to its BackupPath, `complete` to `target`, and the backup is
  // deleted; the old file is never deleted before the new one is in place.
  Status Replace(const std::string& complete, const std::string& target);
  // Deletes a remote file.
  Status Delete(const std::string& remote_path);
  // Removes a remote folder; the server refuses one that is not empty.
  Status RemoveDirectory(const std::string& remote_path);
  // Whether a file exists, from a listing of its folder.
  Status Exists(const std::string& remote_path, bool* exists);

  // While *flag is true every operation stops within about a second and
  // answers Cancelled. nullptr: never. The flag must outlive its use here.
  void set_cancel_flag(const std::atomic<bool>* flag) { cancel_flag_ = flag; }
  // Drops the control connection (the next operation would open a new one).
  void Close();

  // The temporary name an upload to `remote_path` uses: ".NAME.part" beside
  // it; dot_name false: "NAME.sonavelt-part", for servers that refuse names
  // starting with ".". A tag makes it ".NAME.TAG.part" ("NAME.TAG.sonavelt-part"):
  // each attempt of a publish has a name of its own, so that an attempt never
  // meets the file (and a server's upload lock) of an earlier one.
  static std::string TemporaryUploadPath(const std::string& remote_path, bool dot_name = true,
                                         const std::string& tag = "");
  // The name the old file is kept under while a new one replaces it:
  // ".NAME.old", or "NAME.sonavelt-old".
  static std::string BackupPath(const std::string& remote_path, bool dot_name = true);

  // One request's options and collected replies (used by the libcurl
  // callbacks in the source file).
  struct Perform;

 private:
  Status Run(Perform& request);
  // Sends one command on `remote_path` in its parent folder: `sftp_command`
  // over SFTP, else `ftp_command`, whose reply decides (5xx: Refused).
  Status RemoveEntry(const std::string& remote_path, const char* sftp_command,
                     const char* ftp_command);
  // The Status for a failed request.
  Status Explain(const Perform& request) const;
  int ConnectSeconds() const;
  int StallSeconds() const;
  std::string Absolute(const std::string& path) const;
  std::string UrlFor(const std::string& absolute_path, bool folder) const;
  std::string QuotedPath(const std::string& absolute_path) const;

  FtpEndpoint endpoint_;
  void* handle_ = nullptr;  // CURL*
  // CURLM*: drives handle_ and keeps its control connection between
  // operations, so that the program, not libcurl, decides how long to wait.
  void* multi_ = nullptr;
  std::string home_directory_;
  std::string current_directory_ = "/";
  const std::atomic<bool>* cancel_flag_ = nullptr;
};

}  // namespace sonavelt::remote
