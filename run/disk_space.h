#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/user_interface.h"

// The estimate of the disk space a run needs, and the warning when a file
// system the run writes to (its work folder's, the page folder's) has less
// free space than the run will write there.
namespace sonavelt::run {

// Room a conversion needs besides its output, for each distinct WAVE file.
inline constexpr uint64_t kWorkingBytesPerWaveFile = 60000;
// The conversion's working memory per sample frame of the longest WAVE file.
inline constexpr uint64_t kWorkingBytesPerWaveFrame = 8;

// Bytes a run needs: the distinct sounds' bytes (twice for a local page, whose
// sounds are both converted and copied; once for a remote one),
// kWorkingBytesPerWaveFile per distinct WAVE file, and
// kWorkingBytesPerWaveFrame per sample frame of the longest WAVE file.
// Summed in 64 bits, so large sound sets do not wrap around.
uint64_t DiskSpaceNeed(uint64_t sound_bytes, int wave_file_count, int64_t max_wave_frames,
                       bool is_remote);

// What the estimate knows of one distinct sound of a run.
struct SoundMeasure {
  uint64_t bytes = 0;      // the file's size
  double seconds = -1;     // its playing time; negative when unknown
  int channels = 1;
  bool used_as_is = false;  // an .au sound placed as it is
};

// The sound's playing time and channels read from its file (any format the
// decoder opens); `bytes` is its size. Unknown time when it cannot be read.
SoundMeasure MeasureSound(const std::string& path, uint64_t bytes, bool used_as_is);

// The player's .au of a sound: its own size when used as is, else 8000
// bytes a second (8 kHz mu-law) and the header; the file's size when its
// time is unknown.
uint64_t AuBytesOf(const SoundMeasure& sound);

// Its browser copy, from above: the copy's bit rate (32 kbit/s mono,
// 48 kbit/s stereo) and a quarter more for Opus's variable rate and the
// Ogg pages, plus the headers; the file's size when its time is unknown.
uint64_t BrowserCopyBytesOf(const SoundMeasure& sound);

// Everything a local run writes beside its page.
struct PageFolderFiles {
  std::vector<SoundMeasure> sounds;  // each distinct sound once
  int combinations = 1;
  bool browser_player = true;
  uint64_t page_bytes = 0;    // the page as it is (the new one is a block longer)
  uint64_t class_bytes = 0;   // the applet class file
  uint64_t script_bytes = 0;  // the player script
};

// Bytes of the resource file of `combinations` combinations, from above.
uint64_t ResourceFileBytes(int combinations);

// The sum of the files a local run writes beside its page: the .au files,
// and with the browser player their copies, the data file (the resource file
// in base64 and a line per sound), the local preview (every sound file and
// copy in base64), the player script; the class file, the resource file and
// the new page. Each replaced file is counted whole: its new copy is
// written beside the old one before the rename frees it.
uint64_t PageFolderNeed(const PageFolderFiles& files);

// What the run's work folder holds: the converted .au files, with the
// browser player their copies, and the conversions' working room
// (DiskSpaceNeed's, for `wave_file_count` and `max_wave_frames`). The page,
// the resource file and the player's data stay in memory.
uint64_t WorkFolderNeed(const PageFolderFiles& files, int wave_file_count,
                        int64_t max_wave_frames);

// "0.7 MB " above 100000 bytes (MB = 1000000 bytes, one decimal), else
// "40000 bytes ".
std::string DiskSizeText(uint64_t need);

// The whole low-disk warning for `need` bytes.
std::string LowDiskMessage(uint64_t need);

// Free bytes (as available to this user) of the file system holding
// `folder`; the maximum value when it cannot be found, so that an unknown
// figure never stops a run.
uint64_t FreeSpaceOf(const std::string& folder);

// Bytes a run will write into one folder.
struct DiskUse {
  std::string folder;  // an existing folder
  uint64_t bytes = 0;
};

// The uses summed per file system: folders on one file system (the same
// st_dev) share one figure; a folder that cannot be looked at counts as a
// file system of its own. In the order first met.
std::vector<DiskUse> DiskUsePerFileSystem(const std::vector<DiskUse>& uses);

// True when the run should go on: enough free space, or the user answered No
// to the system-modal low-disk question (go on regardless). False when the
// user chose to stop.
bool DiskSpaceCheck(uint64_t need, uint64_t free_bytes, Questions& questions);

// The same for every file system the run writes to (DiskUsePerFileSystem):
// the question is asked for the first one short of room, with its own need,
// and its answer holds for the run. `free_space` answers a folder's free
// bytes (FreeSpaceOf).
bool DiskSpaceCheck(const std::vector<DiskUse>& uses,
                    const std::function<uint64_t(const std::string& folder)>& free_space,
                    Questions& questions);

}  // namespace sonavelt::run
