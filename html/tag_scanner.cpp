#include "html/tag_scanner.h"

#include "base/text.h"

namespace sonavelt::html {
namespace {

constexpr size_t kNpos = std::string_view::npos;

// Finds the next occurrence of a needle and remembers the answer: a later
// query from a position between the last query and its answer gets the same
// answer without searching again. This keeps the scans linear when a needle
// is missing from the rest of a large page (every search would otherwise run
// to the end).
class ForwardFinder {
 public:
  ForwardFinder(std::string_view text, std::string_view needle) : text_(text), needle_(needle) {}

  size_t Find(size_t from) {
    if (!valid_ || from < from_ || (result_ != kNpos && from > result_)) {
      from_ = from;
      result_ = text_.find(needle_, from);
      valid_ = true;
    }
    return result_;
  }

 private:
  std::string_view text_;
  std::string_view needle_;
  bool valid_ = false;
  size_t from_ = 0;
  size_t result_ = kNpos;
};

// Start-tag measuring over one text, with the searches it repeats cached.
class TagMeasurer {
 public:
  explicit TagMeasurer(std::string_view text)
      : text_(text), close_(text, ">"), double_quote_(text, "\""), apostrophe_(text, "'") {}

  std::optional<size_t> Length(size_t start) {
    size_t first_close = close_.Find(start);
    if (first_close == kNpos) return std::nullopt;
    char last_non_blank = 0;
    size_t i = start + 1;
    while (i < text_.size()) {
      char c = text_[i];
      if (c == '>') return i + 1 - start;
      if ((c == '"' || c == '\'') && last_non_blank == '=') {
        size_t closing = (c == '"' ? double_quote_ : apostrophe_).Find(i + 1);
        // An unclosed quote: the tag ends where a plain search says it does.
        if (closing == kNpos) return first_close + 1 - start;
        i = closing + 1;
        last_non_blank = c;
        continue;
      }
      if (!IsWhiteSpace(c)) last_non_blank = c;
      ++i;
    }
    return first_close + 1 - start;
  }

 private:
  std::string_view text_;
  ForwardFinder close_;
  ForwardFinder double_quote_;
  ForwardFinder apostrophe_;
};

}  // namespace

std::optional<size_t> StartTagLength(std::string_view text, size_t start) {
  return TagMeasurer(text).Length(start);
}

AttributeRead ReadAttributeValue(std::string_view tag, std::string_view upper_name) {
  AttributeRead read;
  size_t name_at = UpperCopy(tag).find(upper_name);
  if (name_at == kNpos) return read;  // kMissing

  read.state = AttributeState::kMalformed;
  size_t tag_end = (!tag.empty() && tag.back() == '>') ? tag.size() - 1 : tag.size();
  if (name_at > tag_end) return read;
  std::string_view v = tag.substr(name_at, tag_end - name_at);
  size_t equals = v.find('=');
  if (equals == kNpos) return read;
  v = TrimLeft(v.substr(equals + 1));
  if (!v.empty() && (v.front() == '"' || v.front() == '\'')) {
    char delimiter = v.front();
    v = TrimLeft(v.substr(1));
    size_t closing = v.find(delimiter);
    if (closing == kNpos) return read;
    v = TrimRight(v.substr(0, closing));
  } else {
    size_t end = 0;
    while (end < v.size() && !IsWhiteSpace(v[end])) ++end;
    v = v.substr(0, end);
  }
  read.state = AttributeState::kFound;
  read.value = std::string(v);
  return read;
}

AttributeRead ReadBackgroundImage(std::string_view tag) {
  return ReadAttributeValue(tag, "BACKGROUND");
}

std::optional<TextRange> FindMarkedApplet(std::string_view upper_text, std::string_view marker) {
  static constexpr std::string_view kStart = "<APPLET ";
  static constexpr std::string_view kEnd = "</APPLET>";
  TagMeasurer measurer(upper_text);
  ForwardFinder start_finder(upper_text, kStart);
  // Any applet start, also "<APPLET>" or one followed by a line end: an end
  // tag beyond it is not this applet's.
  ForwardFinder any_start_finder(upper_text, "<APPLET");
  ForwardFinder end_finder(upper_text, kEnd);

  size_t at = start_finder.Find(0);
  while (at != kNpos) {
    std::optional<size_t> tag_length = measurer.Length(at);
    if (!tag_length) return std::nullopt;  // no '>' anywhere after: no tag left
    size_t tag_end = at + *tag_length;
    size_t end = end_finder.Find(tag_end);
    size_t next_start = any_start_finder.Find(tag_end);
    bool closed = end != kNpos && (next_start == kNpos || end < next_start);
    bool marked = upper_text.substr(at, *tag_length).find(marker) != kNpos;
    if (marked && closed) return TextRange{at, end + kEnd.size() - at};
    if (marked) {
      size_t block_end = tag_end;
      size_t i = tag_end;
      while (true) {
        while (i < upper_text.size() && IsWhiteSpace(upper_text[i])) ++i;
        if (upper_text.substr(i, 6) != "<PARAM") break;
        std::optional<size_t> param_length = measurer.Length(i);
        if (!param_length) break;
        i += *param_length;
        block_end = i;
      }
      return TextRange{at, block_end - at};
    }
    at = start_finder.Find(closed ? end + kEnd.size() : tag_end);
  }
  return std::nullopt;
}

}  // namespace sonavelt::html
