#pragma once

#include <atomic>
#include <memory>

#include "remote/status_line.h"
#include "run/run_inputs.h"
#include "transport/page_transport.h"

class QWidget;

namespace sonavelt::app {

// The "&Remote Site" button's work: the connect dialog and the remote file
// browser, and the transport a run uses for a page chosen there. The wizard
// works without one (the button is then shown disabled).
class RemotePageChooser {
 public:
  virtual ~RemotePageChooser() = default;
  // Lets the user pick a page on a site, with dialogs modal over parent and
  // status_line (the wizard's FTP status text) showing the work in progress.
  // On success sets page.is_remote, remote_site and remote_path and answers
  // true; on cancel leaves page as it was.
  virtual bool ChooseRemotePage(QWidget* parent, remote::StatusLine& status_line,
                                run::PageTarget& page) = 0;
  // Fetches and publishes the page chosen last; lives as long as the chooser.
  virtual run::PageTransport* transport() = 0;
  // The folder of the page chosen last, for taking its sounds off again;
  // `cancel` (may be null) must outlive it. Null: no site to reach.
  virtual std::unique_ptr<run::RemoteFolder> OpenRemoteFolder(const std::atomic<bool>* cancel) {
    (void)cancel;
    return nullptr;
  }
};

}  // namespace sonavelt::app
