// The page edit of a run over pages on disk, for page_edit_referee.py, which
// reads the edited pages with a standard HTML parser. For each page given it
// writes OUT_FOLDER/N.htm (the edited page, N counting from 0) and prints one
// line: N, the outcome, whether the page had a block already, whether a
// second run gives the same bytes, whether RemovePlayer gives back the page's
// bytes, the body edit, and the message's first line (tabs between them).
//
// Usage: page_edit_referee_driver OUT_FOLDER PAGE...
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "base/text.h"
#include "html/page_edit.h"
#include "html/page_remove.h"
#include "run/applet_block.h"

namespace {

using namespace sonavelt;

const char* OutcomeName(html::PageEditOutcome outcome) {
  switch (outcome) {
    case html::PageEditOutcome::kEdited: return "edited";
    case html::PageEditOutcome::kNotHtml: return "not-html";
    case html::PageEditOutcome::kBodyTagError: return "body-tag-error";
    case html::PageEditOutcome::kFrameset: return "frameset";
  }
  return "?";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s OUT_FOLDER PAGE...\n", argv[0]);
    return 2;
  }
  const std::string out_folder = argv[1];
  run::RunOptions options;  // the defaults: browser player on
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 1;
    }
    const std::string page((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::string file_name = FileNameOfPath(argv[i]);
    const html::PageNames names{argv[i], file_name};
    const html::AppletBlockTexts blocks =
        run::AppletBlocks(options, run::ResourceBaseName(file_name), run::PageFormOf(page));

    html::PageEditResult first = html::ProcessPage(page, names, blocks);
    bool second_same = false;
    bool removed_same = false;
    if (first.outcome == html::PageEditOutcome::kEdited) {
      second_same = html::ProcessPage(first.edited_page, names, blocks).edited_page ==
                    first.edited_page;
      html::PageRemoveResult removed = html::RemovePlayer(first.edited_page, first.body_edit, names);
      removed_same = removed.outcome == html::PageRemoveResult::Outcome::kRemoved &&
                     removed.page == page;
      std::ofstream out(out_folder + "/" + std::to_string(i - 2) + ".htm", std::ios::binary);
      out << first.edited_page;
    }
    std::string message = first.message.substr(0, first.message.find_first_of("\r\n"));
    std::printf("%d\t%s\t%d\t%d\t%d\t%s\t%s\n", i - 2, OutcomeName(first.outcome),
                first.replaced_earlier_block ? 1 : 0, second_same ? 1 : 0, removed_same ? 1 : 0,
                std::string(html::BodyEditName(first.body_edit)).c_str(), message.c_str());
  }
  return 0;
}
