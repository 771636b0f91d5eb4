#pragma once

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/ftp_work_thread.h"
#include "app/help_ids.h"
#include "base/user_interface.h"
#include "remote/browse_connect.h"
#include "remote/ftp_address.h"
#include "remote/ftp_connection.h"
#include "remote/remote_tree.h"
#include "remote/status_line.h"

class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace sonavelt::app {

// "Files On Remote Site": connects to the site of a login and shows its
// files as a tree for the user to pick the page. The tree's logic is
// remote::RemoteTree's; this dialog mirrors it into a QTreeWidget and runs
// the connecting and every listing on a work thread of its own, with the
// wizard's status line saying what is going on.
class RemoteFileBrowser : public QDialog {
  Q_OBJECT

 public:
  static constexpr uint32_t kHelpContext = help::kRemoteFileBrowser;

  struct Result {
    remote::ConnectOutcome outcome = remote::ConnectOutcome::kFailed;
    remote::FtpAddress address;            // as parsed from the login's address
    std::optional<std::string> page_path;  // the picked page; none: cancelled
  };

  // login: the address, user name and password to connect with; its port
  // and home directory are filled in by the connect. settings: certificate,
  // SSH key and time-out settings for the connection. `ui` must be safe to
  // call from the work thread, and so must status_line. All must outlive
  // the dialog.
  RemoteFileBrowser(remote::FtpLogin& login, const remote::FtpEndpoint& settings,
                    UserInterface& ui, remote::StatusLine& status_line,
                    std::function<void(uint32_t context)> show_help,
                    QWidget* owner = nullptr);
  ~RemoteFileBrowser() override;

  // Shows the dialog, connects, and when connected lets the user pick a
  // page; answers how it ended. A failed connect has told the user why and
  // closes the dialog at once.
  Result Browse();

  QTreeWidget* tree_view() const { return view_; }
  QPushButton* select_button() const { return select_button_; }
  const remote::RemoteTree& tree() const { return tree_; }
  // True while the work thread connects or lists.
  bool busy() const { return busy_; }

 private:
  void OnSelect();
  void OnExpandedOrCollapsed(QTreeWidgetItem* item, bool expanded);
  void OnDoubleClick(QTreeWidgetItem* item);
  // The view after the model changed: item's children, recursively.
  void Mirror(remote::RemoteTree::ItemId id, QTreeWidgetItem* view_item);
  void MirrorAll();
  void ShowItem(remote::RemoteTree::ItemId id, QTreeWidgetItem* view_item);
  void Pick(const std::string& path);
  // Runs `job` on the work thread with the wait cursor up.
  void Work(const std::function<void()>& job);

  remote::FtpLogin& login_;
  remote::FtpEndpoint settings_;
  UserInterface& ui_;
  remote::StatusLine& status_line_;
  std::function<void(uint32_t)> show_help_;
  QTreeWidget* view_;
  QPushButton* select_button_;
  remote::RemoteTree tree_;
  bool mirroring_ = false;  // view changes made by Mirror are not the user's
  bool busy_ = false;
  std::optional<std::string> picked_;
  FtpWorkThread work_;
  // Made, used and dropped on the work thread only.
  std::unique_ptr<remote::FtpConnection> connection_;
};

}  // namespace sonavelt::app
