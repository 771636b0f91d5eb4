#include "remote/remote_folder.h"

#include <utility>

#include "base/file_io.h"
#include "remote/messages.h"

namespace sonavelt::remote {
namespace {

// The file goes to a temporary name beside the target, its size on the
// server is checked, and it then replaces the target in one rename. A
// refused rename leaves the target alone and removes the temporary file.
Status SendAndReplace(FtpConnection& connection, const std::string& local_path,
                      const std::string& remote_path) {
  std::string data;
  if (Status read = file_io::ReadWholeFile(local_path, &data); !read.ok())
    return Status::IoError("reading " + local_path + ": " + read.message());
  const std::string temporary = FtpConnection::TemporaryUploadPath(remote_path);
  int64_t stored = -1;
  Status status = connection.Store(data, temporary, &stored);
  if (!status.ok()) return status;
  const auto sent = static_cast<int64_t>(data.size());
  if (stored >= 0 && stored != sent) {
    static_cast<void>(connection.Delete(temporary));  // best effort: the next try replaces it
    return Status::IoError(temporary + " arrived with " + std::to_string(stored) + " of " +
                           std::to_string(sent) + " bytes.");
  }
  status = connection.Replace(temporary, remote_path);
  if (!status.ok() && IsPermanentFailure(status)) static_cast<void>(connection.Delete(temporary));
  return status;
}

}  // namespace

FtpRemoteFolder::FtpRemoteFolder(FtpEndpoint endpoint, const std::atomic<bool>* cancel)
    : endpoint_(std::move(endpoint)), cancel_(cancel) {}

FtpRemoteFolder::~FtpRemoteFolder() { Close(); }

Status FtpRemoteFolder::Open(const run::RemotePage& page) {
  Close();
  FtpEndpoint endpoint = endpoint_;
  if (endpoint.server.empty()) endpoint.server = page.site;
  connection_ = std::make_unique<FtpConnection>(std::move(endpoint));
  connection_->set_cancel_flag(cancel_);
  if (!connection_->has_session()) return Status::IoError(std::string(kCannotOpenInternetText));
  Status status = connection_->Open();
  if (!status.ok() && !status.cancelled() && status.message().empty())
    return Status::IoError(std::string(kFtpExceptionText));
  return status;
}

Status FtpRemoteFolder::List(const std::string& folder, std::vector<std::string>* names) {
  if (!connection_) return Status::IoError(std::string(kFtpConnectionFailedText));
  std::vector<RemoteEntry> entries;
  Status status = connection_->List(folder, &entries);
  if (!status.ok()) {
    if (status.cancelled()) return status;
    return Status::IoError(
        CannotEnterFolderText(folder, connection_->endpoint().server, status.message()));
  }
  for (const RemoteEntry& entry : entries)
    if (!entry.is_directory) names->push_back(entry.name);
  return Status::Ok();
}

Status FtpRemoteFolder::Fetch(const std::string& remote_path, const std::string& local_path) {
  if (!connection_) return Status::IoError(std::string(kFtpConnectionFailedText));
  Status status = connection_->Download(remote_path, local_path);
  if (status.ok() || status.cancelled()) return status;
  return Status::IoError(
      CannotRetrieveText(remote_path, connection_->endpoint().server, status.message()));
}

Status FtpRemoteFolder::Replace(const std::string& local_path, const std::string& remote_path) {
  if (!connection_) return Status::IoError(std::string(kFtpConnectionFailedText));
  Status status = SendAndReplace(*connection_, local_path, remote_path);
  if (status.ok() || status.cancelled()) return status;
  return Status::IoError(
      CannotTransferText(remote_path, connection_->endpoint().server, status.message()));
}

Status FtpRemoteFolder::Delete(const std::string& remote_path) {
  if (!connection_) return Status::IoError(std::string(kFtpConnectionFailedText));
  return connection_->Delete(remote_path);
}

Status FtpRemoteFolder::RemoveEmptyFolder(const std::string& remote_path) {
  if (!connection_) return Status::IoError(std::string(kFtpConnectionFailedText));
  return connection_->RemoveDirectory(remote_path);
}

void FtpRemoteFolder::Close() {
  if (connection_) connection_->Close();
  connection_.reset();
}

}  // namespace sonavelt::remote
