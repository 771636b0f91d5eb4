#include "remote/messages.h"

namespace sonavelt::remote {
namespace {

std::string WithError(std::string text, std::string_view error) {
  if (!error.empty()) text += "\r\n\r\n" + std::string(error);
  return text;
}

}  // namespace

std::string ContactingText(std::string_view server) {
  return "  Contacting " + std::string(server) + " ......";
}

std::string FilesCaption(std::string_view server) { return "Files on " + std::string(server); }

std::string IsDirectoryText(std::string_view item_text) {
  return std::string(item_text) + " is a directory!\r\n\r\nPlease select an HTML file.\r\n";
}

std::string LostConnectionText(std::string_view site) {
  return "Sonavelt has lost connection with:\r\n\r\n\t" + std::string(site) +
         "\r\n\r\nSonavelt is trying to make the FTP connection now.";
}

std::string CannotRetrieveText(std::string_view remote_path, std::string_view site,
                               std::string_view error) {
  return WithError("Sonavelt could not retrieve " + std::string(remote_path) + " from " +
                       std::string(site) + ".",
                   error);
}

std::string CannotTransferText(std::string_view file, std::string_view site,
                               std::string_view error) {
  return WithError(
      "Sonavelt could not transfer " + std::string(file) + " to " + std::string(site) + ".",
      error);
}

std::string CannotEnterFolderText(std::string_view folder, std::string_view site,
                                  std::string_view error) {
  return WithError("Sonavelt could not create or open the folder " + std::string(folder) +
                       " on " + std::string(site) + ".",
                   error);
}

std::string ConnectTimeoutText(std::string_view server, int seconds) {
  return std::string(server) + " did not answer within " + std::to_string(seconds) +
         " seconds (connecting and logging in).";
}

std::string StalledText(int seconds) {
  return "Nothing moved for " + std::to_string(seconds) +
         " seconds: the connection was given up as lost.";
}

std::string UnknownHostKeyText(std::string_view server, std::string_view fingerprint) {
  return "The SSH host key of " + std::string(server) + " is not known:\r\n\r\n\tSHA256:" +
         std::string(fingerprint) +
         "\r\n\r\nIf this is the server's key (ask its administrator), accept it: give "
         "--host-key SHA256:" +
         std::string(fingerprint) +
         " on the command line, or connect in the wizard and answer Yes to its question.";
}

std::string ChangedHostKeyText(std::string_view server, std::string_view fingerprint,
                               std::string_view known_hosts, int line) {
  return "WARNING: the SSH host key of " + std::string(server) +
         " has CHANGED since it was accepted. It is now\r\n\r\n\tSHA256:" +
         std::string(fingerprint) +
         "\r\n\r\nSomeone may be intercepting the connection, or the server's key was "
         "replaced. The connection was refused. If the change is expected, remove the old key "
         "of " +
         std::string(server) + " (line " + std::to_string(line) + " of " +
         std::string(known_hosts) + ") and accept the new one.";
}

std::string HostKeyNotPinnedText(std::string_view server, std::string_view fingerprint,
                                 std::string_view pinned) {
  return "The SSH host key of " + std::string(server) + " is SHA256:" + std::string(fingerprint) +
         ", not SHA256:" + std::string(pinned) +
         " as given with --host-key. The connection was refused.";
}

std::string UntrustedCertificateText(std::string_view server, std::string_view error) {
  return "The certificate of " + std::string(server) + " is not trusted (" + std::string(error) +
         ").\r\n\r\nIf the site uses a certificate authority of its own, give its "
         "certificate (PEM) with --ca-file FILE, or choose it as the CA file in the wizard's "
         "connect dialog.";
}

std::string CertificateNameText(std::string_view server, std::string_view names) {
  std::string text = "The certificate of " + std::string(server) + " is for another name";
  text += names.empty() ? std::string(".") : ": " + std::string(names) + ".";
  return text + "\r\n\r\nConnect with the name the certificate is for (the address the "
                "site's provider gives for FTP), or ask the site's administrator for a "
                "certificate for " + std::string(server) + ".";
}

std::string SessionRefusedText(std::string_view server, std::string_view reply, bool asks_tls) {
  std::string text = std::string(server) + " refused the session:\r\n\r\n" + std::string(reply);
  if (asks_tls)
    text += "\r\n\r\nThe server accepts only encrypted sessions: use ftpes:// in front of the "
            "address (FTP with TLS).";
  return text;
}

std::string LoginRefusedText(std::string_view server, std::string_view user,
                             std::string_view reply) {
  return std::string(server) + " refused the login of " + std::string(user) + ":\r\n\r\n" +
         std::string(reply) +
         "\r\n\r\nCheck the user name and give another password: in SONAVELT_FTP_PASSWORD "
         "for sonavelt-cli, or in the PASSWORD field of the wizard's connect dialog.";
}

std::string KeyRefusedText(std::string_view server, std::string_view user,
                           std::string_view key_file) {
  return std::string(server) + " did not accept the key " + std::string(key_file) + " for " +
         std::string(user) +
         ". Its public key must be in the account's authorized keys. To log in with the "
         "account's password instead, leave the key out, or ask for a password login as well "
         "(--password-login with SONAVELT_FTP_PASSWORD, or type the password in the wizard's "
         "connect dialog).";
}

std::string KeyNotUnlockedText(std::string_view key_file) {
  return "The key file " + std::string(key_file) +
         " could not be unlocked: the passphrase is wrong (or the file is no private key). "
         "Give the key's passphrase in SONAVELT_SSH_PASSPHRASE for sonavelt-cli, or in the "
         "KEY PASSPHRASE field of the wizard's connect dialog.";
}

std::string ConnectRefusedText(std::string_view server, int port) {
  return std::string(server) + " did not accept a connection on port " + std::to_string(port) +
         " (no server there, or a firewall in between).";
}

std::string UnknownServerText(std::string_view server) {
  return "The server name " + std::string(server) + " cannot be found.";
}

std::string ConnectionLostText(std::string_view server) {
  return "The connection to " + std::string(server) + " broke off.";
}

std::string SizeMismatchText(std::string_view remote_path, long long stored, long long sent) {
  return std::string(remote_path) + " arrived on the server with " + std::to_string(stored) +
         " of its " + std::to_string(sent) +
         " bytes, twice. The server may be out of space or limit the size of files.";
}

std::string PublishStoppedText(std::string_view announced) {
  std::string text = "The run was stopped";
  if (!announced.empty()) text += " while " + std::string(announced) + " was being sent";
  return text + ".";
}

std::string PageUnchangedText(const std::vector<std::string>& placed) {
  std::string text = "The page on the site was not changed.";
  if (placed.empty()) return text + " No file was put beside it.";
  text += " These files were put beside it:";
  for (const std::string& file : placed) text += "\r\n\t" + file;
  return text;
}

std::string OldFileKeptText(std::string_view backup) {
  return "\r\nThe old file is kept on the site as " + std::string(backup) + ".";
}

std::string PageBackupText(std::string_view backup, std::string_view new_page) {
  return "The server allows no renames, so the page was being written in place and may be "
         "incomplete. The old page is kept on the site as " +
         std::string(backup) + ", the new one as " + std::string(new_page) +
         ": copy one of them over the page, or run again.";
}

}  // namespace sonavelt::remote
