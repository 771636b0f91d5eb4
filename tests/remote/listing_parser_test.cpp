#include "remote/listing_parser.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>

#include "tests/remote/ftp_test_server.h"
#include "tests/remote/ftp_daemon.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::remote {
namespace {

namespace fs = std::filesystem;
using Entries = std::vector<RemoteEntry>;

TEST(ParseListingTest, UnixLinesInTheirCommonForms) {
  const char* text =
      "total 12\r\n"
      "drwxr-xr-x    2 0        0            4096 Dec 07 04:40 sub dir\r\n"
      "-rw-r--r--    1 0        0               3 Dec 07 04:40 my page.htm\r\n"
      "-rw-r--r--   1 owner  group   1024 Jan  1  2019 old  file.au\r\n"
      "-rw-r--r--   1 owner   1024 Jan  1 12:00 no group.htm\r\n"
      "lrwxrwxrwx   1 owner  group     12 Feb 29 09:05 www -> public_html\r\n"
      "drwxr-xr-x   2 owner  group   4096 Mar 10 10:10 .\r\n"
      "drwxr-xr-x   2 owner  group   4096 Mar 10 10:10 ..\r\n"
      "-rw-r--r--   1 owner  group      0 Mar 10 10:10  leading blank\n"
      "-rw-r--r--   1 owner  group      0 Mar 10 10:10 Dec 07 04:40 tricky\n";
  EXPECT_EQ(ParseListing(text), (Entries{{"sub dir", true, false},
                                          {"my page.htm", false, false},
                                          {"old  file.au", false, false},
                                          {"no group.htm", false, false},
                                          {"www", false, true},
                                          {" leading blank", false, false},
                                          {"Dec 07 04:40 tricky", false, false}}));
}

TEST(ParseListingTest, DosLines) {
  const char* text =
      "12-07-26  04:00AM       <DIR>          www root\r\n"
      "01-15-2026  11:30PM             1234 index.htm\r\n";
  EXPECT_EQ(ParseListing(text), (Entries{{"www root", true, false}, {"index.htm", false, false}}));
}

TEST(ParseListingTest, UnknownLinesAreSkipped) {
  EXPECT_TRUE(ParseListing("").empty());
  EXPECT_TRUE(ParseListing("\r\n\n").empty());
  EXPECT_TRUE(ParseListing("hello world\nxrw 1 2 3\n-rw-r--r-- 1 a b 3 Foo 07 04:40 x\n").empty());
}

// A plain LIST fetched with curl, as the servers send it.
std::string RawList(const std::string& url, const std::string& user_password) {
  std::string text;
  CURL* h = curl_easy_init();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  if (!user_password.empty()) curl_easy_setopt(h, CURLOPT_USERPWD, user_password.c_str());
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION,
                   +[](char* data, size_t size, size_t n, void* out) {
                     static_cast<std::string*>(out)->append(data, size * n);
                     return size * n;
                   });
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &text);
  CURLcode rc = curl_easy_perform(h);
  curl_easy_cleanup(h);
  EXPECT_EQ(rc, CURLE_OK) << curl_easy_strerror(rc);
  return text;
}

void MakeSampleTree(const fs::path& root) {
  fs::create_directories(root / "pub" / "sub dir");
  fs::create_directories(root / "pub" / "Www");
  testing::WriteFile((root / "pub" / "my  page.htm").string(), "x");
  testing::WriteFile((root / "pub" / "a.au").string(), "x");
}

void ExpectSampleEntries(const std::string& listing) {
  Entries entries = ParseListing(listing);
  std::sort(entries.begin(), entries.end(),
            [](const RemoteEntry& a, const RemoteEntry& b) { return a.name < b.name; });
  EXPECT_EQ(entries, (Entries{{"Www", true, false},
                              {"a.au", false, false},
                              {"my  page.htm", false, false},
                              {"sub dir", true, false}}))
      << listing;
}

// The sizes that prove an upload: plain files only, names with spaces whole.
TEST(ParseListedFilesTest, PlainFilesWithTheirSizes) {
  const std::string text =
      "213-Status of \"/www/audio\":\r\n"
      "-rw-r--r--   1 owner    group       20000 Dec 08 00:20 e1.au\r\n"
      "-rw-r--r-- 1 1000 1000 1302313 Jan  3  2025 Ding Dong.au\r\n"
      "drwxr-xr-x   2 owner    group        4096 Dec 08 00:20 sub\r\n"
      "lrwxrwxrwx   1 owner    group          11 Dec 08 00:20 ln -> e1.au\r\n"
      "12-07-26  04:00AM                 1234 index.htm\r\n"
      "12-07-26  04:00AM       <DIR>          www\r\n"
      "213 End of status.";
  EXPECT_EQ(ParseListedFiles(text), (std::vector<ListedFile>{{"e1.au", 20000},
                                                             {"Ding Dong.au", 1302313},
                                                             {"index.htm", 1234}}));
  EXPECT_TRUE(ParseListedFiles("213 No such file.").empty());
}

TEST(ParseListingTest, ReadsWhatPyftpdlibSends) {
  testing::TempDir root;
  MakeSampleTree(root.path());
  testing::TestFtpServer server;
  if (!server.Start(root.path().string())) SONAVELT_SERVER_UNAVAILABLE(server.error());
  std::string listing =
      RawList("ftp://127.0.0.1:" + std::to_string(server.port()) + "/pub/",
              std::string(testing::TestFtpServer::kUser) + ":" + testing::TestFtpServer::kPassword);
  ExpectSampleEntries(listing);
}

class DaemonListingTest : public ::testing::TestWithParam<testing::FtpDaemonKind> {};

TEST_P(DaemonListingTest, ReadsWhatTheServerSends) {
  testing::TempDir dir;
  fs::path root = dir.path() / "root";
  MakeSampleTree(root);
  fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
  fs::permissions(root, fs::perms(0755));
  testing::FtpDaemon server(GetParam());
  if (!server.Start(root.string(), dir.path().string())) SONAVELT_SERVER_UNAVAILABLE(server.error());
  std::string login = server.user().empty() ? "" : server.user() + ":" + server.password();
  std::string listing = RawList("ftp://127.0.0.1:" + std::to_string(server.port()) + "/pub/", login);
  ExpectSampleEntries(listing);
}

INSTANTIATE_TEST_SUITE_P(Servers, DaemonListingTest,
                         ::testing::ValuesIn(testing::kAllFtpDaemons),
                         [](const auto& info) { return testing::DaemonTestName(info.param); });

}  // namespace
}  // namespace sonavelt::remote
