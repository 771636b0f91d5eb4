// Runs the real sonavelt-cli convert, as a user would.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/audio/shown_status.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "audio/wave_converter.h"
#include "tests/support/wave_bytes.h"
#include "tests/support/program.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::audio {
namespace {

struct CliRun {
  int exit_code = -1;  // -1: killed (also on the timeout)
  bool timed_out = false;
  long peak_rss_kb = 0;  // the child's own peak resident size
  std::string err;
};

// Runs the program with an argument list in `cwd` and waits for it; after
// `timeout_s` seconds it is killed, so a program that hangs fails the test
// instead of hanging it.
CliRun RunCli(const std::vector<std::string>& args, const std::string& cwd, int timeout_s = 60) {
  std::vector<std::string> argv = {testing::SonaveltCliPath()};
  argv.insert(argv.end(), args.begin(), args.end());
  testing::ProgramResult p =
      testing::RunProgram(argv, {.folder = cwd, .timeout = std::chrono::seconds(timeout_s)});
  return {p.status, p.timed_out, p.peak_rss_kb, p.err};
}

TEST(ConvertCommandTest, ConvertsLikeARunAndReportsFaults) {
  if (std::getenv("SONAVELT_BIN_DIR") == nullptr) GTEST_SKIP() << "SONAVELT_BIN_DIR not set";
  testing::TempDir dir;
  std::string data;
  for (int i = 0; i < 44100; ++i) data.push_back(static_cast<char>(i * 7));
  testing::WriteFile(dir.File("Bell.WAV"), testing::Wave(2, 44100, 8, data + data));

  // OUT defaults to the sound's name with ".au", in the current folder.
  std::filesystem::create_directories(dir.path() / "work");
  CliRun ok = RunCli({"convert", dir.File("Bell.WAV")}, dir.File("work"));
  EXPECT_EQ(ok.exit_code, 0) << ok.err;
  EXPECT_EQ(ok.err, "");
  testing::RecordingUserInterface ui;
  ASSERT_EQ(testing::Shown(ui, ConvertWaveFile(dir.File("Bell.WAV"), dir.File("lib.au"), {})),
            ConversionOutcome::kConverted);
  EXPECT_EQ(testing::ReadFile(dir.File("work/Bell.au")), testing::ReadFile(dir.File("lib.au")));
  EXPECT_EQ(testing::ReadFile(dir.File("lib.au")).size(), 34u + 8000u);

  // A bad file: the reader's message with Unix line breaks, then an empty line; no output.
  testing::WriteFile(dir.File("bad.wav"), testing::Riff(testing::Chunk("fmt ", testing::FmtBody(3, 8000, 8)) +
                                                        testing::Chunk("data", "abc")));
  CliRun bad = RunCli({"convert", "bad.wav", "out.au"}, dir.path().string());
  EXPECT_EQ(bad.exit_code, 1);
  // The run's check and its words, the file named by its absolute path.
  EXPECT_EQ(bad.err, dir.File("bad.wav") +
                         " has 3 channels.\nOnly 1 and 2 channel files are implemented!\n"
                         "Please select another sound file.\n\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.au")));

  // An output that cannot be written is a failure.
  CliRun unwritable = RunCli({"convert", "Bell.WAV", "no/such/folder/x.au"}, dir.path().string());
  EXPECT_EQ(unwritable.exit_code, 1);
  EXPECT_NE(unwritable.err.find("cannot be written"), std::string::npos);

  EXPECT_EQ(RunCli({"convert"}, dir.path().string()).exit_code, 2);
  EXPECT_EQ(RunCli({"convert", "a.wav", "b.au", "c"}, dir.path().string()).exit_code, 2);
  EXPECT_EQ(RunCli({"convert", "--fast", "a.wav"}, dir.path().string()).exit_code, 2);
}

TEST(ConvertCommandTest, OutputIsNamedFromTheFileNameAndNeverTheSoundItself) {
  if (std::getenv("SONAVELT_BIN_DIR") == nullptr) GTEST_SKIP() << "SONAVELT_BIN_DIR not set";
  testing::TempDir dir;
  namespace fs = std::filesystem;
  const std::string wave = testing::Wave(1, 8000, 8, std::string(800, '\x40'));
  fs::create_directories(dir.path() / "my.wavs");
  testing::WriteFile(dir.File("my.wavs/beta.wav"), wave);
  testing::WriteFile(dir.File("my.au"), "an unrelated file");

  // A folder named "my.wavs" names nothing: the output is beta.au.
  CliRun beta = RunCli({"convert", "my.wavs/beta.wav"}, dir.path().string());
  EXPECT_EQ(beta.exit_code, 0) << beta.err;
  EXPECT_EQ(testing::ReadFile(dir.File("beta.au")).size(), 34u + 800u);
  EXPECT_EQ(testing::ReadFile(dir.File("my.au")), "an unrelated file");

  // The sound as its own output, by its name, another spelling, a symbolic
  // link or a hard link: refused, the sound intact.
  testing::WriteFile(dir.File("same.wav"), wave);
  fs::create_symlink("same.wav", dir.path() / "link.au");
  fs::create_hard_link(dir.path() / "same.wav", dir.path() / "hard.au");
  for (const char* out : {"same.wav", "./same.wav", "link.au", "hard.au"}) {
    CliRun same = RunCli({"convert", "same.wav", out}, dir.path().string());
    EXPECT_EQ(same.exit_code, 1) << out;
    EXPECT_NE(same.err.find("is the sound itself"), std::string::npos) << same.err;
    EXPECT_EQ(testing::ReadFile(dir.File("same.wav")), wave) << out;
  }
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.au"));
  // A WAVE file named .au converted by its default name would be itself too.
  testing::WriteFile(dir.File("wave.au"), wave);
  EXPECT_EQ(RunCli({"convert", "wave.au"}, dir.path().string()).exit_code, 1);
  EXPECT_EQ(testing::ReadFile(dir.File("wave.au")), wave);

  // "--" ends the options: a file whose name starts with "-".
  testing::WriteFile(dir.File("-x.wav"), wave);
  CliRun dash = RunCli({"convert", "--", "-x.wav"}, dir.path().string());
  EXPECT_EQ(dash.exit_code, 0) << dash.err;
  EXPECT_EQ(testing::ReadFile(dir.File("-x.au")), testing::ReadFile(dir.File("beta.au")));
  EXPECT_EQ(RunCli({"convert", "-x.wav"}, dir.path().string()).exit_code, 2);
}

TEST(ConvertCommandTest, SpecialFilesAreRefusedBeforeAnyRead) {
  if (std::getenv("SONAVELT_BIN_DIR") == nullptr) GTEST_SKIP() << "SONAVELT_BIN_DIR not set";
  testing::TempDir dir;
  ASSERT_EQ(mkfifo(dir.File("pipe.wav").c_str(), 0600), 0);
  std::filesystem::create_symlink("/dev/zero", dir.path() / "zero.wav");
  // Nobody writes to the FIFO: a reader would wait forever.
  CliRun fifo = RunCli({"convert", "pipe.wav", "out.au"}, dir.path().string(), 20);
  EXPECT_FALSE(fifo.timed_out);
  EXPECT_EQ(fifo.exit_code, 1);
  EXPECT_NE(fifo.err.find("pipe.wav is a named pipe (FIFO), not a file."), std::string::npos)
      << fifo.err;
  CliRun zero = RunCli({"convert", "zero.wav", "out.au"}, dir.path().string(), 20);
  EXPECT_FALSE(zero.timed_out);
  EXPECT_EQ(zero.exit_code, 1);
  EXPECT_NE(zero.err.find("zero.wav is a device, not a file."), std::string::npos) << zero.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.au")));
}

// A WAVE file whose output (150 MB) is far above the memory bound: the codes
// must go to the file as they are made. The input is sparse (a header and a
// hole), so it costs no disk space and reads as silence.
TEST(ConvertCommandTest, LongSoundConvertsInBoundedMemory) {
  if (std::getenv("SONAVELT_BIN_DIR") == nullptr) GTEST_SKIP() << "SONAVELT_BIN_DIR not set";
  testing::TempDir dir;
  constexpr uint32_t kDataBytes = 300u << 20;
  std::string header = testing::Riff(testing::Chunk("fmt ", testing::FmtBody(1, 16000, 8)) +
                                         testing::Chunk("data", "", kDataBytes, false),
                                     static_cast<uint32_t>(4 + 24 + 8 + kDataBytes));
  testing::WriteFile(dir.File("long.wav"), header);
  ASSERT_EQ(truncate(dir.File("long.wav").c_str(), static_cast<off_t>(header.size() + kDataBytes)), 0);

  CliRun run = RunCli({"convert", "long.wav", "long.au"}, dir.path().string(), 300);
  ASSERT_EQ(run.exit_code, 0) << run.err;
  EXPECT_LT(run.peak_rss_kb, 100 * 1024) << "peak RSS " << run.peak_rss_kb << " kB";
  // From 16000 Hz every second sample is kept, less one: 150 MB of codes.
  const uint64_t frames = kDataBytes / 2 - 1;
  EXPECT_EQ(std::filesystem::file_size(dir.File("long.au")), 34 + frames);
  std::string head(34, '\0');
  {
    int fd = open(dir.File("long.au").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pread(fd, head.data(), head.size(), 0), 34);
    close(fd);
  }
  std::string expected(".snd\0\0\0\x22", 8);
  for (int shift : {24, 16, 8, 0}) expected.push_back(static_cast<char>((frames >> shift) & 0xFF));
  EXPECT_EQ(head.substr(0, 12), expected);
}

}  // namespace
}  // namespace sonavelt::audio
