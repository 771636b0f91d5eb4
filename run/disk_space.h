#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/user_interface.h"

// The estimate of the disk space a run needs, and the warning when the
// current folder's file system has less free space than that.
namespace sonavelt::run {

// Bytes a run needs: the distinct sounds' bytes (twice for a local page, whose
// sounds are both converted and copied; once for a remote one), 60000 per
// distinct WAVE file, and 8 per sample frame of the longest WAVE file (the
// conversion's working memory). Summed in 64 bits, so large sound sets do
// not wrap around.
uint64_t DiskSpaceNeed(uint64_t sound_bytes, int wave_file_count, int64_t max_wave_frames,
                       bool is_remote);

// "0.7 MB " above 100000 bytes (MB = 1000000 bytes, one decimal), else
// "40000 bytes ".
std::string DiskSizeText(uint64_t need);

// The whole low-disk warning for `need` bytes.
std::string LowDiskMessage(uint64_t need);

// Free bytes (as available to this user) of the file system holding the
// current folder; the maximum value when it cannot be found, so that an
// unknown figure never stops a run.
uint64_t FreeSpaceOfCurrentFolder();

// True when the run should go on: enough free space, or the user answered No
// to the system-modal low-disk question (go on regardless). False when the
// user chose to stop.
bool DiskSpaceCheck(uint64_t need, uint64_t free_bytes, UserInterface& ui);

}  // namespace sonavelt::run
