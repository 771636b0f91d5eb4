#include "html/page_edit.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace sonavelt::html {
namespace {

const AppletBlockTexts kBlocks = {
    "<br><center>\r\n<applet code=SonaveltRandomEventBackground w=1>A</applet>\r\n</center><br>\r\n",
    "<applet code=SonaveltRandomEventBackground w=1>A</applet>"};
// What a second run with other options would write.
const AppletBlockTexts kOtherBlocks = {
    "<br><center>\r\n<applet code=SonaveltRandomEventBackground w=2>B</applet>\r\n</center><br>\r\n",
    "<applet code=SonaveltRandomEventBackground w=2>B</applet>"};
const PageNames kNames = {"/home/u/site/index.htm", "index.htm"};

size_t Count(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

PageEditResult Edit(std::string_view page, const AppletBlockTexts& blocks = kBlocks) {
  return ProcessPage(page, kNames, blocks);
}

// The edited text of a page that must be accepted.
std::string Edited(std::string_view page, const AppletBlockTexts& blocks = kBlocks) {
  PageEditResult result = Edit(page, blocks);
  EXPECT_EQ(result.outcome, PageEditOutcome::kEdited) << result.message;
  return result.edited_page;
}

TEST(ProcessPageTest, LowerCaseBodyWithColourNameIsKept) {
  PageEditResult r = Edit("<html><body bgcolor=red text=blue>Hi\xE9</body></html>");
  ASSERT_EQ(r.outcome, PageEditOutcome::kEdited);
  EXPECT_EQ(r.page_colour, "RED");
  EXPECT_EQ(r.body_tag, "<body bgcolor=red text=blue>");
  EXPECT_EQ(r.edited_page,
            "<html><body bgcolor=red text=blue>Hi\xE9" + kBlocks.first_insert + "</body></html>");
  EXPECT_EQ(r.block.offset, 37u);
  EXPECT_EQ(r.block.length, kBlocks.first_insert.size());
  EXPECT_FALSE(r.replaced_earlier_block);
}

TEST(ProcessPageTest, BodyWithoutColourTurnsWhite) {
  PageEditResult r = Edit("<HTML><BODY background='img/Back.gif'>\r\nHi\r\n</BODY></HTML>");
  ASSERT_EQ(r.outcome, PageEditOutcome::kEdited);
  EXPECT_EQ(r.page_colour, "#FFFFFF");
  EXPECT_EQ(r.background_image, "img/Back.gif");
  EXPECT_EQ(r.edited_page, "<HTML><BODY background='img/Back.gif' BGCOLOR=\"#FFFFFF\">\r\nHi\r\n" +
                               kBlocks.first_insert + "</BODY></HTML>");
  // Attributes on lines of their own.
  EXPECT_EQ(Edit("<BODY\r\n  BGCOLOR=red\r\n\ttext=blue>x</BODY>").page_colour, "RED");
  EXPECT_EQ(Edited("<BODY>\r\n</BODY>"),
            "<BODY BGCOLOR=\"#FFFFFF\">\r\n" + kBlocks.first_insert + "</BODY>");
}

TEST(ProcessPageTest, PageWithoutBodyGetsOne) {
  // After </HEAD>, with BODY and HTML closed at the end.
  EXPECT_EQ(Edited("<HTML><HEAD><TITLE>t</TITLE></HEAD>\r\ntext"),
            "<HTML><HEAD><TITLE>t</TITLE></HEAD>\r\n<BODY BGCOLOR=\"#FFFFFF\">\r\ntext\r\n" +
                kBlocks.first_insert + "</BODY>\r\n</HTML>");
  // Only <HTML></HTML>: BODY right after the start tag, closed right before the end tag.
  EXPECT_EQ(Edited("<HTML></HTML>"),
            "<HTML>\r\n<BODY BGCOLOR=\"#FFFFFF\">\r\n" + kBlocks.first_insert + "</BODY>\r\n</HTML>");
  // </TITLE> when there is no </HEAD>; </HEAD> wins over </TITLE>.
  EXPECT_EQ(Edited("<title>t</title>x</html>"),
            "<title>t</title>\r\n<BODY BGCOLOR=\"#FFFFFF\">x\r\n" + kBlocks.first_insert +
                "</BODY>\r\n</html>");
  EXPECT_EQ(Edited("<title>t</title><head></head>x").find("</head>\r\n<BODY"), 22u);
}

TEST(ProcessPageTest, RefusalsLeaveNothingToWrite) {
  PageEditResult text = ProcessPage("Just notes, <b>bold</b>.", {"/tmp/notes.txt", "notes.txt"}, kBlocks);
  EXPECT_EQ(text.outcome, PageEditOutcome::kNotHtml);
  EXPECT_EQ(text.message, "/tmp/notes.txt is not an HTML file!\r\n\r\nPlease select an HTML file.");
  EXPECT_TRUE(text.edited_page.empty());

  PageEditResult no_equals = Edit("<HTML><BODY BGCOLOR>x</BODY></HTML>");
  EXPECT_EQ(no_equals.outcome, PageEditOutcome::kBodyTagError);
  EXPECT_EQ(no_equals.message,
            "The body tag in index.htm is not following the HTML standards!\r\n"
            "<BODY BGCOLOR>\r\n"
            "should be in the following format:\r\n"
            "<BODY BGCOLOR=\"......\" text=\"......\" background=\"......\" ...>\r\n\r\n"
            "Please make corrections and run the Sonavelt again.");
  EXPECT_TRUE(no_equals.edited_page.empty());

  EXPECT_EQ(Edit("<BODY BGCOLOR=\"#FFFFFF>x</BODY>").outcome, PageEditOutcome::kBodyTagError);
  // Also when a quote further down closes what the BODY tag left open.
  PageEditResult later_quote =
      Edit("<HTML><BODY BGCOLOR=\"#FFFFFF>\r\n<P class=\"x\">Hi</P></BODY></HTML>");
  EXPECT_EQ(later_quote.outcome, PageEditOutcome::kBodyTagError);
  EXPECT_NE(later_quote.message.find("standards!\r\n<BODY BGCOLOR=\"#FFFFFF>\r\nshould be"),
            std::string::npos)
      << later_quote.message;
  // A malformed BACKGROUND is no error: there is just no image.
  PageEditResult image = Edit("<BODY BGCOLOR=red BACKGROUND>x</BODY>");
  EXPECT_EQ(image.outcome, PageEditOutcome::kEdited);
  EXPECT_EQ(image.background_image, "");
}

TEST(ProcessPageTest, UnclosedBodyTagIsRefusedAndShownToItsLineEnd) {
  PageEditResult r = Edit("<HTML><BODY BGCOLOR=red\r\ntext and no bracket after");
  EXPECT_EQ(r.outcome, PageEditOutcome::kBodyTagError);
  EXPECT_NE(r.message.find("standards!\r\n<BODY BGCOLOR=red\r\nshould be"), std::string::npos);
}

TEST(ProcessPageTest, SecondRunReplacesTheBlockInPlace) {
  const std::string page = "<HTML><BODY BGCOLOR=\"#00009C\">\r\n<P>Hello</P>\r\n</BODY>\r\n</HTML>\r\n";
  std::string first = Edited(page);
  PageEditResult second = Edit(first, kOtherBlocks);
  ASSERT_EQ(second.outcome, PageEditOutcome::kEdited);
  EXPECT_TRUE(second.replaced_earlier_block);
  std::string expected = first;
  expected.replace(expected.find(kBlocks.replacement), kBlocks.replacement.size(),
                   kOtherBlocks.replacement);
  EXPECT_EQ(second.edited_page, expected);
  EXPECT_EQ(Count(second.edited_page, "<br><center>"), 1u);
  EXPECT_EQ(Count(second.edited_page, "</center><br>"), 1u);
  EXPECT_EQ(Count(second.edited_page, "SonaveltRandomEventBackground"), 1u);
  EXPECT_EQ(second.edited_page.substr(second.block.offset, second.block.length),
            kOtherBlocks.replacement);
  // And the same options again give the first run's page back.
  EXPECT_EQ(Edited(second.edited_page), first);
}

TEST(ProcessPageTest, RunningTwiceIsRunningOnce) {
  const char* pages[] = {
      "<HTML><HEAD><TITLE>t</TITLE></HEAD>\r\ntext",
      "<HTML></HTML>",
      "<body>",
      "<HTML><BODY>no end tags",
      "<HTML><BODY>body not closed</HTML>\r\n",
      "<html><body bgcolor='#ffffff'>x</body></html>",
  };
  for (const char* page : pages) {
    SCOPED_TRACE(page);
    std::string once = Edited(page);
    EXPECT_EQ(Edited(once), once);
  }
}

TEST(ProcessPageTest, BlockBeforeTheBodyTagIsReplacedWhileTheTagGrows) {
  // The earlier block sits before a BODY tag that gets its BGCOLOR now: both
  // edits land where they belong.
  const std::string page = "<HEAD>" + kBlocks.replacement + "</HEAD><BODY>x</BODY>";
  EXPECT_EQ(Edited(page, kOtherBlocks),
            "<HEAD>" + kOtherBlocks.replacement + "</HEAD><BODY BGCOLOR=\"#FFFFFF\">x</BODY>");
}

TEST(ProcessPageTest, BlockRightBesideTheBodyTagIsReplacedWhereItStands) {
  // Touching the BODY start tag is not overlapping it: the earlier block is
  // the one replaced, and no second block joins the page.
  const std::string& old_block = kBlocks.replacement;
  const std::string& new_block = kOtherBlocks.replacement;
  EXPECT_EQ(Edited(old_block + "<BODY>x</BODY>", kOtherBlocks),
            new_block + "<BODY BGCOLOR=\"#FFFFFF\">x</BODY>");
  EXPECT_EQ(Edited("<BODY bgcolor=red>" + old_block + "x</BODY>", kOtherBlocks),
            "<BODY bgcolor=red>" + new_block + "x</BODY>");
}

TEST(ProcessPageTest, BgcolorHoldingALineBreakIsABodyTagError) {
  for (const char* page :
       {"<BODY BGCOLOR=\"#FF\nFFFF\">x</BODY>", "<BODY BGCOLOR='#FF\rFFFF'>x</BODY>"}) {
    SCOPED_TRACE(page);
    EXPECT_EQ(Edit(page).outcome, PageEditOutcome::kBodyTagError);
  }
}

TEST(ProcessPageTest, BodyNeverClosedGetsTheBlockInsideTheBody) {
  EXPECT_EQ(Edited("<HTML><BODY bgcolor=red>text</HTML>"),
            "<HTML><BODY bgcolor=red>text" + kBlocks.first_insert + "</HTML>");
  EXPECT_EQ(Edited("<BODY bgcolor=red>text"), "<BODY bgcolor=red>text" + kBlocks.first_insert);
  // A "</BODY" before the BODY start tag (in a script of the head) is not its end.
  EXPECT_EQ(Edited("<script>w('</body>')</script><BODY bgcolor=red>x</BODY>"),
            "<script>w('</body>')</script><BODY bgcolor=red>x" + kBlocks.first_insert + "</BODY>");
}

TEST(ProcessPageTest, OtherAppletsAreLeftAlone) {
  const std::string own = "<APPLET code=Clock.class width=50 height=50>\r\n</APPLET>";
  const std::string page = "<BODY bgcolor=red>" + own + "<P>" + own + "</BODY>";
  std::string first = Edited(page);
  EXPECT_EQ(first, "<BODY bgcolor=red>" + own + "<P>" + own + kBlocks.first_insert + "</BODY>");
  // Our block is found behind them and replaced; theirs stay.
  std::string second = Edited(first, kOtherBlocks);
  EXPECT_EQ(second, "<BODY bgcolor=red>" + own + "<P>" + own + "<br><center>\r\n" +
                        kOtherBlocks.replacement + "\r\n</center><br>\r\n</BODY>");
}

TEST(ProcessPageTest, DamagedEarlierBlockIsReplacedWithoutLosingText) {
  // An earlier block whose end tag was lost: its start tag and parameters go,
  // the text after them stays, and the page then holds a whole block.
  const std::string page =
      "<BODY bgcolor=red><br><center>\r\n<applet code=SonaveltRandomEventBackground>\r\n"
      "<param name=random value=\"Yes\">\r\nUser words\r\n</center><br>\r\n</BODY>";
  std::string first = Edited(page);
  EXPECT_EQ(first, "<BODY bgcolor=red><br><center>\r\n" + kBlocks.replacement +
                       "\r\nUser words\r\n</center><br>\r\n</BODY>");
  EXPECT_EQ(Edited(first), first);
}

}  // namespace
}  // namespace sonavelt::html

namespace sonavelt::html {
namespace {

TEST(ProcessPageTest, MarkupInScriptsCommentsAndRawTextIsLeftAlone) {
  // What a browser reads as text stays text: the edits go to the real tags.
  const char* wrappers[][2] = {
      {"<script>document.write(\"<body>hi</body>\"); var f = \"</body>\";</script>", ""},
      {"<!-- <body bgcolor=red> old </body> -->", ""},
      {"<noframes><body>Your browser shows no frames.</body></noframes>", ""},
      {"<template><body>t</body></template>", ""},
      {"", "<textarea><body>a</body></textarea>"},
      {"", "<script>var footer = \"</body>\";</script>"},
      {"", "<!-- </body> -->"},
  };
  for (const auto& w : wrappers) {
    SCOPED_TRACE(std::string(w[0]) + w[1]);
    const std::string page =
        std::string("<html><head>") + w[0] + "</head><body text=blue>x" + w[1] + "</body></html>";
    PageEditResult r = Edit(page);
    ASSERT_EQ(r.outcome, PageEditOutcome::kEdited);
    std::string expected = page;
    expected.insert(expected.rfind("</body>"), kBlocks.first_insert);
    expected.insert(expected.find("<body text=blue") + 15, " BGCOLOR=\"#FFFFFF\"");
    EXPECT_EQ(r.edited_page, expected);
    EXPECT_EQ(r.body_edit, BodyEdit::kBgcolorAdded);
    EXPECT_EQ(Edited(r.edited_page), r.edited_page);
  }
  // Without a real BODY tag the page gets one, however many are in its script.
  EXPECT_EQ(Edited("<html><head><script>w('<body>')</script></head>x</html>"),
            "<html><head><script>w('<body>')</script></head>\r\n<BODY BGCOLOR=\"#FFFFFF\">x\r\n" +
                kBlocks.first_insert + "</BODY>\r\n</html>");
}

TEST(ProcessPageTest, PageEndingInRawTextHasNoPlaceForTheBlock) {
  struct Case {
    const char* page;
    const char* says;
  };
  const Case cases[] = {
      {"<html><body>x<textarea>notes", "a <textarea> element that is never closed"},
      {"<html><body>x<!-- old", "a comment (\"<!--\") that is never closed"},
      {"<html><body>x<script>f()", "a <script> element"},
      {"<title>t</title>x<p title=\"y", "a tag that is never closed"},
      {"<html><body><plaintext>x</body>", "<plaintext>"},
      {"<html><body><template>x", "a <template> element"},
  };
  for (const Case& c : cases) {
    PageEditResult r = Edit(c.page);
    EXPECT_EQ(r.outcome, PageEditOutcome::kBodyTagError) << c.page;
    EXPECT_NE(r.message.find(c.says), std::string::npos) << r.message;
    EXPECT_EQ(r.message.find("Adding sounds to index.htm: the page has no </BODY> tag and ends"),
              0u)
        << r.message;
  }
  // A closed body is fine whatever follows it.
  EXPECT_EQ(Edit("<body>x</body><!-- trailing").outcome, PageEditOutcome::kEdited);
}

TEST(ProcessPageTest, FramesetPagesAreRefusedNamingTheirFrames) {
  PageEditResult r = Edit(
      "<html><head><title>Site</title></head>\r\n<frameset cols=\"25%,75%\">\r\n"
      "<frame src=\"menu.htm\"><frame src=main.htm>\r\n"
      "<noframes><body bgcolor=white>Use a browser with frames.</body></noframes>\r\n"
      "</frameset></html>");
  EXPECT_EQ(r.outcome, PageEditOutcome::kFrameset);
  EXPECT_EQ(r.message,
            "Adding sounds to /home/u/site/index.htm: it is a frameset page, which shows other "
            "pages in its frames and has no body of its own for the sound player.\r\n\r\n"
            "Please select one of the pages its frames show instead:\r\n\tmenu.htm\r\n\tmain.htm");
  EXPECT_TRUE(r.edited_page.empty());
}

TEST(ProcessPageTest, Utf16PagesAreEditedInTheirOwnEncoding) {
  // "<html><body>é 🔔</body></html>" in both byte orders.
  const std::string utf8 = "<html><body>\xC3\xA9 \xF0\x9F\x94\x94</body></html>";
  for (bool little : {true, false}) {
    std::string page = little ? "\xFF\xFE" : "\xFE\xFF";
    auto add = [&](unsigned unit) {
      char hi = static_cast<char>(unit >> 8), lo = static_cast<char>(unit & 0xFF);
      page += little ? std::string{lo, hi} : std::string{hi, lo};
    };
    for (char c : std::string_view("<html><body>")) add(static_cast<unsigned char>(c));
    add(0xE9), add(' '), add(0xD83D), add(0xDD14);
    for (char c : std::string_view("</body></html>")) add(static_cast<unsigned char>(c));

    PageEditResult r = Edit(page);
    ASSERT_EQ(r.outcome, PageEditOutcome::kEdited) << r.message;
    EXPECT_EQ(r.body_tag, "<body BGCOLOR=\"#FFFFFF\">");
    // Every byte of the page is still there, in order, around the edits.
    const std::string narrow = Edited(utf8);
    ASSERT_EQ(r.edited_page.size(), 2 + 2 * (narrow.size() - 3));  // é: 2 bytes, 1 unit; 🔔: 4, 2
    EXPECT_EQ(r.edited_page.substr(0, 2 + 2 * 11), page.substr(0, 2 + 2 * 11));  // "<html><body"
    EXPECT_EQ(r.edited_page.substr(r.edited_page.size() - 2 * 14), page.substr(page.size() - 2 * 14));
    EXPECT_EQ(r.block.length, 2 * kBlocks.first_insert.size());
    EXPECT_EQ(r.block.offset, r.edited_page.size() - 2 * 14 - r.block.length);
    EXPECT_EQ(Edited(r.edited_page), r.edited_page);
  }
  // One that ends inside a unit cannot be read.
  PageEditResult odd = Edit(std::string_view("\xFF\xFE<\0b", 5));
  EXPECT_EQ(odd.outcome, PageEditOutcome::kNotHtml);
  EXPECT_NE(odd.message.find("UTF-16"), std::string::npos);
}

}  // namespace
}  // namespace sonavelt::html
