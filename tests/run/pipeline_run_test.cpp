#include "run/pipeline_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "base/byte_order.h"
#include "run/audio_sound_work.h"
#include "run/disk_space.h"
#include "run/folder_lock.h"
#include "run/resource_text.h"
#include "run/run_messages.h"
#include "run/startup.h"
#include "tests/support/program.h"
#include "tests/support/recording_progress_panel.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/resource_file.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_bytes.h"
#include "tests/audio/sound_tools.h"

namespace sonavelt::run {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

// A 16-bit mono PCM WAVE file of `frames` frames at `rate` Hz.
std::string WaveBytes(int frames, int rate = 8000) {
  std::vector<int16_t> samples;
  for (int i = 0; i < frames; ++i) samples.push_back(static_cast<int16_t>((i * 37) % 2000 - 1000));
  return testing::Wave(1, rate, 16, testing::Pcm16(samples));
}

// A Sun .au file of `frames` mu-law bytes.
std::string AuBytes(int frames) {
  return testing::AuFile(24, 1, 8000, 1, "", std::string(frames, '\x7F'));
}

constexpr char kPage[] =
    "<HTML>\r\n<HEAD><TITLE>t</TITLE></HEAD>\r\n<BODY>\r\n<P>Hello</P>\r\n</BODY>\r\n</HTML>\r\n";

class PipelineRunTest : public ::testing::Test {
 protected:
  PipelineRunTest() : paths_(MakeInstallPaths((dir_.path() / "install").string(), "")) {
    fs::create_directories(dir_.path() / "install");
    fs::create_directories(dir_.path() / "site");
    fs::create_directories(dir_.path() / "sounds");
    paths_ = MakeInstallPaths((dir_.path() / "install").string(), "");
    paths_.cache_folder = (dir_.path() / "work").string();
    WriteFile(paths_.applet_class_path, "\xCA\xFE\xBA\xBE class");
    page_.local_html_path = Site("index.htm");
    WriteFile(page_.local_html_path, kPage);
    // The described block; the tests of the browser player turn it on.
    options_.browser_player = false;
  }

  std::string Site(const std::string& name) const { return (dir_.path() / "site" / name).string(); }
  std::string Sound(const std::string& name, const std::string& bytes) {
    std::string path = (dir_.path() / "sounds" / name).string();
    WriteFile(path, bytes);
    return path;
  }
  void UseSounds(std::vector<std::string> entrance, std::vector<std::string> exit,
                 std::vector<std::string> background) {
    sounds_.combination_count = static_cast<int>(entrance.size());
    sounds_.entrance_sounds = std::move(entrance);
    sounds_.exit_sounds = std::move(exit);
    sounds_.background_sounds = std::move(background);
  }

  RunOutcome Run(uint64_t free_space = UINT64_MAX) {
    panel_ = testing::RecordingProgressPanel();
    AudioSoundWork work(ui_);
    RunServices services;
    services.sounds = &work;
    services.free_space = [free_space](const std::string&) { return free_space; };
    services.lock_folder = (dir_.path() / "locks").string();
    services.lock_wait = lock_wait_;
    services.write_history = [this](const StoredHistory& h) { history_.push_back(h); };
    services.show_warning = [this](const Status& warning) { Show(ui_, warning); };
    services.transport = transport_;
    PipelineRun run(page_, sounds_, options_, paths_, ui_, panel_, stop_, services);
    RunOutcome outcome = run.Run();
    Show(ui_, outcome.message);  // as the front ends do
    sound_bytes_ = run.sound_bytes();
    wave_count_ = run.wave_file_count();
    settings_page_ = run.settings_page();
    return outcome;
  }

  std::string ResourceTextOnSite() {
    std::string text;
    EXPECT_TRUE(testing::DecodeResourceFile(ReadFile(Site("index.res")), &text).ok());
    return text;
  }

  TempDir dir_;
  InstallPaths paths_;
  PageTarget page_;
  SoundSet sounds_;
  RunOptions options_;
  testing::RecordingUserInterface ui_;
  testing::RecordingProgressPanel panel_;
  StopRequest stop_;
  std::vector<StoredHistory> history_;
  uint64_t sound_bytes_ = 0;
  int wave_count_ = 0;
  std::string settings_page_;
  std::chrono::milliseconds lock_wait_{30000};
  PageTransport* transport_ = nullptr;
};

// A site in memory: serves one page and keeps what a publish hands it,
// reading the work files while they exist.
class SiteInMemory : public PageTransport {
 public:
  explicit SiteInMemory(std::string page) : page_(std::move(page)) {}
  Status FetchPage(const RemotePage&, std::string* bytes, const std::string&,
                   TransferObserver&) override {
    ++fetches;
    *bytes = page_;
    return Status::Ok();
  }
  Status PublishPage(const RemotePage&, const PublishFiles& files,
                     TransferObserver& observer) override {
    published = files;
    for (const auto* list : {&files.sounds, &files.sound_copies})
      for (const std::string& path : *list) {
        observer.ReportTransferring(path, false);
        audio[fs::path(path).filename().string()] = ReadFile(path);
      }
    return Status::Ok();
  }

  int fetches = 0;
  PublishFiles published;
  std::map<std::string, std::string> audio;  // by file name

 private:
  std::string page_;
};

TEST_F(PipelineRunTest, WholeRunLeavesEverythingBesideThePage) {
  UseSounds({Sound("hello.wav", WaveBytes(16000, 16000))}, {Sound("bye.au", AuBytes(4000))},
            {Sound("tune.wav", WaveBytes(8000))});
  RunOutcome outcome = Run();
  ASSERT_EQ(outcome.end, RunOutcome::End::kCompleted) << ::testing::PrintToString(ui_.Messages());
  // Both 16-bit WAVE sounds change format: asked (Yes) once each.
  EXPECT_TRUE(ui_.Messages().empty());
  EXPECT_EQ(ui_.Questions().size(), 2u);

  std::string page = ReadFile(Site("index.htm"));
  EXPECT_NE(page.find("<applet code=SonaveltRandomEventBackground"), std::string::npos);
  EXPECT_NE(page.find("<param name=resource value=\"index\">"), std::string::npos);
  for (const char* f : {"audio/hello.au", "audio/bye.au", "audio/tune.au",
                        "SonaveltRandomEventBackground.class", "index.res"})
    EXPECT_TRUE(fs::exists(Site(f))) << f;
  EXPECT_EQ(ReadFile(Site("audio/bye.au")), AuBytes(4000));
  EXPECT_EQ(settings_page_, paths_.history_folder + "/HIS_index.htm");
  EXPECT_TRUE(fs::exists(settings_page_));

  std::string text = ResourceTextOnSite();
  EXPECT_EQ(text.substr(0, 46), " ;audio/hello.au;audio/bye.au;audio/tune.au;99");

  // Progress: 0, 2, 4 preparing, 6, then 6, 22, 38 converting (with the
  // conversion's own moves between), 54, 59, 64, 69, the five transfers, 99, 100.
  std::vector<int>& p = panel_.positions;
  EXPECT_EQ(std::vector<int>(p.begin(), p.begin() + 4), (std::vector<int>{0, 2, 4, 6}));
  EXPECT_EQ(std::vector<int>(p.end() - 10, p.end()),
            (std::vector<int>{59, 64, 69, 69, 75, 81, 87, 93, 99, 100}));
  EXPECT_EQ(panel_.texts.back(), "All Done.");

  ASSERT_EQ(history_.size(), 1u);
  EXPECT_EQ(history_[0].osfs, sounds_.entrance_sounds[0] + ";");
  EXPECT_EQ(history_[0].combination_count, 1);
}

TEST_F(PipelineRunTest, SecondRunReplacesTheBlockInPlace) {
  UseSounds({Sound("a.au", AuBytes(800))}, {Sound("b.au", AuBytes(800))},
            {Sound("c.au", AuBytes(800))});
  ASSERT_EQ(Run().end, RunOutcome::End::kCompleted);
  std::string first = ReadFile(Site("index.htm"));
  options_.invisible_applet = true;
  options_.random_order = false;
  ASSERT_EQ(Run().end, RunOutcome::End::kCompleted);
  std::string second = ReadFile(Site("index.htm"));
  EXPECT_EQ(second.size(), first.size() - 4);  // 190/20 became 2/2, Yes became No
  size_t applet = second.find("<applet");
  EXPECT_EQ(second.find("<applet", applet + 1), std::string::npos);
  EXPECT_NE(second.find("width=\"2\" height=\"2\""), std::string::npos);
  EXPECT_NE(second.find("value=\"No\""), std::string::npos);
  EXPECT_EQ(second.find("<br><center>", second.find("<br><center>") + 1), std::string::npos);
}

TEST_F(PipelineRunTest, BrowserPlayerIsCopiedWithTheClassFile) {
  UseSounds({Sound("a.au", AuBytes(800))}, {Sound("b.au", AuBytes(800))}, {""});
  options_.no_background = true;
  options_.browser_player = true;
  const std::string script = "/* player */\n";
  fs::create_directories(fs::path(paths_.player_script_path).parent_path());
  WriteFile(paths_.player_script_path, script);
  ASSERT_EQ(Run().end, RunOutcome::End::kCompleted) << ::testing::PrintToString(ui_.Messages());
  EXPECT_EQ(ReadFile(Site("sonavelt-player.js")), script);
  EXPECT_NE(ReadFile(Site("index.htm"))
                .find("<script src=\"index.sounds.js\"></script>\r\n"
                      "<script src=\"sonavelt-player.js\" data-resource=\"index\"></script>"),
            std::string::npos);
  // Beside the page: the player's data file with the resource file's bytes,
  // and the preview file with every sound, for opening the page from disk.
  std::string data = ReadFile(Site("index.sounds.js"));
  // Each sound's Opus copy with its length at 48 kHz (800 frames at 8000 Hz).
  EXPECT_NE(data.find("{\"au\": \"audio/a.au\", \"copy\": \"audio/a.opus\", \"frames\": 4800}"),
            std::string::npos)
      << data;
  EXPECT_NE(data.find("\"resource\": \""), std::string::npos);
  std::string preview = ReadFile(Site("index.local.js"));
  EXPECT_NE(preview.find("\"index.res\": \""), std::string::npos);
  EXPECT_NE(preview.find("\"audio/b.au\": \""), std::string::npos);
  EXPECT_NE(ReadFile(settings_page_).find("Browser Playback: installed"),
            std::string::npos);
  ASSERT_EQ(history_.size(), 1u);
  EXPECT_EQ(history_[0].hp, "YES");

  // Two sounds, the class file, the script, the resource file: D = 5.
  const std::string step = "Transferring:\r\n\r\n\t";
  std::vector<std::string> names;
  for (const std::string& t : panel_.texts)
    if (t.rfind(step, 0) == 0) names.push_back(t.substr(step.size(), t.find('\r', step.size()) - step.size()));
  EXPECT_EQ(names, (std::vector<std::string>{"a.au", "b.au", "SonaveltRandomEventBackground.class",
                                             "sonavelt-player.js", "index.res"}));
  std::vector<int>& p = panel_.positions;
  EXPECT_EQ(std::vector<int>(p.end() - 7, p.end()), (std::vector<int>{69, 75, 81, 87, 93, 99, 100}));

  // A script gone from the install folder is a failed copy, reported.
  fs::remove(paths_.player_script_path);
  fs::remove(Site("sonavelt-player.js"));
  EXPECT_EQ(Run().end, RunOutcome::End::kSentBack);
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_NE(ui_.Messages()[0].find("sonavelt-player.js -> "), std::string::npos);
  EXPECT_EQ(history_.size(), 1u);
}

TEST_F(PipelineRunTest, SharedSoundIsCountedOnceAndCopiedPerUse) {
  std::string shared = Sound("shared.wav", WaveBytes(4000));
  std::string other = Sound("other.au", AuBytes(1000));
  UseSounds({shared, shared}, {other, shared}, {"", ""});
  options_.no_background = true;
  ASSERT_EQ(Run().end, RunOutcome::End::kCompleted);
  EXPECT_EQ(sound_bytes_, fs::file_size(shared) + fs::file_size(other));
  EXPECT_EQ(wave_count_, 1);
  // Four conversion steps: no background sound is converted.
  int conversions = 0;
  for (const std::string& t : panel_.texts) conversions += t.rfind("Converting:\r\n\r\n\t", 0) == 0;
  EXPECT_EQ(conversions, 4);
  // Six transfers: four sounds, the class file, the resource file.
  int transfers = 0;
  for (const std::string& t : panel_.texts) transfers += t.rfind("Transferring:\r\n\r\n\t", 0) == 0;
  EXPECT_EQ(transfers, 6);
  std::string text = ResourceTextOnSite();
  EXPECT_NE(text.find(";audio/shared.au,audio/shared.au;audio/other.au,audio/shared.au; , ;"),
            std::string::npos);
}

TEST_F(PipelineRunTest, FailedSoundCheckSendsBackToItsPageAndStoresNothing) {
  std::string good = Sound("good.au", AuBytes(800));
  std::string empty = Sound("empty.au", "");
  UseSounds({good, good}, {good, good}, {good, (dir_.path() / "sounds/missing.wav").string()});
  RunOutcome outcome = Run();
  EXPECT_EQ(outcome.end, RunOutcome::End::kSentBack);
  EXPECT_EQ(outcome.page, ReturnPage::kBackgroundSound);
  EXPECT_EQ(outcome.combination, 2);
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_NE(ui_.Messages()[0].find("missing.wav was not found."), std::string::npos);

  sounds_.exit_sounds[0] = empty;
  outcome = Run();
  EXPECT_EQ(outcome.page, ReturnPage::kExitSound);
  EXPECT_EQ(outcome.combination, 1);
  EXPECT_EQ(ReadFile(Site("index.htm")), kPage);  // untouched
  EXPECT_TRUE(history_.empty());
}

TEST_F(PipelineRunTest, LowDiskYesStopsBeforeAnythingIsWritten) {
  UseSounds({Sound("a.au", AuBytes(1000))}, {Sound("b.au", AuBytes(1000))},
            {Sound("c.au", AuBytes(1000))});
  ui_.answers = {true};
  RunOutcome outcome = Run(/*free_space=*/1000);
  EXPECT_EQ(outcome.end, RunOutcome::End::kSentBack);
  EXPECT_EQ(outcome.page, ReturnPage::kSelectHtmlFile);
  ASSERT_EQ(ui_.Questions().size(), 1u);
  // Work and page folders share one file system here: at least the
  // converted sounds, their copies beside the page, the class file and the
  // new page beside the old one (the browser copies, data files and
  // resource file come on top).
  const std::string question = ui_.Questions()[0];
  const size_t at = question.find("Sonavelt needs ");
  ASSERT_NE(at, std::string::npos) << question;
  const unsigned long long need = std::stoull(question.substr(at + 15));
  EXPECT_NE(question.find(std::to_string(need) + " bytes disk space"), std::string::npos);
  EXPECT_GT(need, 2 * 3072 + 10 + std::string(kPage).size());
  EXPECT_EQ(ReadFile(Site("index.htm")), kPage);
  EXPECT_TRUE(history_.empty());
}

TEST_F(PipelineRunTest, UnusablePagesAreLeftAsTheyWere) {
  UseSounds({Sound("a.au", AuBytes(800))}, {Sound("b.au", AuBytes(800))},
            {Sound("c.au", AuBytes(800))});
  const std::string not_html = "just some words\r\n";
  WriteFile(page_.local_html_path, not_html);
  RunOutcome outcome = Run();
  EXPECT_EQ(outcome.end, RunOutcome::End::kSentBack);
  EXPECT_EQ(outcome.page, ReturnPage::kSelectHtmlFile);
  EXPECT_EQ(ReadFile(page_.local_html_path), not_html);

  const std::string broken = "<HTML><BODY BGCOLOR><P>x</P></BODY></HTML>";
  WriteFile(page_.local_html_path, broken);
  outcome = Run();
  EXPECT_EQ(outcome.end, RunOutcome::End::kUnusablePage);
  EXPECT_EQ(ReadFile(page_.local_html_path), broken);
  EXPECT_EQ(ui_.Messages().size(), 2u);
  EXPECT_FALSE(fs::exists(Site("index.res")));
}

TEST_F(PipelineRunTest, FailedCopiesAreReportedNotIgnored) {
  UseSounds({Sound("a.au", AuBytes(800))}, {Sound("b.au", AuBytes(800))},
            {Sound("c.au", AuBytes(800))});
  WriteFile(Site("audio"), "a file where the audio folder should be");
  RunOutcome outcome = Run();
  EXPECT_EQ(outcome.end, RunOutcome::End::kSentBack);
  ASSERT_EQ(ui_.Messages().size(), 1u);
  EXPECT_EQ(ui_.Messages()[0].rfind("Sonavelt could not copy these files beside the page:", 0), 0u);
  EXPECT_NE(ui_.Messages()[0].find("c.au -> "), std::string::npos);
  // The others were still copied, and the message names them; the page
  // itself is as it was, and the run is not recorded as completed.
  EXPECT_TRUE(fs::exists(Site("index.res")));
  EXPECT_NE(ui_.Messages()[0].find(page_.local_html_path + " was left as it was."),
            std::string::npos);
  EXPECT_NE(ui_.Messages()[0].find("\t" + Site("index.res")), std::string::npos);
  EXPECT_EQ(ReadFile(page_.local_html_path), kPage);
  EXPECT_TRUE(history_.empty());
}

// The work folder's room is sized by the longest sound, wherever it comes
// in the run: its frames, not the last sound's, count. (.au sounds keep the
// need below 0.1 MB, which the question states in bytes.)
TEST_F(PipelineRunTest, TheLongestSoundSizesTheWorkingRoom) {
  const std::string long_au = Sound("long.au", AuBytes(5000));
  const std::string short_au = Sound("short.au", AuBytes(800));
  const std::string other_short = Sound("short2.au", AuBytes(800));
  auto need_of = [&](std::string entrance, std::string exit, std::string background) {
    UseSounds({std::move(entrance)}, {std::move(exit)}, {std::move(background)});
    ui_ = testing::RecordingUserInterface();  // low disk Yes: stop
    EXPECT_EQ(Run(/*free_space=*/0).end, RunOutcome::End::kSentBack);
    const std::string question = ui_.Questions().back();
    const size_t at = question.find("Sonavelt needs ");
    EXPECT_NE(question.find(" bytes disk space"), std::string::npos) << question;
    return at == std::string::npos ? 0 : std::stoull(question.substr(at + 15));
  };
  const uint64_t long_first = need_of(long_au, short_au, other_short);
  EXPECT_EQ(need_of(short_au, other_short, long_au), long_first);
  EXPECT_GE(long_first - need_of(short_au, other_short, Sound("short3.au", AuBytes(800))),
            kWorkingBytesPerWaveFrame * (5000 - 800));
}

// The format question across a run's sounds: it offers the answers for all
// while sounds wait after it, and an answer given to all answers the rest
// of that run only.
TEST_F(PipelineRunTest, AnswerForAllAnswersTheRestOfTheRun) {
  UseSounds({Sound("a.wav", WaveBytes(800))}, {Sound("b.wav", WaveBytes(800))},
            {Sound("c.wav", WaveBytes(800))});
  class SeriesAnswers : public testing::RecordingUserInterface {
   public:
    SeriesAnswer AskInSeries(BoxStyle, const std::string&, bool more_waiting) override {
      waiting.push_back(more_waiting);
      return answer;
    }
    SeriesAnswer answer = SeriesAnswer::kYes;
    std::vector<bool> waiting;  // more_waiting of each question asked
  } ui;
  AudioSoundWork work(ui);
  RunServices services;
  services.sounds = &work;
  services.lock_folder = (dir_.path() / "locks").string();
  PipelineRun run(page_, sounds_, options_, paths_, ui, panel_, stop_, services);
  const struct {
    SeriesAnswer answer;
    std::vector<bool> waiting;
    RunOutcome::End end;
  } runs[] = {
      {SeriesAnswer::kYesToAll, {true}, RunOutcome::End::kCompleted},
      {SeriesAnswer::kYes, {true, true, false}, RunOutcome::End::kCompleted},
      {SeriesAnswer::kNoToAll, {true}, RunOutcome::End::kSentBack},
  };
  for (const auto& expected : runs) {
    ui.answer = expected.answer;
    ui.waiting.clear();
    EXPECT_EQ(run.Run().end, expected.end);
    EXPECT_EQ(ui.waiting, expected.waiting);
  }
}

TEST_F(PipelineRunTest, CancelIsSeenAtTheNextCheckpoint) {
  UseSounds({Sound("a.au", AuBytes(800))}, {Sound("b.au", AuBytes(800))},
            {Sound("c.au", AuBytes(800))});
  // A panel that asks to quit once the page has been edited (in memory).
  class QuittingPanel : public testing::RecordingProgressPanel {
   public:
    explicit QuittingPanel(StopRequest& s) : stop(s) {}
    void SetPosition(int percent) override {
      if (percent == 64) stop.Request();
    }
    StopRequest& stop;
  } panel(stop_);
  AudioSoundWork work(ui_);
  RunServices services;
  services.sounds = &work;
  services.lock_folder = (dir_.path() / "locks").string();
  services.write_history = [this](const StoredHistory& h) { history_.push_back(h); };
  RunOutcome outcome = PipelineRun(page_, sounds_, options_, paths_, ui_, panel, stop_, services).Run();
  Show(ui_, outcome.message);
  EXPECT_EQ(outcome.end, RunOutcome::End::kCancelled);
  EXPECT_EQ(ReadFile(Site("index.htm")), kPage);  // the page is replaced last
  EXPECT_FALSE(fs::exists(Site("index.res")));
  EXPECT_TRUE(history_.empty());
}

#ifdef SONAVELT_APPLET_CHECK_DIR
// What the page's player does with the page and resource file of a run:
// its actions over one visit, one per line.
std::string PlayerActions(const std::string& page) {
  const char* data = std::getenv("SONAVELT_BUILD_DATA_DIR");
  if (data == nullptr) return "no SONAVELT_BUILD_DATA_DIR";
  return testing::RunProgram({SONAVELT_JAVA, "-Djava.awt.headless=false", "-cp",
                              std::string(data) + ":" SONAVELT_APPLET_CHECK_DIR,
                              "AppletPlayerCheck", page},
                             {.merge_output = true})
      .out;
}

TEST_F(PipelineRunTest, PlayerPlaysWhatTheRunWrote) {
  std::string a = Sound("a.au", AuBytes(800)), b = Sound("b.au", AuBytes(800));
  UseSounds({a, b}, {b, a}, {Sound("c.wav", WaveBytes(800)), a});
  options_.random_order = false;
  options_.background_initially_on = true;
  ASSERT_EQ(Run().end, RunOutcome::End::kCompleted);
  EXPECT_EQ(PlayerActions(page_.local_html_path),
            "play audio/a.au\nloop audio/c.au\nstop audio/c.au\nplay audio/b.au\n");

  // With the safety key the sounds play only at the address given.
  options_.exit_on = false;
  options_.safety_key = true;
  options_.page_url = "http://example.com/index.htm";
  ASSERT_EQ(Run().end, RunOutcome::End::kCompleted);
  EXPECT_EQ(PlayerActions(page_.local_html_path), "");
  options_.page_url = "file:" + page_.local_html_path;
  ASSERT_EQ(Run().end, RunOutcome::End::kCompleted);
  EXPECT_EQ(PlayerActions(page_.local_html_path), "play audio/a.au\nloop audio/c.au\nstop audio/c.au\n");
}
#endif

// Long sounds: the copies are made in the open, with their own text, and
// the panel never stands still for a second.
TEST_F(PipelineRunTest, BrowserCopiesOfLongSoundsKeepTheProgressMoving) {
  SONAVELT_REQUIRE_TOOL("sox");
  options_.browser_player = true;
  std::vector<std::string> long_sounds;
  for (const char* name : {"in.wav", "out.wav", "bg.wav"}) {
    const std::string path = (dir_.path() / "sounds" / name).string();
    ASSERT_TRUE(testing::Shell("sox -n -r 44100 -c 2 -b 16 '" + path +
                               "' synth 60 pinknoise vol 0.3 tremolo " +
                               std::to_string(2 + long_sounds.size())));
    long_sounds.push_back(path);
  }
  UseSounds({long_sounds[0]}, {long_sounds[1]}, {long_sounds[2]});
  const auto begun = std::chrono::steady_clock::now();
  fs::create_directories(fs::path(paths_.player_script_path).parent_path());
  WriteFile(paths_.player_script_path, "/* player */\n");
  ASSERT_EQ(Run().end, RunOutcome::End::kCompleted) << ::testing::PrintToString(ui_.Messages());
  auto last = begun;
  double longest = 0;
  for (const auto& at : panel_.times) {
    longest = std::max(longest, std::chrono::duration<double>(at - last).count());
    last = at;
  }
  EXPECT_LT(longest, 1.0) << "seconds without a progress report";
  for (const char* name : {"in.wav", "out.wav", "bg.wav"})
    EXPECT_NE(std::find(panel_.texts.begin(), panel_.texts.end(),
                        std::string("Making the browser copy of ") + name),
              panel_.texts.end())
        << name;
  EXPECT_TRUE(fs::exists(Site("audio/bg.opus")));
  EXPECT_TRUE(std::is_sorted(panel_.positions.begin(), panel_.positions.end()));
  // The bar moves through the converting span as the time passes: the
  // conversions and the copies each get the share their work takes. At
  // every report the share of the span shown is within a quarter of the
  // share of the phase's time gone.
  const ProgressSpan span = kProgress.converting;
  size_t begins = 0;
  while (begins < panel_.positions.size() && panel_.positions[begins] < span.start) ++begins;
  // To the last report before the page is read: the whole of the sounds' work.
  size_t ends = begins;
  while (ends + 1 < panel_.positions.size() && panel_.positions[ends + 1] < kProgress.page_read)
    ++ends;
  ASSERT_LT(ends, panel_.positions.size());
  EXPECT_EQ(panel_.positions[ends], span.end);
  const auto from = panel_.position_times[begins];
  const double whole = std::chrono::duration<double>(panel_.position_times[ends] - from).count();
  ASSERT_GT(whole, 0.0);
  for (size_t i = begins; i <= ends; ++i) {
    const double time_share =
        std::chrono::duration<double>(panel_.position_times[i] - from).count() / whole;
    const double bar_share = static_cast<double>(panel_.positions[i] - span.start) / span.size();
    EXPECT_NEAR(bar_share, time_share, 0.25) << "report " << i - begins << " of " << ends - begins;
  }
}

TEST_F(PipelineRunTest, AnotherRunPlacingFilesInTheFolderHoldsThisOneBeforeItWrites) {
  UseSounds({Sound("a.au", AuBytes(1000))}, {Sound("b.au", AuBytes(1000))},
            {Sound("c.au", AuBytes(1000))});
  // Another page's run in the same folder, between choosing its names and
  // replacing its page.
  file_io::FolderHandle site;
  ASSERT_TRUE(file_io::FolderHandle::Open(Site(""), &site).ok());
  FolderLock other;
  ASSERT_TRUE(other.Acquire(site, std::chrono::milliseconds(0), nullptr, nullptr).ok());
  lock_wait_ = std::chrono::milliseconds(200);
  RunOutcome outcome = Run();
  EXPECT_EQ(outcome.end, RunOutcome::End::kSentBack);
  EXPECT_NE(outcome.message.message().find("Another Sonavelt run is placing files in"),
            std::string::npos)
      << outcome.message.message();
  EXPECT_NE(std::find(panel_.texts.begin(), panel_.texts.end(),
                      WaitingForFolderText(fs::path(page_.local_html_path).parent_path().string())),
            panel_.texts.end());
  EXPECT_EQ(ReadFile(Site("index.htm")), kPage);
  EXPECT_FALSE(fs::exists(Site("audio")));
  // Once it lets go, the run goes through.
  other.Release();
  EXPECT_EQ(Run().end, RunOutcome::End::kCompleted);
}

// One route for both places: the same run hands a site and the page's own
// folder the same files, each made once, the page fetched once and placed
// last; the site's get the data file but not the local preview.
TEST_F(PipelineRunTest, ASiteAndTheFolderGetTheSameFilesFromOneRoute) {
  options_.browser_player = true;
  fs::create_directories(fs::path(paths_.player_script_path).parent_path());
  WriteFile(paths_.player_script_path, "/* player */");
  UseSounds({Sound("hello.wav", WaveBytes(8000))}, {Sound("bye.au", AuBytes(4000))},
            {Sound("hello.wav", WaveBytes(8000))});
  SiteInMemory site(kPage);
  const PageTarget local = page_;
  page_.is_remote = true;
  page_.remote_site = "ftp.example.com";
  page_.remote_path = "/www/index.htm";
  transport_ = &site;
  ASSERT_EQ(Run().end, RunOutcome::End::kCompleted) << ::testing::PrintToString(ui_.Messages());
  EXPECT_EQ(site.fetches, 1);

  page_ = local;
  transport_ = nullptr;
  ASSERT_EQ(Run().end, RunOutcome::End::kCompleted) << ::testing::PrintToString(ui_.Messages());
  const PublishFiles& sent = site.published;
  EXPECT_EQ(sent.page, ReadFile(Site("index.htm")));
  EXPECT_EQ(sent.resource.name, "index.res");
  EXPECT_EQ(sent.resource.bytes, ReadFile(Site("index.res")));
  ASSERT_EQ(sent.player_data.size(), 1u);
  EXPECT_EQ(sent.player_data[0].name, "index.sounds.js");
  EXPECT_EQ(sent.player_data[0].bytes, ReadFile(Site("index.sounds.js")));
  EXPECT_TRUE(fs::exists(Site("index.local.js")));
  // The sounds one per use, the copies once each.
  EXPECT_EQ(sent.sounds.size(), 3u);
  EXPECT_EQ(sent.sound_copies.size(), 2u);
  ASSERT_EQ(site.audio.size(), 4u);
  for (const auto& [name, bytes] : site.audio)
    EXPECT_EQ(bytes, ReadFile(Site("audio/" + name))) << name;
}

}  // namespace
}  // namespace sonavelt::run
