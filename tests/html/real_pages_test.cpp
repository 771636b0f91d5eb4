// The page edit over pages that no one here wrote: the HTML documentation that
// packages install under /usr/share/doc. Skipped when there is none.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "base/text.h"
#include "html/page_edit.h"

namespace sonavelt::html {
namespace {

namespace fs = std::filesystem;

constexpr size_t kMaxPages = 400;
constexpr uintmax_t kMaxPageBytes = 4 << 20;

std::vector<fs::path> InstalledHtmlPages() {
  std::vector<fs::path> pages;
  std::error_code error;
  fs::recursive_directory_iterator it("/usr/share/doc", fs::directory_options::skip_permission_denied,
                                      error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (!it->is_regular_file(error)) continue;
    std::string ext = LowerCopy(it->path().extension().string());
    if (ext != ".html" && ext != ".htm") continue;
    if (it->file_size(error) > kMaxPageBytes) continue;
    pages.push_back(it->path());
  }
  std::sort(pages.begin(), pages.end());
  if (pages.size() > kMaxPages) pages.resize(kMaxPages);
  return pages;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Whether every byte of `original` is in `edited`, in order.
bool IsSubsequence(std::string_view original, std::string_view edited) {
  size_t at = 0;
  for (char c : edited) {
    if (at < original.size() && original[at] == c) ++at;
  }
  return at == original.size();
}

TEST(RealPagesTest, NothingLostAndSecondRunChangesNothing) {
  std::vector<fs::path> pages = InstalledHtmlPages();
  if (pages.empty()) GTEST_SKIP() << "no HTML pages under /usr/share/doc";
  const AppletBlockTexts blocks = {
      "<br><center>\r\n<applet code=SonaveltRandomEventBackground>A</applet>\r\n</center><br>\r\n",
      "<applet code=SonaveltRandomEventBackground>A</applet>"};
  const AppletBlockTexts other = {
      "<br><center>\r\n<applet code=SonaveltRandomEventBackground>BB</applet>\r\n</center><br>\r\n",
      "<applet code=SonaveltRandomEventBackground>BB</applet>"};
  size_t edited_count = 0;
  for (const fs::path& path : pages) {
    SCOPED_TRACE(path.string());
    const std::string original = ReadAll(path);
    PageEditResult first = ProcessPage(original, {path.string(), path.filename().string()}, blocks);
    if (first.outcome != PageEditOutcome::kEdited) {
      EXPECT_TRUE(first.edited_page.empty());
      continue;
    }
    ++edited_count;
    ASSERT_FALSE(first.replaced_earlier_block);
    std::string without_block = first.edited_page;
    without_block.erase(first.block.offset, first.block.length);
    EXPECT_TRUE(IsSubsequence(original, without_block));
    // The only other bytes added are a BGCOLOR or a whole BODY.
    EXPECT_LE(without_block.size() - original.size(), kDefaultBodyTag.size() + 30);

    PageEditResult second = ProcessPage(first.edited_page, {}, other);
    ASSERT_EQ(second.outcome, PageEditOutcome::kEdited);
    EXPECT_TRUE(second.replaced_earlier_block);
    PageEditResult third = ProcessPage(second.edited_page, {}, blocks);
    EXPECT_EQ(third.edited_page, first.edited_page);
  }
  EXPECT_GT(edited_count, 0u);
}

}  // namespace
}  // namespace sonavelt::html
