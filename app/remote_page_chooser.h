#pragma once

#include <atomic>
#include <memory>

#include "remote/status_line.h"
#include "run/run_request.h"
#include "run/page_removal.h"

class QWidget;

namespace sonavelt::app {

// The "&Remote Site" button's work: the connect dialog and the remote file
// browser, and the site a run reaches for a page chosen there. The wizard
// works without one (the button is then shown disabled).
class RemotePageChooser {
 public:
  virtual ~RemotePageChooser() = default;
  // Lets the user pick a page on a site, with dialogs modal over parent and
  // status_line (the wizard's FTP status text) showing the work in progress.
  // On success sets the request's page (is_remote, remote_site,
  // remote_path and the site's identity) and site (the login the run
  // connects with) and answers true; on cancel leaves the request as it was.
  virtual bool ChooseRemotePage(QWidget* parent, remote::StatusLine& status_line,
                                run::RunRequest& request) = 0;
  // The folder of the page chosen last, for taking its sounds off again;
  // `cancel` (may be null) must outlive it. Null: no site to reach.
  virtual std::unique_ptr<run::RemoteFolder> OpenRemoteFolder(const std::atomic<bool>* cancel) {
    (void)cancel;
    return nullptr;
  }
};

}  // namespace sonavelt::app
