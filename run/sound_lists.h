#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "run/run_history.h"
#include "run/run_inputs.h"

// The three sound lists of a SoundSet: the built-in default lists, and how the
// lists are sized (and first filled from the stored history) each time the
// number of combinations is chosen.
namespace sonavelt::run {

// kDefaultSoundsPerRole full paths per role, made from the default texts.
struct DefaultSoundLists {
  std::vector<std::string> entrance;
  std::vector<std::string> exit;
  std::vector<std::string> background;
};

// The text is cut at each ";" in turn: entry j is install_folder/audio/ + the
// j-th piece; once the text has no ";"-terminated piece left, entry j is the
// fallback sound install_folder/audio/hi.au. Always kDefaultSoundsPerRole
// entries.
std::vector<std::string> DefaultSoundList(std::string_view text, const std::string& install_folder);
DefaultSoundLists MakeDefaultSoundLists(const std::string& install_folder);

// The ";"-terminated tokens of a stored list text; a trailing piece without
// ";" is not a token.
std::vector<std::string> StoredListTokens(std::string_view text);

// Sizes the lists of a SoundSet to a new count. The first sizing in the
// program's life fills them from the stored lists and then the defaults; later
// sizings keep the first entries and fill new positions with defaults, or cut
// the lists (the cut entries are forgotten). One sizer lives as long as the
// front end's session, so the stored lists are used only once even when
// another page is chosen later.
class SoundListSizer {
 public:
  // Gives each list of `sounds` exactly `count` entries and sets
  // sounds.combination_count := count. `stored` is only looked at on the
  // first call.
  void Size(int count, const StoredHistory& stored, const DefaultSoundLists& defaults,
            SoundSet& sounds);

  bool history_lists_loaded() const { return history_lists_loaded_; }
  int previous_combination_count() const { return previous_combination_count_; }

 private:
  bool history_lists_loaded_ = false;
  int previous_combination_count_ = 0;
};

}  // namespace sonavelt::run
