#include "run/choice_rules.h"

#include <curl/curl.h>

#include <cctype>
#include <memory>

#include "audio/sound_checks.h"
#include "base/text.h"

namespace sonavelt::run {
namespace {

constexpr char kRealNumber[] = "Please provide a real number!";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The number a spin control accepts from its edit: digits only, blanks
// around them allowed, within 1..max. -1 when not.
int SpinPosition(std::string_view text, int max) {
  size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  if (b == e || e - b > 9) return -1;
  int value = 0;
  for (size_t i = b; i < e; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value >= 1 && value <= max ? value : -1;
}

// The C library's text-to-integer rule (leading blanks, a sign, digits up to
// the first non-digit, no digits give 0), saturating instead of overflowing.
long long LeadingInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
    if (value < 1'000'000'000'000LL) value = value * 10 + (text[i] - '0');
  return negative ? -value : value;
}

}  // namespace

CountCheck CheckCombinationCount(std::string_view typed) {
  CountCheck result;
  int position = SpinPosition(typed, kMaxSoundCombinations);
  if (position > 0) {
    result.ok = true;
    result.count = position;
  } else if (LeadingInteger(typed) > kMaxSoundCombinations) {
    result.message = "\"" + std::string(typed) + "\" is too large in reality.";
  } else {
    result.message = kRealNumber;
  }
  return result;
}

CountCheck CheckGoToNumber(std::string_view typed, int combination_count) {
  CountCheck result;
  int position = SpinPosition(typed, combination_count);
  if (position > 0) {
    result.ok = true;
    result.count = position;
  } else if (LeadingInteger(typed) > combination_count) {
    result.message = "Cannot go to the No. " + std::string(typed) + " sound combination of total " +
                     DecimalText(combination_count) + " sound combinations.";
  } else {
    result.message = kRealNumber;
  }
  return result;
}

OptionBoxes ShowOptions(const RunOptions& options, int combination_count) {
  OptionBoxes boxes;
  if (combination_count >= 2)
    boxes.random_order = {options.random_order, true};
  else
    boxes.random_order = {false, false};
  boxes.safety_key = {options.safety_key, true};
  boxes.no_background = {options.no_background, true};
  if (options.no_background)
    boxes.background_initially_on = {false, false};
  else
    boxes.background_initially_on = {options.background_initially_on, true};
  boxes.entrance_on = {options.entrance_on, true};
  boxes.exit_on = {options.exit_on, true};
  boxes.invisible_applet = {options.invisible_applet, true};
  boxes.browser_player = {options.browser_player, true};
  return boxes;
}

void ClickOption(OptionBoxes& boxes, OptionBoxId id, bool checked, RunOptions& options) {
  OptionBox* box = nullptr;
  switch (id) {
    case OptionBoxId::kRandomOrder: box = &boxes.random_order; break;
    case OptionBoxId::kSafetyKey: box = &boxes.safety_key; break;
    case OptionBoxId::kNoBackground: box = &boxes.no_background; break;
    case OptionBoxId::kBackgroundInitiallyOn: box = &boxes.background_initially_on; break;
    case OptionBoxId::kEntranceOn: box = &boxes.entrance_on; break;
    case OptionBoxId::kExitOn: box = &boxes.exit_on; break;
    case OptionBoxId::kInvisibleApplet: box = &boxes.invisible_applet; break;
    case OptionBoxId::kBrowserPlayer: box = &boxes.browser_player; break;
  }
  if (!box->enabled) return;
  box->checked = checked;
  // The background box keeps its own state while it is shown disabled, so
  // its live state is the option itself.
  if (id == OptionBoxId::kBackgroundInitiallyOn) options.background_initially_on = checked;
  if (id == OptionBoxId::kNoBackground) {
    options.no_background = checked;
    if (checked) {
      boxes.background_initially_on = {false, false};
      boxes.invisible_applet.checked = true;
    } else {
      boxes.background_initially_on = {options.background_initially_on, true};
    }
  } else if (id == OptionBoxId::kInvisibleApplet && options.no_background) {
    // Without a background sound there is nothing to switch: the control
    // is always invisible.
    boxes.invisible_applet.checked = true;
  }
}

void ReadOptions(const OptionBoxes& boxes, const std::string& url_text, RunOptions& options) {
  options.page_url = url_text;
  options.random_order = boxes.random_order.checked;
  options.safety_key = boxes.safety_key.checked;
  options.entrance_on = boxes.entrance_on.checked;
  options.exit_on = boxes.exit_on.checked;
  options.no_background = boxes.no_background.checked;
  // Shown disabled (no background sound), the box is unchecked on screen
  // while it keeps its own state: that state is read, as stored.
  if (boxes.background_initially_on.enabled)
    options.background_initially_on = boxes.background_initially_on.checked;
  options.invisible_applet = boxes.invisible_applet.checked;
  options.browser_player = boxes.browser_player.checked;
}

bool HoldsListSeparator(std::string_view path) { return path.find(';') != std::string_view::npos; }

std::string ListSeparatorMessage(const std::string& path, const std::string& kind) {
  return path + "\r\ncannot be used: its path holds \";\", which Sonavelt uses to separate " +
         "the choices it remembers.\r\nPlease rename the file or its folder, or select " +
         "another " + kind + " file.";
}

bool CheckListSafePath(const std::string& path, const std::string& kind, UserInterface& ui) {
  if (!HoldsListSeparator(path)) return true;
  ui.Tell(BoxStyle::kSystemModal, ListSeparatorMessage(path, kind));
  return false;
}

bool CheckLocalPagePath(const std::string& path, UserInterface& ui) {
  if (!CheckListSafePath(path, "HTML", ui)) return false;
  if (audio::FileExists(path)) return true;
  Show(ui, audio::MissingFile(path, "HTML"));
  return false;
}

UrlParts ParseUrl(const std::string& text) {
  UrlParts parts;
  // The scheme is read from the text itself, so that an address whose server
  // is missing ("http:///index.htm", "http://") or that is no web address at
  // all ("mailto:x@y") keeps its scheme and is refused as such, instead of
  // being taken for a server named "http" or "mailto" behind "http://".
  // "www.example.com:8080/x" is a server and a port, not a scheme.
  size_t colon = 0;
  while (colon < text.size() &&
         (std::isalnum(static_cast<unsigned char>(text[colon])) || text[colon] == '+' ||
          text[colon] == '-' || text[colon] == '.')) {
    ++colon;
  }
  if (colon == 0 || colon >= text.size() || text[colon] != ':' ||
      !std::isalpha(static_cast<unsigned char>(text[0]))) {
    return parts;
  }
  size_t digits = colon + 1;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits > colon + 1 &&
      (digits == text.size() || text[digits] == '/' || text[digits] == '?' || text[digits] == '#')) {
    return parts;
  }
  parts.ok = true;
  parts.scheme = LowerCopy(text.substr(0, colon));
  parts.path = "/";
  // The server is what follows "//", up to the path; curl would also read
  // "http:///index.htm" as the server "index.htm".
  const std::string rest = text.substr(colon + 1);
  if (rest.compare(0, 2, "//") != 0) return parts;
  std::string authority = rest.substr(2, rest.find_first_of("/?#", 2) - 2);
  authority = authority.substr(authority.rfind('@') == std::string::npos ? 0 : authority.rfind('@') + 1);
  if (authority.empty() || authority[0] == ':') return parts;

  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
  // Any scheme is parsed; text the parser refuses (no server, bad
  // characters) keeps an empty server.
  if (!url ||
      curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
    return parts;
  auto part = [&](CURLUPart which) {
    char* value = nullptr;
    std::string out;
    if (curl_url_get(url.get(), which, &value, 0) == CURLUE_OK && value != nullptr) out = value;
    curl_free(value);
    return out;
  };
  parts.host = part(CURLUPART_HOST);
  parts.path = part(CURLUPART_PATH);
  if (parts.path.empty()) parts.path = "/";
  return parts;
}

bool CheckPageUrl(const PageTarget& page, RunOptions& options, UserInterface& ui) {
  if (!options.safety_key && options.page_url.empty()) return true;
  std::string name =
      FileNameOfPath(page.is_remote ? page.remote_path : page.local_html_path);
  if (options.page_url.empty()) {
    ui.Tell(BoxStyle::kPlain, "You must provide the actual URL of " + name +
                                  "\r\nif you want to set up safety key for " + name + ".");
    return false;
  }
  UrlParts parts = ParseUrl(options.page_url);
  if (!parts.ok) {
    parts = ParseUrl("http://" + options.page_url);
    if (!parts.ok) {
      ui.Tell(BoxStyle::kPlain, options.page_url + " is not a valid URL.");
      return false;
    }
    options.page_url = "http://" + options.page_url;
  }
  // Pages are served over HTTPS as often as HTTP today; both are web
  // addresses the player can compare the page's address with.
  if (parts.scheme != "http" && parts.scheme != "https") {
    ui.Tell(BoxStyle::kPlain,
            options.page_url + " is not a valid HTTP URL.\r\n" +
                "You must provide a valid HTTP URL to access your web page: " + name);
    return false;
  }
  if (parts.host.empty()) {
    ui.Tell(BoxStyle::kPlain, options.page_url + " is not a valid URL.");
    return false;
  }
  if (parts.path.find(name) == std::string::npos) {
    return ui.Ask(BoxStyle::kPlain,
                  "Are you sure " + options.page_url + "\r\nis the actual URL for " + name + "?");
  }
  return true;
}

}  // namespace sonavelt::run
