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

// Without the browser player: exactly the described block.
TEST(AppletBlockTest, VisibleRandomWithWrappersLineByLine) {
  RunOptions options;
  options.browser_player = false;
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
  options.browser_player = false;
  options.invisible_applet = true;
  options.random_order = false;
  EXPECT_EQ(AppletBlock(options, "my.page", false),
            "<applet code=SonaveltRandomEventBackground width=\"2\" height=\"2\">\r\n"
            "<param name=random value=\"No\">\r\n"
            "<param name=resource value=\"my.page\">\r\n"
            "You will hear sounds if you use Java-enabled browsers.\r\n"
            "</applet>");
}

TEST(AppletBlockTest, BrowserPlayerLinesSitBeforeTheFallbackSentence) {
  RunOptions options;
  options.browser_player = true;
  EXPECT_EQ(AppletBlock(options, "index", true),
            "<br><center>\r\n"
            "<applet code=SonaveltRandomEventBackground width=\"190\" height=\"20\">\r\n"
            "<param name=random value=\"Yes\">\r\n"
            "<param name=resource value=\"index\">\r\n"
            "<script src=\"index.sounds.js\"></script>\r\n"
            "<script src=\"sonavelt-player.js\" data-resource=\"index\"></script>\r\n"
            "You will hear sounds if you use Java-enabled browsers.\r\n"
            "</applet>\r\n"
            "</center><br>\r\n");
  // The script fetches NAME + ".res" as a relative URL: encoded like the parameter.
  options.player_position = PlayerPosition::kBottomRight;
  PageForm without_data;
  without_data.player_data = false;
  std::string block = AppletBlock(options, "my page", false, without_data);
  EXPECT_NE(block.find("<param name=resource value=\"my%20page\">\r\n"
                       "<script src=\"sonavelt-player.js\" data-resource=\"my%20page\" "
                       "data-position=\"bottom-right\"></script>\r\nYou will hear"),
            std::string::npos)
      << block;
}

TEST(AppletBlockTest, WithoutThePlayerTheBlockIsTheSameOnEveryPage) {
  RunOptions options;
  options.browser_player = false;
  PageForm base;
  base.base_href = true;
  EXPECT_EQ(AppletBlock(options, "index", true, base), AppletBlock(options, "index", true));
}

TEST(AppletBlockTest, XhtmlPageGetsAWellFormedBlock) {
  RunOptions options;
  options.invisible_applet = true;
  options.random_order = false;
  PageForm xhtml;
  xhtml.xhtml = true;
  EXPECT_EQ(AppletBlock(options, "index", true, xhtml),
            "<br/><center>\r\n"
            "<applet code=\"SonaveltRandomEventBackground\" width=\"2\" height=\"2\">\r\n"
            "<param name=\"random\" value=\"No\"/>\r\n"
            "<param name=\"resource\" value=\"index\"/>\r\n"
            "<script src=\"index.sounds.js\"></script>\r\n"
            "<script src=\"sonavelt-player.js\" data-resource=\"index\"></script>\r\n"
            "You will hear sounds if you use Java-enabled browsers.\r\n"
            "</applet>\r\n"
            "</center><br/>\r\n");
}

TEST(AppletBlockTest, BaseHrefPageLoadsThePlayerFromItsOwnAddressWithNothingInline) {
  struct Case {
    const char* page_url;
    const char* folder;  // what both addresses start with
  } cases[] = {
      {"http://example.com/site/index.htm?x=1#top", "http://example.com/site/"},
      {"HTTPS://example.com", "HTTPS://example.com/"},
      {"http://example.com/a b/\"<x>&'.htm", "http://example.com/a%20b/"},
      {"http://example.com/caf\xC3\xA9/p.htm", "http://example.com/caf%C3%A9/"},
      {"http://example.com/x\"onload=\"/p.htm", "http://example.com/x%22onload=%22/"},
      // No http(s) address: relative names, which play where the base
      // points at the page's own folder.
      {"", ""},
      {"ftp://example.com/p.htm", ""},
      {"file:/home/a/p.htm", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page_url);
    RunOptions options;
    options.page_url = c.page_url;
    options.player_position = PlayerPosition::kTopLeft;
    PageForm form;
    form.base_href = true;
    form.xhtml = true;
    const std::string block = AppletBlock(options, "it's", false, form);
    const std::string folder = c.folder;
    EXPECT_NE(block.find("<script src=\"" + folder + "it's.sounds.js\"></script>\r\n<script src=\"" +
                         folder + "sonavelt-player.js\" data-resource=\"it's\" "
                         "data-position=\"top-left\"></script>\r\n"),
              std::string::npos)
        << block;
    // Nothing inline: every script has a src and no body.
    EXPECT_EQ(block.find("<script>"), std::string::npos);
    EXPECT_EQ(block.find("<script data"), std::string::npos);
    EXPECT_EQ(block.find(" style="), std::string::npos);
  }
  // Without <base href> the page's address changes nothing.
  RunOptions options;
  options.page_url = "http://example.com/site/index.htm";
  EXPECT_EQ(AppletBlock(options, "index", false), AppletBlock(RunOptions{}, "index", false));
}

TEST(PageFormTest, ReadsXmlDeclarationNamespaceAndBaseHref) {
  EXPECT_FALSE(PageFormOf("<HTML><BODY></BODY></HTML>").xhtml);
  EXPECT_TRUE(PageFormOf("\xEF\xBB\xBF  <?xml version=\"1.0\"?>\n<html><body/></html>").xhtml);
  EXPECT_TRUE(PageFormOf("<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" \"x\">\n"
                         "<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\"><body></body></html>")
                  .xhtml);
  // The namespace in the text, not on the html tag, is not enough.
  EXPECT_FALSE(PageFormOf("<html><body><p>http://www.w3.org/1999/xhtml</p></body></html>").xhtml);

  EXPECT_TRUE(PageFormOf("<html><head><BASE HREF=\"http://example.com/x/\"></head>").base_href);
  EXPECT_TRUE(PageFormOf("<html><head><base target=_top href = '/'></head>").base_href);
  EXPECT_FALSE(PageFormOf("<html><head><base target=\"_blank\"></head>").base_href);
  EXPECT_FALSE(PageFormOf("<html><basefont size=3><a href=\"x\">").base_href);
  EXPECT_FALSE(PageFormOf("<html><body>database href=1</body>").base_href);
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
