#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/user_interface.h"
#include "remote/ftp_address.h"
#include "run/run_inputs.h"

// A page on a site as a command names it: the address, the login options
// beside it, and the secrets, asked for only when the login needs them. The
// address is remembered (never the password) for the wizard's connect
// dialog, before any connection is made.
namespace sonavelt::run {

class SettingsStore;

// True when `text` is meant as a remote page: it starts with "ftp://",
// "ftpes://", "ftps://" or "sftp://" (any case).
bool IsRemotePageAddress(std::string_view text);

// The login's options beyond the address.
struct SiteLoginOptions {
  std::string ca_file;          // a site's own CA certificates (PEM)
  std::string host_key;         // the SSH host key's fingerprint, "SHA256:" optional
  std::string identity;         // an SSH private key file
  bool password_login = false;  // with a key, offer the password too
};

// Where a front end finds the secrets of a login, and what it tells when
// there is none to be had.
class SiteSecrets {
 public:
  virtual ~SiteSecrets() = default;
  // The password of `user` on `server`; nullopt when there is none.
  virtual std::optional<std::string> Password(const std::string& user,
                                              const std::string& server) = 0;
  // The passphrase of an encrypted key file; nullopt when there is none.
  virtual std::optional<std::string> Passphrase(const std::string& key_file) = 0;
  virtual std::string NoPasswordText(const std::string& user, const std::string& server) = 0;
  virtual std::string NoPassphraseText(const std::string& key_file) = 0;
  // The note for a password written in the address, which is never used.
  virtual std::string AddressPasswordText() = 0;
};

// What a run (or a removal) on a remote page needs.
struct SitePage {
  Status status;  // a refusal (a plain box), for the front end to show
  PageTarget page;
  remote::FtpEndpoint endpoint;  // holds the password: never print or store it
};

// Parses `address_text`, which must name a page; remembers it in the
// address history of `store` (a failed write is told, and the login goes
// on); reads the key file's passphrase when it is encrypted, and the
// password of a named user unless an SFTP key file alone logs in. SFTP
// also offers the SSH agent's keys when SSH_AUTH_SOCK is set, and checks
// host keys against the program's own known-hosts file and the user's.
// Notes the login goes on after (a password written in the address is not
// used, the address could not be remembered) are told on `ui`; a refusal
// comes back in SitePage::status.
SitePage PrepareSitePage(const std::string& address_text, const SiteLoginOptions& options,
                         SiteSecrets& secrets, SettingsStore& store, UserInterface& ui);

}  // namespace sonavelt::run
