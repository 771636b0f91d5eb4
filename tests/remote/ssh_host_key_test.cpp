#include "remote/ssh_host_key.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/program.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::remote {
namespace {

using testing::ReadFile;
using testing::WriteFile;

// An SSH key blob as servers send it: the type name, then the key.
std::string Blob(const std::string& type, const std::string& key) {
  auto field = [](const std::string& s) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((s.size() >> (24 - 8 * i)) & 0xff);
    return out + s;
  };
  return field(type) + field(key);
}

TEST(KnownHostsTest, RememberedKeysAreFoundAndOthersOfTheSameTypeAreMismatches) {
  testing::TempDir dir;
  std::string file = dir.File("data/sonavelt/known_hosts");
  std::string key = Blob("ssh-ed25519", std::string(32, '\x11'));
  std::string other = Blob("ssh-ed25519", std::string(32, '\x22'));
  std::string rsa = Blob("ssh-rsa", std::string(40, '\x33'));
  EXPECT_EQ(FindKnownHost(file, "127.0.0.1", 2222, key), KnownHostMatch::kMissing);
  ASSERT_TRUE(RememberHostKey(file, "127.0.0.1", 2222, key).ok());
  ASSERT_TRUE(RememberHostKey(file, "example.org", 22, rsa).ok());
  struct stat info {};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFile(file).substr(0, 29), "[127.0.0.1]:2222 ssh-ed25519 ");
  EXPECT_EQ(ReadFile(file).find("\nexample.org ssh-rsa "), ReadFile(file).find('\n'));

  EXPECT_EQ(FindKnownHost(file, "127.0.0.1", 2222, key), KnownHostMatch::kMatch);
  EXPECT_EQ(FindKnownHost(file, "127.0.0.1", 2222, other), KnownHostMatch::kMismatch);
  EXPECT_EQ(FindKnownHost(file, "127.0.0.1", 22, key), KnownHostMatch::kMissing);
  EXPECT_EQ(FindKnownHost(file, "example.org", 22, rsa), KnownHostMatch::kMatch);
  // A key of a type the file has none of for the host is new, not changed.
  EXPECT_EQ(FindKnownHost(file, "example.org", 22, key), KnownHostMatch::kMissing);
}

// A file the user keeps by hand: its lines stay byte for byte, its mode too.
TEST(KnownHostsTest, AnAcceptedKeyKeepsTheFilesOtherLines) {
  testing::TempDir dir;
  std::string file = dir.File("known_hosts");
  const std::string before = "# mine\r\nexample.org ssh-rsa AAAA";
  WriteFile(file, before);
  ASSERT_EQ(chmod(file.c_str(), 0644), 0);
  std::string key = Blob("ssh-ed25519", std::string(32, '\x55'));
  ASSERT_TRUE(RememberHostKey(file, "10.0.0.7", 22, key).ok());
  const std::string after = ReadFile(file);
  EXPECT_EQ(after.substr(0, before.size() + 1), before + "\n");
  EXPECT_EQ(after.substr(before.size() + 1, 22), "10.0.0.7 ssh-ed25519 A");
  EXPECT_EQ(after.back(), '\n');
  EXPECT_EQ(FindKnownHost(file, "10.0.0.7", 22, key), KnownHostMatch::kMatch);
  struct stat info {};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

// OpenSSH hashes host names by default (HashKnownHosts): ssh-keygen -H
// writes the entries exactly as ssh does.
TEST(KnownHostsTest, HashedEntriesAsOpenSshWritesThem) {
  testing::TempDir dir;
  std::string file = dir.File("known_hosts");
  std::string key = Blob("ssh-ed25519", std::string(32, '\x44'));
  ASSERT_TRUE(RememberHostKey(file, "10.1.2.3", 2200, key).ok());
  ASSERT_TRUE(RememberHostKey(file, "other.example", 22, Blob("ssh-ed25519", "x")).ok());
  if (!testing::RunProgram({"ssh-keygen", "-q", "-H", "-f", file}))
    GTEST_SKIP() << "ssh-keygen is not there";
  ASSERT_EQ(ReadFile(file).rfind("|1|", 0), 0u) << ReadFile(file);
  EXPECT_EQ(FindKnownHost(file, "10.1.2.3", 2200, key), KnownHostMatch::kMatch);
  EXPECT_EQ(FindKnownHost(file, "10.1.2.3", 2201, key), KnownHostMatch::kMissing);
  EXPECT_EQ(FindKnownHost(file, "other.example", 22, key), KnownHostMatch::kMismatch);
}

TEST(KnownHostsTest, TheProgramsOwnFileLivesInTheUsersDataFolder) {
  std::string saved_data = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
  setenv("XDG_DATA_HOME", "/home/alice/.data", 1);
  EXPECT_EQ(DefaultKnownHostsFile(), "/home/alice/.data/sonavelt/known_hosts");
  unsetenv("XDG_DATA_HOME");
  std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
  EXPECT_EQ(DefaultKnownHostsFile(), home + "/.local/share/sonavelt/known_hosts");
  if (!saved_data.empty()) setenv("XDG_DATA_HOME", saved_data.c_str(), 1);
}

}  // namespace
}  // namespace sonavelt::remote
