#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "run/run_inputs.h"
#include "settings/stored_history.h"

// The run's side of the stored choices (settings/stored_history.h): the
// switches and lists of a run turned into the stored texts and back. The
// mapping to RunOptions is made here so that the wizard and the command line
// read them the same way.
namespace sonavelt::run {

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
