#include "html/page_remove.h"

#include "html/page_structure.h"
#include "html/utf16_text.h"

namespace sonavelt::html {
namespace {

constexpr std::string_view kBodyEnd = "\r\n</BODY>\r\n";
constexpr std::string_view kBodyAndHtmlEnd = "\r\n</BODY>\r\n</HTML>";

bool HasAt(std::string_view text, size_t at, std::string_view what) {
  return at <= text.size() && text.substr(at, what.size()) == what;
}

// `text` without the ranges (in page order, not overlapping).
std::string Without(std::string_view text, const std::vector<TextRange>& ranges) {
  std::string out;
  out.reserve(text.size());
  size_t at = 0;
  for (const TextRange& r : ranges) {
    out.append(text.substr(at, r.offset - at));
    at = r.offset + r.length;
  }
  out.append(text.substr(at));
  return out;
}

// The block with the wrapper lines of a first insert, when both are around it.
TextRange WithWrappers(std::string_view text, TextRange block) {
  static constexpr std::pair<std::string_view, std::string_view> kWrappers[] = {
      {kWrapperStart, kWrapperEnd}, {kXhtmlWrapperStart, kXhtmlWrapperEnd}};
  for (const auto& [start, end] : kWrappers) {
    if (block.offset >= start.size() && HasAt(text, block.offset - start.size(), start) &&
        HasAt(text, block.offset + block.length, end)) {
      return {block.offset - start.size(), start.size() + block.length + end.size()};
    }
  }
  return block;
}

// The ranges that undo `edit` in a page whose block is gone already.
std::vector<TextRange> BodyEditRanges(std::string_view text, BodyEdit edit) {
  std::vector<TextRange> ranges;
  if (edit == BodyEdit::kNone) return ranges;
  const PageStructure page = ReadPageStructure(text);
  if (!page.body_tag) return ranges;
  const TextRange tag = *page.body_tag;
  const size_t tag_end = tag.offset + tag.length;
  std::string_view tag_text = text.substr(tag.offset, tag.length);
  if (edit == BodyEdit::kBgcolorAdded) {
    const size_t attribute_at = tag_end - 1 - kWhiteBgcolorAttribute.size();
    if (tag_text.size() > kWhiteBgcolorAttribute.size() + 1 &&
        HasAt(text, attribute_at, kWhiteBgcolorAttribute) && text[tag_end - 1] == '>')
      ranges.push_back({attribute_at, kWhiteBgcolorAttribute.size()});
    return ranges;
  }
  // The BODY tag the run inserted, with its line end first.
  if (tag.offset >= 2 && HasAt(text, tag.offset - 2, kDefaultBodyTag))
    ranges.push_back({tag.offset - 2, kDefaultBodyTag.size()});
  if (edit == BodyEdit::kBodyInserted) {
    if (page.html_end && *page.html_end >= tag_end + kBodyEnd.size() &&
        HasAt(text, *page.html_end - kBodyEnd.size(), kBodyEnd))
      ranges.push_back({*page.html_end - kBodyEnd.size(), kBodyEnd.size()});
  } else if (text.size() >= tag_end + kBodyAndHtmlEnd.size() &&
             HasAt(text, text.size() - kBodyAndHtmlEnd.size(), kBodyAndHtmlEnd)) {
    ranges.push_back({text.size() - kBodyAndHtmlEnd.size(), kBodyAndHtmlEnd.size()});
  }
  return ranges;
}

PageRemoveResult RemoveFromNarrowPage(std::string_view text, BodyEdit first_run_edit,
                                      const PageNames& names) {
  PageRemoveResult result;
  std::optional<TextRange> block = EarlierBlock(ReadPageStructure(text));
  if (!block) {
    result.outcome = PageRemoveResult::Outcome::kNoBlock;
    result.message = NoPlayerBlockMessage(names.for_refusal);
    return result;
  }
  const std::string without_block = Without(text, {WithWrappers(text, *block)});
  result.page = Without(without_block, BodyEditRanges(without_block, first_run_edit));
  return result;
}

}  // namespace

std::string NoPlayerBlockMessage(std::string_view name) {
  return "Removing the sounds from " + std::string(name) +
         ": the page carries no sound player block, so there is nothing to remove.";
}

PageRemoveResult RemovePlayer(std::string_view page_text, BodyEdit first_run_edit,
                              const PageNames& names) {
  std::optional<Utf16Order> order = Utf16OrderOf(page_text);
  if (!order) return RemoveFromNarrowPage(page_text, first_run_edit, names);
  std::optional<std::string> utf8 = Utf16PageToUtf8(page_text, *order);
  if (!utf8) {
    PageRemoveResult result;
    result.outcome = PageRemoveResult::Outcome::kUnreadable;
    result.message = BrokenUtf16Message(names.for_refusal);
    return result;
  }
  PageRemoveResult result = RemoveFromNarrowPage(*utf8, first_run_edit, names);
  if (result.outcome == PageRemoveResult::Outcome::kRemoved)
    result.page = Utf8ToUtf16Page(result.page, *order);
  return result;
}

}  // namespace sonavelt::html
