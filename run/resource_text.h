#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "run/run_inputs.h"

// The resource file the page's player reads beside the page: which sounds
// make up each combination and how to behave.
//
// File layout (base name + ".res", see ResourceFileName in applet_block.h):
//   offset 0, 4 bytes: L, the length of the text, unsigned, least significant
//                      byte first;
//   offset 4, L bytes: each text byte c stored as (c << 1) mod 256.
// A reader gets the text back as byte >> 1. Only 7-bit text survives the
// encoding, so every text put into the fields below is 7-bit (names and URLs
// are percent-encoded).
//
// The text is 16 fields, each ended by ";". A field with nothing to say is a
// single blank (" ;"). List fields hold one entry per combination, in
// combination order (entry k is combination k + 1), separated by "," with no
// separator after the last.
//   1  page URL: the page's absolute HTTP URL, or " ". The player compares it
//      with its page's address when the safety key is set (field 13).
//   2  entrance sounds: "audio/" + file name of each converted entrance sound.
//   3  exit sounds: the same for the exit sounds.
//   4  background sounds: the same, or " " for every entry without background
//      sound (field 8).
//   5  entrance playing times: milliseconds, decimal, one per combination.
//   6  background image: the BODY's BACKGROUND value, or " ".
//   7  page colour: "R,G,B" in decimal (e.g. "255,255,255").
//   8  no background sound: "Y" or "N".
//   9  visible control: "Y" (190 x 20 control) or "N" (invisible).
//  10  entrance sound on at start: "Y" or "N".
//  11  exit sound on at start: "Y" or "N".
//  12  background sound on at start: "Y" or "N".
//  13  safety key: "Y" (play only on the page at field 1's address) or "N".
//  14  spare: always " ".
//  15  spare: always " ".
//  16  format version: "2". In version 2 every field is 7-bit text: the
//      sound names of fields 2 to 4 are percent-encoded URL path segments
//      (PercentEncodeName: "caf\xE9 1.au" is written "caf%E9%201.au"), and in
//      fields 1 and 6 bytes of 128 or more, controls, blanks and ";" are
//      percent-encoded (PercentEncodeUrlText). A text whose field 16 is " "
//      is version 1: its fields 14 to 16 carry nothing.
namespace sonavelt::run {

inline constexpr std::string_view kResourceFormatVersion = "2";

// The run's sounds after conversion, one entry per combination.
struct ConvertedSounds {
  std::vector<std::string> entrance;    // .au paths
  std::vector<std::string> exit;        // .au paths
  std::vector<std::string> background;  // .au paths; empty without background sound
  // The entrance sounds' playing times in decimal milliseconds
  // (PlayingTimeText).
  std::vector<std::string> entrance_durations;
};

// The resource text for a run with `combination_count` combinations.
// `page_colour` and `background_image` are what ProcessPage read from the
// BODY tag; the colour is turned into "R,G,B" by ColourToRgbText, which
// sets *warning when it cannot read the colour (the colour is then white;
// the caller shows the warning and goes on). Lists shorter than
// combination_count give empty entries for the missing combinations.
std::string ResourceText(const RunOptions& options, int combination_count,
                         const ConvertedSounds& sounds, std::string_view page_colour,
                         std::string_view background_image, Status* warning);

// The resource file's bytes for `text`. Refuses a text with a byte of 128 or
// more: it would be stored like the byte 128 lower and misread.
Status EncodeResourceText(std::string_view text, std::string* bytes);

// Encodes `text` and writes it as the whole file `path`, atomically
// (file_io::WriteFileAtomically): on failure `path` is as it was and the
// message is the system's words for what went wrong.
Status WriteResourceFile(const std::string& path, std::string_view text);

// A converted sound's playing time from its file size: the integer part of
// (size - 32) x 0.124821 in decimal (8032 bytes give "998"). A file of 32
// bytes or less, nothing but header, plays for "0".
std::string PlayingTimeText(uint64_t file_size);

// PlayingTimeText of the file at `path`; fails when its size cannot be read.
Status PlayingTimeOfFile(const std::string& path, std::string* text);

// A file or page name as a URL path segment: letters, digits and
// - . _ ~ ! $ ' ( ) * + = : @ stay, every other byte becomes %XX (upper-case
// hexadecimal). "my sound.au" gives "my%20sound.au", "a,b;c%.au" gives
// "a%2Cb%3Bc%25.au".
std::string PercentEncodeName(std::string_view name);

// A URL as given (a page address, an image reference), kept as it is except
// for the bytes a resource field cannot carry: bytes of 128 or more, controls,
// blanks and ";" become %XX. An existing "%XX" stays.
std::string PercentEncodeUrlText(std::string_view url);

}  // namespace sonavelt::run
