// The remote site's dialogs: "Connect To Remote Site" on its own, then the
// file browser and the whole "&Remote Site" choice against a real FTP server
// on loopback.
#include <QtTest>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <filesystem>
#include <mutex>

#include "app/connect_dialog.h"
#include "app/remote_file_browser.h"
#include "app/remote_site_chooser.h"
#include "remote/messages.h"
#include "run/run_messages.h"
#include "settings/address_history_store.h"
#include "tests/remote/ftp_test_server.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_servers.h"

using sonavelt::app::ConnectDialog;
using sonavelt::app::RemoteFileBrowser;
using sonavelt::app::RemoteSiteChooser;
namespace remote = sonavelt::remote;
namespace fs = std::filesystem;

namespace {

// Messages may come from the browser's work thread.
class LockedUserInterface : public sonavelt::UserInterface {
 public:
  void Tell(sonavelt::BoxStyle style, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    recorded_.Tell(style, text);
  }
  bool Ask(sonavelt::BoxStyle style, const std::string& question) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return recorded_.Ask(style, question);
  }
  std::vector<std::string> Messages() {
    std::lock_guard<std::mutex> lock(mutex_);
    return recorded_.Messages();
  }

 private:
  std::mutex mutex_;
  sonavelt::testing::RecordingUserInterface recorded_;
};

class RecordingStatusLine : public remote::StatusLine {
 public:
  void Show(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    shown.push_back(text);
    visible = true;
  }
  void Hide() override {
    std::lock_guard<std::mutex> lock(mutex_);
    visible = false;
  }
  std::vector<std::string> shown;
  bool visible = false;

 private:
  std::mutex mutex_;
};

QTreeWidgetItem* Child(QTreeWidgetItem* item, const QString& text) {
  for (int i = 0; item != nullptr && i < item->childCount(); ++i)
    if (item->child(i)->text(0) == text) return item->child(i);
  return nullptr;
}

// Whether a dialog waits for the user: a browser only once its tree is
// filled and no listing runs.
bool Ready(QWidget*) { return true; }
bool Ready(RemoteFileBrowser* browser) {
  return !browser->busy() && browser->tree_view()->topLevelItemCount() > 0;
}

// Runs `step` once `T` is the active modal window and ready (polling, as the
// dialogs are run with exec by the code under test).
template <typename T>
void WhenModal(std::function<void(T*)> step) {
  auto* timer = new QTimer;
  timer->setInterval(20);
  QObject::connect(timer, &QTimer::timeout, [timer, step] {
    T* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
    if (dialog == nullptr || !dialog->isVisible() || !Ready(dialog)) return;
    timer->stop();
    timer->deleteLater();
    step(dialog);
  });
  timer->start();
}

}  // namespace

class TestRemoteSite : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    fs::create_directories(site_.path() / "www/empty");
    fs::create_directories(site_.path() / "Pub");
    sonavelt::testing::WriteFile((site_.path() / "www/index.htm").string(), "<html></html>");
    sonavelt::testing::WriteFile((site_.path() / "www/b.htm").string(), "<html></html>");
    sonavelt::testing::WriteFile((site_.path() / "Pub/c.htm").string(), "<html></html>");
    server_ok_ = server_.Start(site_.path().string());
  }

  void connectDialogShowsTheHistoryAndLimitsTheFields() {
    remote::AddressHistory history;
    history.Remember("ftp.old.example");
    history.Remember("ftp://new.example/www/index.htm");
    remote::FtpLogin login;
    login.user_name = "me";
    login.password = "secret";
    ConnectDialog dialog(history, login, {});
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Connect To Remote Site"));
    QComboBox* box = dialog.address_box();
    QCOMPARE(box->count(), 4);
    QCOMPARE(box->itemText(0), QStringLiteral("ftp://new.example/www/index.htm"));
    QCOMPARE(box->itemText(1), QStringLiteral("ftp.old.example"));
    QCOMPARE(box->itemText(2), QString());
    // No address typed yet in this program run: the most recent one.
    QCOMPARE(dialog.address_text(), std::string("ftp://new.example/www/index.htm"));
    QCOMPARE(dialog.user_name(), std::string("me"));
    QCOMPARE(dialog.password_edit()->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog.passphrase_edit()->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog.key_file(), std::string());
    login.key_file = "/home/alice/.ssh/id_rsa";
    login.ca_file = "/home/alice/ca.pem";
    ConnectDialog with_files(history, login, {});
    QCOMPARE(with_files.key_file(), login.key_file);
    QCOMPARE(with_files.ca_file(), login.ca_file);

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(box->hasFocus());
    // Typing past 100 characters is refused, in both fields.
    const QString long_text(150, QLatin1Char('x'));
    dialog.user_edit()->clear();
    QTest::keyClicks(dialog.user_edit(), long_text);
    QCOMPARE(dialog.user_name().size(), size_t(100));
    dialog.password_edit()->clear();
    QTest::keyClicks(dialog.password_edit(), long_text);
    QCOMPARE(dialog.password().size(), size_t(100));
    // Picking from the list and typing both end up as the address.
    box->setCurrentIndex(1);
    QCOMPARE(dialog.address_text(), std::string("ftp.old.example"));
    QTest::keyClick(&dialog, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    // Typed earlier in this program run: that text, not the list's top.
    login.address_text = "typed.example";
    ConnectDialog again(history, login, {});
    QCOMPARE(again.address_text(), std::string("typed.example"));
  }

  void browserWalksDownTheAddressAndListsLazily() {
    if (!server_ok_) SONAVELT_QT_SERVER_UNAVAILABLE(server_.error().c_str());
    LockedUserInterface ui;
    RecordingStatusLine status;
    remote::FtpLogin login = Login("/www/index.htm");
    RemoteFileBrowser browser(login, remote::FtpEndpoint{}, ui, status, {});
    WhenModal<RemoteFileBrowser>([&](RemoteFileBrowser* shown) {
      QTreeWidget* view = shown->tree_view();
      // "&Select" and "&Help" at the top left, "&Cancel" at the top right,
      // the tree below them.
      QPushButton* select = shown->select_button();
      QPushButton* cancel = nullptr;
      for (QPushButton* button : shown->findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("&Cancel")) cancel = button;
      QVERIFY(cancel != nullptr);
      QVERIFY(select->isDefault());
      QVERIFY(select->geometry().bottom() < view->geometry().top());
      QVERIFY(select->x() < shown->width() / 4);
      QVERIFY(cancel->geometry().right() > shown->width() * 3 / 4);
      QCOMPARE(cancel->y(), select->y());
      QTreeWidgetItem* root = view->topLevelItem(0);
      QVERIFY(root != nullptr);
      QCOMPARE(root->text(0), QStringLiteral("/"));
      QTreeWidgetItem* www = Child(root, "www");
      QVERIFY(www != nullptr && www->isExpanded());
      QTreeWidgetItem* page = Child(www, "index.htm");
      QVERIFY(page != nullptr);
      QVERIFY(page->font(0).bold());
      QCOMPARE(view->currentItem(), page);
      // An empty folder gets no expand button; one with files a placeholder.
      QCOMPARE(Child(www, "empty")->childCount(), 0);
      QTreeWidgetItem* pub = Child(root, "Pub");
      QCOMPARE(pub->childCount(), 1);
      QCOMPARE(pub->child(0)->text(0), QStringLiteral("DUMMY"));
      // Opening it lists it from the server.
      pub->setExpanded(true);
      QVERIFY(Child(pub, "c.htm") != nullptr);
      // Select on a folder: the message, the dialog stays.
      view->setCurrentItem(pub);
      shown->select_button()->click();
      QVERIFY(shown->isVisible());
      view->setCurrentItem(Child(www, "b.htm"));
      shown->select_button()->click();
    });
    RemoteFileBrowser::Result result = browser.Browse();
    QCOMPARE(int(result.outcome), int(remote::ConnectOutcome::kConnected));
    QVERIFY(result.page_path.has_value());
    QCOMPARE(*result.page_path, std::string("/www/b.htm"));
    QCOMPARE(ui.Messages(),
             std::vector<std::string>{"Pub is a directory!\r\n\r\nPlease select an HTML file.\r\n"});
    QCOMPARE(status.shown.front(), std::string("  Contacting 127.0.0.1 ......"));
    QCOMPARE(status.shown.back(), std::string(remote::kTransferringDataText));
    QVERIFY(!status.visible);
  }

  void remoteSiteRemembersTheAddressAndSetsThePage() {
    if (!server_ok_) SONAVELT_QT_SERVER_UNAVAILABLE(server_.error().c_str());
    sonavelt::testing::TempDir dir;
    const std::string ini = dir.File("settings.ini");
    sonavelt::run::SettingsStore store(ini);
    LockedUserInterface ui;
    RecordingStatusLine status;
    RemoteSiteChooser chooser(store, ui, {});
    sonavelt::run::RunRequest request;
    sonavelt::run::PageTarget& page = request.page;
    page.local_html_path = "/here/page.htm";
    sonavelt::testing::RefusedPort refused;
    const std::string wrong = "ftp://127.0.0.1:" + std::to_string(refused.port());
    const std::string right = Login("/www/index.htm").address_text;

    // A site that cannot be reached: its message, then a fresh connect
    // dialog, which shows that address on top; then the right one.
    WhenModal<ConnectDialog>([&](ConnectDialog* connect) {
      connect->address_box()->setEditText(QString::fromStdString(wrong));
      connect->user_edit()->setText(sonavelt::testing::TestFtpServer::kUser);
      connect->password_edit()->setText(sonavelt::testing::TestFtpServer::kPassword);
      connect->connect_button()->click();
      WhenModal<ConnectDialog>([&](ConnectDialog* again) {
        QCOMPARE(again->address_box()->itemText(0), QString::fromStdString(wrong));
        QCOMPARE(again->password(), std::string(sonavelt::testing::TestFtpServer::kPassword));
        again->address_box()->setEditText(QString::fromStdString(right));
        // Typed into the key and CA fields: they go with the login to the run.
        QTest::keyClicks(again->key_file_edit(), QStringLiteral("/home/alice/.ssh/id_ed25519"));
        QTest::keyClicks(again->ca_file_edit(), QStringLiteral("/home/alice/site-ca.pem"));
        QTest::keyClicks(again->passphrase_edit(), QStringLiteral("key-unlocker"));
        again->connect_button()->click();
        WhenModal<RemoteFileBrowser>(
            [](RemoteFileBrowser* browser) { browser->select_button()->click(); });
      });
    });
    QVERIFY(chooser.ChooseRemotePage(nullptr, status, request));
    QVERIFY(page.is_remote);
    QCOMPARE(page.remote_site, std::string("127.0.0.1"));
    QCOMPARE(page.remote_path, std::string("/www/index.htm"));
    // The whole site names the run's lock: scheme, user and port too.
    QCOMPARE(page.remote_scheme, std::string("ftp"));
    QCOMPARE(page.remote_user, std::string(sonavelt::testing::TestFtpServer::kUser));
    QCOMPARE(page.remote_port, server_.port());
    QCOMPARE(ui.Messages().size(), size_t(1));
    QCOMPARE(chooser.history().entries()[0], right);
    QCOMPARE(chooser.history().entries()[1], wrong);
    QCOMPARE(sonavelt::run::LoadAddressHistory(store).entries()[0], right);
    const sonavelt::remote::FtpEndpoint& site = request.site;
    QCOMPARE(site.ssh_private_key_file, std::string("/home/alice/.ssh/id_ed25519"));
    QCOMPARE(site.ca_file, std::string("/home/alice/site-ca.pem"));
    // The passphrase only unlocks the key; the password typed beside a key
    // file asks for a password login as well.
    QCOMPARE(site.ssh_key_passphrase, std::string("key-unlocker"));
    QCOMPARE(site.password,
             std::string(sonavelt::testing::TestFtpServer::kPassword));
    QVERIFY(site.ssh_password_login);
    QCOMPARE(chooser.login().key_file, std::string("/home/alice/.ssh/id_ed25519"));
    QVERIFY(sonavelt::testing::ReadFile(ini).find("site-ca.pem") == std::string::npos);
    QVERIFY(sonavelt::testing::ReadFile(ini).find("key-unlocker") == std::string::npos);
    QVERIFY(sonavelt::testing::ReadFile(ini).find(sonavelt::testing::TestFtpServer::kPassword) ==
            std::string::npos);

    // Cancel leaves the page as it was.
    const sonavelt::run::PageTarget before = page;
    const std::string before_key = request.site.ssh_private_key_file;
    WhenModal<ConnectDialog>([](ConnectDialog* connect) { connect->reject(); });
    QVERIFY(!chooser.ChooseRemotePage(nullptr, status, request));
    QCOMPARE(page.remote_path, before.remote_path);
    QCOMPARE(request.site.ssh_private_key_file, before_key);
  }

  // A settings file that cannot be written: the user is told the address
  // was not remembered, and the connect goes on with it all the same.
  void unwritableSettingsAreToldAndTheConnectGoesOn() {
    sonavelt::testing::TempDir dir;
    const std::string ini = dir.File("settings.ini");
    fs::create_directories(ini);
    sonavelt::run::SettingsStore store(ini);
    LockedUserInterface ui;
    RecordingStatusLine status;
    RemoteSiteChooser chooser(store, ui, {});
    sonavelt::run::RunRequest request;
    sonavelt::testing::RefusedPort refused;
    const std::string wrong = "ftp://127.0.0.1:" + std::to_string(refused.port()) + "/index.htm";
    WhenModal<ConnectDialog>([&](ConnectDialog* connect) {
      connect->address_box()->setEditText(QString::fromStdString(wrong));
      connect->connect_button()->click();
      WhenModal<ConnectDialog>([](ConnectDialog* again) { again->reject(); });
    });
    QVERIFY(!chooser.ChooseRemotePage(nullptr, status, request));
    const std::vector<std::string> messages = ui.Messages();
    QVERIFY(messages.size() >= 2);
    QCOMPARE(messages[0], sonavelt::run::AddressNotRememberedMessage(store.FilePath()));
    QCOMPARE(chooser.history().entries()[0], wrong);
  }

 private:
  remote::FtpLogin Login(const std::string& path) {
    remote::FtpLogin login;
    login.address_text = "ftp://127.0.0.1:" + std::to_string(server_.port()) + path;
    login.user_name = sonavelt::testing::TestFtpServer::kUser;
    login.password = sonavelt::testing::TestFtpServer::kPassword;
    return login;
  }

  sonavelt::testing::TempDir site_;
  sonavelt::testing::TestFtpServer server_;
  bool server_ok_ = false;
};

QTEST_MAIN(TestRemoteSite)
#include "tst_remote_site.moc"
