#include "audio/au_cache.h"

#include <filesystem>

#include "audio/sound_names.h"
#include "base/text.h"

namespace sonavelt::audio {

namespace {

// Sources are compared by absolute path, so "a.au" and "./a.au" are one.
std::string SourceKey(const std::string& path) {
  std::error_code ignored;
  std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
  if (absolute.empty()) absolute = path;
  return absolute.lexically_normal().string();
}

}  // namespace

AuCache::AuCache(std::string cache_folder) : cache_folder_(std::move(cache_folder)) {}

std::string AuCache::PreviewPathFor(const std::string& au_path) const {
  std::lock_guard lock(mutex_);
  const std::string source = SourceKey(au_path);
  for (const auto& [copy_name, entry] : preview_) {
    if (entry.source == source) return cache_folder_ + "/" + copy_name;
  }
  const std::string name = PreviewNameOf(au_path);
  std::string candidate = name;
  for (int n = 2; preview_.count(candidate) != 0; ++n) candidate = NumberedName(name, n);
  return cache_folder_ + "/" + candidate;
}

bool AuCache::HasCurrentPreview(const std::string& au_path) const {
  std::lock_guard lock(mutex_);
  const std::string source = SourceKey(au_path);
  for (const auto& [copy_name, entry] : preview_) {
    if (entry.source != source) continue;
    std::optional<FileStamp> now = StampOfFile(source);
    return now && *now == entry.stamp && StampOfFile(cache_folder_ + "/" + copy_name).has_value();
  }
  return false;
}

void AuCache::RecordPreview(const std::string& au_path, const std::string& wav_path,
                            const FileStamp& stamp) {
  std::lock_guard lock(mutex_);
  preview_[FileNameOfPath(wav_path)] = Entry{SourceKey(au_path), stamp};
}

}  // namespace sonavelt::audio
