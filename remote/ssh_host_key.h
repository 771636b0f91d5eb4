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
Status ReadSshHostKey(const std::string& server, uint16_t port, int timeout_seconds,
                      std::string* fingerprint);

// base64 of the SHA-256 digest of `key_blob`, without "=" padding.
std::string Sha256Fingerprint(std::string_view key_blob);

}  // namespace sonavelt::remote
