#include <algorithm>
#include <string>
#include <string_view>

#include "base/text.h"
#include "html/body_colour.h"
#include "html/colour_names.h"
#include "html/page_edit.h"
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

// True when no applet or BODY start tag of `page` holds a quoted value that
// only text after the page could close: such a tag's end would move with
// the quotes of a block put after it.
bool TagEndsAreFixed(std::string_view page) {
  std::string upper = UpperCopy(page);
  std::string longer = upper + "\"'>";
  for (std::string_view name : {"<APPLET", "<BODY"}) {
    for (size_t at = upper.find(name); at != std::string::npos; at = upper.find(name, at + 1)) {
      if (html::StartTagLength(upper, at) != html::StartTagLength(longer, at)) return false;
    }
  }
  return true;
}

// True when every applet start tag of `page` is followed by its "</APPLET>"
// before the next applet starts.
bool AppletsClosedInTurn(std::string_view page) {
  std::string upper = UpperCopy(page);
  for (size_t at = upper.find("<APPLET"); at != std::string::npos;) {
    size_t close = upper.find("</APPLET>", at);
    size_t next = upper.find("<APPLET", at + 1);
    if (close == std::string::npos || (next != std::string::npos && next < close)) return false;
    at = next;
  }
  return true;
}

}  // namespace

int FuzzPageEdit(const uint8_t* data, size_t size) {
  std::string_view page(reinterpret_cast<const char*>(data), size);
  run::RunOptions options;
  options.invisible_applet = size % 2 == 1;
  html::AppletBlockTexts blocks = run::AppletBlocks(options, "page");
  html::PageNames names{"/site/page.htm", "page.htm"};

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
  SONAVELT_FUZZ_CHECK(placed == blocks.first_insert || placed == blocks.replacement,
                      "the block's range does not hold the block");
  SONAVELT_FUZZ_CHECK(edited.size() >= page.size() || first.replaced_earlier_block,
                      "the page lost text without an earlier block to replace");
  SONAVELT_FUZZ_CHECK(edited.find(first.body_tag) != std::string::npos,
                      "the BODY tag is not in the page");

  // A second run over its own result finds its block and changes nothing,
  // unless the BODY tag or the block sits inside another applet element
  // (markup written into an applet's attributes, or an applet never
  // closed), or a tag holds a quote it does not close: a tag's end then
  // depends on the quotes the first run's block brought, and which applet
  // counts as the earlier block on where that block went. Plain substring
  // searches cannot tell.
  if (!TagEndsAreFixed(page) || !AppletsClosedInTurn(page)) return 0;
  std::string upper = UpperCopy(edited);
  for (size_t at : {upper.find("<BODY"), first.block.offset}) {
    for (size_t p = upper.find("<APPLET"); p < at; p = upper.find("<APPLET", p + 1)) {
      std::optional<size_t> length = html::StartTagLength(upper, p);
      if (!length || p + *length > at) return 0;  // inside the start tag
      size_t close = upper.find("</APPLET", p + *length);
      if (close == std::string::npos || close >= at) return 0;  // inside the element
    }
  }
  html::PageEditResult second = html::ProcessPage(edited, names, blocks);
  SONAVELT_FUZZ_CHECK(second.outcome == html::PageEditOutcome::kEdited,
                      "an edited page is refused by the next run");
  // A BODY tag whose end moved: a quote in it that only the block closes.
  if (second.body_tag != first.body_tag) return 0;
  SONAVELT_FUZZ_CHECK(second.edited_page == edited, "editing the edited page changed it");
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
