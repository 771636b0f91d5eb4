#pragma once

#include <span>
#include <string_view>

namespace sonavelt::html {

struct ColourName {
  std::string_view name;   // upper case, single blanks between words
  std::string_view value;  // "#" and six upper-case hexadecimal digits
};

// The 99 colour names a BODY's BGCOLOR may use, in a fixed order. Only these
// spellings are known: common HTML names such as GRAY, NAVY or AQUA are not.
// Two pairs share a value: CORAL and ORANGE, DARK BROWN and VERY DARK BROWN.
std::span<const ColourName> ColourNameTable();

}  // namespace sonavelt::html
