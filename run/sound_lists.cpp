#include "run/sound_lists.h"

#include <algorithm>

#include "base/file_io.h"
#include "run/startup.h"

namespace sonavelt::run {
namespace {

// The default entry for position p when the positions before `first_new` are
// taken: first_new, first_new + 1, ... up to the last default, then round
// again from first_new. When every default is already before first_new the
// positions simply cycle through all the defaults.
int DefaultIndexFor(int p, int first_new) {
  if (first_new >= kDefaultSoundsPerRole) return p % kDefaultSoundsPerRole;
  return first_new + (p - first_new) % (kDefaultSoundsPerRole - first_new);
}

void FillFromStored(int count, const std::string& stored_text,
                    const std::vector<std::string>& defaults, std::vector<std::string>& list) {
  std::vector<std::string> tokens = StoredListTokens(stored_text);
  int taken = 0;
  list.assign(count, std::string());
  for (int p = 0; p < count; ++p) {
    if (p < static_cast<int>(tokens.size())) {
      list[p] = tokens[p];
      ++taken;
    } else {
      list[p] = defaults[DefaultIndexFor(p, taken)];
    }
  }
}

void Resize(int count, int previous, const std::vector<std::string>& defaults,
            std::vector<std::string>& list) {
  // A list shorter than the count it was last given (a front end that edited
  // it) is treated as having only the entries it holds.
  int kept = std::min<int>(previous, static_cast<int>(list.size()));
  list.resize(count);
  for (int p = kept; p < count; ++p) list[p] = defaults[DefaultIndexFor(p, kept)];
}

}  // namespace

std::vector<std::string> DefaultSoundList(std::string_view text,
                                          const std::string& install_folder) {
  std::vector<std::string> list;
  std::vector<std::string> pieces = StoredListTokens(text);
  std::string audio_folder = file_io::JoinPath(install_folder, "audio");
  for (int j = 0; j < kDefaultSoundsPerRole; ++j) {
    if (j < static_cast<int>(pieces.size()))
      list.push_back(file_io::JoinPath(audio_folder, pieces[j]));
    else
      list.push_back(file_io::JoinPath(install_folder, kFallbackSound));
  }
  return list;
}

DefaultSoundLists MakeDefaultSoundLists(const std::string& install_folder) {
  return {DefaultSoundList(kDefaultEntranceSounds, install_folder),
          DefaultSoundList(kDefaultExitSounds, install_folder),
          DefaultSoundList(kDefaultBackgroundSounds, install_folder)};
}

std::vector<std::string> StoredListTokens(std::string_view text) {
  std::vector<std::string> tokens;
  size_t start = 0;
  for (size_t semi; (semi = text.find(';', start)) != std::string_view::npos; start = semi + 1)
    tokens.emplace_back(text.substr(start, semi - start));
  return tokens;
}

void SoundListSizer::Size(int count, const StoredHistory& stored,
                          const DefaultSoundLists& defaults, SoundSet& sounds) {
  if (!history_lists_loaded_) {
    FillFromStored(count, stored.osfs, defaults.entrance, sounds.entrance_sounds);
    FillFromStored(count, stored.csfs, defaults.exit, sounds.exit_sounds);
    FillFromStored(count, stored.bsfs, defaults.background, sounds.background_sounds);
    history_lists_loaded_ = true;
  } else {
    Resize(count, previous_combination_count_, defaults.entrance, sounds.entrance_sounds);
    Resize(count, previous_combination_count_, defaults.exit, sounds.exit_sounds);
    Resize(count, previous_combination_count_, defaults.background, sounds.background_sounds);
  }
  sounds.combination_count = count;
  previous_combination_count_ = count;
}

}  // namespace sonavelt::run
