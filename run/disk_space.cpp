#include "run/disk_space.h"

#include <cstdio>
#include <filesystem>
#include <limits>
#include <system_error>

namespace sonavelt::run {

uint64_t DiskSpaceNeed(uint64_t sound_bytes, int wave_file_count, int64_t max_wave_frames,
                       bool is_remote) {
  uint64_t need = is_remote ? sound_bytes : 2 * sound_bytes;
  need += 60000ULL * static_cast<uint64_t>(wave_file_count < 0 ? 0 : wave_file_count);
  need += 8ULL * static_cast<uint64_t>(max_wave_frames < 0 ? 0 : max_wave_frames);
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

uint64_t FreeSpaceOfCurrentFolder() {
  std::error_code ec;
  std::filesystem::space_info info = std::filesystem::space(".", ec);
  if (ec) return std::numeric_limits<uint64_t>::max();
  return info.available;
}

bool DiskSpaceCheck(uint64_t need, uint64_t free_bytes, UserInterface& ui) {
  if (free_bytes >= need) return true;
  return !ui.AskAs(QuestionKind::kYesNoStop, BoxStyle::kSystemModal, LowDiskMessage(need));
}

}  // namespace sonavelt::run
