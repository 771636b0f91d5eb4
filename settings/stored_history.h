#pragma once

#include <string>

// The stored choices of the last completed run: one set of values, not one per
// page, overwritten by every completed run and read back at the next start.
// The texts are kept as stored; run/run_history.h maps them to the run's
// options, so that the wizard and the command line read them the same way.
namespace sonavelt::run {

inline constexpr int kDefaultCombinationCount = 4;
// The upper bound of the number of sound combinations; a stored count above
// it reads as the default. The converting phase spreads 48 progress points
// over 3 files per combination in whole steps, so 16 combinations (48 files)
// is the most that still moves the bar per file.
inline constexpr int kMaxSoundCombinations = 16;

struct StoredHistory {
  std::string html_file;  // "HtmlFile": the last local page; empty means the sample page
  std::string oss;        // "OSS": entrance sounds "ON" / "OFF"
  std::string css;        // "CSS": exit sounds "ON" / "OFF"
  std::string bss;        // "BSS": background initially "ON" / "OFF"
  std::string iv;         // "IV": invisible applet "YES" / "NO"
  std::string nb;         // "NB": no background "YES" / "NO"
  std::string hp;         // "HP": the browser player too "YES" / "NO"
  std::string pp;         // "PP": where the player's control stands (PlayerPositionText)
  int combination_count = kDefaultCombinationCount;  // "NOSNDCOMB"
  std::string osfs;       // "OSFs": entrance paths, each followed by ";"
  std::string csfs;       // "CSFs": exit paths, each followed by ";"
  std::string bsfs;       // "BSFs": background paths, each followed by ";"
};

}  // namespace sonavelt::run
