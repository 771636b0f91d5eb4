#include "remote/upload_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace sonavelt::remote {
namespace {

// A run's files: `sounds` sounds (the first used twice when `repeat`), two
// browser copies, the class, the player script, the resource and a data file.
run::PublishFiles Files(int sounds, bool repeat = false) {
  run::PublishFiles files;
  files.page = "<html><applet>";
  for (int i = 0; i < sounds; ++i) files.sounds.push_back("/w/s" + std::to_string(i) + ".au");
  if (repeat) files.sounds.push_back("/w/s0.au");
  files.sound_copies = {"/w/s0.opus", "/w/s1.opus"};
  files.applet_class_path = "/w/SonaveltRandomEventBackground.class";
  files.player_script_path = "/w/sonavelt-player.js";
  files.resource = {"index.res", "\x02"};
  files.player_data = {{"index.sounds.js", "window.x = {};"}};
  return files;
}

std::vector<std::string> Remotes(const UploadPlan& plan) {
  std::vector<std::string> remotes;
  for (const PlannedFile& file : plan.files) remotes.push_back(file.remote);
  return remotes;
}

const PlannedFile& Find(const UploadPlan& plan, const std::string& remote) {
  for (const PlannedFile& file : plan.files)
    if (file.remote == remote) return file;
  ADD_FAILURE() << remote << " not planned";
  return plan.files.front();
}

TEST(UploadPlanTest, EverythingBesideThePageInAnnouncedOrderThePageLast) {
  UploadPlan plan = PlanUpload(Files(2), RemoteLayout("/www/index.htm"), "<html>", {});
  EXPECT_EQ(Remotes(plan),
            (std::vector<std::string>{"/www/audio/s0.au", "/www/audio/s1.au",
                                      "/www/audio/s0.opus", "/www/audio/s1.opus",
                                      "/www/SonaveltRandomEventBackground.class",
                                      "/www/sonavelt-player.js", "/www/index.res",
                                      "/www/index.sounds.js"}));
  EXPECT_FALSE(Find(plan, "/www/audio/s0.opus").announced);
  EXPECT_FALSE(Find(plan, "/www/index.sounds.js").announced);
  EXPECT_TRUE(Find(plan, "/www/index.res").announced);
  // The text files travel as their bytes; the others are read from disk.
  EXPECT_EQ(Find(plan, "/www/index.res").text, std::optional<std::string>("\x02"));
  EXPECT_EQ(Find(plan, "/www/index.sounds.js").text, std::optional<std::string>("window.x = {};"));
  EXPECT_FALSE(Find(plan, "/www/audio/s0.au").text.has_value());
  EXPECT_EQ(plan.page_remote, "/www/index.htm");
  EXPECT_EQ(plan.audio_folder, "/www/audio");
}

// What the live page names decides what needs a temporary name, what waits
// for the files it names, and whether the audio folder is made first.
TEST(UploadPlanTest, TheLivePageDecidesNamesWaitsAndTheFolderStep) {
  struct Case {
    std::string live_page;
    bool sound_direct, res_direct, res_waits, data_waits, create_folder_first;
  };
  const Case cases[] = {
      // A page the run has never touched: nothing of it is reachable yet.
      {"<html><body>", true, true, false, false, true},
      // An earlier run's page names its sounds and files.
      {"<applet archive=index.res><param value=audio/s0.au>index.sounds.js", false, false, true,
       true, false},
      // The resource file named, the data file not: only the first waits.
      {"<a href=index.res>", true, false, true, false, true},
      // Unknown page (no bytes): every file counts as named.
      {"", false, false, true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.live_page);
    UploadPlan plan = PlanUpload(Files(2), RemoteLayout("/www/index.htm"), c.live_page, {});
    EXPECT_EQ(Find(plan, "/www/audio/s0.au").direct, c.sound_direct);
    EXPECT_EQ(Find(plan, "/www/index.res").direct, c.res_direct);
    EXPECT_EQ(Find(plan, "/www/index.res").waits, c.res_waits);
    EXPECT_EQ(Find(plan, "/www/index.sounds.js").waits, c.data_waits);
    EXPECT_EQ(plan.create_audio_folder_first, c.create_folder_first);
    // Every file that waits comes after every file that does not.
    bool waiting = false;
    for (const PlannedFile& file : plan.files) {
      if (waiting) EXPECT_TRUE(file.waits) << file.remote;
      waiting = waiting || file.waits;
    }
  }
}

TEST(UploadPlanTest, ConnectionsGrowWithTheFilesWithinTheLimits) {
  PlanLimits ssh, no_renames, one;
  ssh.ssh = true;
  no_renames.renames_refused = true;
  one.max_lanes = 1;
  // Three distinct files and a sound sent twice.
  run::PublishFiles few;
  few.sounds = {"/w/a.au", "/w/a.au"};
  few.applet_class_path = "/w/x.class";
  few.resource = {"index.res", "\x02"};
  struct Case {
    run::PublishFiles files;
    PlanLimits limits;
    int lanes;
    bool listing;
  };
  const Case cases[] = {
      {few, {}, 1, true},
      {Files(0), {}, 2, true},           // 6 files beside the page
      {Files(6), {}, 3, true},           // 12
      {Files(24), {}, 4, true},          // 30: at most four connections
      {Files(24), one, 1, true},         // one asked for
      {Files(24), ssh, 1, false},        // SFTP: one connection, a size asked per file
      {Files(24), no_renames, 1, true},  // every file written in place, one by one
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.files.sounds.size());
    UploadPlan plan = PlanUpload(c.files, RemoteLayout("/index.htm"), "<html>", c.limits);
    EXPECT_EQ(plan.lanes, c.lanes);
    EXPECT_EQ(plan.prove_by_listing, c.listing);
  }
}

TEST(UploadPlanTest, ASoundUsedTwiceIsSentOnce) {
  UploadPlan plan = PlanUpload(Files(3, true), RemoteLayout("/index.htm"), "<html>", {});
  int sent = 0, repeats = 0;
  for (const PlannedFile& file : plan.files) {
    if (file.remote != "/audio/s0.au") continue;
    (file.repeat ? repeats : sent)++;
  }
  EXPECT_EQ(sent, 1);
  EXPECT_EQ(repeats, 1);
}

TEST(PageNamesTest, ByFileName) {
  EXPECT_TRUE(PageNames("<img src=\"audio/a.au\">", "/www/audio/a.au"));
  EXPECT_FALSE(PageNames("<img src=\"audio/b.au\">", "/www/audio/a.au"));
  EXPECT_TRUE(PageNames("", "/www/audio/a.au"));
}

}  // namespace
}  // namespace sonavelt::remote
