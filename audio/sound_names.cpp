#include "audio/sound_names.h"

#include <set>

#include "audio/posix_file.h"
#include "audio/sound_decoder.h"
#include "base/text.h"

namespace sonavelt::audio {

namespace {

// The file name cut at the first `marker` (compared in lower case), else at
// its last ".", with `suffix` put in place of what was cut.
std::string RenamedFileName(std::string_view path, std::string_view marker, const char* suffix) {
  const std::string name = FileNameOfPath(path);
  size_t cut = LowerCopy(name).find(marker);
  if (cut == std::string::npos) cut = name.rfind('.');
  std::string stem = name.substr(0, cut);
  if (stem.empty()) stem = "sound";
  return stem + suffix;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

std::string ConvertedNameOf(std::string_view path) { return RenamedFileName(path, ".wav", ".au"); }

bool IsUsedAsIs(std::string_view path) {
  return !IsWavePath(path) && !IsDecodedSoundPath(std::string(path)) && IsAuPath(path);
}

std::string PlacedNameOf(std::string_view path) {
  return IsUsedAsIs(path) ? FileNameOfPath(path) : ConvertedNameOf(path);
}

std::string PreviewNameOf(std::string_view au_path) {
  return RenamedFileName(au_path, ".au", ".wav");
}

std::string NumberedName(std::string_view name, int number) {
  const std::string tail = "-" + std::to_string(number);
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return std::string(name) + tail;
  return std::string(name.substr(0, dot)) + tail + std::string(name.substr(dot));
}

SoundNames::SoundNames(const std::vector<std::string>& sounds, const std::string& own_folder) {
  // Each path once, in the order first met.
  std::vector<std::string> distinct;
  {
    std::set<std::string> seen;
    for (const std::string& path : sounds)
      if (seen.insert(path).second) distinct.push_back(path);
  }
  // Names given so far, in lower case, and the path that holds each.
  std::map<std::string, std::string> holders;
  auto same_sound = [](const std::string& a, const std::string& b) {
    return IsUsedAsIs(a) == IsUsedAsIs(b) && FilesHaveSameBytes(a, b);
  };
  // Gives `name` to `path` when it is free or held by the same contents.
  auto try_name = [&](const std::string& path, const std::string& name) {
    const std::string key = LowerCopy(name);
    auto held = holders.find(key);
    if (held == holders.end()) {
      holders.emplace(key, path);
    } else if (!same_sound(held->second, path)) {
      return false;
    }
    names_[path] = name;
    return true;
  };

  if (!own_folder.empty()) {
    for (const std::string& path : distinct) {
      if (!IsUsedAsIs(path) || !SameFile(FolderOf(path), own_folder)) continue;
      try_name(path, PlacedNameOf(path));
    }
  }
  for (const std::string& path : distinct)
    if (names_.count(path) == 0) try_name(path, PlacedNameOf(path));
  for (const std::string& path : distinct) {
    if (names_.count(path) != 0) continue;
    const std::string wanted = PlacedNameOf(path);
    for (int number = 2; !try_name(path, NumberedName(wanted, number)); ++number) {
    }
  }
}

std::vector<std::string> NamesInFolder(
    const std::vector<GivenName>& given,
    const std::function<bool(size_t, const std::string&)>& fits) {
  // Every name the run gave or asked for is the run's: a sound that moves
  // never takes one of them, so two sounds of the run never meet.
  std::set<std::string> taken;
  for (const GivenName& name : given) {
    taken.insert(LowerCopy(name.given));
    taken.insert(LowerCopy(name.asked));
  }
  std::vector<std::string> names;
  names.reserve(given.size());
  for (size_t i = 0; i < given.size(); ++i) {
    if (fits(i, given[i].given)) {
      names.push_back(given[i].given);
      continue;
    }
    for (int number = 2;; ++number) {
      std::string candidate = NumberedName(given[i].asked, number);
      if (taken.count(LowerCopy(candidate)) != 0 || !fits(i, candidate)) continue;
      taken.insert(LowerCopy(candidate));
      names.push_back(std::move(candidate));
      break;
    }
  }
  return names;
}

const std::string& SoundNames::NameOf(const std::string& path) const {
  static const std::string kNone;
  auto found = names_.find(path);
  return found == names_.end() ? kNone : found->second;
}

}  // namespace sonavelt::audio
