// A run whose files change under it: the page or a sound is deleted or
// replaced after the sounds were checked and before they are converted.
// The real run, audio library and files; only the moment is chosen by the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "run/audio_sound_work.h"
#include "run/pipeline_run.h"
#include "run/startup.h"
#include "tests/fault/fault_support.h"
#include "tests/support/recording_progress_panel.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/scratch_install.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::run {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

// The real sound work, with something done to the files right before the
// first conversion (after every check of the preparing phase).
class ChangingSoundWork : public SoundWork {
 public:
  ChangingSoundWork(SoundWork& real, std::function<void()> change)
      : real_(real), change_(std::move(change)) {}
  bool FileExists(const std::string& p) override { return real_.FileExists(p); }
  bool HasSoundExtension(const std::string& p) override { return real_.HasSoundExtension(p); }
  Status MissingFile(const std::string& p) override { return real_.MissingFile(p); }
  Status UnsupportedFile(const std::string& p) override { return real_.UnsupportedFile(p); }
  SoundCheck CheckSoundFile(const std::string& p, FormatAnswers& answers) override {
    return real_.CheckSoundFile(p, answers);
  }
  Status CheckNotEmpty(const std::string& p, uint64_t* length) override {
    return real_.CheckNotEmpty(p, length);
  }
  Status PlaceSound(const std::string& p, const std::string& target, const StopRequest& s,
                    const std::function<void(int)>& progress,
                    audio::DecodedSoundSink* decoded) override {
    if (change_) std::exchange(change_, nullptr)();
    return real_.PlaceSound(p, target, s, progress, decoded);
  }

 private:
  SoundWork& real_;
  std::function<void()> change_;
};

constexpr char kPage[] = "<html><head><title>t</title></head><body>\n<p>x</p>\n</body></html>\n";

class ChangedFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* data = std::getenv("SONAVELT_BUILD_DATA_DIR");
    if (data == nullptr) GTEST_SKIP() << "needs the built data folder";
    fs::path install = dir_.path() / "install";
    testing::MakeScratchInstallFolder(install, data);
    paths_ = MakeInstallPaths(install.string(), (dir_.path() / "data").string());
    paths_.cache_folder = dir_.File("work");
    fs::create_directories(dir_.path() / "site");
    page_.local_html_path = dir_.File("site/page.htm");
    WriteFile(page_.local_html_path, kPage);
    for (const char* name : {"e.wav", "x.wav", "b.wav"})
      WriteFile(dir_.File(name), testing::SmallWave(4000));
    sounds_.combination_count = 1;
    sounds_.entrance_sounds = {dir_.File("e.wav")};
    sounds_.exit_sounds = {dir_.File("x.wav")};
    sounds_.background_sounds = {dir_.File("b.wav")};
  }

  RunOutcome RunWith(std::function<void()> change) {
    AudioSoundWork real(ui_);
    ChangingSoundWork work(real, std::move(change));
    RunServices services;
    services.sounds = &work;
    services.free_space = [](const std::string&) { return uint64_t{1} << 40; };
    services.lock_folder = dir_.File("locks");
    testing::RecordingProgressPanel panel;
    services.show_warning = [this](const Status& warning) { Show(ui_, warning); };
    PipelineRun run(page_, sounds_, options_, paths_, ui_, panel, stop_, services);
    RunOutcome outcome = run.Run();
    Show(ui_, outcome.message);
    return outcome;
  }
  std::vector<std::string> SiteFiles() { return testing::FilesBelow(dir_.path() / "site"); }

  testing::TempDir dir_;
  InstallPaths paths_;
  PageTarget page_;
  SoundSet sounds_;
  RunOptions options_;
  StopRequest stop_;
  testing::RecordingUserInterface ui_;
};

TEST_F(ChangedFilesTest, SoundDeletedAfterTheCheckSendsTheUserBackToIt) {
  RunOutcome outcome = RunWith([&] { fs::remove(dir_.File("x.wav")); });
  EXPECT_EQ(outcome.end, RunOutcome::End::kSentBack);
  EXPECT_EQ(outcome.page, ReturnPage::kExitSound);
  ASSERT_FALSE(ui_.Messages().empty());
  EXPECT_NE(ui_.Messages().front().find("x.wav"), std::string::npos) << ui_.Messages().front();
  EXPECT_EQ(ReadFile(page_.local_html_path), kPage);
  EXPECT_EQ(SiteFiles(), std::vector<std::string>{"page.htm"});
}

TEST_F(ChangedFilesTest, SoundReplacedByGarbageIsRefusedNotConverted) {
  RunOutcome outcome =
      RunWith([&] { WriteFile(dir_.File("b.wav"), "RIFF\x10\0\0\0WAVEjunkjunkjunk"); });
  EXPECT_EQ(outcome.end, RunOutcome::End::kSentBack);
  EXPECT_EQ(outcome.page, ReturnPage::kBackgroundSound);
  ASSERT_FALSE(ui_.Messages().empty());
  EXPECT_NE(ui_.Messages().front().find("b.wav"), std::string::npos) << ui_.Messages().front();
  EXPECT_EQ(ReadFile(page_.local_html_path), kPage);
  EXPECT_EQ(SiteFiles(), std::vector<std::string>{"page.htm"});
}

TEST_F(ChangedFilesTest, FailedConversionTellsWhyBeforeTheRunStops) {
  const std::string exit_sound = dir_.File("x.wav");
  RunWith([&] { WriteFile(exit_sound, "RIFF\x10\0\0\0WAVEjunkjunkjunk"); });
  // The converter's own reason (plain box) first, then the run's message.
  ASSERT_EQ(ui_.calls.size(), 2u) << ::testing::PrintToString(ui_.Messages());
  EXPECT_EQ(ui_.calls[0].style, BoxStyle::kPlain);
  EXPECT_EQ(ui_.calls[0].text.rfind(exit_sound, 0), 0u) << ui_.calls[0].text;
  EXPECT_EQ(ui_.calls[1].style, BoxStyle::kSystemModal);
  EXPECT_NE(ui_.calls[1].text.find(exit_sound), std::string::npos) << ui_.calls[1].text;
}

TEST_F(ChangedFilesTest, SoundReplacedByAnotherGoodSoundUsesTheNewOne) {
  // Longer and at another rate: the preparing phase's measurements are stale.
  RunOutcome outcome =
      RunWith([&] { WriteFile(dir_.File("e.wav"), testing::SmallWave(44100, 22050)); });
  ASSERT_EQ(outcome.end, RunOutcome::End::kCompleted) << ::testing::PrintToString(ui_.Messages());
  // 2 seconds at 8000 Hz, less the rate change's rounding, plus the header.
  uint64_t size = fs::file_size(dir_.path() / "site/audio/e.au");
  EXPECT_GT(size, 15900u);
  EXPECT_LT(size, 16100u);
}

TEST_F(ChangedFilesTest, PageDeletedAfterTheCheckIsReportedAndNothingIsWritten) {
  RunOutcome outcome = RunWith([&] { fs::remove(page_.local_html_path); });
  EXPECT_EQ(outcome.end, RunOutcome::End::kSentBack);
  EXPECT_EQ(outcome.page, ReturnPage::kSelectHtmlFile);
  ASSERT_FALSE(ui_.Messages().empty());
  EXPECT_NE(ui_.Messages().back().find("page.htm cannot be read"), std::string::npos)
      << ui_.Messages().back();
  EXPECT_TRUE(SiteFiles().empty());
}

TEST_F(ChangedFilesTest, PageReplacedByANonPageIsRefusedAndKept) {
  const std::string text = "a plain text file now\n";
  RunOutcome outcome = RunWith([&] { WriteFile(page_.local_html_path, text); });
  EXPECT_EQ(outcome.end, RunOutcome::End::kSentBack);
  EXPECT_EQ(ReadFile(page_.local_html_path), text);
  EXPECT_EQ(SiteFiles(), std::vector<std::string>{"page.htm"});
}

TEST_F(ChangedFilesTest, PageReplacedByAnotherPageEditsWhatIsThereNow) {
  const std::string other = "<HTML><BODY BGCOLOR=RED>\r\nnew text\r\n</BODY></HTML>\r\n";
  RunOutcome outcome = RunWith([&] { WriteFile(page_.local_html_path, other); });
  ASSERT_EQ(outcome.end, RunOutcome::End::kCompleted) << ::testing::PrintToString(ui_.Messages());
  std::string page = ReadFile(page_.local_html_path);
  EXPECT_NE(page.find("new text"), std::string::npos);
  EXPECT_NE(page.find("SonaveltRandomEventBackground"), std::string::npos);
  EXPECT_EQ(page.find("<p>x</p>"), std::string::npos);
}

}  // namespace
}  // namespace sonavelt::run
