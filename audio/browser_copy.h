#pragma once

#include <cstdint>
#include <string>

#include "audio/conversion_progress.h"
#include "base/status.h"

// The browser player's copy of a sound: Ogg Opus at 48000 Hz, made from the
// original source (any format SoundDecoder opens, .au and WAVE included) at
// full bandwidth, beside the applet's .au.
//
// Channels: a mono source gives a mono copy; a source of two or more
// channels gives a stereo copy of its first two. Stereo is kept rather than
// folded down because background music is where the copy is heard longest
// and a fold-down can cancel out-of-phase parts; Opus codes the second
// channel cheaply (joint stereo), so the copy grows by half, not double.
//
// Length: the copy holds exactly `frames` samples per channel at 48000 Hz
// (the resampler's output, its delay removed and its tail flushed), and
// the Ogg stream's pre-skip and final granule position make a decoder give
// back exactly that many, so the player can loop the copy without a gap.
namespace sonavelt::audio {

inline constexpr int kBrowserCopyRate = 48000;

struct BrowserCopyOptions {
  int mono_bitrate = 32000;    // bits per second, whole stream
  int stereo_bitrate = 48000;  // bits per second, whole stream
  bool very_high_quality = true;  // the resampler's VHQ setting, else HQ
};

struct BrowserCopyInfo {
  int64_t frames = 0;  // samples per channel at 48000 Hz
  int channels = 0;    // 1 or 2
  int source_rate = 0;
};

// Writes opus_path from source_path. The file appears under opus_path only
// when complete (a temporary file beside it is renamed); any failure or a
// cancel (checked after every block read) leaves no file of that name. The
// Status message names the file: "reading x.flac: <reason>" or "writing
// x.opus: <reason>"; a cancel answers Status::Cancelled.
Status MakeBrowserCopy(const std::string& source_path, const std::string& opus_path,
                       const ConversionControl& control, BrowserCopyInfo* info,
                       const BrowserCopyOptions& options = {});

}  // namespace sonavelt::audio
