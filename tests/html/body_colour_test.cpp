#include "html/body_colour.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "html/colour_names.h"
#include "tests/support/recording_user_interface.h"

namespace sonavelt::html {
namespace {

using testing::RecordingUserInterface;

TEST(ReadBodyColourTest, ValueComesBackUpperCase) {
  AttributeRead lower = ReadBodyColour("<body bgcolor=red>");
  EXPECT_EQ(lower.state, AttributeState::kFound);
  EXPECT_EQ(lower.value, "RED");
  EXPECT_EQ(ReadBodyColour("<BODY text=black BGCOLOR=\"#ffcc00\">").value, "#FFCC00");
  // Unquoted as the last attribute: the '>' is not part of the value.
  EXPECT_EQ(ReadBodyColour("<BODY BGCOLOR=#FFFFFF>").value, "#FFFFFF");
  EXPECT_EQ(ReadBodyColour("<BODY>").state, AttributeState::kMissing);
  EXPECT_EQ(ReadBodyColour("<BODY BGCOLOR>").state, AttributeState::kMalformed);
  EXPECT_EQ(ReadBodyColour("<BODY BGCOLOR=\"#FFFFFF>").state, AttributeState::kMalformed);
  // The same unclosed quote with a quote later in the page: the tag as
  // measured runs on to it, and the colour is still refused.
  EXPECT_EQ(ReadBodyColour("<BODY BGCOLOR=\"#FFFFFF>\r\n<P class=\"x\">").state,
            AttributeState::kMalformed);
}

struct ColourCase {
  const char* read;
  const char* rgb;
  const char* warning;  // nullptr: none
};

TEST(ColourToRgbTextTest, HexValuesNamesAndWarnings) {
  const ColourCase cases[] = {
      {"#FFFFFF", "255,255,255", nullptr},
      {"#000000", "0,0,0", nullptr},
      {"#00009C", "0,0,156", nullptr},
      {"NEW MIDNIGHT BLUE", "0,0,156", nullptr},
      {"  DARK   SLATE  GREY  ", "47,79,79", nullptr},
      {"RED", "255,0,0", nullptr},
      {"FUCHSIA", "255,255,255", kColourValueWarning.data()},
      {"AQUA", "255,255,255", kColourFormatWarning.data()},
      {"#FFF", "255,255,255", kColourFormatWarning.data()},
      {"#GG0000", "255,255,255", kColourValueWarning.data()},
      {"# FF FF FF", "255,255,255", nullptr},
      {"#ABCDEF", "171,205,239", nullptr},
      {"#FFCC0099", "255,204,0", nullptr},
      {"#0A0B00", "10,11,0", nullptr},
      {"#abcdef", "255,255,255", kColourValueWarning.data()},  // digits are upper case
      {"", "255,255,255", kColourFormatWarning.data()},
  };
  for (const ColourCase& c : cases) {
    SCOPED_TRACE(c.read);
    RecordingUserInterface ui;
    Status warning;
    EXPECT_EQ(ColourToRgbText(c.read, &warning), c.rgb);
    Show(ui, warning);
    if (c.warning == nullptr) {
      EXPECT_TRUE(ui.calls.empty());
    } else {
      ASSERT_EQ(ui.calls.size(), 1u);
      EXPECT_EQ(ui.calls[0].text, c.warning);
      EXPECT_EQ(ui.calls[0].style, BoxStyle::kSystemModal);
    }
  }
}

TEST(ColourNameToHexTest, FoldsOnlyTheFirstTwoGaps) {
  EXPECT_EQ(ColourNameToHex("\tDARK   SLATE  GREY \r\n"), "#2F4F4F");
  EXPECT_EQ(ColourNameToHex("MEDIUM  SPRING GREEN"), "#7FFF00");
  EXPECT_EQ(ColourNameToHex("red"), std::nullopt);  // case-sensitive
}

TEST(ColourNameTableTest, EveryNameIsReachableAndEveryValueReadable) {
  std::span<const ColourName> table = ColourNameTable();
  ASSERT_EQ(table.size(), 99u);
  EXPECT_EQ(table.front().name, "WHITE");
  EXPECT_EQ(table.back().name, "YELLOW GREEN");
  std::map<std::string_view, std::set<std::string_view>> names_by_value;
  for (const ColourName& entry : table) {
    SCOPED_TRACE(entry.name);
    // Found through the lookup (no stray blanks), and a valid value.
    EXPECT_EQ(ColourNameToHex(entry.name), std::string(entry.value));
    Status warning;
    HexColourToRgbText(entry.value, &warning);
    EXPECT_TRUE(warning.ok());
    names_by_value[entry.value].insert(entry.name);
  }
  // 99 names, 97 values: exactly two pairs share one.
  EXPECT_EQ(names_by_value.size(), 97u);
  EXPECT_EQ(names_by_value["#FF7F00"], (std::set<std::string_view>{"CORAL", "ORANGE"}));
  EXPECT_EQ(names_by_value["#5C4033"],
            (std::set<std::string_view>{"DARK BROWN", "VERY DARK BROWN"}));
}

}  // namespace
}  // namespace sonavelt::html
