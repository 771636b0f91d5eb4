#include "run/run_progress.h"

#include <gtest/gtest.h>

#include <vector>

#include "run/disk_space.h"
#include "tests/support/recording_progress_panel.h"
#include "tests/support/recording_user_interface.h"

namespace sonavelt::run {
namespace {

TEST(RunProgressTest, OneCombinationWithBackgroundPreparesAndConverts) {
  testing::RecordingProgressPanel panel;
  RunProgress progress(panel, 1, false, false);
  progress.Start();
  for (const char* s : {"/a/in.wav", "/a/out.au", "/a/bg.wav"}) progress.ReportPreparing(s);
  progress.SetFixedProgress(6);
  progress.StartConverting();
  // The text names the file the run writes, whatever name it was given.
  progress.ReportConverting("/a/Chime.WAV", "Chime.au");
  progress.ReportConverting("/b/bell.au", "bell-2.au");
  progress.ReportConversionPercent(50);  // the second file's share: 22 to 38
  progress.ReportConverting("/a/noext", "noext.au");
  progress.SetFixedProgress(54);
  EXPECT_EQ(panel.bar_only, std::vector<int>{0});
  EXPECT_EQ(panel.positions, (std::vector<int>{0, 2, 4, 6, 6, 22, 30, 38, 54}));
  EXPECT_EQ(panel.texts[1], "Preparing:\r\n\r\n\tin.wav");
  EXPECT_EQ(panel.texts[4], "Converting:\r\n\r\n\tChime.WAV\r\n\r\nTo:\r\n\tChime.au");
  EXPECT_EQ(panel.texts[5], "Converting:\r\n\r\n\tbell.au\r\n\r\nTo:\r\n\tbell-2.au");
  EXPECT_EQ(panel.texts[6], "Converting:\r\n\r\n\tnoext\r\n\r\nTo:\r\n\tnoext.au");
}

TEST(RunProgressTest, TransfersOfTwoCombinationsWithoutBackground) {
  for (bool remote : {false, true}) {
    testing::RecordingProgressPanel panel;
    RunProgress progress(panel, 2, true, remote);
    progress.StartTransferring();
    for (int i = 0; i < (remote ? 7 : 6); ++i) progress.ReportTransferring("/c/f.au", "/site");
    if (remote) {
      progress.RepeatTransfer();
      progress.ReportTransferring("/c/f.au", "/site");
      EXPECT_EQ(panel.positions, (std::vector<int>{69, 73, 77, 81, 86, 90, 94, 94}));
    } else {
      EXPECT_EQ(panel.positions, (std::vector<int>{69, 74, 79, 84, 89, 94}));
    }
    EXPECT_EQ(panel.texts[0], "Transferring:\r\n\r\n\tf.au\r\n\r\nTo:\r\n\t/site");
  }
}

TEST(RunProgressTest, BrowserPlayerIsOneMoreUpload) {
  testing::RecordingProgressPanel panel;
  RunProgress progress(panel, 2, true, /*is_remote=*/true, /*browser_player=*/true);
  progress.StartTransferring();
  for (int i = 0; i < 8; ++i) progress.ReportTransferring("/c/f.au", "site");
  EXPECT_EQ(panel.positions, (std::vector<int>{69, 72, 76, 80, 84, 87, 91, 95}));  // D = 8
}

TEST(RunProgressTest, ConversionMovesWithinItsFilesShare) {
  EXPECT_EQ(ConversionProgressPosition(50, 2, 1, false), 30);
  EXPECT_EQ(ConversionProgressPosition(90, 3, 1, false), 52);
  EXPECT_EQ(ConversionProgressPosition(0, 1, 16, true), 6);
  EXPECT_EQ(ConversionProgressPosition(80, 32, 16, true), 52);  // 48 / 32 truncates to 1
}

TEST(DiskSpaceTest, NeedAndItsWording) {
  // Local page, one WAVE of 100000 bytes and 50000 frames, one .au of 20000.
  uint64_t need = DiskSpaceNeed(120000, 1, 50000, false);
  EXPECT_EQ(need, 700000u);
  EXPECT_EQ(DiskSizeText(need), "0.7 MB ");
  EXPECT_EQ(DiskSpaceNeed(40000, 0, 0, true), 40000u);
  EXPECT_EQ(DiskSizeText(40000), "40000 bytes ");
  EXPECT_EQ(DiskSizeText(100000), "100000 bytes ");
  EXPECT_EQ(DiskSizeText(100001), "0.1 MB ");
  // Sums past 4 GiB do not wrap around.
  EXPECT_EQ(DiskSpaceNeed(3'000'000'000ULL, 0, 0, false), 6'000'000'000ULL);

  testing::RecordingUserInterface ui;
  EXPECT_TRUE(DiskSpaceCheck(700000, 700000, ui));
  EXPECT_TRUE(ui.calls.empty());
  ui.answers = {true, false};
  EXPECT_FALSE(DiskSpaceCheck(700000, 10, ui));  // Yes: stop
  EXPECT_TRUE(DiskSpaceCheck(700000, 10, ui));   // No: go on
  ASSERT_EQ(ui.calls.size(), 2u);
  EXPECT_EQ(ui.calls[0].style, BoxStyle::kSystemModal);
  EXPECT_EQ(ui.calls[0].text,
            "Disk space is low.\r\n\r\nSonavelt needs 0.7 MB disk space to complete the required "
            "operation.\r\nSonavelt might not perform correctly if there is not enough disk "
            "space.\r\n\r\nDo you want to stop the Sonavelt process and create more disk "
            "space?\r\n\r\nClick \"Yes\" to stop the process;\r\nClick \"No\" to ignore the "
            "warning. The result might be unpredictive.");
}

}  // namespace
}  // namespace sonavelt::run
