#include "run/site_login.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <utility>

#include "base/text.h"
#include "remote/address_history.h"
#include "remote/messages.h"
#include "remote/ssh_host_key.h"
#include "remote/url.h"
#include "run/run_messages.h"
#include "settings/address_history_store.h"
#include "settings/settings_store.h"

namespace sonavelt::run {
namespace {

// Why the login cannot go on, before any connection: a plain box.
SitePage Refused(std::string why) {
  SitePage out;
  out.status = Status::Refused(std::move(why)).WithBox(BoxStyle::kPlain);
  return out;
}

}  // namespace

bool IsRemotePageAddress(std::string_view text) {
  const std::string lower = LowerCopy(std::string(text.substr(0, 8)));
  for (std::string_view scheme : {"ftp://", "ftpes://", "ftps://", "sftp://"})
    if (lower.rfind(scheme, 0) == 0) return true;
  return false;
}

SitePage PrepareSitePage(const std::string& address_text, const SiteLoginOptions& options,
                         SiteSecrets& secrets, SettingsStore& store, UserInterface& ui) {
  SitePage out;
  remote::FtpAddress address = remote::ParseFtpAddress(address_text);
  if (!address.usable) return Refused(std::string(remote::kInvalidFtpUrlText));
  // The run replaces one file: the address must name it, and every part of
  // its path must name exactly one entry on the site.
  const std::string& path = address.start_path;
  if (path.empty() || path.back() == '/' || !remote::IsSafeRemotePath(path))
    return Refused(address_text + " does not name a page.\r\n" +
                   std::string(remote::kSelectHtmlFileText));
  if (remote::AddressWithoutPassword(address_text) != address_text)
    ui.Tell(BoxStyle::kPlain, secrets.AddressPasswordText());

  // Remembered before connecting, so that an address that then fails is
  // still offered next time.
  remote::AddressHistory history = LoadAddressHistory(store);
  history.Remember(address_text);
  if (!SaveAddressHistory(history, store).ok())
    ui.Tell(BoxStyle::kPlain, AddressNotRememberedMessage(store.FilePath()));

  remote::FtpLogin login;
  login.address_text = address_text;
  login.user_name = address.user_name;
  login.port = address.port;
  std::string identity;
  if (!options.identity.empty()) {
    std::error_code ec;
    identity = std::filesystem::absolute(options.identity, ec).string();
    if (access(identity.c_str(), R_OK) != 0) {
      return Refused("The key file " + identity + " cannot be read.");
    }
  }
  const char* agent = std::getenv("SSH_AUTH_SOCK");
  bool use_agent = address.security == remote::Security::kSsh && agent != nullptr && agent[0];
  const bool ssh = address.security == remote::Security::kSsh;
  if (ssh && !identity.empty() && remote::PrivateKeyIsEncrypted(identity)) {
    std::optional<std::string> passphrase = secrets.Passphrase(identity);
    if (!passphrase) {
      return Refused(secrets.NoPassphraseText(identity));
    }
    login.key_passphrase = *passphrase;
  }
  // Over SFTP with a key, the password is asked for only when the user wants
  // a password login as well.
  const bool password_wanted = !ssh || identity.empty() || options.password_login;
  if (!login.user_name.empty() && password_wanted) {
    std::optional<std::string> password = secrets.Password(login.user_name, address.server);
    // A key (or the agent) may log in without one; else it must be given.
    bool key_login = ssh && (!identity.empty() || use_agent);
    if (!password && !key_login) {
      return Refused(secrets.NoPasswordText(login.user_name, address.server));
    }
    login.password = password.value_or("");
  }
  out.endpoint = remote::EndpointFor(address, login);
  out.endpoint.ca_file = options.ca_file;
  // Taken as OpenSSH prints it, with or without its "SHA256:" in front.
  const std::string& key = options.host_key;
  out.endpoint.ssh_host_key_sha256 = key.rfind("SHA256:", 0) == 0 ? key.substr(7) : key;
  out.endpoint.ssh_private_key_file = identity;
  out.endpoint.ssh_key_passphrase = login.key_passphrase;
  out.endpoint.ssh_password_login = ssh && !identity.empty() && options.password_login;
  out.endpoint.use_ssh_agent = use_agent;
  out.endpoint.known_hosts_file = remote::DefaultKnownHostsFile();
  out.page.is_remote = true;
  out.page.remote_site = address.server;
  out.page.remote_scheme = address.scheme;
  out.page.remote_user = out.endpoint.user_name;
  out.page.remote_port = address.port;
  out.page.remote_path = path;
  return out;
}

}  // namespace sonavelt::run
