#include "html/page_structure.h"

#include <gtest/gtest.h>

#include "html/html_tokenizer.h"

namespace sonavelt::html {
namespace {

// The page's BODY start tag as ReadPageStructure finds it; "(none)" without.
std::string BodyTag(std::string_view page) {
  PageStructure s = ReadPageStructure(page);
  if (!s.body_tag) return "(none)";
  return std::string(page.substr(s.body_tag->offset, s.body_tag->length));
}

struct Case {
  const char* what;
  const char* page;
};

TEST(PageStructureTest, TextThatLooksLikeATagIsNoTag) {
  const Case cases[] = {
      {"script string", "<script>document.write(\"<body>hi</body>\")</script><body id=real>"},
      {"comment", "<!-- <body> --><body id=real>"},
      {"comment closed by --!>", "<!-- <body> --!><body id=real>"},
      {"abrupt empty comments", "<!--><!---><body id=real>"},
      {"bogus comment <?", "<?php echo 1 ?><body id=real>"},
      {"bogus comment <!x", "<!x <body>><body id=real>"},
      {"bogus comment </1", "</1 <body>><body id=real>"},
      {"CDATA outside svg is a bogus comment", "<![CDATA[ a > <body id=real> ]]>"},
      {"CDATA in svg", "<svg><![CDATA[ a > <body id=fake> ]]></svg><body id=real>"},
      {"quoted attribute", "<p title=\"<body id=fake>\"><body id=real>"},
      {"apostrophes", "<p title='a>b <body id=fake>'><body id=real>"},
      {"title", "<title><body id=fake></title><body id=real>"},
      {"textarea", "<textarea><body id=fake></textarea ><body id=real>"},
      {"style", "<style>p{}<body id=fake></STYLE><body id=real>"},
      {"style in svg is svg", "<svg><style><body id=real>"},
      {"xmp", "<xmp><body id=fake></xmp><body id=real>"},
      {"iframe", "<iframe><body id=fake></iframe><body id=real>"},
      {"noembed", "<noembed><body id=fake></noembed><body id=real>"},
      {"noframes", "<noframes><body id=fake></noframes><body id=real>"},
      {"noscript", "<noscript><body id=fake></noscript><body id=real>"},
      {"script end tag needs a delimiter",
       "<script></scripts><body id=fake></script/><body id=real>"},
      {"escaped script", "<script><!--</scriptx><body id=fake>--></script><body id=real>"},
      {"double-escaped script",
       "<script><!--<script></script><body id=fake></script><body id=real>"},
      {"escaped script ended by -->", "<script><!--></script><body id=real>"},
      {"template", "<template><body id=fake><template></template></template><body id=real>"},
      {"textarea in an svg integration point",
       "<svg><foreignObject><textarea><body id=fake></textarea></foreignObject></svg>"
       "<body id=real>"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BodyTag(c.page), "<body id=real>") << c.what;
  }
  EXPECT_EQ(BodyTag("<plaintext><body>"), "(none)");
  // "-->" (also the "<!-->" at once) ends the escaped part of a script, so a
  // "<script>" after it no longer hides the script's end.
  for (const char* comment : {"<!-- x -->", "<!-->"}) {
    EXPECT_EQ(BodyTag(std::string("<script>") + comment +
                      "<script></script><body id=first></script><body id=second>"),
              "<body id=first>")
        << comment;
  }
}

TEST(PageStructureTest, EndTagsAndAnchorsCountOnlyAsTags) {
  const std::string page =
      "<html><head><title>a</title><script>var f = \"</body></html>\";</script></head>"
      "<body><!-- </body> --><textarea></body></textarea>x</body></html>";
  PageStructure s = ReadPageStructure(page);
  ASSERT_TRUE(s.body_end && s.html_end);
  EXPECT_EQ(page.substr(*s.body_end), "</body></html>");
  EXPECT_EQ(page.substr(*s.html_end), "</html>");
  ASSERT_TRUE(s.head_end && s.title_end && s.html_start);
  EXPECT_EQ(page.substr(s.head_end->end, 6), "<body>");
  EXPECT_EQ(page.substr(s.title_end->end, 8), "<script>");
  EXPECT_EQ(s.html_start->end, 6u);
  EXPECT_EQ(s.end, TextEnd::kData);
}

TEST(PageStructureTest, WhereTheTextEnds) {
  struct End {
    const char* page;
    TextEnd end;
    const char* element;
  };
  const End ends[] = {
      {"<body>x", TextEnd::kData, ""},
      {"<body>x<", TextEnd::kData, ""},
      {"<body><textarea>x", TextEnd::kInRawText, "textarea"},
      {"<body><script>x<!--<script>", TextEnd::kInRawText, "script"},
      {"<body><!-- x", TextEnd::kInComment, ""},
      {"<body><!doctype", TextEnd::kInComment, ""},
      {"<body><? x", TextEnd::kInComment, ""},
      {"<body><p title=\"x>", TextEnd::kInTag, "p"},
      {"<body><plaintext></body>", TextEnd::kInPlaintext, "plaintext"},
      {"<body><template><p>", TextEnd::kInRawText, "template"},
  };
  for (const End& e : ends) {
    PageStructure s = ReadPageStructure(e.page);
    EXPECT_EQ(s.end, e.end) << e.page;
    if (e.end != TextEnd::kData) {
      EXPECT_EQ(s.end_element, e.element) << e.page;
    }
  }
  // A BODY tag cut off by the end of the page is remembered for its message.
  PageStructure cut = ReadPageStructure("<html><BODY BGCOLOR=\"red>x");
  EXPECT_FALSE(cut.body_tag);
  EXPECT_EQ(cut.unfinished_body_tag, 6u);
}

TEST(PageStructureTest, FramesetAsTheTreeBuilderDecides) {
  struct Frameset {
    const char* page;
    bool frameset;
  };
  const Frameset cases[] = {
      {"<html><head><title>t</title></head><frameset><frame src=a.htm></frameset>", true},
      {"<html><head><script>x</script></head>\n<!-- c -->\n<frameset>", true},
      {"<div><span></span></div><frameset>", true},  // the body had only empty elements
      {"<body><frameset>", false},
      {"<p>text</p><frameset>", false},
      {"<img src=x><frameset>", false},
      {"<input type=hidden><frameset>", true},
      {"<template><frameset></template><body>", false},
      {"<noframes><frameset></noframes><body>", false},
  };
  for (const Frameset& c : cases) EXPECT_EQ(ReadPageStructure(c.page).frameset, c.frameset) << c.page;

  PageStructure s = ReadPageStructure(
      "<frameset cols=\"20%,*\"><frame src=\"menu.htm\" name=m><frameset rows=2>"
      "<frame src='top.htm'><frame name=empty></frameset><noframes><frame src=no.htm>"
      "</noframes></frameset>");
  EXPECT_EQ(s.frame_sources, (std::vector<std::string>{"menu.htm", "top.htm"}));
}

TEST(PageStructureTest, MarkedAppletsAndPageMarkup) {
  const std::string ours = "<applet code=SonaveltRandomEventBackground>x</applet>";
  const std::string page = "<script>'" + ours + "'</script><!--" + ours + "--><body>" + ours;
  PageStructure s = ReadPageStructure(page);
  ASSERT_EQ(s.marked_applets.size(), 1u);
  EXPECT_EQ(s.marked_applets[0].element.offset, page.rfind(ours));

  EXPECT_FALSE(ReadPageMarkup("<script>x = '<base href=\"/a/\">'</script><body>").base_href);
  EXPECT_FALSE(ReadPageMarkup("<!-- <base href=\"/a/\"> --><body>").base_href);
  EXPECT_TRUE(ReadPageMarkup("<head><base target=_top><base HREF=\"/a/\">").base_href);
  EXPECT_FALSE(ReadPageMarkup("<head><base href><base href=\"/a/\">").base_href);
  EXPECT_TRUE(ReadPageMarkup("\xEF\xBB\xBF \r\n<?xml version=\"1.0\"?><html>").xhtml);
  EXPECT_TRUE(ReadPageMarkup("<html xmlns=\"http://www.w3.org/1999/xhtml\">").xhtml);
  EXPECT_FALSE(
      ReadPageMarkup("<!-- <html xmlns=\"http://www.w3.org/1999/xhtml\"> --><html>").xhtml);
  // UTF-16 (little-endian, with its mark): "<base href=x>"
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string_view("<base href=x>")) utf16 += std::string{c, '\0'};
  EXPECT_TRUE(ReadPageMarkup(utf16).base_href);
}

}  // namespace
}  // namespace sonavelt::html
