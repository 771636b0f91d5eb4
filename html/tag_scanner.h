#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The page's tags are found by plain substring searches, not by parsing HTML:
// every search runs over an upper-case copy of the page (same length, same
// offsets, only a-z changed), and the first occurrence from the start counts.
// Comments, scripts and attribute values get no special treatment, with one
// exception: a '>' inside a quoted attribute value does not end a start tag.
namespace sonavelt::html {

// The sound applet's class name in upper case. An applet whose start tag
// contains it is a block written by an earlier run.
inline constexpr std::string_view kAppletMarker = "SONAVELTRANDOMEVENTBACKGROUND";

// A run of bytes in a text.
struct TextRange {
  size_t offset = 0;
  size_t length = 0;
};

// The length of the start tag that begins at `start` (its '<'), through its
// closing '>'. A quote that opens an attribute value (after '=' and optional
// white space) hides '>' until the matching quote; when that quote is never
// closed the tag ends at its first '>'. nullopt when no '>' follows at all.
std::optional<size_t> StartTagLength(std::string_view text, size_t start);

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

// Finds the first applet block written by an earlier run in `upper_text` (an
// upper-case page): a start tag "<APPLET " whose text contains `marker`,
// through its "</APPLET>". Applets without the marker are skipped whole and
// left alone.
//
// A marked applet whose end tag is missing (none follows, or another "<APPLET"
// starts before it) covers only its start tag and the "<PARAM ...>" tags that
// directly follow it (white space between them included): those are ours to
// replace, and text after them may be the user's. An unmarked applet without
// an end tag is skipped past its start tag only, so a marked block after it
// is still found.
//
// Linear in the text's length.
std::optional<TextRange> FindMarkedApplet(std::string_view upper_text,
                                          std::string_view marker = kAppletMarker);

}  // namespace sonavelt::html
