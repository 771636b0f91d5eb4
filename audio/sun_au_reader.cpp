#include "audio/sun_au_reader.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "audio/mulaw.h"
#include "audio/sound_messages.h"
#include "base/byte_order.h"
#include "base/file_io.h"

namespace sonavelt::audio {

namespace {

constexpr uint32_t kFixedHeaderSize = 24;  // the six u32 fields
constexpr size_t kCopyPiece = 1 << 16;

}  // namespace

Status SunAuReader::Check(const std::string& path) {
  if (Status opened = InputFile::Open(path, &file_); !opened.ok())
    return Status::IoError(CannotOpenMessage(path, opened.message()));
  uint8_t header[kFixedHeaderSize] = {};
  const int64_t got = file_->ReadAt(header, sizeof header, 0);
  if (got < 4 || std::memcmp(header, ".snd", 4) != 0)
    return Status::Corrupt(NotAuFileMessage(path));
  auto fault = [&] { return Status::Corrupt(AuHeaderFaultMessage()); };
  if (got < static_cast<int64_t>(kFixedHeaderSize)) return fault();
  const uint32_t header_size = LoadBe32(header + 4);
  const uint32_t encoding = LoadBe32(header + 12);
  sample_rate_ = LoadBe32(header + 16);
  channel_count_ = LoadBe32(header + 20);
  if (header_size < kFixedHeaderSize || encoding != 1 || sample_rate_ < 1 || channel_count_ < 1) {
    return fault();
  }
  // The annotation is skipped up to the data offset; reaching the end of
  // the file while skipping is a fault, so an annotation that fills the
  // rest of the file fails while an empty one at the end passes.
  if (header_size > kFixedHeaderSize && header_size >= file_->size()) return fault();
  data_offset_ = header_size;
  return Status::Ok();
}

Status SunAuReader::WriteAuAsWave(const std::string& wav_path) const {
  if (!file_) return Status::InvalidArgument("not checked");
  file_io::AtomicFileWriter writer;
  // The header is written with zero sizes and filled in at the end; the
  // byte rate and block align are those of one channel whatever the
  // channel count, as the copies have always been written.
  std::string header;
  header += "RIFF";
  AppendLe32(header, 0);
  header += "WAVEfmt ";
  AppendLe32(header, 16);
  AppendLe16(header, 1);
  AppendLe16(header, static_cast<uint16_t>(channel_count_));
  AppendLe32(header, sample_rate_);
  AppendLe32(header, sample_rate_);
  AppendLe16(header, 1);
  AppendLe16(header, 8);
  header += "data";
  AppendLe32(header, 0);

  Status status = writer.Open(wav_path);
  if (!status.ok()) return status;
  status = writer.Write(header.data(), header.size());
  if (!status.ok()) return status;

  std::unique_ptr<uint8_t[]> piece(new uint8_t[kCopyPiece]);
  uint64_t offset = data_offset_;
  uint64_t count = 0;
  for (;;) {
    int64_t got = file_->ReadAt(piece.get(), kCopyPiece, offset);
    if (got < 0) return Status::IoError(file_io::ErrorText(errno));
    if (got == 0) break;
    for (int64_t i = 0; i < got; ++i) piece[i] = PreviewByteOfMuLaw(piece[i]);
    status = writer.Write(piece.get(), static_cast<size_t>(got));
    if (!status.ok()) return status;
    offset += static_cast<uint64_t>(got);
    count += static_cast<uint64_t>(got);
  }
  uint8_t size_field[4];
  StoreLe32(size_field, static_cast<uint32_t>(count + 36));
  status = writer.WriteAt(size_field, 4, 4);
  if (status.ok()) {
    StoreLe32(size_field, static_cast<uint32_t>(count));
    status = writer.WriteAt(size_field, 4, 40);
  }
  if (status.ok()) status = writer.Commit();
  return status;
}

bool IsPlayerReadyAu(const SunAuReader& reader) {
  return reader.sample_rate() == 8000 && reader.channel_count() == 1;
}

Status CheckSunAuFile(const std::string& path) {
  SunAuReader reader;
  return reader.Check(path);
}

uint8_t PreviewByteOfMuLaw(uint8_t code) {
  return static_cast<uint8_t>(((DecodeMuLaw(code) >> 8) & 0xFF) ^ 0x80);
}

AuPreviewCopy::AuPreviewCopy(const std::string& au_path, AuCache& cache)
    : wav_path_(cache.PreviewPathFor(au_path)) {
  std::error_code ignored;
  std::filesystem::create_directories(cache.cache_folder(), ignored);
  if (cache.HasCurrentPreview(au_path)) return;
  // The stamp is taken before reading, so a change made while copying shows
  // as a change next time.
  std::optional<FileStamp> stamp = StampOfFile(au_path);
  SunAuReader reader;
  status_ = reader.Check(au_path);
  if (!status_.ok()) return;
  if (Status written = reader.WriteAuAsWave(wav_path_); !written.ok()) {
    status_ = Status::IoError(CannotWriteMessage(wav_path_, written.message()));
    return;
  }
  if (stamp) cache.RecordPreview(au_path, wav_path_, *stamp);
}

}  // namespace sonavelt::audio
