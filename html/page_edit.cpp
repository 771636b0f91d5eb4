#include "html/page_edit.h"

#include <algorithm>

#include "base/text.h"
#include "html/body_colour.h"

namespace sonavelt::html {
namespace {

constexpr size_t kNpos = std::string_view::npos;

// The tags after which a page without BODY gets one, in the order tried.
constexpr std::string_view kBodyAnchors[] = {"</HEAD>", "</TITLE>", "<HTML>"};

// An unclosed BODY start tag is shown in the message up to its line end, and
// no longer than this: the rest of the page may follow it.
constexpr size_t kShownTagLimit = 200;

std::string Splice(std::string_view text, TextRange range, std::string_view insert) {
  std::string out;
  out.reserve(text.size() - range.length + insert.size());
  out.append(text.substr(0, range.offset));
  out.append(insert);
  out.append(text.substr(range.offset + range.length));
  return out;
}

// A text with one range replaced, read without building it: the page with
// its rewritten BODY tag is only put together once, with the block.
class SplicedView {
 public:
  SplicedView(std::string_view text, TextRange range, std::string_view insert)
      : text_(text), range_(range), insert_(insert) {}

  size_t size() const { return text_.size() - range_.length + insert_.size(); }

  // Appends bytes [from, to) of the spliced text.
  void AppendTo(std::string& out, size_t from, size_t to) const {
    const size_t insert_end = range_.offset + insert_.size();
    if (from < range_.offset) {
      out.append(text_.substr(from, std::min(to, range_.offset) - from));
    }
    if (from < insert_end && to > range_.offset) {
      size_t a = std::max(from, range_.offset);
      size_t b = std::min(to, insert_end);
      out.append(insert_.substr(a - range_.offset, b - a));
    }
    if (to > insert_end) {
      size_t a = std::max(from, insert_end);
      size_t shift = range_.length;  // text offset = spliced offset - insert size + range length
      out.append(text_.substr(a - insert_.size() + shift, to - a));
    }
  }

 private:
  std::string_view text_;
  TextRange range_;
  std::string_view insert_;
};

PageEditResult Refusal(PageEditOutcome outcome, std::string message) {
  PageEditResult result;
  result.outcome = outcome;
  result.message = std::move(message);
  return result;
}

}  // namespace

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

std::optional<std::string> InsertBodyAfter(std::string_view page_text, std::string_view upper_page,
                                           std::string_view upper_tag) {
  size_t found = upper_page.find(upper_tag);
  if (found == kNpos) return std::nullopt;
  size_t head_end = found + upper_tag.size();
  size_t html_end = upper_page.find("</HTML>", head_end);
  std::string out;
  out.reserve(page_text.size() + kDefaultBodyTag.size() + 32);
  out.append(page_text.substr(0, head_end));
  out.append(kDefaultBodyTag);
  if (html_end == kNpos) {
    out.append(page_text.substr(head_end));
    out.append("\r\n</BODY>\r\n</HTML>");
  } else {
    out.append(page_text.substr(head_end, html_end - head_end));
    out.append("\r\n</BODY>\r\n");
    out.append(page_text.substr(html_end));
  }
  return out;
}

PageEditResult ProcessPage(std::string_view page_text, const PageNames& names,
                           const AppletBlockTexts& blocks) {
  std::string upper = UpperCopy(page_text);
  std::string with_body;
  std::string_view page = page_text;
  if (upper.find("<BODY") == kNpos) {
    std::optional<std::string> inserted;
    for (std::string_view anchor : kBodyAnchors) {
      inserted = InsertBodyAfter(page_text, upper, anchor);
      if (inserted) break;
    }
    if (!inserted) {
      return Refusal(PageEditOutcome::kNotHtml, NotHtmlFileMessage(names.for_refusal));
    }
    with_body = std::move(*inserted);
    page = with_body;
    upper = UpperCopy(page);
  }

  const size_t body_at = upper.find("<BODY");
  std::optional<size_t> tag_length = StartTagLength(upper, body_at);
  if (!tag_length) {
    // Closing the tag for the user would be a guess at what it should hold;
    // they get the same advice as for an unreadable BGCOLOR instead.
    std::string_view shown = page.substr(body_at, kShownTagLimit);
    shown = shown.substr(0, shown.find_first_of("\r\n"));
    return Refusal(PageEditOutcome::kBodyTagError,
                   BodyTagErrorMessage(names.for_body_error, shown));
  }
  const TextRange old_tag = {body_at, *tag_length};

  PageEditResult result;
  result.body_tag = std::string(page.substr(body_at, *tag_length));
  AttributeRead colour = ReadBodyColour(result.body_tag);
  switch (colour.state) {
    case AttributeState::kMalformed: {
      // An unclosed quote made the measured tag run on into the page; the
      // user is shown the tag as written, up to its first '>'.
      std::string_view shown = result.body_tag;
      if (const size_t close = shown.find('>'); close != std::string_view::npos)
        shown = shown.substr(0, close + 1);
      return Refusal(PageEditOutcome::kBodyTagError,
                     BodyTagErrorMessage(names.for_body_error, shown));
    }
    case AttributeState::kMissing:
      result.page_colour = std::string(kWhite);
      result.body_tag = AddBodyAttribute(result.body_tag, kWhiteBgcolorAttribute);
      upper = Splice(upper, old_tag, UpperCopy(result.body_tag));
      break;
    case AttributeState::kFound:
      result.page_colour = std::move(colour.value);
      break;
  }
  AttributeRead image = ReadBackgroundImage(result.body_tag);
  if (image.state == AttributeState::kFound) result.background_image = std::move(image.value);

  // From here on offsets are in the page with its BODY tag as written back,
  // whose upper-case copy `upper` is.
  const SplicedView edited(page, old_tag, result.body_tag);
  const size_t body_end = body_at + result.body_tag.size();
  std::optional<TextRange> earlier = FindMarkedApplet(upper);
  // A marked applet that overlaps the BODY start tag (a "<BODY" inside its
  // attributes, the BODY just added after a "</HEAD>" written there, or an
  // applet inside a BODY tag's unclosed quote) cannot be replaced without
  // damaging the tag: the earlier block that counts is then the first one
  // after the tag, so the BODY tag as read is always in the edited page.
  if (earlier && earlier->offset < body_end && earlier->offset + earlier->length > body_at) {
    earlier = FindMarkedApplet(std::string_view(upper).substr(body_end));
    if (earlier) earlier->offset += body_end;
  }
  TextRange replaced;
  std::string_view block;
  if (earlier) {
    replaced = *earlier;
    block = blocks.replacement;
    result.replaced_earlier_block = true;
  } else {
    // The BODY end tag that counts is one after the start tag; HTML lets a
    // page leave it out, and then the block still goes inside the body.
    size_t insert_at = upper.find("</BODY", body_end);
    if (insert_at == kNpos) insert_at = upper.find("</HTML", body_end);
    if (insert_at == kNpos) insert_at = upper.size();
    replaced = {insert_at, 0};
    block = blocks.first_insert;
  }
  result.edited_page.reserve(edited.size() - replaced.length + block.size());
  edited.AppendTo(result.edited_page, 0, replaced.offset);
  result.edited_page.append(block);
  edited.AppendTo(result.edited_page, replaced.offset + replaced.length, edited.size());
  result.block = {replaced.offset, block.size()};
  return result;
}

}  // namespace sonavelt::html
