#pragma once

#include <optional>
#include <string>

#include "base/user_interface.h"
#include "run/site_login.h"
#include "settings/settings_store.h"

// sonavelt-cli run on a page that lives on a site: the address on the command
// line, the password from the environment or the terminal, and the address
// remembered for the wizard's connect dialog (run/site_login.h).
namespace sonavelt::cli {

// The environment variable a script gives the site's password in.
inline constexpr char kPasswordVariable[] = "SONAVELT_FTP_PASSWORD";
// ... and the passphrase of an encrypted SSH key (--identity). It unlocks the
// key on this machine and is never sent to a server.
inline constexpr char kPassphraseVariable[] = "SONAVELT_SSH_PASSPHRASE";

using run::IsRemotePageAddress;
using RemotePage = run::SitePage;
// --ca-file, --host-key, --identity and --password-login.
using RemoteOptions = run::SiteLoginOptions;

// run::PrepareSitePage with the secrets of the command line: the password
// of a named user from kPasswordVariable, else the terminal (ReadPassword);
// an encrypted key file's passphrase from kPassphraseVariable, else the
// terminal (ReadPassphrase).
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
