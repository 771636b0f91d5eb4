#include "app/remote_site_chooser.h"

#include <QApplication>

#include <cstdlib>

#include "app/connect_dialog.h"
#include "app/ftp_work_thread.h"
#include "app/remote_file_browser.h"
#include "remote/messages.h"
#include "remote/ssh_host_key.h"
#include "run/run_launcher.h"
#include "run/run_messages.h"
#include "settings/address_history_store.h"

namespace sonavelt::app {

RemoteSiteChooser::RemoteSiteChooser(run::SettingsStore& store, UserInterface& ui,
                                     std::function<void(uint32_t context)> show_help)
    : store_(store),
      ui_(ui),
      show_help_(std::move(show_help)),
      history_(run::LoadAddressHistory(store)) {}

bool RemoteSiteChooser::AcceptHostKey(const remote::FtpAddress& address,
                                      remote::FtpEndpoint& settings) {
  std::string fingerprint, blob;
  Status read;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  FtpWorkThread work;
  work.RunAndWait([&] {
    read = remote::ReadSshHostKey(address.server, address.port, settings.connect_timeout_seconds,
                                  &fingerprint, &blob);
  });
  QApplication::restoreOverrideCursor();
  // A server that cannot be reached fails the connect, which says why.
  if (!read.ok()) return true;
  remote::KnownHostMatch own =
      remote::FindKnownHost(settings.known_hosts_file, address.server, address.port, blob);
  remote::KnownHostMatch user =
      remote::FindKnownHost(remote::UserKnownHostsFile(), address.server, address.port, blob);
  if (own == remote::KnownHostMatch::kMismatch || user == remote::KnownHostMatch::kMismatch) {
    std::string file;
    int line = 0;
    remote::FindChangedHostKey(settings.known_hosts_file, address.server, address.port, blob,
                               &file, &line);
    ui_.Tell(BoxStyle::kPlain, remote::ChangedHostKeyText(address.server, fingerprint, file, line));
    return false;
  }
  if (own == remote::KnownHostMatch::kMissing && user == remote::KnownHostMatch::kMissing) {
    if (!ui_.Ask(BoxStyle::kPlain, "The SSH host key of " + address.server + " is\r\n\r\n" +
                                       "SHA256:" + fingerprint + "\r\n\r\n" +
                                       "Do you trust this server and connect?"))
      return false;
    // Remembered for later program runs; a file that cannot be written
    // leaves the key accepted for this connection only.
    Status kept = remote::RememberHostKey(settings.known_hosts_file, address.server, address.port, blob);
    if (!kept.ok()) ui_.Tell(BoxStyle::kPlain, kept.message());
  }
  // The key the user trusts is the only one this connection and the run take.
  settings.ssh_host_key_sha256 = fingerprint;
  return true;
}

bool RemoteSiteChooser::ChooseRemotePage(QWidget* parent, remote::StatusLine& status_line,
                                         run::RunRequest& request) {
  for (;;) {
    ConnectDialog connect(history_, login_, show_help_, parent);
    if (connect.exec() != QDialog::Accepted) return false;
    login_.address_text = connect.address_text();
    login_.user_name = connect.user_name();
    login_.password = connect.password();
    login_.key_file = connect.key_file();
    login_.key_passphrase = connect.key_passphrase();
    login_.ca_file = connect.ca_file();
    // Saved before connecting: an address that then fails is still offered
    // at the top next time.
    history_.Remember(login_.address_text);
    if (!run::SaveAddressHistory(history_, store_).ok())
      ui_.Tell(BoxStyle::kPlain, run::AddressNotRememberedMessage(store_.FilePath()));

    remote::FtpEndpoint settings;
    settings.ssh_private_key_file = login_.key_file;
    settings.ca_file = login_.ca_file;
    settings.known_hosts_file = remote::DefaultKnownHostsFile();
    const char* agent = std::getenv("SSH_AUTH_SOCK");
    settings.use_ssh_agent = agent != nullptr && agent[0] != '\0';
    remote::FtpAddress address = remote::ParseFtpAddress(login_.address_text);
    if (address.usable && address.security == remote::Security::kSsh &&
        !AcceptHostKey(address, settings))
      continue;

    RemoteFileBrowser browser(login_, settings, ui_, status_line, show_help_, parent);
    RemoteFileBrowser::Result result = browser.Browse();
    switch (result.outcome) {
      case remote::ConnectOutcome::kFailed:
        continue;  // a fresh connect dialog, to correct the address or login
      case remote::ConnectOutcome::kNoSession:
      case remote::ConnectOutcome::kUnparsable:
        return false;
      case remote::ConnectOutcome::kConnected:
        break;
    }
    if (!result.page_path) return false;
    // The site and the path are recorded together, with the login the run
    // connects with, so a later connect without a pick keeps this pick whole.
    run::PageTarget& page = request.page;
    page.is_remote = true;
    page.remote_site = result.address.server;
    page.remote_path = *result.page_path;
    remote::FtpEndpoint endpoint = remote::EndpointFor(result.address, login_);
    page.remote_scheme = result.address.scheme;
    page.remote_user = endpoint.user_name;
    page.remote_port = endpoint.port;
    endpoint.ssh_host_key_sha256 = settings.ssh_host_key_sha256;
    endpoint.known_hosts_file = settings.known_hosts_file;
    endpoint.use_ssh_agent = settings.use_ssh_agent;
    site_ = endpoint;
    request.site = std::move(endpoint);
    return true;
  }
}

std::unique_ptr<run::RemoteFolder> RemoteSiteChooser::OpenRemoteFolder(
    const std::atomic<bool>* cancel) {
  // The login of the page chosen last, which the run connects with too.
  return run::OpenSiteFolder(site_, cancel);
}

}  // namespace sonavelt::app
