#include "remote/ftp_connection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include "remote/messages.h"
#include "remote/remote_folder.h"
#include "tests/remote/ftp_test_server.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::remote {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::TestFtpServer;
using testing::WriteFile;

class FtpConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_ = (root_.path() / "site").string();
    fs::create_directories(site_);
    if (!server_.Start(site_)) SONAVELT_SERVER_UNAVAILABLE(server_.error());
  }
  std::string Site(const std::string& relative) const { return site_ + "/" + relative; }
  std::string Local(const std::string& name) const { return local_.File(name); }

  TempDir root_;
  TempDir local_;
  std::string site_;
  TestFtpServer server_;
};

TEST_F(FtpConnectionTest, LoginFailureCarriesTheServersReply) {
  FtpEndpoint endpoint = server_.Endpoint();
  endpoint.password = "wrong";
  FtpConnection connection(endpoint);
  Status status = connection.Open();
  ASSERT_FALSE(status.ok());
  // Refused, the server's reply quoted, and how to give another password.
  EXPECT_EQ(status.code(), Status::Code::kRefused);
  EXPECT_EQ(status.message(), LoginRefusedText("127.0.0.1", TestFtpServer::kUser,
                                               "530 Authentication failed."));
  EXPECT_NE(status.message().find("give another password"), std::string::npos);
  EXPECT_EQ(status.message().find("wrong"), std::string::npos);
}

TEST_F(FtpConnectionTest, RefusedConnectionHasATextOfItsOwn) {
  FtpEndpoint endpoint = server_.Endpoint();
  testing::RefusedPort refused;
  endpoint.port = refused.port();
  FtpConnection connection(endpoint);
  Status status = connection.Open();
  ASSERT_FALSE(status.ok());
  EXPECT_NE(status.message().find("onnect"), std::string::npos) << status.message();
}

TEST_F(FtpConnectionTest, ListsFoldersAndFilesWithTheirKinds) {
  fs::create_directories(Site("www/sub dir"));
  WriteFile(Site("www/my page.htm"), "<html></html>\n");
  WriteFile(Site("www/a.au"), "x");
  fs::create_directory_symlink(Site("www/sub dir"), Site("www/link"));

  FtpConnection connection(server_.Endpoint());
  ASSERT_TRUE(connection.Open().ok());
  EXPECT_EQ(connection.home_directory(), "/");
  std::vector<RemoteEntry> entries;
  ASSERT_TRUE(connection.List("/www", &entries).ok());
  std::map<std::string, RemoteEntry> by_name;
  for (const RemoteEntry& e : entries) by_name[e.name] = e;
  ASSERT_EQ(by_name.size(), 4u);
  EXPECT_TRUE(by_name["sub dir"].is_directory);
  EXPECT_FALSE(by_name["my page.htm"].is_directory);
  EXPECT_FALSE(by_name["a.au"].is_directory);
  EXPECT_TRUE(by_name.count("link"));

  // The root of the site, not the login directory's relative view.
  ASSERT_TRUE(connection.List("/", &entries).ok());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0], (RemoteEntry{"www", true, false}));

  ASSERT_TRUE(connection.List("/www/sub dir", &entries).ok());
  EXPECT_TRUE(entries.empty());
}

TEST_F(FtpConnectionTest, ChangeDirectoryAnswersWhetherTheFolderExists) {
  fs::create_directories(Site("pub/www"));
  WriteFile(Site("pub/file.htm"), "x");
  FtpConnection connection(server_.Endpoint());
  ASSERT_TRUE(connection.Open().ok());

  ASSERT_TRUE(connection.ChangeDirectory("/pub").ok());
  EXPECT_EQ(connection.current_directory(), "/pub");
  ASSERT_TRUE(connection.ChangeDirectory("www").ok());
  EXPECT_EQ(connection.current_directory(), "/pub/www");

  Status missing = connection.ChangeDirectory("/nowhere");
  EXPECT_EQ(missing.code(), Status::Code::kNotFound) << missing.ToString();
  EXPECT_EQ(missing.message().substr(0, 3), "550");
  EXPECT_FALSE(connection.ChangeDirectory("/pub/file.htm").ok());
  EXPECT_EQ(connection.current_directory(), "/pub/www");

  // The refusals left the connection usable.
  std::vector<RemoteEntry> entries;
  EXPECT_TRUE(connection.List("/pub", &entries).ok());
  EXPECT_EQ(entries.size(), 2u);
}

TEST_F(FtpConnectionTest, FoldersAreMadeAndRemovedWithTheServersRefusals) {
  FtpConnection connection(server_.Endpoint());
  ASSERT_TRUE(connection.Open().ok());
  ASSERT_TRUE(connection.CreateDirectory("/new folder").ok());
  EXPECT_TRUE(fs::is_directory(Site("new folder")));
  Status again = connection.CreateDirectory("/new folder");
  EXPECT_EQ(again.code(), Status::Code::kRefused);
  EXPECT_EQ(again.message().substr(0, 3), "550") << again.message();
  EXPECT_TRUE(connection.ChangeDirectory("/new folder").ok());

  // A folder that holds a file stays; the connection goes on after the refusal.
  WriteFile(Site("new folder/a.au"), "a");
  Status full = connection.RemoveDirectory("/new folder");
  EXPECT_EQ(full.code(), Status::Code::kRefused) << full.ToString();
  ASSERT_TRUE(connection.Delete("/new folder/a.au").ok());
  EXPECT_TRUE(connection.RemoveDirectory("/new folder").ok());
  EXPECT_FALSE(fs::exists(Site("new folder")));
}

TEST_F(FtpConnectionTest, FilesTravelByteForByte) {
  // Random bytes around a page's mixed line ends: nothing is rewritten.
  std::string bytes(300000, '\0');
  std::mt19937 random(7);
  for (char& c : bytes) c = static_cast<char>(random());
  bytes.replace(100, 20, "<p>\n<br>\r\n\r\r\n\n\r");

  FtpConnection connection(server_.Endpoint());
  ASSERT_TRUE(connection.Open().ok());
  int64_t stored = -1;
  ASSERT_TRUE(connection.Store(bytes, "/sound.au", &stored).ok());
  EXPECT_EQ(stored, static_cast<int64_t>(bytes.size()));
  EXPECT_EQ(ReadFile(Site("sound.au")), bytes);
  std::string back;
  ASSERT_TRUE(connection.Download("/sound.au", &back).ok());
  EXPECT_EQ(back, bytes);
  ASSERT_TRUE(connection.Download("/sound.au", Local("copy.au")).ok());
  EXPECT_EQ(ReadFile(Local("copy.au")), bytes);
  EXPECT_EQ(std::distance(fs::directory_iterator(local_.path()), fs::directory_iterator()), 1)
      << "the download left a temporary file";
}

TEST_F(FtpConnectionTest, MissingRemoteFileLeavesTheLocalFileAsItWas) {
  FtpConnection connection(server_.Endpoint());
  ASSERT_TRUE(connection.Open().ok());
  WriteFile(Local("keep.htm"), "earlier copy");
  Status status = connection.Download("/absent.htm", Local("keep.htm"));
  EXPECT_FALSE(status.ok());
  EXPECT_EQ(status.message().substr(0, 3), "550") << status.message();
  EXPECT_EQ(ReadFile(Local("keep.htm")), "earlier copy");
  EXPECT_EQ(std::distance(fs::directory_iterator(local_.path()), fs::directory_iterator()), 1);
  // A local folder that cannot take the copy is named in the message.
  WriteFile(Site("page.htm"), "x");
  status = connection.Download("/page.htm", Local("gone/page.htm"));
  EXPECT_EQ(status.message(),
            "writing " + Local("gone/page.htm") + ": No such file or directory");
}

TEST_F(FtpConnectionTest, PathsThatWouldSplitACommandAreRefused) {
  FtpConnection connection(server_.Endpoint());
  ASSERT_TRUE(connection.Open().ok());
  EXPECT_EQ(connection.CreateDirectory("/a\r\nDELE /x").code(), Status::Code::kInvalidArgument);
  EXPECT_EQ(connection.Store("x", "/p\n.htm").code(), Status::Code::kInvalidArgument);
  std::string bytes;
  EXPECT_EQ(connection.Download("/p\r.htm", &bytes).code(), Status::Code::kInvalidArgument);
}

// The removal's way of putting a page back: sent under a temporary name,
// its size checked, renamed over the old one.
class FtpRemoteFolderTest : public FtpConnectionTest {
 protected:
  Status Replace(const std::string& local, const std::string& remote) {
    FtpRemoteFolder folder(server_.Endpoint());
    Status opened = folder.Open(run::RemotePage{"127.0.0.1", remote});
    if (!opened.ok()) return opened;
    return folder.Replace(local, remote);
  }
  long SiteEntries() const {
    return std::distance(fs::directory_iterator(site_), fs::directory_iterator());
  }
};

TEST_F(FtpRemoteFolderTest, ReplaceSwapsTheTargetInOneStep) {
  WriteFile(Site("index.htm"), "old page");
  WriteFile(Local("new.htm"), "new page");
  ASSERT_TRUE(Replace(Local("new.htm"), "/index.htm").ok());
  EXPECT_EQ(ReadFile(Site("index.htm")), "new page");
  EXPECT_EQ(SiteEntries(), 1) << "the temporary upload was left behind";
}

// Writing the target in place could leave it cut short: a refused rename
// is a refusal, and the temporary file goes.
TEST_F(FtpRemoteFolderTest, WithoutRenamesTheTargetIsLeftAlone) {
  server_.Stop();
  testing::FtpServerFaults faults;
  faults.refuse_rename = true;
  ASSERT_TRUE(server_.Start(site_, faults));
  WriteFile(Site("index.htm"), "old page");
  WriteFile(Local("new.htm"), "new page");
  Status status = Replace(Local("new.htm"), "/index.htm");
  EXPECT_EQ(status.code(), Status::Code::kIoError);
  EXPECT_EQ(status.message(), CannotTransferText("/index.htm", "127.0.0.1",
                                                 "550 Renaming is not allowed here."));
  EXPECT_EQ(ReadFile(Site("index.htm")), "old page");
  EXPECT_EQ(SiteEntries(), 1);
}

TEST_F(FtpRemoteFolderTest, DroppedUploadLeavesTheOldFile) {
  server_.Stop();
  testing::FtpServerFaults faults;
  faults.drop_stor = 1;
  ASSERT_TRUE(server_.Start(site_, faults));
  WriteFile(Site("index.htm"), "old page");
  WriteFile(Local("new.htm"), "new page");
  FtpRemoteFolder folder(server_.Endpoint());
  ASSERT_TRUE(folder.Open(run::RemotePage{"127.0.0.1", "/index.htm"}).ok());
  EXPECT_FALSE(folder.Replace(Local("new.htm"), "/index.htm").ok());
  EXPECT_EQ(ReadFile(Site("index.htm")), "old page");
  // The same connection logs in again by itself for the next request.
  EXPECT_TRUE(folder.Replace(Local("new.htm"), "/index.htm").ok());
  EXPECT_EQ(ReadFile(Site("index.htm")), "new page");
}

}  // namespace
}  // namespace sonavelt::remote
