#include "remote/remote_tree.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "remote/browse_connect.h"
#include "remote/messages.h"
#include "tests/remote/ftp_test_server.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::remote {
namespace {

namespace fs = std::filesystem;
using Id = RemoteTree::ItemId;

// The remote browser's Select button and connect as its dialog drives them:
// what they say is shown in `ui`.
std::optional<std::string> SelectPage(const RemoteTree& tree, Id item, UserInterface& ui) {
  PageSelection selection = tree.SelectPage(item);
  Show(ui, selection.status);
  return selection.page;
}
BrowseConnection ConnectToSite(FtpLogin& login, const FtpEndpoint& settings,
                               StatusLine& status_line, UserInterface& ui) {
  BrowseConnection connection = remote::ConnectToSite(login, settings, status_line);
  Show(ui, connection.status);
  return connection;
}

class RecordingStatusLine : public StatusLine {
 public:
  void Show(const std::string& text) override { calls.push_back("show:" + text); }
  void Hide() override { calls.push_back("hide"); }
  std::vector<std::string> calls;
};

std::vector<std::string> Texts(const RemoteTree& tree, Id item) {
  std::vector<std::string> texts;
  for (Id child : tree.children(item)) texts.push_back(tree.text(child));
  return texts;
}

Id Child(const RemoteTree& tree, Id item, const std::string& text) {
  for (Id child : tree.children(item))
    if (tree.text(child) == text) return child;
  return RemoteTree::kNoItem;
}

// The browser's tree over a real site:
//   /home/u/a.htm  /pub/www/index.html  /pub/empty/  /pub/page.htm
class RemoteTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::path site = dir_.path();
    fs::create_directories(site / "home" / "u");
    fs::create_directories(site / "pub" / "www");
    fs::create_directories(site / "pub" / "empty");
    testing::WriteFile((site / "home/u/a.htm").string(), "x");
    testing::WriteFile((site / "pub/www/index.html").string(), "x");
    testing::WriteFile((site / "pub/page.htm").string(), "x");
    if (!server_.Start(site.string())) SONAVELT_SERVER_UNAVAILABLE(server_.error());
    connection_ = std::make_unique<FtpConnection>(server_.Endpoint());
    ASSERT_TRUE(connection_->Open().ok());
  }

  testing::TempDir dir_;
  testing::TestFtpServer server_;
  std::unique_ptr<FtpConnection> connection_;
  RecordingStatusLine status_;
  testing::RecordingUserInterface ui_;
};

TEST_F(RemoteTreeTest, WalksDownToTheNamedFileAndMarksIt) {
  RemoteTree tree(&status_);
  tree.Fill(connection_.get(), "/pub/www/index.html", "/");
  Id root = tree.top();
  EXPECT_EQ(tree.text(root), "/");
  EXPECT_TRUE(tree.lines_at_root());
  Id pub = Child(tree, root, "pub");
  Id www = Child(tree, pub, "www");
  ASSERT_NE(www, RemoteTree::kNoItem);
  EXPECT_TRUE(tree.expanded(root) && tree.expanded(pub) && tree.expanded(www));
  Id page = tree.selected();
  ASSERT_NE(page, RemoteTree::kNoItem);
  EXPECT_EQ(tree.text(page), "index.html");
  EXPECT_TRUE(tree.bold(page));
  EXPECT_EQ(tree.image(page), ItemImage::kFile);
  EXPECT_EQ(tree.ItemPath(page), "/pub/www/index.html");
  EXPECT_EQ(SelectPage(tree, page, ui_), "/pub/www/index.html");
  EXPECT_EQ(tree.PageOnDoubleClick(page), "/pub/www/index.html");
  EXPECT_TRUE(ui_.calls.empty());
  // Every listing showed and hid the status line.
  ASSERT_FALSE(status_.calls.empty());
  for (size_t i = 0; i < status_.calls.size(); i += 2) {
    EXPECT_EQ(status_.calls[i], "show:" + std::string(kTransferringDataText));
    EXPECT_EQ(status_.calls[i + 1], "hide");
  }
}

TEST_F(RemoteTreeTest, WithoutAPathTheLoginDirectoryOpens) {
  RemoteTree tree;
  tree.Fill(connection_.get(), "/", "/home/u");
  Id home = Child(tree, tree.top(), "home");
  Id u = Child(tree, home, "u");
  ASSERT_NE(u, RemoteTree::kNoItem);
  EXPECT_TRUE(tree.expanded(u));
  EXPECT_EQ(Texts(tree, u), (std::vector<std::string>{"a.htm"}));
  EXPECT_EQ(tree.selected(), RemoteTree::kNoItem);
}

TEST_F(RemoteTreeTest, OnlyFoldersWithEntriesGetAnExpandButton) {
  RemoteTree tree;
  tree.Fill(connection_.get(), "/", "/");
  Id pub = Child(tree, tree.top(), "pub");
  EXPECT_EQ(Texts(tree, pub), (std::vector<std::string>{"DUMMY"}));
  tree.Expand(pub);
  Id empty = Child(tree, pub, "empty");
  Id www = Child(tree, pub, "www");
  ASSERT_NE(empty, RemoteTree::kNoItem);
  EXPECT_EQ(tree.image(empty), ItemImage::kFolder);
  EXPECT_TRUE(tree.children(empty).empty());
  EXPECT_EQ(Texts(tree, www), (std::vector<std::string>{"DUMMY"}));
  EXPECT_EQ(tree.image(Child(tree, pub, "page.htm")), ItemImage::kFile);

  // Each expand or collapse lists the folder again.
  testing::WriteFile((dir_.path() / "pub/new.htm").string(), "x");
  tree.Expand(pub);
  EXPECT_NE(Child(tree, pub, "new.htm"), RemoteTree::kNoItem);
  EXPECT_EQ(tree.children(pub).size(), 4u);
}

TEST_F(RemoteTreeTest, NamesMatchCaseSensitively) {
  RemoteTree tree;
  tree.Fill(connection_.get(), "/Pub/www", "/");
  EXPECT_EQ(tree.selected(), RemoteTree::kNoItem);
  EXPECT_FALSE(tree.expanded(Child(tree, tree.top(), "pub")));
}

TEST_F(RemoteTreeTest, SelectExplainsWhyAFolderIsNoPage) {
  RemoteTree tree;
  tree.Fill(connection_.get(), "/pub/empty", "/");
  // An empty folder ends the walk like a file, but it is no page.
  Id empty = tree.selected();
  ASSERT_NE(empty, RemoteTree::kNoItem);
  EXPECT_EQ(SelectPage(tree, empty, ui_), std::nullopt);
  EXPECT_EQ(SelectPage(tree, tree.top(), ui_), std::nullopt);
  EXPECT_EQ(SelectPage(tree, RemoteTree::kNoItem, ui_), std::nullopt);
  EXPECT_EQ(tree.PageOnDoubleClick(empty), std::nullopt);
  EXPECT_EQ(ui_.Messages(), (std::vector<std::string>{
                                "empty is a directory!\r\n\r\nPlease select an HTML file.\r\n",
                                "/ is a directory!\r\n\r\nPlease select an HTML file.\r\n",
                                "Please select an HTML file."}));
}

// A lister that answers from memory, for what a real server rarely sends.
class FakeLister : public RemoteLister {
 public:
  Status List(const std::string& folder, std::vector<RemoteEntry>* entries) override {
    auto it = folders.find(folder);
    if (it == folders.end()) return Status::NotFound("550 No such directory.");
    *entries = it->second;
    return Status::Ok();
  }
  std::map<std::string, std::vector<RemoteEntry>> folders;
};

TEST(RemoteTreeFakeTest, UnsafeNamesNeverBecomeItems) {
  FakeLister lister;
  lister.folders["/"] = {{"..", true, false},
                         {"../etc", true, false},
                         {"a/b", false, false},
                         {"evil\nDELE x", false, false},
                         {"ok.htm", false, false},
                         {"site", false, true},
                         {"file-link", false, true}};
  lister.folders["/site"] = {{"index.htm", false, false}};
  RemoteTree tree;
  tree.Fill(&lister, "/site/index.htm", "/");
  EXPECT_EQ(Texts(tree, tree.top()), (std::vector<std::string>{"ok.htm", "site", "file-link"}));
  // A link that lists like a folder is one; the others are files.
  Id site = Child(tree, tree.top(), "site");
  EXPECT_EQ(tree.image(site), ItemImage::kFolder);
  EXPECT_EQ(tree.image(Child(tree, tree.top(), "file-link")), ItemImage::kFile);
  EXPECT_EQ(tree.ItemPath(tree.selected()), "/site/index.htm");
}

TEST(RemoteTreeFakeTest, NoConnectionAndEmptySite) {
  RemoteTree tree;
  tree.Fill(nullptr, "/", "/");
  EXPECT_EQ(tree.text(tree.top()), std::string(kNoConnectionItemText));
  EXPECT_EQ(tree.image(tree.top()), ItemImage::kNoConnection);
  EXPECT_FALSE(tree.lines_at_root());
  testing::RecordingUserInterface ui;
  EXPECT_EQ(SelectPage(tree, tree.top(), ui), std::nullopt);
  EXPECT_TRUE(ui.calls.empty());

  FakeLister lister;
  lister.folders["/"] = {};
  tree.Fill(&lister, "/www", "/");
  EXPECT_TRUE(tree.children(tree.top()).empty());
  EXPECT_FALSE(tree.lines_at_root());
}

class ConnectToSiteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server_.Start(dir_.path().string())) SONAVELT_SERVER_UNAVAILABLE(server_.error());
    settings_.connect_timeout_seconds = 10;
  }
  FtpLogin Login(const std::string& address) {
    return FtpLogin{address, testing::TestFtpServer::kUser, testing::TestFtpServer::kPassword,
                    21, ""};
  }
  std::string Address() const { return "127.0.0.1:" + std::to_string(server_.port()); }

  testing::TempDir dir_;
  testing::TestFtpServer server_;
  FtpEndpoint settings_;
  RecordingStatusLine status_;
  testing::RecordingUserInterface ui_;
};

TEST_F(ConnectToSiteTest, ConnectsWithABareAddress) {
  FtpLogin login = Login(Address() + "/www");
  BrowseConnection c = ConnectToSite(login, settings_, status_, ui_);
  ASSERT_EQ(c.outcome, ConnectOutcome::kConnected) << (ui_.calls.empty() ? "" : ui_.calls[0].text);
  ASSERT_TRUE(c.connection);
  EXPECT_EQ(login.port, server_.port());
  EXPECT_EQ(login.home_directory, "/");
  EXPECT_EQ(c.address.start_path, "/www");
  EXPECT_EQ(FilesCaption(c.address.server), "Files on 127.0.0.1");
  EXPECT_EQ(status_.calls, (std::vector<std::string>{"show:  Contacting 127.0.0.1 ......", "hide"}));
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(ConnectToSiteTest, LoginFailureShowsTheServersText) {
  FtpLogin login = Login("ftp://" + Address());
  login.password = "wrong";
  BrowseConnection c = ConnectToSite(login, settings_, status_, ui_);
  EXPECT_EQ(c.outcome, ConnectOutcome::kFailed);
  EXPECT_FALSE(c.connection);
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_NE(ui_.Messages()[0].find("refused the login of"), std::string::npos);
  EXPECT_NE(ui_.Messages()[0].find("\r\n\r\n530 "), std::string::npos) << ui_.Messages()[0];
  EXPECT_EQ(ui_.calls[0].style, BoxStyle::kPlain);
  EXPECT_EQ(status_.calls.back(), "hide");
}

TEST_F(ConnectToSiteTest, NonFtpAndUnparsableAddresses) {
  FtpLogin http = Login("http://www.example.com/");
  EXPECT_EQ(ConnectToSite(http, settings_, status_, ui_).outcome, ConnectOutcome::kFailed);
  EXPECT_EQ(status_.calls,
            (std::vector<std::string>{"show:  Contacting www.example.com ......", "hide"}));
  FtpLogin garbage = Login("no such\thost");
  EXPECT_EQ(ConnectToSite(garbage, settings_, status_, ui_).outcome, ConnectOutcome::kUnparsable);
  EXPECT_EQ(ui_.Messages(), (std::vector<std::string>{"Please enter a valid FTP URL",
                                                      "Please enter a valid FTP URL"}));
}

}  // namespace
}  // namespace sonavelt::remote
