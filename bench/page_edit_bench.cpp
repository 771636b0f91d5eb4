// Times the page edit on a large page: 50 MB of text with thousands of
// applets of the page's own (some without end tags), scripts that write
// markup, comments and textareas, the sound block at the end, against the
// time it takes just to copy the page once. The edit should
// cost a small multiple of the copy, whatever the page holds.
//
// Usage: page_edit_bench [megabytes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "html/page_edit.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

std::string MakePage(size_t bytes) {
  std::string page = "<HTML><HEAD><TITLE>big</TITLE></HEAD>\r\n<BODY bgcolor=\"#ffcc00\">\r\n";
  const std::string paragraph =
      "<P>Some text of the page, with <b>markup</b> and a > or two > in it.</P>\r\n";
  const std::string own = "<APPLET code=Clock.class width=9 height=9><param name=a value=b></APPLET>\r\n";
  const std::string unclosed = "<APPLET code=Ticker.class width=9 height=9>\r\n";
  const std::string script =
      "<script>document.write(\"<body>\" + x + \"</body>\"); if (a <!--b) c();</script>\r\n";
  const std::string others = "<!-- </body> --><textarea rows=2></body></textarea>\r\n";
  size_t n = 0;
  while (page.size() < bytes) {
    page += paragraph;
    if (++n % 20 == 0) page += (n % 60 == 0) ? unclosed : own;
    if (n % 25 == 0) page += (n % 50 == 0) ? script : others;
  }
  page += "</BODY></HTML>\r\n";
  return page;
}

}  // namespace

int main(int argc, char** argv) {
  size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 50;
  const std::string page = MakePage(megabytes << 20);
  const sonavelt::html::AppletBlockTexts blocks = {
      "<br><center>\r\n<applet code=SonaveltRandomEventBackground>x</applet>\r\n</center><br>\r\n",
      "<applet code=SonaveltRandomEventBackground>x</applet>"};

  Clock::time_point start = Clock::now();
  std::string copy = page;
  double copy_seconds = Seconds(start);

  start = Clock::now();
  sonavelt::html::PageEditResult first = sonavelt::html::ProcessPage(page, {}, blocks);
  double first_seconds = Seconds(start);

  start = Clock::now();
  sonavelt::html::PageEditResult second = sonavelt::html::ProcessPage(first.edited_page, {}, blocks);
  double second_seconds = Seconds(start);

  bool same = second.edited_page == first.edited_page && copy.size() == page.size();
  std::printf("page %zu bytes: copy %.3f s, first edit %.3f s, second edit %.3f s%s\n",
              page.size(), copy_seconds, first_seconds, second_seconds,
              same ? "" : " (second run changed the page!)");
  return same ? 0 : 1;
}
