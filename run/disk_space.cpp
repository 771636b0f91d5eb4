#include "run/disk_space.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cstdio>
#include <limits>

namespace sonavelt::run {

uint64_t DiskSpaceNeed(uint64_t sound_bytes, int wave_file_count, int64_t max_wave_frames,
                       bool is_remote) {
  uint64_t need = is_remote ? sound_bytes : 2 * sound_bytes;
  need += kWorkingBytesPerWaveFile * static_cast<uint64_t>(wave_file_count < 0 ? 0 : wave_file_count);
  need += kWorkingBytesPerWaveFrame * static_cast<uint64_t>(max_wave_frames < 0 ? 0 : max_wave_frames);
  return need;
}

std::string DiskSizeText(uint64_t need) {
  double megabytes = static_cast<double>(need) * 0.000001;
  if (megabytes > 0.1) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f MB ", megabytes);
    return text;
  }
  return std::to_string(need) + " bytes ";
}

std::string LowDiskMessage(uint64_t need) {
  return "Disk space is low.\r\n\r\n"
         "Sonavelt needs " +
         DiskSizeText(need) +
         "disk space to complete the required operation.\r\n"
         "Sonavelt might not perform correctly if there is not enough disk space.\r\n\r\n"
         "Do you want to stop the Sonavelt process and create more disk space?\r\n\r\n"
         "Click \"Yes\" to stop the process;\r\n"
         "Click \"No\" to ignore the warning. The result might be unpredictive.";
}

uint64_t FreeSpaceOf(const std::string& folder) {
  struct statvfs info;
  if (statvfs(folder.c_str(), &info) != 0) return std::numeric_limits<uint64_t>::max();
  return static_cast<uint64_t>(info.f_bavail) * static_cast<uint64_t>(info.f_frsize);
}

std::vector<DiskUse> DiskUsePerFileSystem(const std::vector<DiskUse>& uses) {
  std::vector<DiskUse> out;
  std::vector<dev_t> devices;
  std::vector<bool> known;
  for (const DiskUse& use : uses) {
    struct stat st;
    bool found = stat(use.folder.c_str(), &st) == 0;
    size_t i = 0;
    for (; found && i < out.size(); ++i)
      if (known[i] && devices[i] == st.st_dev) break;
    if (found && i < out.size()) {
      out[i].bytes += use.bytes;
      continue;
    }
    out.push_back(use);
    devices.push_back(found ? st.st_dev : dev_t{});
    known.push_back(found);
  }
  return out;
}

bool DiskSpaceCheck(uint64_t need, uint64_t free_bytes, Questions& questions) {
  if (free_bytes >= need) return true;
  return !questions.AskAs(QuestionKind::kYesNoStop, BoxStyle::kSystemModal, LowDiskMessage(need));
}

bool DiskSpaceCheck(const std::vector<DiskUse>& uses,
                    const std::function<uint64_t(const std::string& folder)>& free_space,
                    Questions& questions) {
  for (const DiskUse& use : DiskUsePerFileSystem(uses)) {
    uint64_t free_bytes = free_space(use.folder);
    if (free_bytes >= use.bytes) continue;
    return DiskSpaceCheck(use.bytes, free_bytes, questions);
  }
  return true;
}

}  // namespace sonavelt::run
