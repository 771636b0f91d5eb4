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
