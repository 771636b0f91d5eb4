#pragma once

#include <array>
#include <memory>
#include <string>

#include "base/status.h"
#include "settings/stored_history.h"

// The program's stored settings, shared by the wizard and the command line:
// organisation "Brindlecor", application "Sonavelt", an INI file in the user's
// configuration folder ($XDG_CONFIG_HOME or ~/.config, then Brindlecor/). Three
// groups: "V1.0/Evaluation/Set up" (the install folder), "V1.0/Evaluation/Address"
// (four remembered remote addresses) and "V1.0/Evaluation/History" (the last
// completed run).
//
// Every text is kept byte for byte: a path that is not valid UTF-8 comes
// back exactly as it was stored (a valid one is stored as plain text).
//
// Reads never fail: a missing or unreadable value gives its default, and a
// stored count outside 1..kMaxSoundCombinations (hand-edited, or from another
// version) gives the default count. Writes are flushed before the call returns;
// a failed write is reported by Sync() rather than thrown.
namespace sonavelt::run {

inline constexpr int kRememberedAddressCount = 4;
using RememberedAddresses = std::array<std::string, kRememberedAddressCount>;

class SettingsStore {
 public:
  // The user's settings file.
  SettingsStore();
  // A settings file of the caller's choosing (tests, or a portable setup).
  explicit SettingsStore(const std::string& ini_path);
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // "AppPath" of "V1.0/Evaluation/Set up"; empty when not set.
  std::string AppPath() const;
  void SetAppPath(const std::string& folder);

  // "URL_0" .. "URL_3" of "V1.0/Evaluation/Address"; empty texts when not set.
  RememberedAddresses Addresses() const;
  void SetAddresses(const RememberedAddresses& addresses);

  // The "V1.0/Evaluation/History" group.
  StoredHistory History() const;
  void WriteHistory(const StoredHistory& history);

  // Writes pending changes to the file; an I/O error naming the file when
  // it cannot be written (the values then live on in memory only).
  Status Sync();
  // The file the values live in.
  std::string FilePath() const;

 private:
  // Writes pending changes; Sync says whether that worked.
  void Flush();

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sonavelt::run
