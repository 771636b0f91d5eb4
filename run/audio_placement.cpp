#include "run/audio_placement.h"

#include <functional>
#include <map>
#include <set>

#include "audio/sound_names.h"
#include "base/text.h"
#include "run/browser_copies.h"

namespace sonavelt::run {
namespace {

using Kind = file_io::FolderHandle::Kind;

// Whether the name `name`, present in the folder exactly so, may hold the
// file `from`, and whether it must be written.
using ExistingFits = std::function<bool(const std::string& name, const std::string& from,
                                        bool* write)>;

class FolderNames {
 public:
  FolderNames(std::vector<std::string> names, const FolderUsage& usage, const std::string& base,
              ExistingFits existing)
      : usage_(usage), base_(base), existing_(std::move(existing)) {
    for (std::string& name : names) by_lower_.emplace(LowerCopy(name), std::move(name));
  }

  // Whether `name` may hold the file `from`, and whether it must be written.
  bool Fits(const std::string& name, const std::string& from, bool* write) const {
    auto [first, last] = by_lower_.equal_range(LowerCopy(name));
    if (first == last) {
      *write = true;
      return true;
    }
    // Another spelling of the name is another file here, but not on a
    // server that ignores case.
    for (auto it = first; it != last; ++it)
      if (it->second != name) return false;
    return existing_(name, from, write);
  }

  // A file used as it was that no page placed: the user's.
  bool Found(const PlacedFile& file) const {
    return !file.write && !usage_.Placed(base_, file.name) &&
           !usage_.ListedByOthers(file.name, base_);
  }

 private:
  const FolderUsage& usage_;
  const std::string& base_;
  ExistingFits existing_;
  std::multimap<std::string, std::string> by_lower_;
};

AudioPlan Plan(const FolderNames& folder, const std::vector<SoundToPlace>& sounds) {
  std::vector<audio::GivenName> given;
  for (const SoundToPlace& sound : sounds)
    given.push_back({FileNameOfPath(sound.au_path), sound.asked});
  auto fits = [&](size_t i, const std::string& name) {
    bool write = false;
    if (!folder.Fits(name, sounds[i].au_path, &write)) return false;
    return sounds[i].copy_path.empty() ||
           folder.Fits(BrowserCopyNameFor(name), sounds[i].copy_path, &write);
  };
  AudioPlan plan;
  plan.au_names = audio::NamesInFolder(given, fits);
  for (size_t i = 0; i < sounds.size(); ++i) {
    PlacedFile au{sounds[i].au_path, plan.au_names[i]};
    folder.Fits(au.name, au.from, &au.write);
    au.found = folder.Found(au);
    plan.files.push_back(au);
    if (sounds[i].copy_path.empty()) {
      plan.copy_names.emplace_back();
      continue;
    }
    PlacedFile copy{sounds[i].copy_path, BrowserCopyNameFor(au.name)};
    copy.is_copy = true;
    folder.Fits(copy.name, copy.from, &copy.write);
    copy.found = folder.Found(copy);
    plan.copy_names.push_back(copy.name);
    plan.files.push_back(copy);
  }
  return plan;
}

}  // namespace

AudioPlan PlanAudioFolder(const file_io::FolderHandle& audio, const FolderUsage& usage,
                          const std::string& base, const std::vector<SoundToPlace>& sounds) {
  auto existing = [&](const std::string& name, const std::string& from, bool* write) {
    const Kind kind = audio.KindOf(name);
    if (kind == Kind::kLink && !audio.CheckWritable(name).ok()) return false;
    if (kind != Kind::kFile && kind != Kind::kLink) return false;
    if (audio.HoldsCopyOf(name, from)) {
      *write = false;
      return true;
    }
    *write = true;
    return usage.Placed(base, name) && !usage.UsedByOthers(name, base);
  };
  return Plan(FolderNames(audio.Names(), usage, base, existing), sounds);
}

AudioPlan PlanSiteAudioFolder(const std::vector<std::string>& audio_names,
                              const FolderUsage& usage, const std::string& base,
                              const std::vector<SoundToPlace>& sounds) {
  auto existing = [&](const std::string& name, const std::string&, bool* write) {
    *write = true;
    return usage.Placed(base, name) && !usage.UsedByOthers(name, base);
  };
  return Plan(FolderNames(audio_names, usage, base, existing), sounds);
}

std::vector<PlacedFile> EarlierCopiesKept(
    const FolderUsage& usage, const std::string& base, const std::vector<SoundToPlace>& sounds,
    const AudioPlan& plan, const std::function<bool(size_t, const std::string&)>& still_its) {
  std::vector<PlacedFile> kept;
  const auto page = usage.pages().find(base);
  if (page == usage.pages().end()) return kept;
  for (size_t i = 0; i < sounds.size() && i < plan.au_names.size(); ++i) {
    if (!sounds[i].copy_path.empty()) continue;
    const std::string copy = BrowserCopyNameFor(plan.au_names[i]);
    if (page->second.audio_files.count(copy) == 0 || page->second.found_files.count(copy) != 0 ||
        !still_its(i, copy))
      continue;
    kept.push_back({std::string(), copy, /*write=*/false, /*is_copy=*/true, /*found=*/false});
  }
  return kept;
}

std::vector<std::string> DroppedByRun(const FolderUsage& usage, const std::string& base,
                                      const std::vector<PlacedFile>& files) {
  std::vector<std::string> dropped;
  const auto page = usage.pages().find(base);
  if (page == usage.pages().end() || !page->second.has_data_file || page->second.unknown)
    return dropped;
  std::set<std::string> taken;
  for (const PlacedFile& file : files) taken.insert(UpperCopy(file.name));
  for (const std::string& name : usage.FilesOnlyUsedBy(base))
    if (taken.count(UpperCopy(name)) == 0) dropped.push_back(name);
  return dropped;
}

}  // namespace sonavelt::run
