#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "audio/posix_file.h"

// The playable ".wav" copies of .au sounds the program has made in its
// cache folder for the Play button, kept while the program runs.
//
// A copy is named after its source's file name (PreviewNameOf in
// sound_names.h: "<cache_folder>/<NAME>.wav" for "<...>/<NAME>.au"). What the
// name alone cannot tell is tracked here:
//   - a different source whose name is already taken gets a name of its own,
//     "<NAME>-2.wav", "<NAME>-3.wav", ...; callers must use the path this
//     class answers, never rebuild it from the source's name;
//   - a source that changed (its size or modification time differ from
//     when it was copied) is copied again, under its name.
// A file in the cache folder that this object did not record (left over
// from an earlier program) is never reused; it is replaced.
//
// Thread-safe: the run's thread and the user-interface thread may use one
// cache at the same time.
namespace sonavelt::audio {

class AuCache {
 public:
  // What a cached copy was made from.
  struct Entry {
    std::string source;  // the source path as made absolute
    FileStamp stamp;     // the source's size and time when it was read
  };

  explicit AuCache(std::string cache_folder);

  const std::string& cache_folder() const { return cache_folder_; }

  // The preview path for an .au sound path: the one recorded for this
  // source, else the first free name. Does not claim the name.
  std::string PreviewPathFor(const std::string& au_path) const;
  // True when this source was copied while the program runs, the copy is
  // still there, and the source has not changed since.
  bool HasCurrentPreview(const std::string& au_path) const;
  // Notes that wav_path (from PreviewPathFor) now holds the copy of au_path
  // as it was at `stamp`.
  void RecordPreview(const std::string& au_path, const std::string& wav_path,
                     const FileStamp& stamp);

 private:
  // Copies keyed by the copy's file name.
  using Table = std::map<std::string, Entry>;

  std::string cache_folder_;
  mutable std::mutex mutex_;
  Table preview_;
};

}  // namespace sonavelt::audio
