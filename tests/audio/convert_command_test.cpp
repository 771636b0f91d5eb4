// Runs the real sonavelt-cli convert, as a user would.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "audio/wave_converter.h"
#include "tests/audio/wave_bytes.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::audio {
namespace {

struct CliRun {
  int exit_code = -1;
  std::string err;
};

// Starts the program with an argument list in `cwd`, standard error to a file.
CliRun RunCli(const std::vector<std::string>& args, const std::string& cwd) {
  const char* bin_dir = std::getenv("SONAVELT_BIN_DIR");
  std::string program = std::string(bin_dir ? bin_dir : "") + "/sonavelt-cli";
  std::string err_path = cwd + "/stderr.txt";
  pid_t pid = fork();
  if (pid == 0) {
    int fd = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int null = open("/dev/null", O_RDONLY);
    if (fd < 0 || null < 0 || chdir(cwd.c_str()) != 0) _exit(127);
    dup2(fd, 2);
    dup2(null, 0);
    std::vector<char*> argv{program.data()};
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  CliRun run;
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = testing::ReadFile(err_path);
  std::filesystem::remove(err_path);
  return run;
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
  ASSERT_EQ(ConvertWaveFile(dir.File("Bell.WAV"), dir.File("lib.au"), ui, {}), ConversionOutcome::kConverted);
  EXPECT_EQ(testing::ReadFile(dir.File("work/Bell.au")), testing::ReadFile(dir.File("lib.au")));
  EXPECT_EQ(testing::ReadFile(dir.File("lib.au")).size(), 34u + 8000u);

  // A bad file: the reader's message with Unix line breaks, then an empty line; no output.
  testing::WriteFile(dir.File("bad.wav"), testing::Riff(testing::Chunk("fmt ", testing::FmtBody(3, 8000, 8)) +
                                                        testing::Chunk("data", "abc")));
  CliRun bad = RunCli({"convert", "bad.wav", "out.au"}, dir.path().string());
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_EQ(bad.err, "bad.wav has 3 channels.\nOnly 1 and 2 channel files are implemented!\n\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.au")));

  // An output that cannot be written is a failure.
  CliRun unwritable = RunCli({"convert", "Bell.WAV", "no/such/folder/x.au"}, dir.path().string());
  EXPECT_EQ(unwritable.exit_code, 1);
  EXPECT_NE(unwritable.err.find("cannot be written"), std::string::npos);

  EXPECT_EQ(RunCli({"convert"}, dir.path().string()).exit_code, 2);
  EXPECT_EQ(RunCli({"convert", "a.wav", "b.au", "c"}, dir.path().string()).exit_code, 2);
  EXPECT_EQ(RunCli({"convert", "--fast", "a.wav"}, dir.path().string()).exit_code, 2);
}

}  // namespace
}  // namespace sonavelt::audio
