#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/status.h"

namespace sonavelt::remote {

// Contacts an SFTP server and reads its host key without logging in, so that
// a key seen for the first time can be shown to the user and, once accepted,
// pinned as FtpEndpoint::ssh_host_key_sha256. On success *fingerprint is the
// key's SHA-256 fingerprint as OpenSSH prints it after "SHA256:".
// key_blob (optional): the key itself, as the server sent it.
Status ReadSshHostKey(const std::string& server, uint16_t port, int timeout_seconds,
                      std::string* fingerprint, std::string* key_blob = nullptr);

// base64 of the SHA-256 digest of `key_blob`, without "=" padding.
std::string Sha256Fingerprint(std::string_view key_blob);

// The program's own known-hosts file: $XDG_DATA_HOME/sonavelt/known_hosts,
// else ~/.local/share/sonavelt/known_hosts.
std::string DefaultKnownHostsFile();
// The user's OpenSSH file, ~/.ssh/known_hosts.
std::string UserKnownHostsFile();

enum class KnownHostMatch { kMatch, kMismatch, kMissing };

// Looks `key_blob` up for the host in an OpenSSH known-hosts file: plain
// host patterns ("host", "[host]:port", lists with ",") and hashed ones
// ("|1|salt|hash"); "@revoked" marks a key as a mismatch. A missing or
// unreadable file knows no host. kMismatch: the file holds other keys of the
// same type for the host and not this one; *mismatch_line (optional) is then
// the line (from 1) of the first such key, or of the "@revoked" entry.
KnownHostMatch FindKnownHost(const std::string& file, const std::string& server, uint16_t port,
                             std::string_view key_blob, int* mismatch_line = nullptr);

// Where a changed host key is recorded: the program's own file `own_file`
// first, then the user's; false when neither holds another key for the host.
bool FindChangedHostKey(const std::string& own_file, const std::string& server, uint16_t port,
                        std::string_view key_blob, std::string* file, int* line);

// Appends the host's key to `file` as OpenSSH writes it ("[host]:port
// ssh-ed25519 AAAA..."), creating the file (mode 0600) and its folder.
Status RememberHostKey(const std::string& file, const std::string& server, uint16_t port,
                       std::string_view key_blob);

// True when the private key file `key_file` (OpenSSH or PEM format) is
// encrypted, so that a passphrase must unlock it. An unreadable file or
// another format: false (libssh2 then says what is wrong with it).
bool PrivateKeyIsEncrypted(const std::string& key_file);

}  // namespace sonavelt::remote
