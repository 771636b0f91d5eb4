#pragma once

#include <functional>
#include <map>
#include <string>

#include "app/remote_page_chooser.h"
#include "base/user_interface.h"
#include "remote/address_history.h"
#include "remote/ftp_address.h"
#include "settings/settings_store.h"

namespace sonavelt::app {

// The wizard's "&Remote Site": the connect dialog, then the remote file
// browser, again and again while connecting fails, until a page is picked or
// the user cancels. Keeps the login typed last (in memory only) and the four
// remembered addresses (in the settings store), and the site of the page
// picked last.
class RemoteSiteChooser : public RemotePageChooser {
 public:
  // `ui` must be safe to call from a work thread (the wizard's is). `store`
  // and `ui` must outlive the chooser. show_help may be empty.
  RemoteSiteChooser(run::SettingsStore& store, UserInterface& ui,
                    std::function<void(uint32_t context)> show_help);

  bool ChooseRemotePage(QWidget* parent, remote::StatusLine& status_line,
                        run::RunRequest& request) override;
  std::unique_ptr<run::RemoteFolder> OpenRemoteFolder(const std::atomic<bool>* cancel) override;

  const remote::AddressHistory& history() const { return history_; }
  const remote::FtpLogin& login() const { return login_; }

 private:
  // For an SFTP site: reads the server's host key (off the GUI thread); a key
  // neither known-hosts file knows is shown to the user, and once accepted
  // it is remembered in the program's own file; a key that differs from the
  // one remembered is refused with a warning. False when the connect must
  // not go on.
  bool AcceptHostKey(const remote::FtpAddress& address, remote::FtpEndpoint& settings);

  run::SettingsStore& store_;
  UserInterface& ui_;
  std::function<void(uint32_t)> show_help_;
  remote::AddressHistory history_;
  remote::FtpLogin login_;
  remote::FtpEndpoint site_;  // of the page picked last
};

}  // namespace sonavelt::app
