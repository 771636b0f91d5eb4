#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/status.h"
#include "html/tag_scanner.h"

// The BODY's background colour: read from its BGCOLOR attribute, given as
// #RRGGBB or as one of the names of ColourNameTable, and turned into the text
// "R,G,B" (decimal) that the page's player is given.
namespace sonavelt::html {

// The two warnings about a colour that cannot be understood (system-modal).
// The colour is white afterwards and the run goes on.
inline constexpr std::string_view kColourFormatWarning =
    "The background color is not in a valid format!";
inline constexpr std::string_view kColourValueWarning = "The background color is not a valid one!";

inline constexpr std::string_view kWhiteRgbText = "255,255,255";

// The BGCOLOR value of a BODY start tag, upper-cased (a page value #ffcc00
// comes back as #FFCC00), by ReadAttributeValue's rule. A value holding a
// '>' or a line break is an unclosed quote that ran on into the page:
// kMalformed.
AttributeRead ReadBodyColour(std::string_view tag);

// `tag` with `attribute` inserted before its closing '>' (appended, followed
// by '>', when the tag has none). The attribute brings its own leading blank:
// AddBodyAttribute("<BODY>", " BGCOLOR=\"#FFFFFF\"") is
// "<BODY BGCOLOR=\"#FFFFFF\">".
std::string AddBodyAttribute(std::string_view tag, std::string_view attribute);

// "R,G,B" for a colour as read from a page: "#..." goes to HexColourToRgbText;
// anything else is looked up as a name, and an unknown name is handed to
// HexColourToRgbText as it is, which then gives one of the warnings.
// Never empty.
std::string ColourToRgbText(std::string_view colour, Status* warning);

// "R,G,B" for "#RRGGBB": the '#' is optional, white space before each pair
// is skipped, anything after the third pair is ignored. Digits are 0-9 and
// A-F (upper case only). A pair missing a character sets *warning to
// kColourFormatWarning, a pair with another character to kColourValueWarning
// (system-modal boxes, for the caller to show); either way the answer is
// "255,255,255". *warning is left as it is for a colour that reads well;
// warning may be null.
std::string HexColourToRgbText(std::string_view colour, Status* warning);

// 0-255 for two hexadecimal digits (0-9, A-F); nullopt for anything else.
std::optional<int> HexPairToDecimal(std::string_view pair);

// "#RRGGBB" for a name of ColourNameTable (exact, case-sensitive), after
// removing white space at both ends and folding the gaps after the first and
// the second word to one blank ("  DARK   SLATE  GREY " finds DARK SLATE
// GREY; later gaps stay as they are). nullopt for an unknown name.
std::optional<std::string> ColourNameToHex(std::string_view name);

}  // namespace sonavelt::html
