#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "html/tag_scanner.h"

// The page edit of a run: make sure the page has a BODY with a background
// colour, read that colour and the background image for the resource file,
// and put the sound applet block into the page, replacing the block an
// earlier run left there. Pure: the caller reads the page, shows the messages
// and writes the result.
//
// The page is single-byte text, processed byte for byte: bytes of 128 or more
// pass unchanged, and nothing outside the ranges this edit splices changes.
namespace sonavelt::html {

// The BODY start tag a page gets when it has none (with its line end first).
inline constexpr std::string_view kDefaultBodyTag = "\r\n<BODY BGCOLOR=\"#FFFFFF\">";
// What a BODY tag without BGCOLOR gets, before its '>'.
inline constexpr std::string_view kWhiteBgcolorAttribute = " BGCOLOR=\"#FFFFFF\"";
inline constexpr std::string_view kWhite = "#FFFFFF";

// The applet block in its two forms.
struct AppletBlockTexts {
  std::string first_insert;  // with its wrapper lines: the page had no block yet
  std::string replacement;   // without them: an earlier block is replaced, and
                             // the wrappers the earlier run left stay in place
};

// How the page is named in the two refusal messages.
struct PageNames {
  std::string for_refusal;     // the local page path, or the remote path
  std::string for_body_error;  // the local page's file name, or the remote path
};

enum class PageEditOutcome {
  kEdited,        // edited_page holds the page to write
  kNotHtml,       // none of the expected tags: the page is not written
  kBodyTagError,  // the BODY tag cannot be read: the page is not written
};

struct PageEditResult {
  PageEditOutcome outcome = PageEditOutcome::kEdited;
  // kNotHtml and kBodyTagError: the message for the user (system-modal).
  std::string message;

  // kEdited only from here on.
  std::string edited_page;
  std::string body_tag;          // the BODY start tag as written to the page
  std::string page_colour;       // BGCOLOR in upper case; "#FFFFFF" when added
  std::string background_image;  // BACKGROUND as the page has it; empty when absent or malformed
  TextRange block;               // where the block now is in edited_page
  bool replaced_earlier_block = false;
};

// Edits `page_text` as a run does:
//  1. A page without "<BODY" gets kDefaultBodyTag right after its first
//     "</HEAD>", else "</TITLE>", else "<HTML>" (InsertBodyAfter); with none
//     of them it is refused as not an HTML file.
//  2. The first "<BODY" start tag gets kWhiteBgcolorAttribute when it has no
//     BGCOLOR; a BGCOLOR that cannot be read, or a start tag that is never
//     closed by '>', is the BODY tag error.
//  3. The first block of an earlier run (FindMarkedApplet) is replaced by
//     blocks.replacement; a block that overlaps the BODY start tag is
//     passed over for the first one after that tag. Without one,
//     blocks.first_insert goes right before the first "</BODY" after the BODY
//     start tag; a page that never closes its BODY gets it before the
//     "</HTML" after the BODY start tag, or at the very end.
// Processing the result again with the same blocks gives the same page.
// Linear in the page's length.
PageEditResult ProcessPage(std::string_view page_text, const PageNames& names,
                           const AppletBlockTexts& blocks);

// `page_text` with kDefaultBodyTag right after the first `upper_tag` (found in
// `upper_page`, the upper-case copy of page_text) and "\r\n</BODY>\r\n" right
// before the first "</HTML>" after it; a page without that end tag gets
// "\r\n</BODY>\r\n</HTML>" at its end. nullopt when the page has no upper_tag.
std::optional<std::string> InsertBodyAfter(std::string_view page_text, std::string_view upper_page,
                                           std::string_view upper_tag);

// The messages, exactly as the user sees them.
std::string NotHtmlFileMessage(std::string_view name);
std::string BodyTagErrorMessage(std::string_view name, std::string_view body_tag);

}  // namespace sonavelt::html
