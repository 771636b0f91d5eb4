#include "cli/remote_login.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

namespace sonavelt::cli {

std::string NoPasswordText(const std::string& user, const std::string& server) {
  return std::string("There is no terminal to ask for the password of ") + user + " at " + server +
         ": set " + kPasswordVariable + " to it (it may be empty) and run again.";
}

namespace {

// Asks `prompt` on the controlling terminal with echo off; nullopt without one.
std::optional<std::string> AskOnTerminal(const std::string& prompt) {
  int tty = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (tty < 0) return std::nullopt;
  ssize_t ignored = write(tty, prompt.data(), prompt.size());
  termios saved {};
  bool restore = tcgetattr(tty, &saved) == 0;
  if (restore) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    quiet.c_lflag |= ECHONL;
    tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  std::string secret;
  char c;
  while (read(tty, &c, 1) == 1 && c != '\n') {
    if (c != '\r') secret += c;
  }
  if (restore) tcsetattr(tty, TCSAFLUSH, &saved);
  else ignored = write(tty, "\n", 1);
  (void)ignored;
  close(tty);
  return secret;
}

}  // namespace

std::optional<std::string> ReadPassword(const std::string& user, const std::string& server) {
  if (const char* given = std::getenv(kPasswordVariable)) return std::string(given);
  return AskOnTerminal("Password for " + user + " at " + server + ": ");
}

std::optional<std::string> ReadPassphrase(const std::string& key_file) {
  if (const char* given = std::getenv(kPassphraseVariable)) return std::string(given);
  return AskOnTerminal("Passphrase for the key " + key_file + ": ");
}

std::string NoPassphraseText(const std::string& key_file) {
  return "There is no terminal to ask for the passphrase of the key " + key_file + ": set " +
         kPassphraseVariable + " to it and run again.";
}

namespace {

class TerminalSecrets : public run::SiteSecrets {
 public:
  std::optional<std::string> Password(const std::string& user, const std::string& server) override {
    return ReadPassword(user, server);
  }
  std::optional<std::string> Passphrase(const std::string& key_file) override {
    return ReadPassphrase(key_file);
  }
  std::string NoPasswordText(const std::string& user, const std::string& server) override {
    return cli::NoPasswordText(user, server);
  }
  std::string NoPassphraseText(const std::string& key_file) override {
    return cli::NoPassphraseText(key_file);
  }
  std::string AddressPasswordText() override {
    return std::string("The password written in the address is not used: give it in ") +
           kPasswordVariable + " or when asked.";
  }
};

}  // namespace

RemotePage PrepareRemotePage(const std::string& address_text, const RemoteOptions& options,
                             run::SettingsStore& store, UserInterface& ui) {
  TerminalSecrets secrets;
  return run::PrepareSitePage(address_text, options, secrets, store, ui);
}

}  // namespace sonavelt::cli
