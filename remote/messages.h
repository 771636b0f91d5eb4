#pragma once

#include <string>
#include <string_view>
#include <vector>

// The remote site's user-visible texts, built in one place so that the wizard
// and the command line say the same words.
namespace sonavelt::remote {

// No session with the network could be set up.
inline constexpr std::string_view kCannotOpenInternetText =
    "Cannot open an Internet connection.  Please check your internet configuration.";
// The address is not an FTP address.
inline constexpr std::string_view kInvalidFtpUrlText = "Please enter a valid FTP URL";
// A connection failed and the error had no text of its own.
inline constexpr std::string_view kFtpExceptionText =
    "An exception occurred when attempting to create an FTP connection.\r\n"
    "  Please check your internet configuration and make sure your environment\r\n"
    " is set up with the network library (libcurl) in the library path.";
// A reconnect during a run failed and the error had no text of its own.
inline constexpr std::string_view kFtpConnectionFailedText = "Ftp connection failed.";
// Select pressed with nothing selected in the remote tree.
inline constexpr std::string_view kSelectHtmlFileText = "Please select an HTML file.";
// The remote tree's single item when there is no connection.
inline constexpr std::string_view kNoConnectionItemText =
    "Internet connection has not been established.";
// The status line while a remote folder is listed.
inline constexpr std::string_view kTransferringDataText = "  Transferring data ......";

// The status line before a server is contacted.
std::string ContactingText(std::string_view server);
// The remote browser's caption once connected.
std::string FilesCaption(std::string_view server);
// Select pressed on a folder (the item's own text, not its path).
std::string IsDirectoryText(std::string_view item_text);
// The run's progress text before it reconnects.
std::string LostConnectionText(std::string_view site);
// The run gives up after its bounded retries.
std::string CannotRetrieveText(std::string_view remote_path, std::string_view site,
                               std::string_view error);
std::string CannotTransferText(std::string_view file, std::string_view site,
                               std::string_view error);
std::string CannotEnterFolderText(std::string_view folder, std::string_view site,
                                  std::string_view error);

// Time-outs: nothing from the server while connecting and logging in; no
// data or reply moving during an operation.
std::string ConnectTimeoutText(std::string_view server, int seconds);
std::string StalledText(int seconds);
// SFTP host keys: never seen, changed since it was accepted, not the one the
// user named. fingerprint: base64, without "SHA256:".
std::string UnknownHostKeyText(std::string_view server, std::string_view fingerprint);
// known_hosts/line: the file and line (from 1) that hold the old key.
std::string ChangedHostKeyText(std::string_view server, std::string_view fingerprint,
                               std::string_view known_hosts, int line);
std::string HostKeyNotPinnedText(std::string_view server, std::string_view fingerprint,
                                 std::string_view pinned);
// FTPS: the server's certificate was not accepted (error: libcurl's words).
std::string UntrustedCertificateText(std::string_view server, std::string_view error);
// FTPS: the certificate is valid but for other names (`names`: the names it
// is for, as "a, b"; empty when unknown).
std::string CertificateNameText(std::string_view server, std::string_view names);
// The server refused the session (a 421 reply, or a login refused for want
// of TLS; quoted whole); asks_tls: its words ask for TLS, so the address
// should start with ftpes://.
std::string SessionRefusedText(std::string_view server, std::string_view reply, bool asks_tls);
// The login was refused: the server's reply (quoted whole) and how to give
// another password.
std::string LoginRefusedText(std::string_view server, std::string_view user,
                             std::string_view reply);
// SFTP: the key logged nobody in, and no password was offered.
std::string KeyRefusedText(std::string_view server, std::string_view user,
                           std::string_view key_file);
// SFTP: the private key file could not be read with the passphrase given.
std::string KeyNotUnlockedText(std::string_view key_file);
// The connection could not be made, or broke, in the program's own words.
std::string ConnectRefusedText(std::string_view server, int port);
std::string UnknownServerText(std::string_view server);
std::string ConnectionLostText(std::string_view server);
// A file arrived on the server with another size than was sent.
std::string SizeMismatchText(std::string_view remote_path, long long stored, long long sent);
// Ctrl-C (or Cancel) during the publish: what was sent so far.
std::string PublishStoppedText(std::string_view announced);
// A publish that stopped before the page was replaced: the page is as it was;
// `placed` are the files already put on the site (remote paths).
std::string PageUnchangedText(const std::vector<std::string>& placed);
// Appended to a failed replace whose old file could not be put back.
std::string OldFileKeptText(std::string_view backup);
// The page's in-place write (on a server without renames) did not complete.
// Only used once the page itself is being written.
std::string PageBackupText(std::string_view backup, std::string_view new_page);

}  // namespace sonavelt::remote
