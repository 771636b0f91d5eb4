#include "audio/au_writer.h"

#include <cstring>

#include "audio/posix_file.h"
#include "audio/rate_change.h"
#include "base/byte_order.h"

namespace sonavelt::audio {

namespace {
constexpr char kAuMagic[] = ".snd";
constexpr char kAnnotation[] = "Sonavelt";  // the 8 characters, without terminator
}  // namespace

int ConversionProgressPosition(int percent, int converted_count, int combination_count,
                               bool no_background) {
  const int files = (no_background ? 2 : 3) * combination_count;
  if (files <= 0) return 6;
  const int k = converted_count - 1;
  return ((48 / files) * percent) / 100 + (k * 48) / files + 6;
}

std::array<uint8_t, kAuHeaderSize> SunAuHeader(uint32_t data_size) {
  std::array<uint8_t, kAuHeaderSize> header{};
  std::memcpy(header.data(), kAuMagic, 4);
  StoreBe32(header.data() + 4, static_cast<uint32_t>(kAuHeaderSize));
  StoreBe32(header.data() + 8, data_size);
  StoreBe32(header.data() + 12, kAuMuLawEncoding);
  StoreBe32(header.data() + 16, kAuSampleRate);
  StoreBe32(header.data() + 20, 1);
  std::memcpy(header.data() + 24, kAnnotation, 8);
  return header;
}

WriteOutcome WriteSunAu(const std::string& au_path, const uint8_t* codes, size_t count,
                        const ConversionControl& control, std::string* error) {
  AtomicFileWriter writer;
  auto failed = [&](const Status& status) {
    if (error) *error = status.message();
    return WriteOutcome::kWriteFailed;
  };
  Status status = writer.Open(au_path);
  if (!status.ok()) return failed(status);
  const auto header = SunAuHeader(static_cast<uint32_t>(count));
  status = writer.Write(header.data(), header.size());
  if (!status.ok()) return failed(status);

  // The bytes between marks go out in one write each.
  const uint64_t frames = count;
  uint64_t written = 0;
  bool any_mark = false;
  uint64_t last_mark = 0;
  for (uint64_t k = 1; k <= 9 && frames > 0; ++k) {
    const uint64_t mark = (frames * k) / 10;
    if (any_mark && mark == last_mark) continue;
    any_mark = true;
    last_mark = mark;
    status = writer.Write(codes + written, static_cast<size_t>(mark - written));
    if (!status.ok()) return failed(status);
    written = mark;
    if (control.cancelled()) return WriteOutcome::kCancelled;  // the writer removes its file
    if (control.report_progress) control.report_progress(static_cast<int>((100 * mark) / frames));
  }
  status = writer.Write(codes + written, static_cast<size_t>(frames - written));
  if (!status.ok()) return failed(status);
  status = writer.Commit();
  if (!status.ok()) return failed(status);
  return WriteOutcome::kWritten;
}

}  // namespace sonavelt::audio
