#include "run/settings_page.h"

#include <gtest/gtest.h>

namespace sonavelt::run {
namespace {

size_t Count(std::string_view text, std::string_view what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(SettingsPageTest, LocalPageWithoutUrlOneCombination) {
  PageTarget target;
  target.local_html_path = "/home/u/site/index.htm";
  RunOptions options;
  options.browser_player = false;
  ConvertedSounds sounds;
  sounds.entrance = {"/cache/hello.au"};
  sounds.exit = {"/snd/bye.au"};
  sounds.background = {"/cache/rain.au"};
  EXPECT_EQ(SettingsPage(target, options, 1, sounds),
            "<HTML>\r\n<HEAD>\r\n<TITLE>\r\n"
            "Random Web Event Sounds And Background Sounds On Your Web Page\r\n"
            "</TITLE>\r\n</HEAD>\r\n<BODY>\r\n<P>\r\n"
            "Settings used by Sonavelt:\r\n"
            "<P>\r\nHTML file: /home/u/site/index.htm\r\n<BR>\r\n"
            "HTTP URL: \r\n<BR>\r\n"
            "Sound control: visible\r\n<BR>\r\n"
            "Safety Key: not set\r\n<BR>\r\n"
            "Background Sounds: installed\r\n<BR>\r\n"
            "Entrance Event Sounds: turned on\r\n<BR>\r\n"
            "Exit Event Sounds: turned on\r\n<BR>\r\n"
            "Background Sounds: initially turned off\r\n<BR>\r\n"
            "Total number of Sound Combinations: 1"
            "\r\n<BR>\r\n<TABLE>\r\n<TR>"
            "<TD>\r\nSound Combination\r\n</TD>"
            "<TD>\r\nEntrance Event Sound\r\n</TD>"
            "<TD>\r\nExit Event Sound\r\n</TD>"
            "<TD>\r\nBackground Sound\r\n</TD>"
            "</TR><TR>"
            "<TD>\r\n1\r\n</TD><TD>\r\nhello.au\r\n</TD><TD>\r\nbye.au\r\n</TD>"
            "<TD>\r\nrain.au\r\n</TD></TR>"
            "\r\n</TABLE>\r\n</BODY>\r\n</HTML>");
}

TEST(SettingsPageTest, RemotePageWithUrlWithoutBackground) {
  PageTarget target;
  target.is_remote = true;
  target.remote_site = "ftp.example.org";
  target.remote_path = "/www/a&b.htm";
  RunOptions options;
  options.page_url = "http://example.org/a.htm";
  options.no_background = true;
  options.invisible_applet = true;
  options.safety_key = true;
  options.entrance_on = false;
  options.exit_on = false;
  options.background_initially_on = true;
  ConvertedSounds sounds;
  sounds.entrance = {"/c/e1.au", "/c/e<2>.au"};
  sounds.exit = {"/c/x1.au", "/c/x2.au"};
  std::string page = SettingsPage(target, options, 2, sounds);

  EXPECT_EQ(page.find("<TITLE>\r\nTest Random Web Event Sounds And Background Sounds On Your "
                      "Web Page\r\n</TITLE>\r\n</HEAD>\r\n<BODY>\r\n<P>\r\n"
                      "<A HREF=http://example.org/a.htm>\r\nTest Random Web Event Sounds And "
                      "Background Sounds On Your Web Page At \r\nhttp://example.org/a.htm\r\n"
                      "</A><P>\r\nSettings used by Sonavelt:\r\n"),
            16u);
  for (const char* line :
       {"HTML file: /www/a&amp;b.htm at: ftp.example.org\r\n", "HTTP URL: http://example.org/a.htm\r\n",
        "Sound control: invisible\r\n", "Safety Key: set\r\n", "Background Sounds: not installed\r\n",
        "Entrance Event Sounds: turned off\r\n", "Exit Event Sounds: turned off\r\n",
        "Background Sounds: initially turned on\r\n", "Combinations: 2\r\n"}) {
    EXPECT_NE(page.find(line), std::string::npos) << line;
  }
  // Three columns in the head and in every row; rows joined by </TR><TR>.
  EXPECT_EQ(Count(page, "<TD>"), 9u);
  EXPECT_EQ(Count(page, "Background Sound\r\n</TD>"), 0u);
  EXPECT_NE(page.find("x1.au\r\n</TD></TR><TR><TD>\r\n2\r\n</TD><TD>\r\ne&lt;2&gt;.au\r\n</TD>"
                      "<TD>\r\nx2.au\r\n</TD></TR>\r\n</TABLE>"),
            std::string::npos);
}

TEST(SettingsPageTest, BrowserPlaybackLineOnlyWhenInstalled) {
  PageTarget target;
  target.local_html_path = "/site/index.htm";
  ConvertedSounds sounds;
  sounds.entrance = {"/c/a.au"};
  sounds.exit = {"/c/b.au"};
  sounds.background = {"/c/c.au"};
  RunOptions options;
  options.browser_player = false;
  std::string without = SettingsPage(target, options, 1, sounds);
  EXPECT_EQ(without.find("Browser"), std::string::npos);
  options.browser_player = true;
  std::string with = SettingsPage(target, options, 1, sounds);
  size_t count = without.find("Total number of Sound Combinations: ");
  EXPECT_EQ(with, without.substr(0, count) +
                      "Browser Playback: installed for browsers without Java\r\n<BR>\r\n" +
                      without.substr(count));
}

TEST(SettingsPageTest, PathIsPerPageFileName) {
  EXPECT_EQ(SettingsPagePath("/home/u/.local/share/Sonavelt/HISTORY", "index.htm"),
            "/home/u/.local/share/Sonavelt/HISTORY/HIS_index.htm");
}

}  // namespace
}  // namespace sonavelt::run
