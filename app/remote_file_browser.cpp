#include "app/remote_file_browser.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "remote/messages.h"

namespace sonavelt::app {
namespace {

using ItemId = remote::RemoteTree::ItemId;

QString Q(const std::string& text) { return QString::fromStdString(text); }

ItemId IdOf(const QTreeWidgetItem* item) {
  return item == nullptr ? remote::RemoteTree::kNoItem : item->data(0, Qt::UserRole).toInt();
}

}  // namespace

RemoteFileBrowser::RemoteFileBrowser(remote::FtpLogin& login, const remote::FtpEndpoint& settings,
                                     UserInterface& ui, remote::StatusLine& status_line,
                                     std::function<void(uint32_t context)> show_help,
                                     QWidget* owner)
    : QDialog(owner),
      login_(login),
      settings_(settings),
      ui_(ui),
      status_line_(status_line),
      show_help_(std::move(show_help)),
      view_(new QTreeWidget(this)),
      tree_(&status_line) {
  setWindowTitle(QStringLiteral("Files On Remote Site"));
  setModal(true);
  setSizeGripEnabled(true);
  view_->setHeaderHidden(true);
  view_->setColumnCount(1);
  view_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  view_->header()->setStretchLastSection(false);
  view_->setMinimumSize(320, 280);

  // "&Select" and "&Help" at the top left, "&Cancel" at the top right, the
  // tree below them.
  select_button_ = new QPushButton(QStringLiteral("&Select"), this);
  auto* help = new QPushButton(QStringLiteral("&Help"), this);
  auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
  select_button_->setDefault(true);
  help->setAutoDefault(false);
  cancel->setAutoDefault(false);
  help->setEnabled(static_cast<bool>(show_help_));
  connect(select_button_, &QPushButton::clicked, this, &RemoteFileBrowser::OnSelect);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [this] {
    if (show_help_) show_help_(kHelpContext);
  });
  connect(view_, &QTreeWidget::itemExpanded, this,
          [this](QTreeWidgetItem* item) { OnExpandedOrCollapsed(item, true); });
  connect(view_, &QTreeWidget::itemCollapsed, this,
          [this](QTreeWidgetItem* item) { OnExpandedOrCollapsed(item, false); });
  connect(view_, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* item, int) { OnDoubleClick(item); });
  connect(view_, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
            if (!mirroring_) tree_.Select(IdOf(current));
          });

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(select_button_);
  buttons->addWidget(help);
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  // The tree takes all the room the dialog is given.
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(view_, 1);
}

RemoteFileBrowser::~RemoteFileBrowser() {
  work_.RunBlocking([this] { connection_.reset(); });
}

void RemoteFileBrowser::Work(const std::function<void()>& job) {
  busy_ = true;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  work_.RunAndWait(job);
  QApplication::restoreOverrideCursor();
  busy_ = false;
}

RemoteFileBrowser::Result RemoteFileBrowser::Browse() {
  Result result;
  show();
  remote::BrowseConnection connected;
  Work([&] {
    connected = remote::ConnectToSite(login_, settings_, status_line_);
    connection_ = std::move(connected.connection);
    if (connected.outcome == remote::ConnectOutcome::kConnected)
      tree_.Fill(connection_.get(), connected.address.start_path, login_.home_directory);
  });
  result.outcome = connected.outcome;
  result.address = connected.address;
  if (connected.outcome != remote::ConnectOutcome::kConnected) {
    // A tree without a connection offers nothing to pick, so the dialog goes
    // once the user has read why.
    Show(ui_, connected.status);
    hide();
    return result;
  }
  setWindowTitle(Q(remote::FilesCaption(connected.address.server)));
  MirrorAll();
  view_->setFocus();
  exec();
  result.page_path = picked_;
  return result;
}

void RemoteFileBrowser::MirrorAll() {
  mirroring_ = true;
  view_->clear();
  view_->setRootIsDecorated(tree_.lines_at_root());
  if (tree_.top() != remote::RemoteTree::kNoItem) {
    auto* top = new QTreeWidgetItem(view_);
    ShowItem(tree_.top(), top);
    Mirror(tree_.top(), top);
  }
  mirroring_ = false;
}

void RemoteFileBrowser::ShowItem(ItemId id, QTreeWidgetItem* view_item) {
  view_item->setText(0, Q(tree_.text(id)));
  view_item->setData(0, Qt::UserRole, id);
  QStyle::StandardPixmap icon = QStyle::SP_MessageBoxWarning;
  if (tree_.image(id) == remote::ItemImage::kFolder) icon = QStyle::SP_DirIcon;
  if (tree_.image(id) == remote::ItemImage::kFile) icon = QStyle::SP_FileIcon;
  view_item->setIcon(0, style()->standardIcon(icon));
  QFont font = view_item->font(0);
  font.setBold(tree_.bold(id));
  view_item->setFont(0, font);
}

void RemoteFileBrowser::Mirror(ItemId id, QTreeWidgetItem* view_item) {
  const bool was = mirroring_;
  mirroring_ = true;
  // Children of the view item that are the selected one go away: the model
  // has already dropped them.
  qDeleteAll(view_item->takeChildren());
  for (ItemId child : tree_.children(id)) {
    auto* child_item = new QTreeWidgetItem(view_item);
    ShowItem(child, child_item);
    Mirror(child, child_item);
  }
  view_item->setExpanded(tree_.expanded(id));
  if (tree_.selected() != remote::RemoteTree::kNoItem) {
    for (int i = 0; i < view_item->childCount(); ++i) {
      if (IdOf(view_item->child(i)) == tree_.selected()) {
        view_->setCurrentItem(view_item->child(i));
        view_->scrollToItem(view_item->child(i));
      }
    }
  }
  mirroring_ = was;
}

void RemoteFileBrowser::OnExpandedOrCollapsed(QTreeWidgetItem* item, bool expanded) {
  if (mirroring_ || busy_ || item == nullptr) return;
  const ItemId id = IdOf(item);
  if (tree_.image(id) != remote::ItemImage::kFolder) return;
  // Every expand and every collapse lists the folder again.
  tree_.set_expanded(id, expanded);
  Work([this, id] { tree_.Expand(id); });
  Mirror(id, item);
}

void RemoteFileBrowser::OnDoubleClick(QTreeWidgetItem* item) {
  if (busy_ || item == nullptr) return;
  if (std::optional<std::string> path = tree_.PageOnDoubleClick(IdOf(item))) Pick(*path);
}

void RemoteFileBrowser::OnSelect() {
  if (busy_) return;
  remote::PageSelection selection = tree_.SelectPage(IdOf(view_->currentItem()));
  if (selection.page) Pick(*selection.page);
  else Show(ui_, selection.status);
}

void RemoteFileBrowser::Pick(const std::string& path) {
  picked_ = path;
  accept();
}

}  // namespace sonavelt::app
