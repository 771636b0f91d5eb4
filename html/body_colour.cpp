#include "html/body_colour.h"

#include "base/text.h"
#include "html/colour_names.h"

namespace sonavelt::html {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Takes the next pair of the colour text: at most two characters, trailing
// white space removed; the text moves past them and the white space after.
std::string_view TakePair(std::string_view& rest) {
  std::string_view pair = TrimRight(rest.substr(0, 2));
  rest = TrimLeft(rest.substr(rest.size() < 2 ? rest.size() : 2));
  return pair;
}

}  // namespace

AttributeRead ReadBodyColour(std::string_view tag) {
  AttributeRead read = ReadAttributeValue(UpperCopy(tag), "BGCOLOR");
  // A '>' inside a quoted value hides the tag's end, so an unclosed quote
  // (BGCOLOR="#FFFFFF>) runs on to the next quote in the page and takes
  // page text for the colour. No colour holds a '>' or a line break: such a
  // value is an unclosed quote, the same error as one never closed at all.
  if (read.state == AttributeState::kFound &&
      read.value.find_first_of(">\r\n") != std::string::npos) {
    read.state = AttributeState::kMalformed;
    read.value.clear();
  }
  return read;
}

std::string AddBodyAttribute(std::string_view tag, std::string_view attribute) {
  std::string out;
  out.reserve(tag.size() + attribute.size() + 1);
  if (!tag.empty() && tag.back() == '>') {
    out.append(tag.substr(0, tag.size() - 1));
  } else {
    out.append(tag);
  }
  out.append(attribute);
  out.push_back('>');
  return out;
}

std::string ColourToRgbText(std::string_view colour, Status* warning) {
  if (!colour.empty() && colour.front() == '#') return HexColourToRgbText(colour, warning);
  if (std::optional<std::string> hex = ColourNameToHex(colour)) {
    return HexColourToRgbText(*hex, warning);
  }
  return HexColourToRgbText(colour, warning);
}

std::string HexColourToRgbText(std::string_view colour, Status* warning) {
  std::string_view rest = colour;
  if (!rest.empty() && rest.front() == '#') rest.remove_prefix(1);
  rest = TrimLeft(rest);
  std::string_view pairs[3];
  for (std::string_view& pair : pairs) pair = TakePair(rest);
  for (std::string_view pair : pairs) {
    if (pair.size() != 2) {
      if (warning) *warning = Status::InvalidArgument(std::string(kColourFormatWarning));
      return std::string(kWhiteRgbText);
    }
  }
  std::string out;
  for (std::string_view pair : pairs) {
    std::optional<int> value = HexPairToDecimal(pair);
    if (!value) {
      if (warning) *warning = Status::InvalidArgument(std::string(kColourValueWarning));
      return std::string(kWhiteRgbText);
    }
    if (!out.empty()) out.push_back(',');
    out += DecimalText(*value);
  }
  return out;
}

std::optional<int> HexPairToDecimal(std::string_view pair) {
  if (pair.size() != 2) return std::nullopt;
  int high = HexDigit(pair[0]);
  int low = HexDigit(pair[1]);
  if (high < 0 || low < 0) return std::nullopt;
  return high * 16 + low;
}

std::optional<std::string> ColourNameToHex(std::string_view name) {
  std::string_view trimmed = TrimRight(TrimLeft(name));
  std::string folded;
  size_t blank = trimmed.find(' ');
  if (blank == std::string_view::npos) {
    folded = std::string(trimmed);
  } else {
    std::string_view first = trimmed.substr(0, blank);
    std::string_view rest = TrimLeft(trimmed.substr(blank + 1));
    size_t second_blank = rest.find(' ');
    folded = std::string(first) + " ";
    if (second_blank == std::string_view::npos) {
      folded += rest;
    } else {
      folded += std::string(rest.substr(0, second_blank)) + " " +
                std::string(TrimLeft(rest.substr(second_blank + 1)));
    }
  }
  for (const ColourName& entry : ColourNameTable()) {
    if (entry.name == folded) return std::string(entry.value);
  }
  return std::nullopt;
}

}  // namespace sonavelt::html
