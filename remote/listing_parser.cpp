#include "remote/listing_parser.h"

#include <array>
#include <cstdint>
#include <string>
#include <optional>

namespace sonavelt::remote {
namespace {

bool IsDigits(std::string_view s, size_t min_len, size_t max_len) {
  if (s.size() < min_len || s.size() > max_len) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

bool IsMonth(std::string_view s) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  if (s.size() != 3) return false;
  std::string lower;
  for (char c : s) lower += static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
  for (std::string_view m : kMonths)
    if (lower == m) return true;
  return false;
}

bool IsClockOrYear(std::string_view s) {
  if (IsDigits(s, 4, 4)) return true;
  size_t colon = s.find(':');
  return colon != std::string_view::npos && IsDigits(s.substr(0, colon), 1, 2) &&
         IsDigits(s.substr(colon + 1), 2, 2);
}

struct Token {
  std::string_view text;
  size_t end;  // offset just past the token in the line
};

// The next whitespace-separated token at or after `pos`.
std::optional<Token> NextToken(std::string_view line, size_t pos) {
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  if (pos >= line.size()) return std::nullopt;
  size_t end = pos;
  while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
  return Token{line.substr(pos, end - pos), end};
}

// "drwxr-xr-x 2 owner group 4096 Dec  7 04:00 a name": the name is what
// follows the single blank after the time-or-year field, found as the first
// month / day / time-or-year triple after the permissions.
// *size: the field before the date, when it is a number (else -1).
std::optional<RemoteEntry> ParseUnixLine(std::string_view line, int64_t* size) {
  char type = line[0];
  if (std::string_view("-dlbcpsDL").find(type) == std::string_view::npos) return std::nullopt;
  std::optional<Token> perms = NextToken(line, 0);
  if (!perms || perms->text.size() < 10) return std::nullopt;
  std::vector<Token> tokens;
  size_t pos = perms->end;
  // Links, owner, group, size: at most a handful of fields before the date.
  for (int i = 0; i < 9; ++i) {
    std::optional<Token> t = NextToken(line, pos);
    if (!t) return std::nullopt;
    tokens.push_back(*t);
    pos = t->end;
    size_t n = tokens.size();
    if (n >= 3 && IsMonth(tokens[n - 3].text) && IsDigits(tokens[n - 2].text, 1, 2) &&
        IsClockOrYear(tokens[n - 1].text)) {
      if (pos + 1 >= line.size()) return std::nullopt;
      *size = n >= 4 && IsDigits(tokens[n - 4].text, 1, 18)
                  ? std::stoll(std::string(tokens[n - 4].text))
                  : -1;
      RemoteEntry entry;
      entry.name = std::string(line.substr(pos + 1));
      entry.is_directory = type == 'd' || type == 'D';
      entry.is_link = type == 'l' || type == 'L';
      if (entry.is_link) {
        size_t arrow = entry.name.find(" -> ");
        if (arrow != std::string::npos) entry.name.resize(arrow);
      }
      return entry;
    }
  }
  return std::nullopt;
}

// "12-07-26  04:00AM       <DIR>          www" or "... 1234 index.htm".
std::optional<RemoteEntry> ParseDosLine(std::string_view line, int64_t* size) {
  std::optional<Token> date = NextToken(line, 0);
  if (!date || date->text.size() < 8 || date->text[2] != '-' || !IsDigits(date->text.substr(0, 2), 2, 2))
    return std::nullopt;
  std::optional<Token> time = NextToken(line, date->end);
  if (!time || time->text.find(':') == std::string_view::npos) return std::nullopt;
  std::optional<Token> kind = NextToken(line, time->end);
  if (!kind) return std::nullopt;
  bool is_directory = kind->text == "<DIR>";
  if (!is_directory && !IsDigits(kind->text, 1, 20)) return std::nullopt;
  *size = is_directory || !IsDigits(kind->text, 1, 18) ? -1 : std::stoll(std::string(kind->text));
  size_t pos = kind->end;
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  if (pos >= line.size()) return std::nullopt;
  return RemoteEntry{std::string(line.substr(pos)), is_directory, false};
}

// Calls `take` with each entry of a listing and its size (-1: not shown).
template <typename Take>
void EachEntry(std::string_view text, Take take) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    int64_t size = -1;
    std::optional<RemoteEntry> entry = ParseUnixLine(line, &size);
    if (!entry) entry = ParseDosLine(line, &size);
    // A link line "... 10:09  -> x" names nothing before its arrow.
    if (!entry || entry->name.empty() || entry->name == "." || entry->name == "..") continue;
    take(std::move(*entry), size);
  }
}

}  // namespace

std::vector<RemoteEntry> ParseListing(std::string_view text) {
  std::vector<RemoteEntry> entries;
  EachEntry(text, [&](RemoteEntry entry, int64_t) { entries.push_back(std::move(entry)); });
  return entries;
}

std::vector<ListedFile> ParseListedFiles(std::string_view text) {
  std::vector<ListedFile> files;
  EachEntry(text, [&](RemoteEntry entry, int64_t size) {
    if (!entry.is_directory && !entry.is_link && size >= 0)
      files.push_back({std::move(entry.name), size});
  });
  return files;
}

}  // namespace sonavelt::remote
