#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "html/html_tokenizer.h"
#include "html/tag_scanner.h"

// The landmarks of a page that its edit needs, read in one pass of
// HtmlTokenizer: only tags of the page itself count (never text that looks
// like a tag inside a comment, a script, raw text or template contents).
// Offsets are those of the text given. Linear in its length.
namespace sonavelt::html {

// A tag after which a page without BODY gets one.
struct BodyAnchor {
  size_t end = 0;                  // just after the tag's '>'
  std::optional<size_t> html_end;  // the '<' of the first </html> after it
};

struct PageStructure {
  std::optional<TextRange> body_tag;  // the first BODY start tag
  // Where a BODY start tag starts that the page ends in before its '>'
  // (when no earlier BODY start tag closed).
  std::optional<size_t> unfinished_body_tag;
  std::optional<size_t> body_end;  // the '<' of the first </body> after body_tag
  std::optional<size_t> html_end;  // the '<' of the first </html> after body_tag

  // The document is a frameset (a frameset start tag where the body would
  // start, as the standard's tree builder decides), and the src of each
  // <frame> after it, as written.
  bool frameset = false;
  std::vector<std::string> frame_sources;

  // The first </head>, </title> and <html> (a page without BODY gets one
  // after the first of them that is there), each only where HTML content
  // follows it: a BODY put inside svg or math would close them and change
  // how the rest of the page reads.
  std::optional<BodyAnchor> head_end;
  std::optional<BodyAnchor> title_end;
  std::optional<BodyAnchor> html_start;

  // The blocks of earlier runs, in page order: an applet start tag holding
  // kAppletMarker through its </applet>; one whose end tag is missing
  // (none follows before the next applet starts) covers its start tag and
  // the <param> tags that directly follow it (its head), white space
  // between them included.
  struct MarkedApplet {
    TextRange element;
    TextRange head;
    // Something inside the element opens or closes svg, math or template
    // content (HtmlTokenizer::context_changes): a block put in its place
    // would change how the page after it reads.
    bool changes_context = false;
  };
  std::vector<MarkedApplet> marked_applets;

  bool xhtml_namespace = false;  // the first <html> tag names the XHTML namespace
  bool base_href = false;        // a <base> with an href value

  // Where the text ends (TextEnd::kData: text appended is markup of the
  // page). Inside an open template it is kInRawText with end_element
  // "template": text there is no part of what the page shows.
  TextEnd end = TextEnd::kData;
  std::string end_element;  // kInRawText, kInPlaintext, kInTag: the element's name
};

PageStructure ReadPageStructure(std::string_view text);

// What the player block must suit in a page.
struct PageMarkup {
  // The page starts (after a UTF-8 byte-order mark and white space) with an
  // XML declaration, or its first <html> tag names the XHTML namespace.
  bool xhtml = false;
  bool base_href = false;  // PageStructure::base_href
};

// The markup of `page_text`; a UTF-16 page is read in its encoding.
PageMarkup ReadPageMarkup(std::string_view page_text);

// The block of an earlier run that a run replaces: the first of
// marked_applets; when its element holds the BODY start tag (markup the
// page put inside it), which must stay, or changes the context, only its
// head. nullopt when there is none.
std::optional<TextRange> EarlierBlock(const PageStructure& page);

}  // namespace sonavelt::html
