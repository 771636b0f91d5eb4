#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "audio/posix_file.h"

// The converted sounds and preview copies the program has made in its cache
// folder, kept for as long as the program runs (the cache folder is emptied
// when it exits).
//
// A copy is named after its source: "<cache_folder>/<NAME>.au" for a sound
// path "<...>/<NAME>.wav" (the name cut at the first ".wav" in any letter
// case; "<...>/<NAME>.mp3" and the other decoded formats lose their
// extension), and "<cache_folder>/<NAME>.wav" for a preview of "<...>/<NAME>.au".
// The page's player and the resource file refer to sounds by these names,
// so the ordinary case keeps them. Two things the name alone cannot tell
// are tracked here:
//   - a different source whose name is already taken gets a name of its own,
//     "<NAME>-2.au", "<NAME>-3.au", ...; callers must use the path this
//     class answers, never rebuild it from the source's name;
//   - a source that changed (its size or modification time differ from
//     when it was converted) is converted again, under its name.
// A file in the cache folder that this object did not record (left over
// from an earlier program) is never reused; it is replaced.
//
// Thread-safe: the run's thread and the user-interface thread may use one
// cache at the same time. Conversions of one source are not expected to run
// concurrently.
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

  // The .au path for a WAVE sound path: the one recorded for this source,
  // else the first free name. Does not claim the name.
  std::string AuPathFor(const std::string& wave_path) const;
  // True when this source was converted while the program runs, the copy
  // is still there, and the source has not changed since.
  bool HasCurrentAu(const std::string& wave_path) const;
  // Notes that au_path (from AuPathFor) now holds the conversion of
  // wave_path as it was at `stamp`.
  void RecordAu(const std::string& wave_path, const std::string& au_path, const FileStamp& stamp);
  // Forgets the conversion of wave_path (its file is about to go). The
  // name stays this source's if it asks again.
  void ForgetAu(const std::string& wave_path);

  // The same three for the ".wav" preview copies of .au sounds.
  std::string PreviewPathFor(const std::string& au_path) const;
  bool HasCurrentPreview(const std::string& au_path) const;
  void RecordPreview(const std::string& au_path, const std::string& wav_path,
                     const FileStamp& stamp);

  // "<NAME>.au" for a WAVE path (cut at the first ".wav"), "<NAME>.wav" for an
  // .au path (cut at the first ".au"): the copy's name before any
  // disambiguation.
  static std::string AuNameOf(const std::string& wave_path);
  static std::string PreviewNameOf(const std::string& au_path);

 private:
  // Copies of one kind, keyed by the copy's file name.
  using Table = std::map<std::string, Entry>;

  std::string PathFor(const Table& table, const std::string& source, const std::string& name,
                      const std::string& suffix) const;
  bool HasCurrent(const Table& table, const std::string& source) const;
  void Record(Table& table, const std::string& source, const std::string& copy_path,
              const FileStamp& stamp);

  std::string cache_folder_;
  mutable std::mutex mutex_;
  Table au_;
  Table preview_;
};

}  // namespace sonavelt::audio
