#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>

#include "remote/ftp_connection.h"
#include "tests/remote/ftp_test_server.h"
#include "tests/remote/test_process.h"
#include "tests/remote/vsftpd_test_server.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::remote {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

// vsftpd with a certificate made for 127.0.0.1 by openssl, trusted through
// the endpoint's CA file; anonymous uploads go to /incoming.
class FtpsTest : public ::testing::TestWithParam<Security> {
 protected:
  void SetUp() override {
    root_ = dir_.path() / "root";
    fs::create_directories(root_ / "incoming");
    fs::permissions(dir_.path(), fs::perms(0755));
    fs::permissions(root_, fs::perms(0755));
    struct passwd* ftp = getpwnam("ftp");
    if (!ftp) SONAVELT_SERVER_UNAVAILABLE("no ftp user for vsftpd");
    if (chown((root_ / "incoming").c_str(), ftp->pw_uid, ftp->pw_gid) != 0)
      GTEST_SKIP() << "cannot give the upload folder to the ftp user (not root)";
    WriteFile((root_ / "page.htm").string(), "<html>\n</html>\n");
    cert_ = (dir_.path() / "cert.pem").string();
    std::string key = (dir_.path() / "key.pem").string();
    if (!testing::RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                     "-out", cert_, "-days", "2", "-subj", "/CN=127.0.0.1", "-addext",
                     "subjectAltName=IP:127.0.0.1"}))
      SONAVELT_SERVER_UNAVAILABLE("openssl could not make a test certificate");
    bool implicit = GetParam() == Security::kImplicitTls;
    if (!server_.Start(root_.string(), dir_.path().string(), cert_, key, implicit))
      SONAVELT_SERVER_UNAVAILABLE(server_.error());
  }

  FtpEndpoint Endpoint() const {
    FtpEndpoint endpoint;
    endpoint.security = GetParam();
    endpoint.server = "127.0.0.1";
    endpoint.port = server_.port();
    endpoint.ca_file = cert_;
    endpoint.connect_timeout_seconds = 10;
    return endpoint;
  }

  testing::TempDir dir_;
  testing::TempDir local_;
  fs::path root_;
  std::string cert_;
  testing::VsftpdTestServer server_;
};

TEST_P(FtpsTest, EncryptedSessionListsFetchesAndPublishes) {
  FtpConnection connection(Endpoint());
  Status opened = connection.Open();
  ASSERT_TRUE(opened.ok()) << opened.ToString();
  std::vector<RemoteEntry> entries;
  ASSERT_TRUE(connection.List("/", &entries).ok());
  EXPECT_EQ(entries.size(), 2u);
  ASSERT_TRUE(connection.Download("/page.htm", local_.File("p.htm"), TransferType::kAscii).ok());
  EXPECT_EQ(ReadFile(local_.File("p.htm")), "<html>\n</html>\n");

  std::string bytes("\x2e\x73\x6e\x64\r\n\0\xff", 8);
  WriteFile(local_.File("s.au"), bytes);
  Status sent = connection.Upload(local_.File("s.au"), "/incoming/s.au", TransferType::kBinary);
  ASSERT_TRUE(sent.ok()) << sent.ToString();
  EXPECT_EQ(ReadFile((root_ / "incoming/s.au").string()), bytes);
  ASSERT_TRUE(connection.CreateDirectory("/incoming/audio").ok());
  EXPECT_TRUE(connection.ChangeDirectory("/incoming/audio").ok());
}

TEST_P(FtpsTest, AnUntrustedCertificateIsRefused) {
  FtpEndpoint endpoint = Endpoint();
  endpoint.ca_file.clear();  // the system's store does not know our certificate
  FtpConnection connection(endpoint);
  Status status = connection.Open();
  EXPECT_FALSE(status.ok());
  EXPECT_NE(status.message().find("certificate"), std::string::npos) << status.message();
}

INSTANTIATE_TEST_SUITE_P(Tls, FtpsTest,
                         ::testing::Values(Security::kExplicitTls, Security::kImplicitTls),
                         [](const auto& info) {
                           return info.param == Security::kExplicitTls ? "Explicit" : "Implicit";
                         });

}  // namespace
}  // namespace sonavelt::remote
