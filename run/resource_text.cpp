#include "run/resource_text.h"

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "base/byte_order.h"
#include "base/file_io.h"
#include "base/text.h"
#include "html/body_colour.h"

namespace sonavelt::run {
namespace {

// Bytes per millisecond of an 8000 Hz mu-law file, inverted, and the size of
// the .au header that carries no sound.
constexpr double kMillisecondsPerByte = 0.124821;
constexpr uint64_t kAuHeaderBytes = 32;

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendPercent(std::string& out, unsigned char c) {
  out.push_back('%');
  out.push_back(kHexDigits[c >> 4]);
  out.push_back(kHexDigits[c & 0x0F]);
}

bool IsKeptInName(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::string_view("-._~!$'()*+=:@").find(static_cast<char>(c)) != std::string_view::npos;
}

const std::string& EntryOrEmpty(const std::vector<std::string>& list, int k) {
  static const std::string kEmpty;
  return k < static_cast<int>(list.size()) ? list[k] : kEmpty;
}

// One field: its text and ";", or " ;" when the text is empty.
void AppendField(std::string& out, std::string_view text) {
  out.append(text.empty() ? std::string_view(" ") : text);
  out.push_back(';');
}

void AppendFlag(std::string& out, bool set) { out.append(set ? "Y;" : "N;"); }

// A list field of one entry per combination, made by `entry`.
template <typename EntryFn>
void AppendList(std::string& out, int count, EntryFn entry) {
  for (int k = 0; k < count; ++k) {
    if (k > 0) out.push_back(',');
    out.append(entry(k));
  }
  out.push_back(';');
}

std::string AudioName(const std::string& path) {
  return "audio/" + PercentEncodeName(FileNameOfPath(path));
}

}  // namespace

std::string PercentEncodeName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (IsKeptInName(c)) {
      out.push_back(ch);
    } else {
      AppendPercent(out, c);
    }
  }
  return out;
}

std::string PercentEncodeUrlText(std::string_view url) {
  std::string out;
  out.reserve(url.size());
  for (char ch : url) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F || c == ';') {
      AppendPercent(out, c);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

std::string ResourceText(const RunOptions& options, int combination_count,
                         const ConvertedSounds& sounds, std::string_view page_colour,
                         std::string_view background_image, Status* warning) {
  const int n = combination_count;
  std::string out;
  AppendField(out, PercentEncodeUrlText(options.page_url));
  AppendList(out, n, [&](int k) { return AudioName(EntryOrEmpty(sounds.entrance, k)); });
  AppendList(out, n, [&](int k) { return AudioName(EntryOrEmpty(sounds.exit, k)); });
  AppendList(out, n, [&](int k) {
    return options.no_background ? std::string(" ")
                                 : AudioName(EntryOrEmpty(sounds.background, k));
  });
  AppendList(out, n, [&](int k) { return EntryOrEmpty(sounds.entrance_durations, k); });
  AppendField(out, PercentEncodeUrlText(background_image));
  std::string rgb = html::ColourToRgbText(page_colour, warning);
  AppendField(out, rgb.empty() ? std::string(html::kWhiteRgbText) : rgb);
  AppendFlag(out, options.no_background);
  AppendFlag(out, !options.invisible_applet);
  AppendFlag(out, options.entrance_on);
  AppendFlag(out, options.exit_on);
  AppendFlag(out, options.background_initially_on);
  AppendFlag(out, options.safety_key);
  // Two spare fields, kept so that readers of the format find the version
  // where they have always looked for it.
  AppendField(out, "");
  AppendField(out, "");
  AppendField(out, kResourceFormatVersion);
  return out;
}

Status EncodeResourceText(std::string_view text, std::string* bytes) {
  if (text.size() > UINT32_MAX) {
    return Status::InvalidArgument("resource text: " + std::to_string(text.size()) +
                                   " bytes do not fit the 32-bit length field");
  }
  std::string out;
  out.reserve(4 + text.size());
  AppendLe32(out, static_cast<uint32_t>(text.size()));
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      return Status::InvalidArgument("resource text: byte " + std::to_string(c) + " at offset " +
                                     std::to_string(i) +
                                     " would lose its top bit; only 7-bit text can be stored");
    }
    out.push_back(static_cast<char>((c << 1) & 0xFF));
  }
  *bytes = std::move(out);
  return Status::Ok();
}

Status WriteResourceFile(const std::string& path, std::string_view text) {
  std::string bytes;
  Status encoded = EncodeResourceText(text, &bytes);
  if (!encoded.ok()) return encoded;
  Status written = file_io::WriteFileAtomically(path, bytes);
  if (!written.ok()) return Status::IoError(written.message());
  return Status::Ok();
}

std::string PlayingTimeText(uint64_t file_size) {
  if (file_size <= kAuHeaderBytes) return "0";
  double ms = std::trunc(static_cast<double>(file_size - kAuHeaderBytes) * kMillisecondsPerByte);
  return std::to_string(static_cast<uint64_t>(ms));
}

Status PlayingTimeOfFile(const std::string& path, std::string* text) {
  std::error_code error;
  uintmax_t size = std::filesystem::file_size(path, error);
  if (error) return Status::IoError("measuring " + path + ": " + error.message());
  *text = PlayingTimeText(size);
  return Status::Ok();
}

}  // namespace sonavelt::run
