#include "audio/sound_messages.h"

#include "base/text.h"

namespace sonavelt::audio {

namespace {

// The tail of the check messages that blame the format.
const char kCannotHandle[] =
    "\r\nJava API cannot handle this sound format.\r\nPlease select another sound file.";
const char kCorrupted[] = "It's a corrupted sound file. Please select another sound file.";
const char kSelectAnother[] = "\r\nPlease select another sound file.";

}  // namespace

std::string MissingFileMessage(const std::string& path, const std::string& kind) {
  std::string please = "Please select an " + kind + " file.";
  if (path.empty()) return please;
  return path + " was not found.\r\n" + please;
}

std::string NotAFileMessage(const std::string& path, const std::string& what,
                            const std::string& kind) {
  return path + " is " + what + ", not a file.\r\nPlease select an " + kind + " file.";
}

std::string UnsupportedFileMessage(const std::string& path) {
  return "Sonavelt cannot handle the audio file:\r\n\"" + path +
         "\"\r\n\r\nSonavelt can handle .wav, .au, .mp3, .flac, .ogg, .oga, .opus, .aif, .aiff "
         "and .aifc audio files." +
         "\r\nPlease select an audio file again.";
}

std::string EmptyFileMessage(const std::string& path) {
  return path + " is an empty file!\r\nPlease select an audio file.";
}

std::string CannotOpenMessage(const std::string& path, const std::string& reason) {
  if (reason.empty()) return path + " cannot be opened!\r\nPlease select another audio file.";
  return path + " cannot be opened: " + reason + ".\r\nPlease select another audio file.";
}

std::string CannotWriteMessage(const std::string& path, const std::string& reason) {
  return path + " cannot be written: " + reason + ".";
}

std::string FormatChangeQuestion(const std::string& path, const SoundFormat& format) {
  std::string bits_from, bits_to, rate_from, rate_to, chan_from, chan_to;
  if (format.bits_per_sample != 8) {
    bits_from = DecimalText(format.bits_per_sample) + " bit  ";
    bits_to = "8 bit  ";
  }
  if (format.sample_rate > 15000) {
    rate_from = DecimalText(format.sample_rate) + " hz  ";
    rate_to = "8000 hz  ";
  }
  if (format.channel_count == 2) {
    chan_from = "stereo  ";
    chan_to = "mono  ";
  }
  if (bits_from.empty() && rate_from.empty() && chan_from.empty()) return "";
  return path + "\r\nis an " + rate_from + bits_from + chan_from + "sound file.\r\n\r\n" +
         "Java API can only handle one sound format:\r\n\r\n" +
         " \"8000 hz, 8 bit, uLaw, mono, Sun, .au\"\r\n\r\n" +
         "Sonavelt will change your sound file's format from " + rate_from + bits_from +
         chan_from + "\r\nto " + rate_to + bits_to + chan_to +
         "while converting it to .au file.\r\n\r\n" +
         "The sound quality will be changed as a result. \r\n\r\n" +
         "Do you want Sonavelt to go ahead and change the sound format?";
}

std::string WaveFaultMessage(const std::string& path, WaveFault fault,
                             const WaveFaultDetail& detail, MessageForm form) {
  const bool check = form == MessageForm::kCheck;
  switch (fault) {
    case WaveFault::kCannotOpen:
      return CannotOpenMessage(path, detail.reason);
    case WaveFault::kNotRiff:
      return path + (check ? " is not a RIFF file." + std::string(kCannotHandle)
                           : " is not a RIFF file");
    case WaveFault::kNotWave:
      return path + (check ? " is not a WAVE file." + std::string(kCannotHandle)
                           : " is not a WAVE file");
    case WaveFault::kUnidentifiedEncoding:
      return "Unidentified encoding in " + path + (check ? kCannotHandle : "");
    case WaveFault::kChannelCount:
      return path + " has " + DecimalText(detail.format.channel_count) + " channels.\r\n" +
             "Only 1 and 2 channel files are implemented!" + (check ? kSelectAnother : "");
    case WaveFault::kSampleWidth:
      return path + " has " + DecimalText(detail.format.bits_per_sample) +
             " bit samples.\r\n" + "Only 8, 16, 24 and 32 bit files are implemented!" +
             (check ? kSelectAnother : "");
    case WaveFault::kSampleRate:
      return path + " has a sample rate of " + DecimalText(detail.format.sample_rate) +
             " hz.\r\n" + "Only rates from " + DecimalText(kMinWaveRate) + " to " +
             DecimalText(kMaxWaveRate) + " hz are implemented!" + (check ? kSelectAnother : "");
    case WaveFault::kShortFormat:
      return path + " Format Chunk too short" +
             (check ? ".\r\n" + std::string(kCorrupted) : std::string());
    case WaveFault::kDataBeforeFormat:
      return path + " Data Chunk before Format Chunk" +
             (check ? ".\r\n" + std::string(kCorrupted) : std::string());
    case WaveFault::kChunkPastEnd:
      if (detail.chunk_tag == "data") return CutShortMessage(path, "WAVE", form);
      return path + " is cut short: its \"" + detail.chunk_tag + "\" chunk needs " +
             std::to_string(detail.chunk_size) + " bytes, but only " +
             std::to_string(detail.bytes_left) + " follow" +
             (check ? ".\r\n" + std::string(kCorrupted) : std::string());
    case WaveFault::kNoData:
      return path + " has no Data Chunk" +
             (check ? ".\r\n" + std::string(kCorrupted) : std::string());
    case WaveFault::kReadFailed:
      return path + " could not be read to its end" +
             (detail.reason.empty() ? std::string() : ": " + detail.reason) +
             (check ? ".\r\nPlease select another sound file." : std::string());
  }
  return path;
}

std::string CutShortMessage(const std::string& path, const std::string& kind, MessageForm form) {
  return path + " is cut short: its " + kind + " sound data ends before the file says it does" +
         (form == MessageForm::kCheck ? ".\r\n" + std::string(kCorrupted) : std::string());
}

std::string NotAuFileMessage(const std::string& path) {
  return path + " is not an .au file !\r\nPlease select another audio file.";
}

std::string AuHeaderFaultMessage() {
  return "Could not process the Sun sound file header!\r\nPlease select another audio file.";
}


}  // namespace sonavelt::audio
