#include "audio/au_cache.h"

#include <cstdint>
#include <filesystem>

#include "audio/sound_decoder.h"
#include "base/text.h"

namespace sonavelt::audio {

namespace {

// Sources are compared by absolute path, so "a.wav" and "./a.wav" are one.
std::string SourceKey(const std::string& path) {
  std::error_code ignored;
  std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
  if (absolute.empty()) absolute = path;
  return absolute.lexically_normal().string();
}

// name without the extension it was given here (".au" or ".wav").
std::string Stem(const std::string& name, const std::string& suffix) {
  return name.substr(0, name.size() - suffix.size());
}

std::string CutAt(const std::string& path, const char* marker, const char* suffix) {
  size_t p = LowerCopy(path).find(marker);
  if (p == std::string::npos) return FileNameOfPath(path) + suffix;
  return FileNameOfPath(path.substr(0, p) + suffix);
}

}  // namespace

AuCache::AuCache(std::string cache_folder) : cache_folder_(std::move(cache_folder)) {}

std::string AuCache::AuNameOf(const std::string& wave_path) {
  if (!IsWavePath(wave_path) && IsDecodedSoundPath(wave_path))
    return DecodedSoundStem(wave_path) + ".au";
  return CutAt(wave_path, ".wav", ".au");
}

std::string AuCache::PreviewNameOf(const std::string& au_path) {
  return CutAt(au_path, ".au", ".wav");
}

std::string AuCache::PathFor(const Table& table, const std::string& source, const std::string& name,
                             const std::string& suffix) const {
  for (const auto& [copy_name, entry] : table) {
    if (entry.source == source) return cache_folder_ + "/" + copy_name;
  }
  std::string candidate = name;
  for (int n = 2; table.count(candidate) != 0; ++n) {
    candidate = Stem(name, suffix) + "-" + std::to_string(n) + suffix;
  }
  return cache_folder_ + "/" + candidate;
}

bool AuCache::HasCurrent(const Table& table, const std::string& source) const {
  for (const auto& [copy_name, entry] : table) {
    if (entry.source != source) continue;
    std::optional<FileStamp> now = StampOfFile(source);
    return now && *now == entry.stamp && StampOfFile(cache_folder_ + "/" + copy_name).has_value();
  }
  return false;
}

void AuCache::Record(Table& table, const std::string& source, const std::string& copy_path,
                     const FileStamp& stamp) {
  table[FileNameOfPath(copy_path)] = Entry{source, stamp};
}

std::string AuCache::AuPathFor(const std::string& wave_path) const {
  std::lock_guard lock(mutex_);
  return PathFor(au_, SourceKey(wave_path), AuNameOf(wave_path), ".au");
}

bool AuCache::HasCurrentAu(const std::string& wave_path) const {
  std::lock_guard lock(mutex_);
  return HasCurrent(au_, SourceKey(wave_path));
}

void AuCache::RecordAu(const std::string& wave_path, const std::string& au_path,
                       const FileStamp& stamp) {
  std::lock_guard lock(mutex_);
  Record(au_, SourceKey(wave_path), au_path, stamp);
}

void AuCache::ForgetAu(const std::string& wave_path) {
  std::lock_guard lock(mutex_);
  const std::string source = SourceKey(wave_path);
  for (auto& [copy_name, entry] : au_) {
    // Keeping the entry with an impossible stamp keeps the name reserved.
    if (entry.source == source) entry.stamp = FileStamp{UINT64_MAX, INT64_MIN};
  }
}

std::string AuCache::PreviewPathFor(const std::string& au_path) const {
  std::lock_guard lock(mutex_);
  return PathFor(preview_, SourceKey(au_path), PreviewNameOf(au_path), ".wav");
}

bool AuCache::HasCurrentPreview(const std::string& au_path) const {
  std::lock_guard lock(mutex_);
  return HasCurrent(preview_, SourceKey(au_path));
}

void AuCache::RecordPreview(const std::string& au_path, const std::string& wav_path,
                            const FileStamp& stamp) {
  std::lock_guard lock(mutex_);
  Record(preview_, SourceKey(au_path), wav_path, stamp);
}

}  // namespace sonavelt::audio
