#include "remote/browse_connect.h"

#include "remote/messages.h"

namespace sonavelt::remote {
namespace {

// The remote browser's messages are plain boxes.
Status Plain(Status status) { return std::move(status).WithBox(BoxStyle::kPlain); }

}  // namespace

BrowseConnection ConnectToSite(FtpLogin& login, const FtpEndpoint& settings,
                               StatusLine& status_line) {
  BrowseConnection result;
  result.address = ParseFtpAddress(login.address_text);
  if (!result.address.parsed) {
    status_line.Hide();
    result.status = Plain(Status::InvalidArgument(std::string(kInvalidFtpUrlText)));
    result.outcome = ConnectOutcome::kUnparsable;
    return result;
  }
  login.port = result.address.port;
  status_line.Show(ContactingText(result.address.server));
  if (!result.address.usable) {
    status_line.Hide();
    result.status = Plain(Status::InvalidArgument(std::string(kInvalidFtpUrlText)));
    return result;
  }
  FtpEndpoint endpoint = EndpointFor(result.address, login);
  endpoint.ca_file = settings.ca_file;
  endpoint.ssh_host_key_sha256 = settings.ssh_host_key_sha256;
  endpoint.ssh_private_key_file = settings.ssh_private_key_file;
  endpoint.use_ssh_agent = settings.use_ssh_agent;
  endpoint.known_hosts_file = settings.known_hosts_file;
  endpoint.connect_timeout_seconds = settings.connect_timeout_seconds;
  endpoint.stall_timeout_seconds = settings.stall_timeout_seconds;
  auto connection = std::make_unique<FtpConnection>(std::move(endpoint));
  if (!connection->has_session()) {
    status_line.Hide();
    result.status = Plain(Status::IoError(std::string(kCannotOpenInternetText)));
    result.outcome = ConnectOutcome::kNoSession;
    return result;
  }
  Status status = connection->Open();
  status_line.Hide();
  if (!status.ok()) {
    if (status.message().empty()) status = Status::IoError(std::string(kFtpExceptionText));
    result.status = Plain(std::move(status));
    return result;
  }
  login.home_directory = connection->home_directory();
  result.connection = std::move(connection);
  result.outcome = ConnectOutcome::kConnected;
  return result;
}

}  // namespace sonavelt::remote
