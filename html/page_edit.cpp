#include "html/page_edit.h"

#include <algorithm>

#include "base/text.h"
#include "html/body_colour.h"
#include "html/page_structure.h"
#include "html/utf16_text.h"

namespace sonavelt::html {
namespace {

// An unclosed BODY start tag is shown in the message up to its line end, and
// no longer than this: the rest of the page may follow it.
constexpr size_t kShownTagLimit = 200;

// One change of a page: `range` of the old text becomes `insert`.
struct Splice {
  TextRange range;
  std::string_view insert;
};

// `text` with the splices (in page order, not overlapping) made.
std::string ApplySplices(std::string_view text, std::initializer_list<Splice> splices) {
  size_t size = text.size();
  for (const Splice& s : splices) size = size - s.range.length + s.insert.size();
  std::string out;
  out.reserve(size);
  size_t at = 0;
  for (const Splice& s : splices) {
    out.append(text.substr(at, s.range.offset - at));
    out.append(s.insert);
    at = s.range.offset + s.range.length;
  }
  out.append(text.substr(at));
  return out;
}

PageEditResult Refusal(PageEditOutcome outcome, std::string message) {
  PageEditResult result;
  result.outcome = outcome;
  result.message = std::move(message);
  return result;
}

// `page_text` with kDefaultBodyTag right after `anchor` and the BODY (and
// HTML) closed as ProcessPage says; nullopt when the end tags would go
// where they are not markup.
std::optional<std::string> InsertBody(std::string_view page_text, const BodyAnchor& anchor,
                                      BodyEdit* edit) {
  static constexpr std::string_view kBodyEnd = "\r\n</BODY>\r\n";
  static constexpr std::string_view kBodyAndHtmlEnd = "\r\n</BODY>\r\n</HTML>";
  const TextRange after_anchor = {anchor.end, 0};
  if (anchor.html_end) {
    *edit = BodyEdit::kBodyInserted;
    return ApplySplices(page_text,
                        {{after_anchor, kDefaultBodyTag}, {{*anchor.html_end, 0}, kBodyEnd}});
  }
  *edit = BodyEdit::kBodyAndHtmlEndInserted;
  return ApplySplices(page_text,
                      {{after_anchor, kDefaultBodyTag}, {{page_text.size(), 0}, kBodyAndHtmlEnd}});
}

PageEditResult ProcessNarrowPage(std::string_view page_text, const PageNames& names,
                                 const AppletBlockTexts& blocks) {
  PageStructure structure = ReadPageStructure(page_text);
  if (structure.frameset) {
    return Refusal(PageEditOutcome::kFrameset,
                   FramesetMessage(names.for_refusal, structure.frame_sources));
  }
  BodyEdit body_edit = BodyEdit::kNone;
  std::string with_body;
  std::string_view page = page_text;
  if (!structure.body_tag && !structure.unfinished_body_tag) {
    const std::optional<BodyAnchor>& anchor =
        structure.head_end ? structure.head_end
                           : structure.title_end ? structure.title_end : structure.html_start;
    if (!anchor) return Refusal(PageEditOutcome::kNotHtml, NotHtmlFileMessage(names.for_refusal));
    if (!anchor->html_end && structure.end != TextEnd::kData) {
      return Refusal(PageEditOutcome::kBodyTagError,
                     NoPlaceForBlockMessage(names.for_body_error, structure.end,
                                            structure.end_element));
    }
    with_body = *InsertBody(page_text, *anchor, &body_edit);
    page = with_body;
    structure = ReadPageStructure(page);
  }

  if (!structure.body_tag) {
    // Closing the tag for the user would be a guess at what it should hold;
    // they get the same advice as for an unreadable BGCOLOR instead.
    std::string_view shown = page.substr(structure.unfinished_body_tag.value_or(0), kShownTagLimit);
    shown = shown.substr(0, shown.find_first_of("\r\n"));
    return Refusal(PageEditOutcome::kBodyTagError,
                   BodyTagErrorMessage(names.for_body_error, shown));
  }
  const TextRange old_tag = *structure.body_tag;

  PageEditResult result;
  result.body_tag = std::string(page.substr(old_tag.offset, old_tag.length));
  AttributeRead colour = ReadBodyColour(result.body_tag);
  switch (colour.state) {
    case AttributeState::kMalformed: {
      // A quote closed only further down made the tag run on into the page;
      // the user is shown the tag as written, up to its first '>'.
      std::string_view shown = result.body_tag;
      if (const size_t close = shown.find('>'); close != std::string_view::npos)
        shown = shown.substr(0, close + 1);
      return Refusal(PageEditOutcome::kBodyTagError,
                     BodyTagErrorMessage(names.for_body_error, shown));
    }
    case AttributeState::kMissing:
      result.page_colour = std::string(kWhite);
      result.body_tag = AddBodyAttribute(result.body_tag, kWhiteBgcolorAttribute);
      if (body_edit == BodyEdit::kNone) body_edit = BodyEdit::kBgcolorAdded;
      break;
    case AttributeState::kFound:
      result.page_colour = std::move(colour.value);
      break;
  }
  AttributeRead image = ReadBackgroundImage(result.body_tag);
  if (image.state == AttributeState::kFound) result.background_image = std::move(image.value);

  std::optional<TextRange> earlier = EarlierBlock(structure);
  TextRange replaced;
  std::string_view block;
  if (earlier) {
    replaced = *earlier;
    block = blocks.replacement;
    result.replaced_earlier_block = true;
  } else {
    // The BODY end tag that counts is one after the start tag; HTML lets a
    // page leave it out, and then the block still goes inside the body.
    size_t insert_at = page.size();
    if (structure.body_end) {
      insert_at = *structure.body_end;
    } else if (structure.html_end) {
      insert_at = *structure.html_end;
    } else if (structure.end != TextEnd::kData) {
      return Refusal(PageEditOutcome::kBodyTagError,
                     NoPlaceForBlockMessage(names.for_body_error, structure.end,
                                            structure.end_element));
    }
    replaced = {insert_at, 0};
    block = blocks.first_insert;
  }
  const Splice tag_splice = {old_tag, result.body_tag};
  const Splice block_splice = {replaced, block};
  size_t block_offset = replaced.offset;
  if (replaced.offset < old_tag.offset) {
    result.edited_page = ApplySplices(page, {block_splice, tag_splice});
  } else {
    result.edited_page = ApplySplices(page, {tag_splice, block_splice});
    block_offset = block_offset - old_tag.length + result.body_tag.size();
  }
  result.block = {block_offset, block.size()};
  result.body_edit = body_edit;
  return result;
}

}  // namespace

std::string_view BodyEditName(BodyEdit edit) {
  switch (edit) {
    case BodyEdit::kNone: return "none";
    case BodyEdit::kBgcolorAdded: return "bgcolor";
    case BodyEdit::kBodyInserted: return "body";
    case BodyEdit::kBodyAndHtmlEndInserted: return "body-html";
  }
  return "none";
}

std::optional<BodyEdit> BodyEditFromName(std::string_view name) {
  for (BodyEdit edit : {BodyEdit::kNone, BodyEdit::kBgcolorAdded, BodyEdit::kBodyInserted,
                        BodyEdit::kBodyAndHtmlEndInserted}) {
    if (BodyEditName(edit) == name) return edit;
  }
  return std::nullopt;
}

std::string NotHtmlFileMessage(std::string_view name) {
  return std::string(name) + " is not an HTML file!\r\n\r\nPlease select an HTML file.";
}

std::string BodyTagErrorMessage(std::string_view name, std::string_view body_tag) {
  return "The body tag in " + std::string(name) + " is not following the HTML standards!\r\n" +
         std::string(body_tag) +
         "\r\nshould be in the following format:\r\n"
         "<BODY BGCOLOR=\"......\" text=\"......\" background=\"......\" ...>\r\n\r\n"
         "Please make corrections and run the Sonavelt again.";
}

std::string FramesetMessage(std::string_view name, const std::vector<std::string>& frame_pages) {
  std::string message = "Adding sounds to " + std::string(name) +
                        ": it is a frameset page, which shows other pages in its frames and has "
                        "no body of its own for the sound player.\r\n\r\n";
  if (frame_pages.empty()) {
    message += "Please select one of the pages its frames show instead.";
    return message;
  }
  message += frame_pages.size() == 1 ? "Please select the page its frame shows instead:"
                                     : "Please select one of the pages its frames show instead:";
  for (const std::string& page : frame_pages) message += "\r\n\t" + page;
  return message;
}

std::string NoPlaceForBlockMessage(std::string_view name, TextEnd end, std::string_view element) {
  std::string what;
  switch (end) {
    case TextEnd::kInComment:
      what = "a comment (\"<!--\") that is never closed";
      break;
    case TextEnd::kInRawText:
      what = "a <" + std::string(element) + "> element that is never closed (\"</" +
             std::string(element) + ">\" is missing)";
      break;
    case TextEnd::kInPlaintext:
      what = "a <plaintext> element, which makes the rest of the page text";
      break;
    case TextEnd::kInTag:
    case TextEnd::kData:
      what = "a tag that is never closed by \">\"";
      break;
  }
  return "Adding sounds to " + std::string(name) + ": the page has no </BODY> tag and ends inside " +
         what + ", so the sound player would not be part of the page there.\r\n\r\n"
         "Please make corrections and run the Sonavelt again.";
}

std::string BrokenUtf16Message(std::string_view name) {
  return "Reading " + std::string(name) +
         ": the page is UTF-16 text (it starts with a byte-order mark) but ends in the middle of "
         "a character.\r\n\r\nPlease select an HTML file.";
}

PageEditResult ProcessPage(std::string_view page_text, const PageNames& names,
                           const AppletBlockTexts& blocks) {
  std::optional<Utf16Order> order = Utf16OrderOf(page_text);
  if (!order) return ProcessNarrowPage(page_text, names, blocks);
  std::optional<std::string> utf8 = Utf16PageToUtf8(page_text, *order);
  if (!utf8) return Refusal(PageEditOutcome::kNotHtml, BrokenUtf16Message(names.for_refusal));
  PageEditResult result = ProcessNarrowPage(*utf8, names, blocks);
  if (result.outcome != PageEditOutcome::kEdited) return result;
  std::string_view edited = result.edited_page;
  result.block.length = Utf16Length(edited.substr(result.block.offset), result.block.length);
  result.block.offset = 2 + Utf16Length(edited, result.block.offset);  // 2: the mark
  result.edited_page = Utf8ToUtf16Page(result.edited_page, *order);
  return result;
}

}  // namespace sonavelt::html
