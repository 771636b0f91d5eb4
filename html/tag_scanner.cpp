#include "html/tag_scanner.h"

#include "base/text.h"
#include "html/page_structure.h"

namespace sonavelt::html {
namespace {

constexpr size_t kNpos = std::string_view::npos;

}  // namespace

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

std::optional<TextRange> FindMarkedApplet(std::string_view text) {
  PageStructure page = ReadPageStructure(text);
  if (page.marked_applets.empty()) return std::nullopt;
  return page.marked_applets.front().element;
}

}  // namespace sonavelt::html
