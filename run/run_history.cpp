#include "run/run_history.h"

#include <algorithm>

#include "base/text.h"

namespace sonavelt::run {

void ApplyStoredSwitches(const StoredHistory& stored, RunOptions& options) {
  options.invisible_applet = UpperCopy(stored.iv) == "YES";
  options.no_background = UpperCopy(stored.nb) == "YES";
  options.entrance_on = UpperCopy(stored.oss) != "OFF";
  options.exit_on = UpperCopy(stored.css) != "OFF";
  options.background_initially_on = UpperCopy(stored.bss) == "ON";
  // A stored choice stands; with none stored the player is on.
  options.browser_player = stored.hp.empty() || UpperCopy(stored.hp) == "YES";
  options.player_position =
      PlayerPositionOfText(stored.pp).value_or(PlayerPosition::kInBlock);
}

namespace {
constexpr std::pair<PlayerPosition, std::string_view> kPositionTexts[] = {
    {PlayerPosition::kInBlock, "BLOCK"},
    {PlayerPosition::kTopLeft, "TOP-LEFT"},
    {PlayerPosition::kTopRight, "TOP-RIGHT"},
    {PlayerPosition::kBottomLeft, "BOTTOM-LEFT"},
    {PlayerPosition::kBottomRight, "BOTTOM-RIGHT"},
};
}  // namespace

std::string PlayerPositionText(PlayerPosition position) {
  for (const auto& [p, text] : kPositionTexts)
    if (p == position) return std::string(text);
  return "BLOCK";
}

std::optional<PlayerPosition> PlayerPositionOfText(std::string_view text) {
  std::string upper = UpperCopy(text);
  for (const auto& [p, name] : kPositionTexts)
    if (upper == name) return p;
  return std::nullopt;
}

std::string JoinSoundList(const std::vector<std::string>& list, int count) {
  std::string text;
  int n = std::min<int>(count, static_cast<int>(list.size()));
  for (int i = 0; i < n; ++i) {
    text += list[i];
    text += ';';
  }
  return text;
}

StoredHistory HistoryOfRun(const PageTarget& page, const SoundSet& sounds,
                           const RunOptions& options) {
  StoredHistory h;
  h.html_file = page.local_html_path;
  h.oss = options.entrance_on ? "ON" : "OFF";
  h.css = options.exit_on ? "ON" : "OFF";
  h.bss = options.background_initially_on ? "ON" : "OFF";
  h.iv = options.invisible_applet ? "YES" : "NO";
  h.nb = options.no_background ? "YES" : "NO";
  h.hp = options.browser_player ? "YES" : "NO";
  h.pp = PlayerPositionText(options.player_position);
  h.combination_count = sounds.combination_count;
  h.osfs = JoinSoundList(sounds.entrance_sounds, sounds.combination_count);
  h.csfs = JoinSoundList(sounds.exit_sounds, sounds.combination_count);
  h.bsfs = JoinSoundList(sounds.background_sounds, sounds.combination_count);
  return h;
}

}  // namespace sonavelt::run
