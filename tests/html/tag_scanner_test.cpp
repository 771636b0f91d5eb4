#include "html/tag_scanner.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace sonavelt::html {
namespace {

AttributeRead Background(std::string_view tag) { return ReadBackgroundImage(tag); }

TEST(AttributeValueTest, QuotedUnquotedAndCaseKept) {
  AttributeRead apostrophes = Background("<body background='img/Back.gif' text=black>");
  EXPECT_EQ(apostrophes.state, AttributeState::kFound);
  EXPECT_EQ(apostrophes.value, "img/Back.gif");

  // White space inside the quotes is trimmed, and may surround the "=".
  EXPECT_EQ(Background("<BODY BACKGROUND =  \"  a b.png  \" >").value, "a b.png");
  // Unquoted: ends at white space (a line end too) or at the tag's '>'.
  EXPECT_EQ(Background("<BODY BACKGROUND=x.gif>").value, "x.gif");
  EXPECT_EQ(Background("<BODY BACKGROUND=x.gif\r\nTEXT=red>").value, "x.gif");
  // A '>' inside a quoted value belongs to the value.
  EXPECT_EQ(Background("<BODY BACKGROUND=\"a>b.gif\">").value, "a>b.gif");
}

TEST(AttributeValueTest, MissingAndMalformed) {
  EXPECT_EQ(Background("<BODY BGCOLOR=red>").state, AttributeState::kMissing);
  EXPECT_EQ(Background("<BODY BACKGROUND>").state, AttributeState::kMalformed);
  EXPECT_EQ(Background("<BODY BACKGROUND=\"x.gif>").state, AttributeState::kMalformed);
  EXPECT_EQ(Background("<BODY BACKGROUND='x.gif\">").state, AttributeState::kMalformed);
  // The name is a plain substring: it is also found inside another value.
  AttributeRead inside = Background("<BODY onload=\"setbackground()\">");
  EXPECT_EQ(inside.state, AttributeState::kMalformed);
}

class FindMarkedAppletTest : public ::testing::Test {
 protected:
  // The block found in `page`, as text.
  std::string Found(const std::string& page) {
    std::optional<TextRange> range = FindMarkedApplet(UpperCopy(page));
    if (!range) return "(none)";
    return page.substr(range->offset, range->length);
  }
  const std::string ours_ =
      "<applet code=SonaveltRandomEventBackground width=\"2\" height=\"2\">\r\n"
      "<param name=random value=\"Yes\">\r\n<param name=resource value=\"index\">\r\n"
      "You will hear sounds if you use Java-enabled browsers.\r\n</applet>";
};

TEST_F(FindMarkedAppletTest, OwnAppletsOfThePageAreSkipped) {
  std::string own = "<APPLET code=Clock.class width=9 height=9><param name=a value=b></APPLET>";
  EXPECT_EQ(Found("<p>" + own + "\r\n" + ours_ + "\r\n" + own), ours_);
  EXPECT_EQ(Found("<p>" + own + "</p>"), "(none)");
  // The class name in another applet's body or parameters does not count.
  EXPECT_EQ(Found("<applet code=X><param name=SonaveltRandomEventBackground></applet>"),
            "(none)");
}

TEST_F(FindMarkedAppletTest, UnclosedMarkedAppletCoversItsTagAndParameters) {
  std::string start = "<applet code=SonaveltRandomEventBackground width=\"190\" height=\"20\">";
  std::string params = "\r\n<param name=random value=\"No\">\r\n<PARAM name=resource value=\"a\">";
  std::string user_text = "\r\nUser text <b>kept</b>";
  EXPECT_EQ(Found("<p>" + start + params + user_text), start + params);
  // An end tag that belongs to a later applet of the user is not ours.
  std::string later = "<applet code=Clock width=1 height=1></applet>";
  EXPECT_EQ(Found(start + user_text + later), start);
}

TEST_F(FindMarkedAppletTest, UnclosedOwnAppletDoesNotHideOurs) {
  std::string page = "<APPLET code=Broken width=1 height=1>\r\nno end tag\r\n" + ours_;
  EXPECT_EQ(Found(page), ours_);
}

}  // namespace
}  // namespace sonavelt::html
