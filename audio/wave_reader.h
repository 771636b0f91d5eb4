#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "audio/posix_file.h"
#include "audio/sound_format.h"
#include "audio/sound_messages.h"
#include "base/user_interface.h"

// The WAVE reader: the chunk walk, the format read, and the decoding of the
// first channel's samples. Only uncompressed PCM with 1 or 2 channels of 8
// or 16 bits passes. The reader reads at offsets inside the file's length
// and never further; the sample data is streamed, never held whole.
//
// Layout facts: "RIFF" <u32 size> "WAVE", then chunks of <4-byte tag>
// <u32 little-endian size> <body>, each body followed by a pad byte when its
// size is odd. "fmt " holds u16 format tag (1 = PCM), u16 channels, u32 rate,
// u32 byte rate, u16 block align, u16 bits per sample; "data" the frames.
namespace sonavelt::audio {

// Where the frames of a checked WAVE file are.
struct WaveLayout {
  SoundFormat format;
  uint64_t data_offset = 0;  // file offset of frame 0
  int block_size = 0;        // bytes per frame: channels x bytes per sample
};

struct WaveParseResult {
  std::optional<WaveFault> fault;  // none when the walk found the data
  WaveFaultDetail detail;
  bool declined = false;  // on_format said no: no fault, no message
  WaveLayout layout;
};

// Walks the chunks of `file`. on_format (may be empty) sees each accepted
// format chunk; answering false ends the walk with `declined`. The frame
// count is the data chunk's size divided by the block size (a trailing
// partial frame is ignored). Chunks whose stated size runs past the end of
// the file are refused rather than cut short: a file whose chunk headers
// lie is not a file the converter should guess about.
WaveParseResult ParseWaveLayout(const InputFile& file,
                                const std::function<bool(const SoundFormat&)>& on_format);

// The run-wide values the preparing checks use. Owned by the run (one per
// run, reset at its start); the Play button passes a state whose
// preparing_run is false.
struct WaveCheckState {
  bool preparing_run = false;   // ask the format-change question
  int64_t max_wave_frames = 0;  // raised to the largest frame count checked
  // Other sounds of the run are still to be checked: the question may
  // offer "Yes to All" and "No to All".
  bool more_sounds_waiting = false;
  // Set by "Yes to All" (true) or "No to All" (false): later questions of
  // the run are answered so without being shown.
  std::optional<bool> answer_for_all;
};

// The format-change question for a file of `format` (none when nothing
// worth asking about changes), answered by state.answer_for_all when set.
// True to go ahead.
bool AskFormatChange(const std::string& path, const SoundFormat& format, Questions& questions,
                     WaveCheckState& state);

// Checks a WAVE file: validates it (the whole chunk walk, so a file that
// will be refused is never asked about), then asks the format-change
// question when state.preparing_run is set, and raises
// state.max_wave_frames. A fault comes back with its message (system-modal
// box); a No to the question is Status::Cancelled (nothing to show).
// *format (when given) receives the file's format on success.
Status CheckWaveFile(const std::string& path, Questions& questions, WaveCheckState& state,
                     SoundFormat* format = nullptr);

// A WAVE file opened and walked for decoding. A fault comes back with its
// short message (plain box) and leaves *wave empty.
struct OpenedWave {
  InputFile file;
  WaveLayout layout;
};
Status OpenWaveForDecoding(const std::string& path, std::optional<OpenedWave>* wave);

// The most bytes of frames StreamWaveFrames hands over at once.
size_t WaveStreamBytes();

// Streams the frames of an opened WAVE file in pieces of whole frames:
// consume(frames, count) gets `count` frames of layout.block_size bytes and
// answers false to stop early (StreamWaveFrames then answers ok: the
// consumer knows why it stopped). A file that cannot be read to the end of
// its data (it shrank, a read error) comes back with the short message
// (plain box).
Status StreamWaveFrames(const OpenedWave& wave, const std::string& path,
                        const std::function<bool(const uint8_t* frames, size_t count)>& consume);

// The first channel's sample of one frame as a linear 16-bit-range value:
// 8-bit samples are unsigned ((byte - 128) x 256: 0x80 -> 0, 0x00 -> -32768,
// 0xFF -> 32512); 16-bit ones signed little-endian. The one sample decoder
// of WAVE data: the converter's inner loops use the template, fixed to
// their layout.
template <int kBits>
inline int32_t FirstChannelSample(const uint8_t* frame) {
  static_assert(kBits == 8 || kBits == 16);
  if constexpr (kBits == 8) {
    return (static_cast<int32_t>(frame[0]) - 128) * 256;
  } else {
    return static_cast<int16_t>(static_cast<uint16_t>(frame[0] | (frame[1] << 8)));
  }
}
inline int32_t FirstChannelSample(const uint8_t* frame, int bits_per_sample) {
  return bits_per_sample == 8 ? FirstChannelSample<8>(frame) : FirstChannelSample<16>(frame);
}

}  // namespace sonavelt::audio
