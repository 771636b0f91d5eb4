#include "audio/sound_kind.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "audio/sound_decoder.h"
#include "base/byte_order.h"
#include "base/text.h"

namespace sonavelt::audio {

namespace {

constexpr uint32_t kOpenSize = 0xFFFFFFFF;  // a size a streaming writer left open

// An ID3v2 tag: "ID3", version (2 bytes), flags, a 28-bit size in four
// 7-bit bytes; a footer of 10 more bytes when flag 0x10 is set.
uint64_t Id3v2Length(const uint8_t* head, size_t got) {
  if (got < 10 || std::memcmp(head, "ID3", 3) != 0) return 0;
  if ((head[6] | head[7] | head[8] | head[9]) & 0x80) return 0;
  const uint64_t size = (uint64_t{head[6]} << 21) | (uint64_t{head[7]} << 14) |
                        (uint64_t{head[8]} << 7) | head[9];
  return 10 + size + ((head[5] & 0x10) ? 10 : 0);
}

// One MPEG audio frame header (4 bytes, big-endian bit fields):
// 11 sync bits, version (2), layer (2), protection, bitrate index (4),
// rate index (2), padding, private, channel mode (2), ...
struct MpegFrame {
  uint32_t length = 0;  // bytes, header included
  int version = 0;      // 1 MPEG-1, 2 MPEG-2, 25 MPEG-2.5
  int layer = 0;
  bool mono = false;
};

std::optional<MpegFrame> ParseMpegHeader(const uint8_t* p) {
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return std::nullopt;
  const int version_bits = (p[1] >> 3) & 3;
  const int layer_bits = (p[1] >> 1) & 3;
  const int bitrate_index = p[2] >> 4;
  const int rate_index = (p[2] >> 2) & 3;
  if (version_bits == 1 || layer_bits == 0 || bitrate_index == 0 || bitrate_index == 15 ||
      rate_index == 3)
    return std::nullopt;
  MpegFrame frame;
  frame.version = version_bits == 3 ? 1 : version_bits == 2 ? 2 : 25;
  frame.layer = 4 - layer_bits;
  frame.mono = (p[3] >> 6) == 3;
  // kbit/s by [MPEG-1?][layer - 1][index].
  static constexpr int kBitrates[2][3][15] = {
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}}};
  static constexpr int kRates[3] = {44100, 48000, 32000};
  const bool mpeg1 = frame.version == 1;
  const uint32_t bitrate = static_cast<uint32_t>(kBitrates[mpeg1][frame.layer - 1][bitrate_index]) * 1000;
  const uint32_t rate = static_cast<uint32_t>(kRates[rate_index] / (mpeg1 ? 1 : frame.version == 2 ? 2 : 4));
  const uint32_t padding = (p[2] >> 1) & 1;
  if (frame.layer == 1) {
    frame.length = (12 * bitrate / rate + padding) * 4;
  } else {
    const uint32_t factor = (frame.layer == 3 && !mpeg1) ? 72 : 144;
    frame.length = factor * bitrate / rate + padding;
  }
  if (frame.length < 4) return std::nullopt;
  return frame;
}

// Where the first MPEG frame of an MP3 starts: right after its ID3v2 tags,
// a header that is followed by another one where its length says.
std::optional<uint64_t> FirstMpegFrame(const InputFile& file) {
  uint64_t position = 0;
  uint8_t head[10];
  // Some files carry more than one tag in a row.
  for (int tags = 0; tags < 4; ++tags) {
    const int64_t got = file.ReadAt(head, sizeof head, position);
    const uint64_t tag = got > 0 ? Id3v2Length(head, static_cast<size_t>(got)) : 0;
    if (tag == 0) break;
    position += tag;
  }
  // A little padding after a tag is common; a file that is mostly not
  // frames is not an MP3.
  std::vector<uint8_t> window(4096 + 4);
  const int64_t got = file.ReadAt(window.data(), window.size(), position);
  for (int64_t i = 0; i + 4 <= got; ++i) {
    std::optional<MpegFrame> frame = ParseMpegHeader(window.data() + i);
    if (!frame) continue;
    const uint64_t at = position + static_cast<uint64_t>(i);
    uint8_t next[4];
    if (at + frame->length == file.size()) return at;  // a single frame
    if (file.ReadAt(next, 4, at + frame->length) == 4 && ParseMpegHeader(next)) return at;
  }
  return std::nullopt;
}

bool MpegIsCut(const InputFile& file) {
  const std::optional<uint64_t> first = FirstMpegFrame(file);
  if (!first) return false;
  uint8_t bytes[4 + 32 + 18];
  const int64_t got = file.ReadAt(bytes, sizeof bytes, *first);
  std::optional<MpegFrame> frame = ParseMpegHeader(bytes);
  if (!frame || got < 4) return false;
  // A Xing ("Xing" or "Info") header sits after the side information of
  // the first frame and counts the frames after it (flag 1); a VBRI header
  // sits 32 bytes after the frame header.
  int64_t stated = -1;
  const size_t side = frame->version == 1 ? (frame->mono ? 17 : 32) : (frame->mono ? 9 : 17);
  const uint8_t* xing = bytes + 4 + side;
  if (got >= static_cast<int64_t>(4 + side + 12) &&
      (std::memcmp(xing, "Xing", 4) == 0 || std::memcmp(xing, "Info", 4) == 0) &&
      (LoadBe32(xing + 4) & 1))
    stated = LoadBe32(xing + 8);
  const uint8_t* vbri = bytes + 4 + 32;
  if (got >= static_cast<int64_t>(sizeof bytes) && std::memcmp(vbri, "VBRI", 4) == 0)
    stated = LoadBe32(vbri + 14);

  // The walk reads frame headers only; it ends at the first bytes that are
  // not one (tags at the end, say).
  uint64_t position = *first;
  int64_t frames = 0;
  const uint64_t length = file.size();
  uint8_t header[4];
  while (position + 4 <= length && file.ReadAt(header, 4, position) == 4) {
    std::optional<MpegFrame> next = ParseMpegHeader(header);
    if (!next) break;
    if (position + next->length > length) return true;  // its last frame is cut
    position += next->length;
    ++frames;
  }
  // `frames` counts the header frame, which carries no sound; that one
  // frame is the slack encoders need, as they differ on whether the count
  // includes a last, partial frame.
  return stated >= 0 && frames < stated;
}

// The last Ogg page must be whole and mark the end of its stream. A page:
// "OggS", version 0, flags (0x04 end of stream), granule (8), serial (4),
// sequence (4), checksum (4), segment count, segment table, body.
bool OggIsCut(const InputFile& file) {
  const uint64_t length = file.size();
  constexpr uint64_t kLongestPage = 27 + 255 + 255 * 255;
  const uint64_t start = length > kLongestPage ? length - kLongestPage : 0;
  std::vector<uint8_t> tail(static_cast<size_t>(length - start));
  if (file.ReadAt(tail.data(), tail.size(), start) != static_cast<int64_t>(tail.size())) return true;
  for (size_t i = tail.size() >= 27 ? tail.size() - 27 + 1 : 0; i-- > 0;) {
    if (std::memcmp(&tail[i], "OggS", 4) != 0 || tail[i + 4] != 0) continue;
    const size_t segments = tail[i + 26];
    if (i + 27 + segments > tail.size()) return true;
    size_t body = 0;
    for (size_t s = 0; s < segments; ++s) body += tail[i + 27 + s];
    const size_t end = i + 27 + segments + body;
    if (end > tail.size()) return true;
    return (tail[i + 5] & 0x04) == 0;
  }
  return true;
}

// The chunk named `wanted` in a RIFF (little-endian) or IFF (big-endian)
// file starting at offset 12: true when its stated size runs past the end.
bool ChunkRunsPastEnd(const InputFile& file, const char* wanted, bool big_endian) {
  const uint64_t length = file.size();
  uint64_t position = 12;
  uint8_t header[8];
  while (position + 8 <= length && file.ReadAt(header, 8, position) == 8) {
    const uint32_t size = big_endian ? LoadBe32(header + 4) : LoadLe32(header + 4);
    const uint64_t body = position + 8;
    if (std::memcmp(header, wanted, 4) == 0) return size != kOpenSize && size > length - body;
    if (size > length - body) return false;  // damaged, not cut: the readers say so
    position = body + size + (size & 1);
  }
  return false;
}

bool SunAuIsCut(const InputFile& file) {
  uint8_t header[12];
  if (file.ReadAt(header, sizeof header, 0) != static_cast<int64_t>(sizeof header)) return false;
  const uint64_t offset = LoadBe32(header + 4);
  const uint32_t size = LoadBe32(header + 8);
  return size != kOpenSize && offset <= file.size() && size > file.size() - offset;
}

}  // namespace

SoundKind SniffSoundKind(const InputFile& file) {
  uint8_t head[12] = {};
  int64_t got = file.ReadAt(head, sizeof head, 0);
  // FLAC files may start with an ID3v2 tag too.
  if (const uint64_t tag = got > 0 ? Id3v2Length(head, static_cast<size_t>(got)) : 0) {
    uint8_t magic[4];
    if (file.ReadAt(magic, 4, tag) == 4 && std::memcmp(magic, "fLaC", 4) == 0) return SoundKind::kFlac;
  }
  if (got >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0)
    return SoundKind::kWave;
  if (got >= 4 && std::memcmp(head, ".snd", 4) == 0) return SoundKind::kSunAu;
  if (got >= 4 && std::memcmp(head, "fLaC", 4) == 0) return SoundKind::kFlac;
  if (got >= 4 && std::memcmp(head, "OggS", 4) == 0) return SoundKind::kOgg;
  if (got >= 12 && std::memcmp(head, "FORM", 4) == 0 &&
      (std::memcmp(head + 8, "AIFF", 4) == 0 || std::memcmp(head + 8, "AIFC", 4) == 0))
    return SoundKind::kAiff;
  if (got >= 4 && FirstMpegFrame(file)) return SoundKind::kMp3;
  return SoundKind::kUnknown;
}

bool HoldsSunAu(const std::string& path) {
  std::optional<InputFile> file = InputFile::OpenIfReadable(path);
  return file && SniffSoundKind(*file) == SoundKind::kSunAu;
}

SoundKind KindOfName(const std::string& path) {
  if (IsDecodedSoundPath(path)) {
    const std::string lower = LowerCopy(FileNameOfPath(path));
    auto ends = [&](const char* ext) {
      const size_t n = std::strlen(ext);
      return lower.size() >= n && lower.compare(lower.size() - n, n, ext) == 0;
    };
    if (ends(".mp3")) return SoundKind::kMp3;
    if (ends(".flac")) return SoundKind::kFlac;
    if (ends(".ogg") || ends(".oga") || ends(".opus")) return SoundKind::kOgg;
    return SoundKind::kAiff;
  }
  if (IsWavePath(path)) return SoundKind::kWave;
  if (IsAuPath(path)) return SoundKind::kSunAu;
  return SoundKind::kUnknown;
}

const char* KindName(SoundKind kind) {
  switch (kind) {
    case SoundKind::kWave: return "WAVE";
    case SoundKind::kSunAu: return "Sun .au";
    case SoundKind::kMp3: return "MP3";
    case SoundKind::kFlac: return "FLAC";
    case SoundKind::kOgg: return "Ogg";
    case SoundKind::kAiff: return "AIFF";
    case SoundKind::kUnknown: break;
  }
  return "unknown";
}

std::string DescribedPath(const std::string& path, SoundKind contents) {
  if (contents == SoundKind::kUnknown || contents == KindOfName(path)) return path;
  const std::string name = KindName(contents);
  // "an MP3", "an AIFF", "a FLAC", "a Sun .au"
  const bool vowel = name[0] == 'A' || name[0] == 'M' || name[0] == 'O';
  return path + (vowel ? " (an " : " (a ") + name + " file)";
}

bool IsCutShort(const InputFile& file, SoundKind kind) {
  switch (kind) {
    case SoundKind::kWave: return ChunkRunsPastEnd(file, "data", false);
    case SoundKind::kAiff: return ChunkRunsPastEnd(file, "SSND", true);
    case SoundKind::kSunAu: return SunAuIsCut(file);
    case SoundKind::kOgg: return OggIsCut(file);
    case SoundKind::kMp3: return MpegIsCut(file);
    case SoundKind::kFlac:
    case SoundKind::kUnknown: break;
  }
  return false;
}

}  // namespace sonavelt::audio
