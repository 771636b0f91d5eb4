#pragma once

#include <string>
#include <string_view>

#include "base/status.h"
#include "base/user_interface.h"
#include "run/run_inputs.h"

// The rules of the wizard's first two pages that do not depend on a screen:
// the check of the typed number of combinations, the option check boxes with
// their click rules, and the checks of the page URL and safety key. The wizard
// and the command line both go through these, so they accept and refuse the
// same input with the same words.
namespace sonavelt::run {

// The typed number of combinations. `ok` when the text is a whole number from
// 1 to kMaxSoundCombinations (blanks around it allowed); else `message` is
// "\"<text>\" is too large in reality." when the text starts with a number
// above the maximum, and "Please provide a real number!" otherwise.
struct CountCheck {
  bool ok = false;
  int count = 0;
  std::string message;
};
CountCheck CheckCombinationCount(std::string_view typed);

// The Go To number on a sound page: 1 to `combination_count`; else the
// message "Cannot go to the No. <text> sound combination of total <count>
// sound combinations." or "Please provide a real number!".
CountCheck CheckGoToNumber(std::string_view typed, int combination_count);

// The eight check boxes of the options page, as shown.
struct OptionBox {
  bool checked = false;
  bool enabled = true;
};
struct OptionBoxes {
  OptionBox random_order;
  OptionBox safety_key;
  OptionBox no_background;
  OptionBox background_initially_on;
  OptionBox entrance_on;
  OptionBox exit_on;
  OptionBox invisible_applet;
  OptionBox browser_player;
};

// The boxes as the page shows them for `options`: random order only with two
// or more combinations (else disabled and unchecked); background initially on
// disabled and unchecked when no background sound is wanted.
OptionBoxes ShowOptions(const RunOptions& options, int combination_count);

// A click that sets a box to `checked`, with the page's rules: a disabled box
// does not change; ticking "No Background Sound" sets options.no_background,
// disables "Background Sound Initially On" and ticks "Use Invisible Applet";
// clearing it brings the background box back as options says; without a
// background sound "Use Invisible Applet" stays ticked.
enum class OptionBoxId {
  kRandomOrder,
  kSafetyKey,
  kNoBackground,
  kBackgroundInitiallyOn,
  kEntranceOn,
  kExitOn,
  kInvisibleApplet,
  kBrowserPlayer,
};
void ClickOption(OptionBoxes& boxes, OptionBoxId box, bool checked, RunOptions& options);

// Next or Back on the options page: page_url := url_text, then every flag
// from its box. A disabled box reads as shown (unchecked), except
// "Background Sound Initially On": shown disabled without a background
// sound, it keeps its own state, and options.background_initially_on stays.
void ReadOptions(const OptionBoxes& boxes, const std::string& url_text, RunOptions& options);

// Next on the options page: the URL and safety-key checks. Nothing is checked
// when the safety key is off and no URL is given. A URL written without a
// scheme is taken as "http://" + it, and options.page_url keeps the prefix.
// Refusals are plain boxes; a URL whose path does not name the page asks
// "Are you sure ..." and No answers a cancelled status (nothing to show).
// Ok when the page may be left.
Status CheckPageUrl(const PageTarget& page, RunOptions& options, Questions& questions);

// The remembered choices keep the sound paths in ";"-separated lists, so a
// path holding ";" would come back as two paths at the next start. Such a
// page or sound path is refused where it is chosen, with this message
// (kind: "HTML" or "audio"), before it can spoil the lists.
bool HoldsListSeparator(std::string_view path);
std::string ListSeparatorMessage(const std::string& path, const std::string& kind);
// Refused with ListSeparatorMessage (system-modal) when path holds ";".
Status CheckListSafePath(const std::string& path, const std::string& kind);

// The first page's check of a local page: CheckListSafePath, then a readable
// regular file (file_io::IsReadableFile); else the missing-file message with
// "HTML", which also names a FIFO or a device as what it is (system-modal).
// Nothing is read from the page here.
Status CheckLocalPagePath(const std::string& path);

}  // namespace sonavelt::run
