#pragma once

#include <string>
#include <vector>

#include "base/status.h"
#include "remote/ftp_address.h"
#include "remote/listing_parser.h"

namespace sonavelt::remote {

enum class TransferType {
  kAscii,   // the page: line ends become the server's text line ends
  kBinary,  // sounds, class and resource files: byte for byte
};

// One logged-in session with an FTP, FTPS or SFTP site, over one libcurl easy
// handle that keeps its control connection from one operation to the next.
//
// Paths are remote paths: absolute ("/www/index.html") or relative to
// current_directory(). The current directory lives on our side: every
// operation names its full path, so a connection that curl had to re-open
// (after the server dropped it) has no state to replay, and the next
// operation simply logs in again.
//
// Operations answer a Status: ok, or a message that carries the server's own
// reply line ("530 Login incorrect.") when the server gave one, else libcurl's
// description of what went wrong. Nothing throws. Not thread-safe: one thread
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
  bool has_session() const { return handle_ != nullptr; }
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
  // Copies a remote file to `local_path`, replacing it. The local file is
  // written under a temporary name and renamed when complete, so a failed
  // download leaves no partial file. ASCII: the local copy has "\n" line ends.
  Status Download(const std::string& remote_path, const std::string& local_path,
                  TransferType type);
  // Copies a local file to `remote_path`. The data go to a temporary name in
  // the same folder, which then replaces the target in one rename: the target
  // is the old file or the new one, never a partial one (on a server that
  // refuses the rename, the file is sent straight to its name instead).
  // ASCII: "\r\n" in the local file is sent as one line end (the server
  // stores its own).
  Status Upload(const std::string& local_path, const std::string& remote_path,
                TransferType type);
  // Deletes a remote file.
  Status Delete(const std::string& remote_path);
  // Drops the control connection (the next operation would open a new one).
  void Close();

  // The temporary name an upload to `remote_path` uses.
  static std::string TemporaryUploadPath(const std::string& remote_path);

  // One request's options and collected replies (used by the libcurl
  // callbacks in the source file).
  struct Perform;

 private:
  Status Run(Perform& request);
  std::string Absolute(const std::string& path) const;
  std::string UrlFor(const std::string& absolute_path, bool folder) const;
  std::string QuotedPath(const std::string& absolute_path) const;

  FtpEndpoint endpoint_;
  void* handle_ = nullptr;  // CURL*
  std::string home_directory_;
  std::string current_directory_ = "/";
};

}  // namespace sonavelt::remote
