#include "run/disk_space.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "audio/sound_decoder.h"

namespace sonavelt::run {
namespace {

// The .au header the converter writes, and the rate of its samples.
constexpr uint64_t kAuHeaderBytes = 32;
constexpr double kAuBytesPerSecond = 8000;
// The browser copy's bit rates (audio/browser_copy.h) in bytes a second,
// with a quarter more for the encoder's variable rate and the Ogg framing,
// and its headers (identification, comments, the first pages).
constexpr double kCopyMonoBytesPerSecond = 32000 / 8 * 1.25;
constexpr double kCopyStereoBytesPerSecond = 48000 / 8 * 1.25;
constexpr uint64_t kCopyHeaderBytes = 4096;
// A line of the data file per sound (names, length), and the file's frame.
constexpr uint64_t kDataBytesPerSound = 600;
constexpr uint64_t kDataFrameBytes = 1024;
// The player block and BODY edits a page grows by, from above.
constexpr uint64_t kBlockBytes = 8192;

uint64_t Base64Bytes(uint64_t bytes) { return (bytes + 2) / 3 * 4; }

}  // namespace

SoundMeasure MeasureSound(const std::string& path, uint64_t bytes, bool used_as_is) {
  SoundMeasure sound;
  sound.bytes = bytes;
  sound.used_as_is = used_as_is;
  std::optional<audio::SoundDecoder> decoder;
  if (audio::SoundDecoder::Open(path, &decoder).ok() && decoder->sample_rate() > 0 && decoder->frame_count() >= 0) {
    sound.seconds = static_cast<double>(decoder->frame_count()) / decoder->sample_rate();
    sound.channels = decoder->channels();
  }
  return sound;
}

uint64_t AuBytesOf(const SoundMeasure& sound) {
  if (sound.used_as_is || sound.seconds < 0) return sound.bytes;
  return kAuHeaderBytes + static_cast<uint64_t>(std::ceil(sound.seconds * kAuBytesPerSecond));
}

uint64_t BrowserCopyBytesOf(const SoundMeasure& sound) {
  if (sound.seconds < 0) return sound.bytes;
  const double rate = sound.channels >= 2 ? kCopyStereoBytesPerSecond : kCopyMonoBytesPerSecond;
  return kCopyHeaderBytes + static_cast<uint64_t>(std::ceil(sound.seconds * rate));
}

uint64_t ResourceFileBytes(int combinations) {
  // Four bytes of length, the URL and image fields (each up to a few KB),
  // and per combination three names and a time.
  return 4 + 8192 + static_cast<uint64_t>(combinations < 1 ? 1 : combinations) * 3 * 300;
}

uint64_t PageFolderNeed(const PageFolderFiles& files) {
  uint64_t au = 0;
  uint64_t copies = 0;
  for (const SoundMeasure& sound : files.sounds) {
    au += AuBytesOf(sound);
    if (files.browser_player) copies += BrowserCopyBytesOf(sound);
  }
  const uint64_t resource = ResourceFileBytes(files.combinations);
  uint64_t need = au + files.class_bytes + resource + files.page_bytes + kBlockBytes;
  const uint64_t per_sound = kDataBytesPerSound * files.sounds.size();
  // The data file is written also without the browser player (it keeps the
  // record for taking the player off again).
  need += kDataFrameBytes + Base64Bytes(resource) + per_sound;                    // data file
  if (files.browser_player) {
    need += copies + files.script_bytes;
    need += kDataFrameBytes + Base64Bytes(resource) + 2 * per_sound + Base64Bytes(au) +
            Base64Bytes(copies);                                                  // preview
  }
  return need;
}

uint64_t WorkFolderNeed(const PageFolderFiles& files, int wave_file_count,
                        int64_t max_wave_frames) {
  uint64_t au = 0;
  uint64_t copies = 0;
  for (const SoundMeasure& sound : files.sounds) {
    au += AuBytesOf(sound);
    if (files.browser_player) copies += BrowserCopyBytesOf(sound);
  }
  return DiskSpaceNeed(au, wave_file_count, max_wave_frames, /*is_remote=*/true) + copies;
}

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
