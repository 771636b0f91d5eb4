#pragma once

#include <cstdint>
#include <string>

#include "audio/sound_format.h"

// Every text the sound checks, readers and converter show, built in one
// place so that the wizard and the command line say the same words. Texts
// use "\r\n" line ends.
namespace sonavelt::audio {

// "Please select an <kind> file." (kind "audio" or "HTML"), after
// "<path> was not found.\r\n" when path is not empty.
std::string MissingFileMessage(const std::string& path, const std::string& kind);
// A path that names something other than a file: "<path> is <what>, not a
// file.\r\nPlease select an <kind> file." (what: "a named pipe (FIFO)",
// "a device", ...).
std::string NotAFileMessage(const std::string& path, const std::string& what,
                            const std::string& kind);
std::string UnsupportedFileMessage(const std::string& path);
std::string EmptyFileMessage(const std::string& path);
// A file that exists but cannot be read. With a reason (the system's text
// for the failure) the message names it; without one it is the plain
// "<path> cannot be opened!" form.
std::string CannotOpenMessage(const std::string& path, const std::string& reason);
// A file that could not be written (a full disk, a read-only folder).
std::string CannotWriteMessage(const std::string& path, const std::string& reason);

// The question asked while a run prepares, when the conversion will change
// the sound's rate (above 15000 Hz), its sample width or its channels.
// Empty when nothing worth asking about changes.
std::string FormatChangeQuestion(const std::string& path, const SoundFormat& format);

// Why a WAVE file was refused.
enum class WaveFault {
  kCannotOpen,
  kNotRiff,
  kNotWave,
  kUnidentifiedEncoding,  // format tag other than 1 (PCM)
  kChannelCount,          // 0 or more than 2 channels
  kSampleWidth,           // other than 8 or 16 bits (and no decoder reads it)
  kSampleRate,            // outside kMinWaveRate .. kMaxWaveRate
  kShortFormat,           // "fmt " chunk smaller than its 16 fixed bytes
  kDataBeforeFormat,
  kChunkPastEnd,          // a chunk says it is larger than what the file holds
                          // (the "data" chunk: the file is cut short)
  kNoData,                // the walk ended without a "data" chunk
  kReadFailed,            // the file shrank or could not be read while decoding
};

// The sample rates the converter handles. Below 8000 Hz samples are
// repeated; the floor keeps a bogus rate from blowing the output up.
inline constexpr int kMinWaveRate = 1000;
inline constexpr int kMaxWaveRate = 1000000;

// What a fault message needs besides the path and the fault.
struct WaveFaultDetail {
  std::string reason;      // kCannotOpen, kReadFailed: the system's text
  SoundFormat format;      // channel count, bits or rate of the format faults
  std::string chunk_tag;   // kChunkPastEnd: the chunk's identifier
  uint64_t chunk_size = 0;  // kChunkPastEnd: the size its header states
  uint64_t bytes_left = 0;  // kChunkPastEnd: the bytes after its header
};

// The long form is shown while checking a file (system-modal); the short
// form while decoding it for a conversion (plain box).
enum class MessageForm { kCheck, kDecode };
std::string WaveFaultMessage(const std::string& path, WaveFault fault,
                             const WaveFaultDetail& detail, MessageForm form);

// A file whose sound data ends before its header or stream says it does,
// in any format (kind: KindName of its contents). The check form adds the
// corrupted-file line.
std::string CutShortMessage(const std::string& path, const std::string& kind, MessageForm form);

std::string NotAuFileMessage(const std::string& path);
std::string AuHeaderFaultMessage();

}  // namespace sonavelt::audio
