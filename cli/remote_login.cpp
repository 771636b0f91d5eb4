#include "cli/remote_login.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "base/text.h"
#include "remote/address_history.h"
#include "remote/messages.h"
#include "remote/url.h"
#include "run/address_history_store.h"

namespace sonavelt::cli {

bool IsRemotePageAddress(std::string_view text) {
  const std::string lower = LowerCopy(std::string(text.substr(0, 8)));
  for (std::string_view scheme : {"ftp://", "ftpes://", "ftps://", "sftp://"})
    if (lower.rfind(scheme, 0) == 0) return true;
  return false;
}

RemotePage PrepareRemotePage(const std::string& address_text, const std::string& ca_file,
                             const std::string& ssh_host_key, run::SettingsStore& store,
                             UserInterface& ui) {
  RemotePage out;
  remote::FtpAddress address = remote::ParseFtpAddress(address_text);
  if (!address.usable) {
    ui.Tell(BoxStyle::kPlain, std::string(remote::kInvalidFtpUrlText));
    return out;
  }
  // The run replaces one file: the address must name it, and every part of
  // its path must name exactly one entry on the site.
  const std::string& path = address.start_path;
  if (path.empty() || path.back() == '/' || !remote::IsSafeRemotePath(path)) {
    ui.Tell(BoxStyle::kPlain, address_text + " does not name a page.\r\n" +
                                  std::string(remote::kSelectHtmlFileText));
    return out;
  }
  if (remote::AddressWithoutPassword(address_text) != address_text) {
    ui.Tell(BoxStyle::kPlain,
            std::string("The password written in the address is not used: give it in ") +
                kPasswordVariable + " or when asked.");
  }

  // Remembered before connecting, so that an address that then fails is
  // still offered next time.
  remote::AddressHistory history = run::LoadAddressHistory(store);
  history.Remember(address_text);
  run::SaveAddressHistory(history, store);

  remote::FtpLogin login;
  login.address_text = address_text;
  login.user_name = address.user_name;
  login.port = address.port;
  if (!login.user_name.empty()) login.password = ReadPassword(login.user_name, address.server);
  out.endpoint = remote::EndpointFor(address, login);
  out.endpoint.ca_file = ca_file;
  // Taken as OpenSSH prints it, with or without its "SHA256:" in front.
  out.endpoint.ssh_host_key_sha256 =
      ssh_host_key.rfind("SHA256:", 0) == 0 ? ssh_host_key.substr(7) : ssh_host_key;
  out.page.is_remote = true;
  out.page.remote_site = address.server;
  out.page.remote_path = path;
  out.ok = true;
  return out;
}

std::string ReadPassword(const std::string& user, const std::string& server) {
  if (const char* given = std::getenv(kPasswordVariable)) return given;
  int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return std::string();
  std::string prompt = "Password for " + user + " at " + server + ": ";
  ssize_t ignored = write(tty, prompt.data(), prompt.size());
  termios saved {};
  bool restore = tcgetattr(tty, &saved) == 0;
  if (restore) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  std::string password;
  char c;
  while (read(tty, &c, 1) == 1 && c != '\n') {
    if (c != '\r') password += c;
  }
  if (restore) tcsetattr(tty, TCSAFLUSH, &saved);
  else ignored = write(tty, "\n", 1);
  (void)ignored;
  close(tty);
  return password;
}

}  // namespace sonavelt::cli
