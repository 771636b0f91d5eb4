#include "remote/remote_folder.h"

#include <utility>

#include "remote/messages.h"

namespace sonavelt::remote {

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
  Status status = connection_->Download(remote_path, local_path, TransferType::kBinary);
  if (status.ok() || status.cancelled()) return status;
  return Status::IoError(
      CannotRetrieveText(remote_path, connection_->endpoint().server, status.message()));
}

Status FtpRemoteFolder::Replace(const std::string& local_path, const std::string& remote_path) {
  if (!connection_) return Status::IoError(std::string(kFtpConnectionFailedText));
  // Upload sends under a temporary name, checks the size and renames.
  Status status = connection_->Upload(local_path, remote_path, TransferType::kBinary);
  if (status.ok() || status.cancelled()) return status;
  return Status::IoError(
      CannotTransferText(remote_path, connection_->endpoint().server, status.message()));
}

Status FtpRemoteFolder::Delete(const std::string& remote_path) {
  if (!connection_) return Status::IoError(std::string(kFtpConnectionFailedText));
  return connection_->Delete(remote_path);
}

void FtpRemoteFolder::Close() {
  if (connection_) connection_->Close();
  connection_.reset();
}

}  // namespace sonavelt::remote
