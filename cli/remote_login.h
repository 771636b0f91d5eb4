#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/user_interface.h"
#include "remote/ftp_address.h"
#include "run/run_inputs.h"
#include "settings/settings_store.h"

// sonavelt-cli run on a page that lives on a site: the address on the command
// line, the password from the environment or the terminal, and the address
// remembered for the wizard's connect dialog.
namespace sonavelt::cli {

// The environment variable a script gives the site's password in.
inline constexpr char kPasswordVariable[] = "SONAVELT_FTP_PASSWORD";
// ... and the passphrase of an encrypted SSH key (--identity). It unlocks the
// key on this machine and is never sent to a server.
inline constexpr char kPassphraseVariable[] = "SONAVELT_SSH_PASSPHRASE";

// True when `text` is meant as a remote page: it starts with "ftp://",
// "ftpes://", "ftps://" or "sftp://" (any case).
bool IsRemotePageAddress(std::string_view text);

// What a run on a remote page needs.
struct RemotePage {
  bool ok = false;  // false: the user has been told why
  run::PageTarget page;
  remote::FtpEndpoint endpoint;  // holds the password: never print or store it
};

// The remote options of the command line.
struct RemoteOptions {
  std::string ca_file;       // --ca-file: a site's own CA certificates (PEM)
  std::string host_key;      // --host-key: the SSH host key's fingerprint, "SHA256:" optional
  std::string identity;      // --identity: an SSH private key file
  bool password_login = false;  // --password-login: with a key, offer the password too
};

// Parses `address_text`, remembers it (without any password) in the address
// history of `store` before any connection is made, and asks for the password
// of a named user (see ReadPassword) unless an SFTP key file alone logs in;
// an encrypted key file's passphrase comes from kPassphraseVariable, else
// the terminal. The options go into the endpoint; SFTP
// also offers the SSH agent's keys when SSH_AUTH_SOCK is set, and checks host
// keys against the program's own known-hosts file and the user's. Refusals
// (among them: no password to be had) are plain boxes on `ui`.
RemotePage PrepareRemotePage(const std::string& address_text, const RemoteOptions& options,
                             run::SettingsStore& store, UserInterface& ui);

// The password of `user` on `server`: the value of kPasswordVariable when it
// is set (even empty), else asked on the controlling terminal with echo off;
// nullopt when there is neither.
std::optional<std::string> ReadPassword(const std::string& user, const std::string& server);
// The passphrase of the key file `key_file`: the value of kPassphraseVariable
// when it is set, else asked on the terminal; nullopt when there is neither.
std::optional<std::string> ReadPassphrase(const std::string& key_file);

// What to do when there is no password (or passphrase) to be had.
std::string NoPasswordText(const std::string& user, const std::string& server);
std::string NoPassphraseText(const std::string& key_file);

}  // namespace sonavelt::cli
