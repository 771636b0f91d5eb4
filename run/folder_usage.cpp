#include "run/folder_usage.h"

#include <algorithm>
#include <functional>

#include "base/byte_order.h"
#include "base/text.h"

namespace sonavelt::run {
namespace {

constexpr std::string_view kAudioPrefix = "audio/";
// A resource file holds 16 fields; a data file a few lines per sound. Far
// larger files are not ours, and are not read whole to find that out.
constexpr uint64_t kMaxResourceBytes = uint64_t{1} << 20;
constexpr uint64_t kMaxDataBytes = uint64_t{16} << 20;
constexpr int kResourceFieldCount = 16;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool EndsWith(std::string_view text, std::string_view end) {
  return text.size() > end.size() && text.substr(text.size() - end.size()) == end;
}

// An "audio/NAME" entry as a plain file name; empty for anything else
// (" " for a combination without background sound).
std::string AudioFileOf(std::string_view entry, bool encoded) {
  entry = TrimRight(TrimLeft(entry));
  if (entry.size() <= kAudioPrefix.size() || entry.substr(0, kAudioPrefix.size()) != kAudioPrefix)
    return std::string();
  std::string_view name = entry.substr(kAudioPrefix.size());
  return encoded ? PercentDecode(name) : std::string(name);
}

// The JSON string starting at text[*at] (a '"'), unescaped; *at moves past
// it. False on a malformed string.
bool ReadJsonString(std::string_view text, size_t* at, std::string* out) {
  if (*at >= text.size() || text[*at] != '"') return false;
  out->clear();
  for (size_t i = *at + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '"') {
      *at = i + 1;
      return true;
    }
    if (c != '\\') {
      out->push_back(c);
      continue;
    }
    if (++i >= text.size()) return false;
    switch (text[i]) {
      case 'u': {
        if (i + 4 >= text.size()) return false;
        int value = 0;
        for (int k = 1; k <= 4; ++k) {
          int digit = HexValue(text[i + k]);
          if (digit < 0) return false;
          value = value * 16 + digit;
        }
        // The writer escapes only single bytes this way.
        if (value > 0xFF) return false;
        out->push_back(static_cast<char>(value));
        i += 4;
        break;
      }
      case 'n': out->push_back('\n'); break;
      case 't': out->push_back('\t'); break;
      case 'r': out->push_back('\r'); break;
      default: out->push_back(text[i]); break;
    }
  }
  return false;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && LowerCopy(a) == LowerCopy(b);
}

bool ListsAnyCase(const PageUse& page, const std::string& file) {
  if (page.audio_files.count(file) != 0) return true;
  return std::any_of(page.audio_files.begin(), page.audio_files.end(),
                     [&](const std::string& listed) { return EqualIgnoringCase(listed, file); });
}

}  // namespace

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    int high = 0;
    int low = 0;
    if (text[i] == '%' && i + 2 < text.size() && (high = HexValue(text[i + 1])) >= 0 &&
        (low = HexValue(text[i + 2])) >= 0) {
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

bool ResourceFileAudioNames(std::string_view bytes, std::vector<std::string>* names) {
  if (bytes.size() < 4) return false;
  const uint32_t length = LoadLe32(reinterpret_cast<const uint8_t*>(bytes.data()));
  if (length != bytes.size() - 4) return false;
  std::string text;
  text.reserve(length);
  for (size_t i = 4; i < bytes.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if ((c & 1) != 0) return false;  // every stored byte is a text byte shifted left
    text.push_back(static_cast<char>(c >> 1));
  }
  std::vector<std::string_view> fields;
  std::string_view rest = text;
  for (size_t semicolon; (semicolon = rest.find(';')) != std::string_view::npos;) {
    fields.push_back(rest.substr(0, semicolon));
    rest.remove_prefix(semicolon + 1);
  }
  if (static_cast<int>(fields.size()) < kResourceFieldCount) return false;
  // Version 1 wrote names as they were; version 2 percent-encodes them.
  const bool encoded = TrimRight(TrimLeft(fields[15])) != "";
  for (int field = 1; field <= 3; ++field) {
    std::string_view list = fields[field];
    for (;;) {
      const size_t comma = list.find(',');
      std::string name = AudioFileOf(list.substr(0, comma), encoded);
      if (!name.empty()) names->push_back(std::move(name));
      if (comma == std::string_view::npos) break;
      list.remove_prefix(comma + 1);
    }
  }
  return true;
}

bool PlayerDataAudioNames(std::string_view text, std::vector<std::string>* names,
                          std::vector<std::string>* found) {
  if (text.find("SonaveltPlayerData") == std::string_view::npos) return false;
  size_t at = text.find("\"sounds\":");
  if (at == std::string_view::npos) return false;
  // Every value of an "au" or "copy" key after the list starts, and the
  // strings of the "found" list.
  bool in_found = false;
  for (;;) {
    const size_t key = text.find_first_of("\"]", at);
    if (key == std::string_view::npos) return true;
    if (text[key] == ']') {
      in_found = false;
      at = key + 1;
      continue;
    }
    size_t after = key;
    std::string word;
    if (!ReadJsonString(text, &after, &word)) return false;
    at = after;
    if (in_found) {
      std::string name = AudioFileOf(word, /*encoded=*/true);
      if (found != nullptr && !name.empty()) found->push_back(std::move(name));
      continue;
    }
    if (word == "found") {
      in_found = true;
      continue;
    }
    if (word != "au" && word != "copy") continue;
    while (at < text.size() && (text[at] == ' ' || text[at] == ':')) ++at;
    std::string value;
    if (!ReadJsonString(text, &at, &value)) return false;
    std::string name = AudioFileOf(value, /*encoded=*/true);
    if (!name.empty()) names->push_back(std::move(name));
  }
}

bool FolderUsage::Lists(const std::string& base, const std::string& audio_file) const {
  auto page = pages_.find(base);
  return page != pages_.end() && page->second.audio_files.count(audio_file) != 0;
}

bool FolderUsage::Placed(const std::string& base, const std::string& audio_file) const {
  auto page = pages_.find(base);
  return page != pages_.end() && page->second.audio_files.count(audio_file) != 0 &&
         page->second.found_files.count(audio_file) == 0;
}

bool FolderUsage::ListedByOthers(const std::string& audio_file, const std::string& base) const {
  for (const auto& [other, page] : pages_)
    if (other != base && ListsAnyCase(page, audio_file)) return true;
  return false;
}

std::vector<std::string> FolderUsage::UsersOf(const std::string& audio_file) const {
  std::vector<std::string> users;
  for (const auto& [base, page] : pages_)
    if (page.unknown || ListsAnyCase(page, audio_file)) users.push_back(base);
  return users;
}

bool FolderUsage::UsedByOthers(const std::string& audio_file, const std::string& base) const {
  for (const std::string& user : UsersOf(audio_file))
    if (user != base) return true;
  return false;
}

std::vector<std::string> FolderUsage::FilesOnlyUsedBy(const std::string& base) const {
  std::vector<std::string> files;
  auto page = pages_.find(base);
  if (page == pages_.end()) return files;
  for (const std::string& file : page->second.audio_files)
    if (!UsedByOthers(file, base) && page->second.found_files.count(file) == 0)
      files.push_back(file);
  return files;
}

bool FolderUsage::ClassFileUsedByOthers(const std::string& base) const {
  for (const auto& [other, page] : pages_)
    if (other != base && (page.unknown || page.has_resource_file || page.has_data_file))
      return true;
  return false;
}

bool FolderUsage::PlayerScriptUsedByOthers(const std::string& base) const {
  for (const auto& [other, page] : pages_)
    if (other != base && (page.unknown || page.has_data_file)) return true;
  return false;
}

bool IsPageRecordFile(std::string_view name) {
  return EndsWith(name, kResourceSuffix) || EndsWith(name, kPlayerDataSuffix);
}

namespace {

// The one reading of a folder's page files, wherever their bytes come
// from: `read` gives one file's bytes (at most `limit` of them), false when
// it cannot.
FolderUsage UsageOf(const std::vector<std::string>& names,
                    const std::function<bool(const std::string& name, uint64_t limit,
                                             std::string* bytes)>& read) {
  FolderUsage usage;
  for (const std::string& name : names) {
    const bool resource = EndsWith(name, kResourceSuffix);
    const bool data = !resource && EndsWith(name, kPlayerDataSuffix);
    if (!resource && !data) continue;
    const std::string base =
        name.substr(0, name.size() - (resource ? kResourceSuffix : kPlayerDataSuffix).size());
    PageUse& page = usage.PageOf(base);
    (resource ? page.has_resource_file : page.has_data_file) = true;
    std::string bytes;
    std::vector<std::string> audio_names;
    std::vector<std::string> found;
    const bool read_ok =
        read(name, resource ? kMaxResourceBytes : kMaxDataBytes, &bytes) &&
        (resource ? ResourceFileAudioNames(bytes, &audio_names)
                  : PlayerDataAudioNames(bytes, &audio_names, &found));
    if (!read_ok) {
      page.unknown = true;
      page.unread_files.push_back(name);
      continue;
    }
    page.audio_files.insert(audio_names.begin(), audio_names.end());
    page.found_files.insert(found.begin(), found.end());
  }
  return usage;
}

}  // namespace

FolderUsage ReadFolderUsage(const file_io::FolderHandle& folder) {
  return UsageOf(folder.Names(), [&](const std::string& name, uint64_t limit, std::string* bytes) {
    return folder.Read(name, bytes, limit).ok();
  });
}

FolderUsage ReadFolderUsage(const std::map<std::string, std::optional<std::string>>& files) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : files) names.push_back(name);
  return UsageOf(names, [&](const std::string& name, uint64_t limit, std::string* bytes) {
    const std::optional<std::string>& held = files.at(name);
    if (!held || held->size() > limit) return false;
    *bytes = *held;
    return true;
  });
}

FolderUsage ReadFolderUsage(const std::string& folder) {
  file_io::FolderHandle handle;
  if (!file_io::FolderHandle::Open(folder, &handle).ok()) return FolderUsage();
  return ReadFolderUsage(handle);
}

}  // namespace sonavelt::run
