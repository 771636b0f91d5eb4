#include "run/applet_block.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace sonavelt::run {
namespace {

TEST(ResourceNameTest, EverythingFromTheLastDotGoes) {
  EXPECT_EQ(ResourceBaseName("index.htm"), "index");
  EXPECT_EQ(ResourceBaseName("readme"), "readme");
  EXPECT_EQ(ResourceBaseName("my.page.html"), "my.page");
  EXPECT_EQ(ResourceFileName("index.htm"), "index.res");
  EXPECT_EQ(ResourceFileName("readme"), "readme.res");
  EXPECT_EQ(ResourceFileName("my.page.html"), "my.page.res");
}

TEST(AppletBlockTest, VisibleRandomWithWrappersLineByLine) {
  RunOptions options;
  options.invisible_applet = false;
  options.random_order = true;
  EXPECT_EQ(AppletBlock(options, "index", true),
            "<br><center>\r\n"
            "<applet code=SonaveltRandomEventBackground width=\"190\" height=\"20\">\r\n"
            "<param name=random value=\"Yes\">\r\n"
            "<param name=resource value=\"index\">\r\n"
            "You will hear sounds if you use Java-enabled browsers.\r\n"
            "</applet>\r\n"
            "</center><br>\r\n");
}

TEST(AppletBlockTest, InvisibleInOrderWithoutWrappers) {
  RunOptions options;
  options.invisible_applet = true;
  options.random_order = false;
  EXPECT_EQ(AppletBlock(options, "my.page", false),
            "<applet code=SonaveltRandomEventBackground width=\"2\" height=\"2\">\r\n"
            "<param name=random value=\"No\">\r\n"
            "<param name=resource value=\"my.page\">\r\n"
            "You will hear sounds if you use Java-enabled browsers.\r\n"
            "</applet>");
}

TEST(AppletBlockTest, BrowserPlayerLineSitsBeforeTheFallbackSentence) {
  RunOptions options;
  options.browser_player = true;
  EXPECT_EQ(AppletBlock(options, "index", true),
            "<br><center>\r\n"
            "<applet code=SonaveltRandomEventBackground width=\"190\" height=\"20\">\r\n"
            "<param name=random value=\"Yes\">\r\n"
            "<param name=resource value=\"index\">\r\n"
            "<script src=\"sonavelt-player.js\" data-resource=\"index\"></script>\r\n"
            "You will hear sounds if you use Java-enabled browsers.\r\n"
            "</applet>\r\n"
            "</center><br>\r\n");
  // The script fetches NAME + ".res" as a relative URL: encoded like the parameter.
  std::string block = AppletBlock(options, "my page", false);
  EXPECT_NE(block.find("<param name=resource value=\"my%20page\">\r\n"
                       "<script src=\"sonavelt-player.js\" data-resource=\"my%20page\"></script>"
                       "\r\nYou will hear"),
            std::string::npos);
}

TEST(AppletBlockTest, NameThatWouldBreakTheAttributeIsEncoded) {
  std::string block = AppletBlock(RunOptions{}, "say \"hi\" caf\xE9", false);
  EXPECT_NE(block.find("value=\"say%20%22hi%22%20caf%E9\">"), std::string::npos);
}

TEST(AppletBlockTest, PageEditFindsAndReplacesItsOwnBlock) {
  EXPECT_EQ(UpperCopy(kAppletClassName), html::kAppletMarker);
  RunOptions first;
  RunOptions second;
  second.invisible_applet = true;
  second.random_order = false;
  const std::string page = "<HTML><BODY BGCOLOR=red>\r\n<P>Hi</P>\r\n</BODY></HTML>";
  html::PageEditResult once = html::ProcessPage(page, {}, AppletBlocks(first, "index"));
  ASSERT_EQ(once.outcome, html::PageEditOutcome::kEdited);
  html::PageEditResult twice = html::ProcessPage(once.edited_page, {}, AppletBlocks(second, "index"));
  ASSERT_TRUE(twice.replaced_earlier_block);
  EXPECT_EQ(twice.edited_page, "<HTML><BODY BGCOLOR=red>\r\n<P>Hi</P>\r\n" +
                                   AppletBlock(second, "index", true) + "</BODY></HTML>");
}

TEST(AppletBlockTest, SwitchingTheBrowserPlayerReplacesTheWholeBlock) {
  const std::string page = "<HTML><BODY BGCOLOR=red>\r\n<P>Hi</P>\r\n</BODY></HTML>";
  auto with = [](bool player) {
    RunOptions options;
    options.browser_player = player;
    return options;
  };
  // off -> on -> on -> off -> on: after each run the page is the original
  // with exactly the last run's block, its wrappers once.
  std::string current = page;
  for (bool player : {false, true, true, false, true}) {
    html::PageEditResult result =
        html::ProcessPage(current, {}, AppletBlocks(with(player), "index"));
    ASSERT_EQ(result.outcome, html::PageEditOutcome::kEdited);
    current = result.edited_page;
    EXPECT_EQ(current, "<HTML><BODY BGCOLOR=red>\r\n<P>Hi</P>\r\n" +
                           AppletBlock(with(player), "index", true) + "</BODY></HTML>")
        << "player " << player;
  }
}

}  // namespace
}  // namespace sonavelt::run
