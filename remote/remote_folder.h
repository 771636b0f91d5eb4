#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"
#include "remote/ftp_address.h"
#include "remote/ftp_connection.h"
#include "transport/page_transport.h"

// A remote page's folder for taking the player off the page again
// (run::RemoteFolder) over one FtpConnection (FTP, FTPS or SFTP). Each step
// is tried once: a removal that fails before the page leaves the site as it
// was, and is simply run again. Failures name the file, the site and the
// server's words (messages.h).
namespace sonavelt::remote {

class FtpRemoteFolder : public run::RemoteFolder {
 public:
  // `cancel` (may be null) stops a transfer within a second; it must
  // outlive the object. An endpoint without a server takes the page's site.
  explicit FtpRemoteFolder(FtpEndpoint endpoint, const std::atomic<bool>* cancel = nullptr);
  ~FtpRemoteFolder() override;

  Status Open(const run::RemotePage& page) override;
  Status List(const std::string& folder, std::vector<std::string>* names) override;
  Status Fetch(const std::string& remote_path, const std::string& local_path) override;
  Status Replace(const std::string& local_path, const std::string& remote_path) override;
  Status Delete(const std::string& remote_path) override;
  Status RemoveEmptyFolder(const std::string& remote_path) override;
  void Close() override;

 private:
  FtpEndpoint endpoint_;
  const std::atomic<bool>* cancel_;
  std::unique_ptr<FtpConnection> connection_;
};

}  // namespace sonavelt::remote
