#include "browser/browser_launch.h"

#include <cstdlib>
#include <filesystem>

#include "browser/find_file.h"

namespace sonavelt::browser {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) out.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

struct Word {
  std::string text;
  bool quoted = false;  // held a quote or an escape: never joined with others
};

std::vector<Word> SplitWords(const std::string& command) {
  std::vector<Word> words;
  Word word;
  bool in_word = false;
  char quote = 0;
  for (size_t i = 0; i < command.size(); ++i) {
    const char c = command[i];
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else if (c == '\\' && quote == '"' && i + 1 < command.size()) {
        word.text += command[++i];
      } else {
        word.text += c;
      }
    } else if (c == ' ' || c == '\t') {
      if (in_word) words.push_back(word);
      word = Word{};
      in_word = false;
    } else if (c == '\'' || c == '"') {
      quote = c;
      word.quoted = in_word = true;
    } else if (c == '\\' && i + 1 < command.size()) {
      word.text += command[++i];
      word.quoted = in_word = true;
    } else {
      word.text += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

bool IsProgramFile(const std::string& path) {
  std::error_code ec;
  return path.find('/') != std::string::npos && fs::is_regular_file(path, ec);
}

// "%s" becomes the address, "%%" a "%".
std::string Substitute(const std::string& text, const std::string& address, bool& used) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
      out += address;
      used = true;
      ++i;
    } else if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') {
      out += '%';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// The first trusted program called name in the folders of the search path.
std::string FindOnPath(const std::string& name, const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;  // the current folder is never searched
    const std::string candidate = (fs::path(folder) / name).string();
    if (IsTrustedProgram(candidate)) return candidate;
  }
  return {};
}

}  // namespace

BrowserSearch BrowserSearch::FromEnvironment() {
  BrowserSearch search;
  if (const char* value = std::getenv("BROWSER")) search.browser_variable = value;
  if (const char* value = std::getenv("PATH")) search.path_folders = Split(value, ':');
  const char* data = std::getenv("XDG_DATA_HOME");
  const char* home = std::getenv("HOME");
  if (data != nullptr && data[0] == '/') {
    search.search_roots.push_back(std::string(data) + "/flatpak/exports/bin");
  } else if (home != nullptr && home[0] == '/') {
    search.search_roots.push_back(std::string(home) + "/.local/share/flatpak/exports/bin");
  }
  return search;
}

std::string NoBrowserMessage(const std::string& address, const BrowserSearch& search) {
  const std::string first = search.browsers.size() > 0 ? search.browsers[0] : kFirstBrowser;
  const std::string second = search.browsers.size() > 1 ? search.browsers[1] : kSecondBrowser;
  std::string message;
  if (!search.browser_variable.empty()) {
    message = "Sonavelt could not start the browser set in $BROWSER (" + search.browser_variable +
              ").\r\n";
  }
  return message + "Sonavelt could not locate neither " + first + " nor " + second + ".\r\n" +
         "Please open the link: " + address + " by yourself.";
}

std::vector<std::string> BrowserCommandArgs(const std::string& command, const std::string& address) {
  const std::vector<Word> words = SplitWords(command);
  if (words.empty()) return {};
  // An unquoted program path with blanks in it: the longest run of leading
  // plain words that names a file is the program.
  size_t program_words = 1;
  for (size_t n = words.size(); n > 1; --n) {
    std::string joined;
    bool plain = true;
    for (size_t i = 0; i < n; ++i) {
      plain = plain && !words[i].quoted;
      joined += (i ? " " : "") + words[i].text;
    }
    if (plain && IsProgramFile(joined)) {
      program_words = n;
      break;
    }
  }
  std::vector<std::string> args;
  std::string program;
  for (size_t i = 0; i < program_words; ++i) program += (i ? " " : "") + words[i].text;
  if (program.empty()) return {};
  args.push_back(program);
  bool used = false;
  for (size_t i = program_words; i < words.size(); ++i)
    args.push_back(Substitute(words[i].text, address, used));
  if (!used) args.push_back(address);
  return args;
}

Status LaunchBrowser(const std::string& address, ProcessStarter& starter,
                     const BrowserSearch& search) {
  // The user's own choice is started as given, on the user's own PATH.
  for (const std::string& command : Split(search.browser_variable, ':')) {
    const std::vector<std::string> args = BrowserCommandArgs(command, address);
    if (!args.empty() && starter.Start(args)) return Status::Ok();
  }
  if (!search.desktop_opener.empty()) {
    const std::string opener = FindOnPath(search.desktop_opener, search.path_folders);
    if (!opener.empty() && starter.Start({opener, address})) return Status::Ok();
  }

  for (const std::string& browser : search.browsers) {
    const std::string on_path = FindOnPath(browser, search.path_folders);
    if (!on_path.empty() && starter.Start({on_path, address})) return Status::Ok();
    std::string found(kNotFound);
    for (const std::string& root : search.search_roots) {
      found = FindFileRecursive(root, browser, EntryKind::kTrustedProgram);
      if (found != kNotFound) break;
    }
    if (found != kNotFound) {
      starter.Start({found, address});
      return Status::Ok();
    }
  }
  return Status::NotFound(NoBrowserMessage(address, search));
}

}  // namespace sonavelt::browser
