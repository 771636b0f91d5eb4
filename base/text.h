#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Small text helpers shared by every subsystem. Pages and paths are handled as
// single-byte text: case changes touch only the ASCII letters, so a copy has
// the same length and offsets as its source and a position found in the copy
// is a position in the original.
namespace sonavelt {

// The text after the last '/' if there is one; else after the last '\';
// else the whole path.
std::string FileNameOfPath(std::string_view path);

// A signed 32-bit number as decimal text: leading '-' for negatives, no
// leading zeros ("0" for zero).
std::string DecimalText(int32_t value);

// Copies in which only a-z / A-Z change case.
std::string UpperCopy(std::string_view text);
std::string LowerCopy(std::string_view text);

// A sound is a WAVE file when its path contains ".wav", a Sun audio file when
// it contains ".au": anywhere in the path, in any letter case.
bool IsWavePath(std::string_view path);
bool IsAuPath(std::string_view path);

// The white-space characters of C's isspace in the "C" locale; TrimLeft and
// TrimRight drop them from one end of a view.
bool IsWhiteSpace(char c);
std::string_view TrimLeft(std::string_view text);
std::string_view TrimRight(std::string_view text);

// "\r\n" (the line end of every generated text and message) as '\n', for
// showing a message on a terminal.
std::string WithUnixLineEnds(std::string_view text);

}  // namespace sonavelt
