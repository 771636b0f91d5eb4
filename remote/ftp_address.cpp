#include "remote/ftp_address.h"

#include <optional>

#include "remote/url.h"

namespace sonavelt::remote {
namespace {

std::optional<Security> SecurityOfScheme(const std::string& scheme) {
  if (scheme == "ftp") return Security::kPlain;
  if (scheme == "ftpes") return Security::kExplicitTls;
  if (scheme == "ftps") return Security::kImplicitTls;
  if (scheme == "sftp") return Security::kSsh;
  return std::nullopt;
}

}  // namespace

FtpAddress ParseFtpAddress(std::string_view address_text) {
  FtpAddress address;
  std::optional<ParsedUrl> url = ParseUrl(address_text);
  if (!url) url = ParseUrl("ftp://" + std::string(address_text));
  if (!url) return address;
  address.parsed = true;
  address.scheme = url->scheme;
  address.server = url->server;
  address.start_path = url->object;
  address.port = url->port;
  address.user_name = url->user_name;
  std::optional<Security> security = SecurityOfScheme(url->scheme);
  address.usable = security.has_value() && !address.server.empty();
  if (security) address.security = *security;
  return address;
}

FtpEndpoint EndpointFor(const FtpAddress& address, const FtpLogin& login) {
  FtpEndpoint endpoint;
  endpoint.security = address.security;
  endpoint.server = address.server;
  endpoint.port = address.port;
  // A user name typed in its field wins over one written into the address.
  endpoint.user_name = login.user_name.empty() ? address.user_name : login.user_name;
  endpoint.password = login.password;
  endpoint.ssh_private_key_file = login.key_file;
  endpoint.ssh_key_passphrase = login.key_passphrase;
  // Typed into its own field beside a key file, the password is asked for.
  endpoint.ssh_password_login = !login.key_file.empty() && !login.password.empty();
  endpoint.ca_file = login.ca_file;
  return endpoint;
}

bool IsSafeEntryName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (c == '/' || c == '\\' || u < 0x20 || u == 0x7f) return false;
  }
  return true;
}

bool IsSafeRemotePath(std::string_view path) {
  if (path.empty() || path.front() != '/') return false;
  size_t start = 1;
  while (start <= path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view component = path.substr(start, end - start);
    if (!component.empty() && !IsSafeEntryName(component)) return false;
    start = end + 1;
  }
  return true;
}

}  // namespace sonavelt::remote
