#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Where an FTP site is and how to log in: the address the user typed, what it
// parses to, and the endpoint a connection is opened with.
namespace sonavelt::remote {

// How the control and data channels travel.
enum class Security {
  kPlain,        // "ftp://" or a bare server name: plain FTP
  kExplicitTls,  // "ftpes://": FTP with AUTH TLS, usually port 21
  kImplicitTls,  // "ftps://": TLS from the first byte, usually port 990
  kSsh,          // "sftp://": file transfer over SSH, usually port 22
};

// The longest user name and password the connect dialog takes.
inline constexpr int kMaxLoginFieldLength = 100;

// The login as typed in the connect dialog. Lives in memory only: the password
// is user data and is never written to disk or to a log.
struct FtpLogin {
  std::string address_text;  // exactly as typed: an FTP URL or a bare server name
  std::string user_name;     // may be empty (anonymous login)
  std::string password;      // may be empty
  uint16_t port = 21;        // from the parsed address
  std::string home_directory;  // the server's directory right after login
  std::string key_file;      // SFTP: a private key file; empty: none
  std::string key_passphrase;  // SFTP: unlocks key_file only; never sent to a server
  std::string ca_file;       // FTPS: a site's own CA certificates (PEM); empty: the system's
};

// What ParseFtpAddress found.
struct FtpAddress {
  bool parsed = false;   // false: not a URL even with "ftp://" in front
  bool usable = false;   // parsed, an FTP-family scheme and a server
  std::string scheme;    // lower case, as parsed ("ftp", "http", ...)
  Security security = Security::kPlain;
  std::string server;
  std::string start_path;  // "/" when the address names no path
  uint16_t port = 21;
  std::string user_name;   // "user@" in the address, empty when none
};

// Parses the address text: as a URL first, then with "ftp://" in front, so a
// bare "ftp.example.com" or "host:2121/pub" means plain FTP. A parsed address
// is usable when its scheme is ftp (or ftpes, ftps, sftp) and it names a server.
FtpAddress ParseFtpAddress(std::string_view address_text);

// All a connection needs. Copies of it are cheap; it holds the password, so
// never log or store one.
struct FtpEndpoint {
  Security security = Security::kPlain;
  std::string server;
  uint16_t port = 21;
  std::string user_name;  // empty: anonymous
  // The account's password. Over SFTP it is offered only when there is no
  // key file, or when ssh_password_login asks for it.
  std::string password;
  // Certificates are always verified. ca_file: a CA bundle (PEM) to trust in
  // place of the system's store, for sites with their own CA; empty: the system's.
  std::string ca_file;
  // SFTP: the accepted host key's SHA-256 fingerprint (base64, as OpenSSH
  // prints it after "SHA256:"); empty: the known-hosts files decide.
  std::string ssh_host_key_sha256;
  // SFTP: a private key file (OpenSSH or PEM format) to log in with. With a
  // key file the login is by key alone, unless ssh_password_login is set.
  // Empty: no key file (the password, and the agent's keys, log in).
  std::string ssh_private_key_file;
  // SFTP: what unlocks ssh_private_key_file. It stays on this machine: it is
  // never offered to a server as a password.
  std::string ssh_key_passphrase;
  // SFTP with a key file: also offer the password when the key is refused.
  bool ssh_password_login = false;
  // SFTP: also offer the keys of the SSH agent (SSH_AUTH_SOCK).
  bool use_ssh_agent = false;
  // SFTP: the program's own known-hosts file (OpenSSH format), checked before
  // the user's ~/.ssh/known_hosts; empty: only the user's.
  std::string known_hosts_file;
  // Contacting the server and logging in must be done within this time.
  int connect_timeout_seconds = 15;
  // A transfer (or a reply) with no progress for this long is a lost connection.
  int stall_timeout_seconds = 30;
  // Caps the upload rate in bytes per second; 0: no cap. Lets tests stop a
  // server in the middle of a transfer.
  long long max_send_bytes_per_second = 0;
};

// The endpoint for a usable address and a login.
FtpEndpoint EndpointFor(const FtpAddress& address, const FtpLogin& login);

// True when `name`, as given by a listing, can safely be used as one path
// component: not empty, not "." or "..", no "/" or "\", no control characters
// (a CR or LF would also end an FTP command early).
bool IsSafeEntryName(std::string_view name);

// True when `path` is an absolute remote path ("/" first) whose components are
// all safe entry names (empty components from doubled "/" allowed).
bool IsSafeRemotePath(std::string_view path);

}  // namespace sonavelt::remote
