#include "run/choice_rules.h"

#include <cctype>
#include <optional>
#include <utility>

#include "audio/sound_messages.h"
#include "base/file_io.h"
#include "base/text.h"
#include "remote/url.h"

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

Status CheckListSafePath(const std::string& path, const std::string& kind) {
  if (!HoldsListSeparator(path)) return Status::Ok();
  return Status::Refused(ListSeparatorMessage(path, kind)).WithBox(BoxStyle::kSystemModal);
}

Status CheckLocalPagePath(const std::string& path) {
  if (Status safe = CheckListSafePath(path, "HTML"); !safe.ok()) return safe;
  if (file_io::IsReadableFile(path)) return Status::Ok();
  const std::string what = file_io::SpecialFileKindOf(path);
  return Status::NotFound(what.empty() ? audio::MissingFileMessage(path, "HTML")
                                       : audio::NotAFileMessage(path, what, "HTML"))
      .WithBox(BoxStyle::kSystemModal);
}

Status CheckPageUrl(const PageTarget& page, RunOptions& options, Questions& questions) {
  if (!options.safety_key && options.page_url.empty()) return Status::Ok();
  const std::string name =
      FileNameOfPath(page.is_remote ? page.remote_path : page.local_html_path);
  auto refuse = [](std::string message) {
    return Status::Refused(std::move(message)).WithBox(BoxStyle::kPlain);
  };
  if (options.page_url.empty()) {
    return refuse("You must provide the actual URL of " + name +
                  "\r\nif you want to set up safety key for " + name + ".");
  }
  std::string scheme = remote::UrlScheme(options.page_url);
  if (scheme.empty()) {
    options.page_url = "http://" + options.page_url;
    scheme = "http";
  }
  // Pages are served over HTTPS as often as HTTP today; both are web
  // addresses the player can compare the page's address with.
  if (scheme != "http" && scheme != "https") {
    return refuse(options.page_url + " is not a valid HTTP URL.\r\n" +
                  "You must provide a valid HTTP URL to access your web page: " + name);
  }
  const std::optional<remote::ParsedUrl> url =
      remote::ParseUrl(options.page_url, remote::UrlForm::kWebAddress);
  if (!url) return refuse(options.page_url + " is not a valid URL.");
  if (url->object.find(name) == std::string::npos &&
      !questions.Ask(BoxStyle::kPlain,
                     "Are you sure " + options.page_url + "\r\nis the actual URL for " + name + "?")) {
    return Status::Cancelled();
  }
  return Status::Ok();
}

}  // namespace sonavelt::run
