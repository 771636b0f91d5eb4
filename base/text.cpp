#include "base/text.h"

namespace sonavelt {

std::string FileNameOfPath(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash != std::string_view::npos) return std::string(path.substr(slash + 1));
  size_t backslash = path.rfind('\\');
  if (backslash != std::string_view::npos) return std::string(path.substr(backslash + 1));
  return std::string(path);
}

std::string DecimalText(int32_t value) {
  // Widen first: negating INT32_MIN in 32 bits overflows.
  return std::to_string(static_cast<int64_t>(value));
}

std::string UpperCopy(std::string_view text) {
  std::string copy(text);
  for (char& c : copy) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return copy;
}

std::string LowerCopy(std::string_view text) {
  std::string copy(text);
  for (char& c : copy) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return copy;
}

bool IsWavePath(std::string_view path) {
  return LowerCopy(path).find(".wav") != std::string::npos;
}

bool IsAuPath(std::string_view path) {
  return LowerCopy(path).find(".au") != std::string::npos;
}

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view TrimLeft(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsWhiteSpace(text[i])) ++i;
  return text.substr(i);
}

std::string_view TrimRight(std::string_view text) {
  size_t n = text.size();
  while (n > 0 && IsWhiteSpace(text[n - 1])) --n;
  return text.substr(0, n);
}

std::string WithUnixLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

}  // namespace sonavelt
