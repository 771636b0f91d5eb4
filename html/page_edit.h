#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <vector>

#include "html/html_tokenizer.h"
#include "html/tag_scanner.h"

// The page edit of a run: make sure the page has a BODY with a background
// colour, read that colour and the background image for the resource file,
// and put the sound applet block into the page, replacing the block an
// earlier run left there. Pure: the caller reads the page, shows the messages
// and writes the result.
//
// The page is read as a browser reads it (HtmlTokenizer): a "<body>" in a
// script, comment, textarea or template is text, not a tag. Its bytes are
// processed as they are: bytes of 128 or more pass unchanged, and nothing
// outside the ranges this edit splices changes. A page in UTF-16 (with its
// byte-order mark) is edited in UTF-8 and written back in UTF-16
// (utf16_text.h).
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
  kBodyTagError,  // the BODY tag cannot be read, or the block has no place
                  // in the body: the page is not written
  kFrameset,      // the page's document is a frameset: the page is not written
};

// What a run changed in the page outside its block.
enum class BodyEdit {
  kNone,                    // the BODY tag already had a BGCOLOR
  kBgcolorAdded,            // kWhiteBgcolorAttribute added before the BODY tag's '>'
  kBodyInserted,            // kDefaultBodyTag after an anchor and "\r\n</BODY>\r\n" before "</HTML>"
  kBodyAndHtmlEndInserted,  // kDefaultBodyTag after an anchor and "\r\n</BODY>\r\n</HTML>" at the end
};

// "none", "bgcolor", "body", "body-html": the edit's name where a run records it.
std::string_view BodyEditName(BodyEdit edit);
// The edit of a name BodyEditName gives; nullopt for any other text.
std::optional<BodyEdit> BodyEditFromName(std::string_view name);

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
  BodyEdit body_edit = BodyEdit::kNone;  // what this edit did outside the block
};

// Edits `page_text` as a run does:
//  0. A page whose document is a frameset (PageStructure::frameset) is
//     refused (kFrameset), its message naming the frames' pages.
//  1. A page without a BODY start tag gets kDefaultBodyTag right after its
//     first </HEAD>, else </TITLE>, else <HTML> tag, and "\r\n</BODY>\r\n"
//     before the first </HTML> after it, or "\r\n</BODY>\r\n</HTML>" at the
//     end; with none of them it is refused as not an HTML file.
//  2. The first BODY start tag gets kWhiteBgcolorAttribute when it has no
//     BGCOLOR; a BGCOLOR that cannot be read, or a BODY start tag that the
//     page ends in before its '>', is the BODY tag error.
//  3. The first block of an earlier run (PageStructure::marked_applets) is
//     replaced by blocks.replacement; a block that holds the BODY start tag
//     is passed over for the first one after that tag. Without one,
//     blocks.first_insert goes right before the first </BODY> after the BODY
//     start tag; a page that never closes its BODY gets it before the
//     </HTML> after the BODY start tag, or at the very end. When the end of
//     the page lies inside a comment, raw text (an unclosed textarea or
//     script) or a tag, text put there would never be markup: the page is
//     refused (kBodyTagError, NoPlaceForBlockMessage).
// Processing the result again with the same blocks gives the same page.
// Linear in the page's length.
PageEditResult ProcessPage(std::string_view page_text, const PageNames& names,
                           const AppletBlockTexts& blocks);

// The lines the first insert wraps the applet block in, in the HTML and the
// XHTML form (run/applet_block.h writes them).
inline constexpr std::string_view kWrapperStart = "<br><center>\r\n";
inline constexpr std::string_view kWrapperEnd = "\r\n</center><br>\r\n";
inline constexpr std::string_view kXhtmlWrapperStart = "<br/><center>\r\n";
inline constexpr std::string_view kXhtmlWrapperEnd = "\r\n</center><br/>\r\n";

// The messages, exactly as the user sees them.
std::string NotHtmlFileMessage(std::string_view name);
std::string BodyTagErrorMessage(std::string_view name, std::string_view body_tag);
// A frameset page: `frame_pages` are its frames' pages (src as written).
std::string FramesetMessage(std::string_view name, const std::vector<std::string>& frame_pages);
// The page ends inside something that swallows text put after it: a
// comment (end kInComment), the element `element` (kInRawText,
// kInPlaintext) or a tag (kInTag).
std::string NoPlaceForBlockMessage(std::string_view name, TextEnd end, std::string_view element);
// A UTF-16 page that ends in the middle of a character.
std::string BrokenUtf16Message(std::string_view name);

}  // namespace sonavelt::html
