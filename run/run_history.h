#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/run_inputs.h"

// The stored choices of the last completed run: one set of values, not one per
// page, overwritten by every completed run and read back at the next start.
// The texts are kept as stored; the mapping to RunOptions is made here so that
// the wizard and the command line read them the same way.
namespace sonavelt::run {

inline constexpr int kDefaultCombinationCount = 4;

struct StoredHistory {
  std::string html_file;  // "HtmlFile": the last local page; empty means the sample page
  std::string oss;        // "OSS": entrance sounds "ON" / "OFF"
  std::string css;        // "CSS": exit sounds "ON" / "OFF"
  std::string bss;        // "BSS": background initially "ON" / "OFF"
  std::string iv;         // "IV": invisible applet "YES" / "NO"
  std::string nb;         // "NB": no background "YES" / "NO"
  std::string hp;         // "HP": the browser player too "YES" / "NO"
  std::string pp;         // "PP": where the player's control stands (PlayerPositionText)
  int combination_count = kDefaultCombinationCount;  // "NOSNDCOMB"
  std::string osfs;       // "OSFs": entrance paths, each followed by ";"
  std::string csfs;       // "CSFs": exit paths, each followed by ";"
  std::string bsfs;       // "BSFs": background paths, each followed by ";"
};

// Sets the six stored switches of `options` from their texts, compared after
// upper-casing ("yes" counts as "YES", "off" as "OFF"), and the player's
// position. Absent texts give a visible applet, a background sound wanted but
// initially off, entrance and exit sounds on, the browser player (only a
// stored "NO" leaves it out) with its control where the block is.
// random_order, safety_key and page_url are not stored and are left alone.
void ApplyStoredSwitches(const StoredHistory& stored, RunOptions& options);

// "BLOCK", "TOP-LEFT", "TOP-RIGHT", "BOTTOM-LEFT", "BOTTOM-RIGHT".
std::string PlayerPositionText(PlayerPosition position);
// The position a text names, compared after upper-casing; nullopt for any
// other text.
std::optional<PlayerPosition> PlayerPositionOfText(std::string_view text);

// The values a completed run stores: the local page as it stands (also after a
// remote run), the switches as "ON"/"OFF" and "YES"/"NO", the count, and each
// sound list as chosen (not the converted names), every entry followed by ";".
// The background list is stored even when no background sound is wanted.
StoredHistory HistoryOfRun(const PageTarget& page, const SoundSet& sounds,
                           const RunOptions& options);

// "a;b;" from {"a", "b"}: the first `count` entries, each followed by ";".
std::string JoinSoundList(const std::vector<std::string>& list, int count);

}  // namespace sonavelt::run
