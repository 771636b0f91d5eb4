#include "html/page_remove.h"

#include <gtest/gtest.h>

#include "html/utf16_text.h"

namespace sonavelt::html {
namespace {

const AppletBlockTexts kBlocks = {
    std::string(kWrapperStart) + "<applet code=SonaveltRandomEventBackground>A</applet>" +
        std::string(kWrapperEnd),
    "<applet code=SonaveltRandomEventBackground>A</applet>"};
const AppletBlockTexts kXhtmlBlocks = {
    std::string(kXhtmlWrapperStart) + "<applet code=\"SonaveltRandomEventBackground\">A</applet>" +
        std::string(kXhtmlWrapperEnd),
    "<applet code=\"SonaveltRandomEventBackground\">A</applet>"};
const PageNames kNames = {"/home/u/site/index.htm", "index.htm"};

// `page` in UTF-16 with its byte-order mark.
std::string Utf16(std::string_view page, Utf16Order order) { return Utf8ToUtf16Page(page, order); }

TEST(RemovePlayerTest, FirstRunIsUndoneByteForByte) {
  struct Case {
    const char* page;
    BodyEdit edit;
  };
  const Case cases[] = {
      {"<html><body bgcolor=red>x</body></html>\r\n", BodyEdit::kNone},
      {"<HTML><BODY text=blue>\r\nHi\r\n</BODY></HTML>", BodyEdit::kBgcolorAdded},
      {"<body/>x", BodyEdit::kBgcolorAdded},
      {"<HTML><HEAD><TITLE>t</TITLE></HEAD>\r\ntext</HTML>\r\n", BodyEdit::kBodyInserted},
      {"<html><head></head>x</body></html>", BodyEdit::kBodyInserted},  // </body> without <body>
      {"<title>t</title>text", BodyEdit::kBodyAndHtmlEndInserted},
      {"<HTML></HTML>", BodyEdit::kBodyInserted},
      {"<script>w('<body>')</script><html><body>x<textarea></body></textarea></body>",
       BodyEdit::kBgcolorAdded},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.page);
    for (const AppletBlockTexts& blocks : {kBlocks, kXhtmlBlocks}) {
      PageEditResult edited = ProcessPage(c.page, kNames, blocks);
      ASSERT_EQ(edited.outcome, PageEditOutcome::kEdited) << edited.message;
      EXPECT_EQ(edited.body_edit, c.edit);
      PageRemoveResult removed = RemovePlayer(edited.edited_page, edited.body_edit, kNames);
      ASSERT_EQ(removed.outcome, PageRemoveResult::Outcome::kRemoved);
      EXPECT_EQ(removed.page, c.page);
      // A second run that replaced the block changes nothing of that.
      PageEditResult again = ProcessPage(edited.edited_page, kNames, blocks);
      EXPECT_EQ(RemovePlayer(again.edited_page, edited.body_edit, kNames).page, c.page);
    }
    for (Utf16Order order : {Utf16Order::kLittleEndian, Utf16Order::kBigEndian}) {
      std::string page = Utf16(std::string(c.page) + "\xF0\x9F\x94\x94 \xC3\xA9", order);
      PageEditResult edited = ProcessPage(page, kNames, kBlocks);
      ASSERT_EQ(edited.outcome, PageEditOutcome::kEdited) << edited.message;
      EXPECT_EQ(RemovePlayer(edited.edited_page, edited.body_edit, kNames).page, page);
    }
  }
}

TEST(RemovePlayerTest, WhatTheUserChangedStays) {
  const std::string page = "<HTML><BODY>\r\nHi\r\n</BODY></HTML>";
  std::string edited = ProcessPage(page, kNames, kBlocks).edited_page;
  // The user set a colour of their own and dropped the centring lines.
  std::string changed = edited;
  changed.replace(changed.find("#FFFFFF"), 7, "#00FF00");
  changed.erase(changed.find(kWrapperEnd), kWrapperEnd.size());
  PageRemoveResult removed = RemovePlayer(changed, BodyEdit::kBgcolorAdded, kNames);
  EXPECT_EQ(removed.page, "<HTML><BODY BGCOLOR=\"#00FF00\">\r\nHi\r\n<br><center>\r\n</BODY></HTML>");
}

TEST(RemovePlayerTest, PagesWithoutABlockAreRefused) {
  const char* pages[] = {
      "<html><body>x</body></html>",
      "<body><!-- <applet code=SonaveltRandomEventBackground></applet> -->",
      "<body><script>'<applet code=SonaveltRandomEventBackground></applet>'</script>",
  };
  for (const char* page : pages) {
    PageRemoveResult removed = RemovePlayer(page, BodyEdit::kNone, kNames);
    EXPECT_EQ(removed.outcome, PageRemoveResult::Outcome::kNoBlock) << page;
    EXPECT_EQ(removed.message,
              "Removing the sounds from /home/u/site/index.htm: the page carries no sound player "
              "block, so there is nothing to remove.");
  }
  EXPECT_EQ(RemovePlayer(std::string_view("\xFF\xFE<", 3), BodyEdit::kNone, kNames).outcome,
            PageRemoveResult::Outcome::kUnreadable);
}

TEST(BodyEditNameTest, NamesGoBothWays) {
  for (BodyEdit edit : {BodyEdit::kNone, BodyEdit::kBgcolorAdded, BodyEdit::kBodyInserted,
                        BodyEdit::kBodyAndHtmlEndInserted})
    EXPECT_EQ(BodyEditFromName(BodyEditName(edit)), edit);
  EXPECT_EQ(BodyEditName(BodyEdit::kBodyAndHtmlEndInserted), "body-html");
  EXPECT_FALSE(BodyEditFromName("Body"));
}

}  // namespace
}  // namespace sonavelt::html
