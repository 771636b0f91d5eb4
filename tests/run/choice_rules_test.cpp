#include "run/choice_rules.h"

#include <gtest/gtest.h>

#include "tests/support/recording_user_interface.h"

namespace sonavelt::run {
namespace {

TEST(CombinationCountTest, AcceptsWholeNumbersInRangeAndWordsTheRefusals) {
  EXPECT_TRUE(CheckCombinationCount("4").ok);
  EXPECT_EQ(CheckCombinationCount(" 16 ").count, 16);
  EXPECT_EQ(CheckCombinationCount("").message, "Please provide a real number!");
  EXPECT_EQ(CheckCombinationCount("0").message, "Please provide a real number!");
  EXPECT_EQ(CheckCombinationCount("-3").message, "Please provide a real number!");
  EXPECT_EQ(CheckCombinationCount("3x").message, "Please provide a real number!");
  EXPECT_EQ(CheckCombinationCount("17").message, "\"17\" is too large in reality.");
  EXPECT_EQ(CheckCombinationCount("99999999999999999999").message,
            "\"99999999999999999999\" is too large in reality.");
  EXPECT_EQ(CheckGoToNumber("9", 3).message,
            "Cannot go to the No. 9 sound combination of total 3 sound combinations.");
  EXPECT_EQ(CheckGoToNumber("2", 3).count, 2);
}

TEST(OptionBoxesTest, ClickRulesOfTheOptionsPage) {
  RunOptions options;
  options.background_initially_on = true;
  // One combination: random order is shown unchecked and reads as off.
  OptionBoxes one = ShowOptions(options, 1);
  ClickOption(one, OptionBoxId::kRandomOrder, true, options);
  ReadOptions(one, "", options);
  EXPECT_FALSE(options.random_order);

  options = RunOptions{};
  options.background_initially_on = true;
  OptionBoxes boxes = ShowOptions(options, 2);
  EXPECT_TRUE(boxes.random_order.checked);
  ClickOption(boxes, OptionBoxId::kNoBackground, true, options);
  EXPECT_TRUE(boxes.invisible_applet.checked);
  EXPECT_FALSE(boxes.background_initially_on.enabled);
  // Without a background sound the control stays invisible and the
  // background box cannot be ticked.
  ClickOption(boxes, OptionBoxId::kInvisibleApplet, false, options);
  ClickOption(boxes, OptionBoxId::kBackgroundInitiallyOn, true, options);
  EXPECT_TRUE(boxes.invisible_applet.checked);
  EXPECT_FALSE(boxes.background_initially_on.checked);
  // Clearing it again brings the background box back as it was.
  ClickOption(boxes, OptionBoxId::kNoBackground, false, options);
  EXPECT_TRUE(boxes.background_initially_on.enabled);
  EXPECT_TRUE(boxes.background_initially_on.checked);
  ReadOptions(boxes, "www.example.com/a.htm", options);
  EXPECT_FALSE(options.no_background);
  EXPECT_TRUE(options.invisible_applet);
  EXPECT_EQ(options.page_url, "www.example.com/a.htm");
}

// "Background Sound Initially On" shown disabled without a background sound
// keeps its own state: a stored "on" stays on, and what the user last set
// before ticking "No Background Sound" is what is read.
TEST(OptionBoxesTest, DisabledBackgroundBoxKeepsItsOwnState) {
  RunOptions options;
  options.no_background = true;
  options.background_initially_on = true;
  OptionBoxes boxes = ShowOptions(options, 1);
  EXPECT_FALSE(boxes.background_initially_on.checked);
  EXPECT_FALSE(boxes.background_initially_on.enabled);
  ReadOptions(boxes, "", options);
  EXPECT_TRUE(options.background_initially_on);

  ClickOption(boxes, OptionBoxId::kNoBackground, false, options);
  ClickOption(boxes, OptionBoxId::kBackgroundInitiallyOn, false, options);
  ClickOption(boxes, OptionBoxId::kNoBackground, true, options);
  ReadOptions(boxes, "", options);
  EXPECT_FALSE(options.background_initially_on);
  EXPECT_TRUE(options.no_background);
}

class PageUrlTest : public ::testing::Test {
 protected:
  PageUrlTest() { page_.local_html_path = "/home/me/site/index.htm"; }
  bool Check(const std::string& url, bool safety_key = false) {
    options_.page_url = url;
    options_.safety_key = safety_key;
    const Status status = CheckPageUrl(page_, options_, ui_);
    Show(ui_, status);
    return status.ok();
  }
  PageTarget page_;
  RunOptions options_;
  testing::RecordingUserInterface ui_;
};

TEST_F(PageUrlTest, NothingToCheckWithoutUrlOrSafetyKey) {
  EXPECT_TRUE(Check(""));
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(PageUrlTest, SafetyKeyNeedsUrl) {
  EXPECT_FALSE(Check("", true));
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_EQ(ui_.Messages()[0],
            "You must provide the actual URL of index.htm\r\nif you want to set up safety key "
            "for index.htm.");
  EXPECT_EQ(ui_.calls[0].style, BoxStyle::kPlain);
}

TEST_F(PageUrlTest, UrlWithoutSchemeGetsHttpAndNoQuestion) {
  EXPECT_TRUE(Check("www.example.com/site/index.htm", true));
  EXPECT_EQ(options_.page_url, "http://www.example.com/site/index.htm");
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(PageUrlTest, OtherSchemesAndBadTextAreRefused) {
  EXPECT_FALSE(Check("ftp://example.com/index.htm"));
  EXPECT_EQ(ui_.Messages().back(),
            "ftp://example.com/index.htm is not a valid HTTP URL.\r\nYou must provide a valid "
            "HTTP URL to access your web page: index.htm");
  EXPECT_FALSE(Check("http://exa mple.com/index.htm"));
  EXPECT_EQ(ui_.Messages().back(), "http://exa mple.com/index.htm is not a valid URL.");
  // No server: refused, not taken for a server called "http".
  for (const char* no_server : {"http:///index.htm", "http://", "HTTPS://:80/index.htm"}) {
    EXPECT_FALSE(Check(no_server));
    EXPECT_EQ(ui_.Messages().back(), std::string(no_server) + " is not a valid URL.");
  }
  EXPECT_FALSE(Check("mailto:x@y"));
  EXPECT_EQ(ui_.Messages().back(),
            "mailto:x@y is not a valid HTTP URL.\r\nYou must provide a valid HTTP URL to access "
            "your web page: index.htm");
  EXPECT_TRUE(ui_.Questions().empty());
}

TEST_F(PageUrlTest, ServerWithPortIsNotAScheme) {
  EXPECT_TRUE(Check("localhost:8080/index.htm"));
  EXPECT_EQ(options_.page_url, "http://localhost:8080/index.htm");
  EXPECT_TRUE(ui_.calls.empty());
}

TEST_F(PageUrlTest, PathNotNamingThePageAsks) {
  ui_.answers = {false, true};
  EXPECT_FALSE(Check("http://example.com/"));
  EXPECT_EQ(ui_.Questions().back(),
            "Are you sure http://example.com/\r\nis the actual URL for index.htm?");
  EXPECT_TRUE(Check("https://example.com/Index.htm"));  // case matters: asked again
  EXPECT_EQ(ui_.Questions().size(), 2u);
}

}  // namespace
}  // namespace sonavelt::run
