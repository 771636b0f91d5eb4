#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// Small pieces of the page edit: the marker of our applet, byte ranges, the
// attribute reading of the BODY tag, and the search for an earlier block.
// Tags are found by HtmlTokenizer (html_tokenizer.h), as a browser finds them.
namespace sonavelt::html {

// The sound applet's class name in upper case. An applet whose start tag
// contains it is a block written by an earlier run.
inline constexpr std::string_view kAppletMarker = "SONAVELTRANDOMEVENTBACKGROUND";

// A run of bytes in a text.
struct TextRange {
  size_t offset = 0;
  size_t length = 0;
};

// How reading an attribute value out of a start tag went.
enum class AttributeState {
  kFound,      // value holds the text
  kMissing,    // the tag does not mention the attribute
  kMalformed,  // the name is there but no "=", or a quote is never closed
};

struct AttributeRead {
  AttributeState state = AttributeState::kMissing;
  std::string value;
};

// The value of attribute `upper_name` (given in upper case) in `tag` (a whole
// start tag, "<" to ">"), in the case the tag has. The name is found by a
// plain substring search of the upper-cased tag, so it also matches inside a
// longer word or an earlier value. The value starts after the first "=" that
// follows the name, less leading white space; a value opened by a double
// quote or an apostrophe runs to the next such quote (white space at both ends
// removed), any other value runs to the first white space or to the tag's
// closing '>'.
AttributeRead ReadAttributeValue(std::string_view tag, std::string_view upper_name);

// ReadAttributeValue with "BACKGROUND": the BODY's background image.
AttributeRead ReadBackgroundImage(std::string_view tag);

// The first applet block written by an earlier run in `text` (any letter
// case): PageStructure::marked_applets (page_structure.h) has the rule.
// Applets without the marker are left alone. Linear in the text's length.
std::optional<TextRange> FindMarkedApplet(std::string_view text);

}  // namespace sonavelt::html
