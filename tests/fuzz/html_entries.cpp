#include <algorithm>
#include <string>
#include <string_view>

#include "base/text.h"
#include "html/body_colour.h"
#include "html/colour_names.h"
#include "html/html_tokenizer.h"
#include "html/page_edit.h"
#include "html/page_remove.h"
#include "html/utf16_text.h"
#include "html/tag_scanner.h"
#include "run/applet_block.h"
#include "tests/fuzz/fuzz_entries.h"
#include "tests/fuzz/fuzz_support.h"

namespace sonavelt::fuzz {
namespace {

// "R,G,B" with three decimal numbers of 0 to 255.
bool IsRgbText(std::string_view text) {
  int numbers = 0;
  size_t i = 0;
  while (true) {
    size_t start = i;
    int value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3) {
      value = value * 10 + (text[i] - '0');
      ++i;
    }
    if (i == start || value > 255) return false;
    ++numbers;
    if (i == text.size()) return numbers == 3;
    if (text[i] != ',' || numbers == 3) return false;
    ++i;
  }
}

// True when a start tag of the page itself (no text that looks like one)
// begins at `offset` of `page`.
bool PageTagStartsAt(std::string_view page, size_t offset) {
  html::HtmlTokenizer tokenizer(page);
  html::Token token;
  while (tokenizer.Next(&token)) {
    if (token.offset == offset)
      return token.kind == html::TokenKind::kStartTag && token.Counts();
    if (token.offset > offset) return false;
  }
  return false;
}

}  // namespace

int FuzzPageEdit(const uint8_t* data, size_t size) {
  std::string_view page(reinterpret_cast<const char*>(data), size);
  run::RunOptions options;
  options.invisible_applet = size % 2 == 1;
  html::AppletBlockTexts blocks = run::AppletBlocks(options, "page");
  html::PageNames names{"/site/page.htm", "page.htm"};
  // The wrapper lines RemovePlayer takes off are those the run writes.
  SONAVELT_FUZZ_CHECK(blocks.first_insert == std::string(html::kWrapperStart) + blocks.replacement +
                                                 std::string(html::kWrapperEnd),
                      "the first insert's wrapper lines are not html::kWrapperStart/End");

  html::PageEditResult first = html::ProcessPage(page, names, blocks);
  if (first.outcome != html::PageEditOutcome::kEdited) {
    SONAVELT_FUZZ_CHECK(!first.message.empty(), "a refused page without its message");
    return 0;
  }
  const std::string& edited = first.edited_page;
  SONAVELT_FUZZ_CHECK(first.block.offset <= edited.size() &&
                          first.block.length <= edited.size() - first.block.offset,
                      "the block's range lies outside the page");
  std::string_view placed(edited.data() + first.block.offset, first.block.length);
  const std::optional<html::Utf16Order> utf16 = html::Utf16OrderOf(page);
  // A UTF-16 page holds the block in UTF-16 (without a second byte-order mark).
  auto as_written = [&](const std::string& block) {
    return utf16 ? html::Utf8ToUtf16Page(block, *utf16).substr(2) : block;
  };
  const bool first_insert = placed == as_written(blocks.first_insert);
  SONAVELT_FUZZ_CHECK(first_insert || placed == as_written(blocks.replacement),
                      "the block's range does not hold the block");
  SONAVELT_FUZZ_CHECK(edited.size() >= page.size() || first.replaced_earlier_block,
                      "the page lost text without an earlier block to replace");
  SONAVELT_FUZZ_CHECK(utf16 || edited.find(first.body_tag) != std::string::npos,
                      "the BODY tag is not in the page");

  // The block's applet is a tag of the page, not text in a comment, a
  // script, raw text or a template.
  if (!utf16) {
    size_t applet = first.block.offset + (first_insert ? html::kWrapperStart.size() : 0);
    SONAVELT_FUZZ_CHECK(PageTagStartsAt(edited, applet),
                        "the block's applet is not a tag of the page");
  }

  // A second run over its own result finds its block and changes nothing.
  html::PageEditResult second = html::ProcessPage(edited, names, blocks);
  SONAVELT_FUZZ_CHECK(second.outcome == html::PageEditOutcome::kEdited,
                      "an edited page is refused by the next run");
  SONAVELT_FUZZ_CHECK(second.replaced_earlier_block, "the next run did not find the block");
  SONAVELT_FUZZ_CHECK(second.edited_page == edited, "editing the edited page changed it");

  // Taking the block off again gives the page back as it was.
  if (!first.replaced_earlier_block) {
    html::PageRemoveResult removed = html::RemovePlayer(edited, first.body_edit, names);
    SONAVELT_FUZZ_CHECK(removed.outcome == html::PageRemoveResult::Outcome::kRemoved,
                        "the block just inserted cannot be removed");
    SONAVELT_FUZZ_CHECK(removed.page == page, "removing the block did not give the page back");
  }
  return 0;
}

int FuzzBodyColour(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);

  // As a BODY tag: read its colour and turn it into the player's text.
  html::AttributeRead colour = html::ReadBodyColour(input);
  if (colour.state == html::AttributeState::kFound) {
    Status warning;
    std::string rgb = html::ColourToRgbText(colour.value, &warning);
    SONAVELT_FUZZ_CHECK(IsRgbText(rgb), "not R,G,B: " + rgb);
    if (!warning.ok()) SONAVELT_FUZZ_CHECK(rgb == html::kWhiteRgbText, "warned but not white");
  }

  // As a colour value of its own.
  Status value_warning;
  std::string rgb = html::ColourToRgbText(input, &value_warning);
  SONAVELT_FUZZ_CHECK(IsRgbText(rgb), "not R,G,B: " + rgb);
  if (std::optional<std::string> hex = html::ColourNameToHex(input)) {
    SONAVELT_FUZZ_CHECK(hex->size() == 7 && (*hex)[0] == '#', "a table value is not #RRGGBB");
  }
  if (input.size() >= 2) {
    std::optional<int> pair = html::HexPairToDecimal(input.substr(0, 2));
    if (pair) SONAVELT_FUZZ_CHECK(*pair >= 0 && *pair <= 255, "a hexadecimal pair above 255");
  }

  // A BGCOLOR added to a tag is read back as it was written.
  std::string tag = html::AddBodyAttribute(input, html::kWhiteBgcolorAttribute);
  SONAVELT_FUZZ_CHECK(tag.find(html::kWhiteBgcolorAttribute) != std::string::npos,
                      "the attribute was not added");
  return 0;
}

}  // namespace sonavelt::fuzz
