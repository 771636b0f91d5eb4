#include "audio/sound_checks.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "base/file_io.h"
#include "tests/audio/shown_status.h"
#include "tests/support/wave_bytes.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::audio {
namespace {

class SoundChecksTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  testing::RecordingUserInterface ui_;
  WaveCheckState state_;

  // CheckNotEmpty as a front end uses it: its message shown, 0 after one.
  int64_t LengthShown(const std::string& path) {
    int64_t length = 0;
    Show(ui_, CheckNotEmpty(path, &length));
    return length;
  }
};

TEST_F(SoundChecksTest, ExistenceAndExtension) {
  EXPECT_FALSE(file_io::IsReadableFile(""));
  EXPECT_FALSE(file_io::IsReadableFile(dir_.File("none.wav")));
  std::filesystem::create_directories(dir_.path() / "my.audio");
  EXPECT_FALSE(file_io::IsReadableFile(dir_.File("my.audio")));  // a folder is no file
  testing::WriteFile(dir_.File("song.wave.txt"), "x");
  EXPECT_TRUE(file_io::IsReadableFile(dir_.File("song.wave.txt")));

  // Plain substring tests on a lower-case copy: these all pass.
  EXPECT_TRUE(HasSoundExtension("song.wave.txt"));
  EXPECT_TRUE(HasSoundExtension("/x/my.audio"));
  EXPECT_TRUE(HasSoundExtension("C:\\a\\b.WAV"));
  EXPECT_FALSE(HasSoundExtension("tune.wma"));

  Show(ui_, MissingFile("", "audio"));
  Show(ui_, MissingFile("/p/a.wav", "HTML"));
  Show(ui_, UnsupportedFile("tune.wma"));
  EXPECT_EQ(ui_.Messages(),
            (std::vector<std::string>{
                "Please select an audio file.", "/p/a.wav was not found.\r\nPlease select an HTML file.",
                "Sonavelt cannot handle the audio file:\r\n\"tune.wma\"\r\n\r\nSonavelt can handle "
                ".wav, .au, .mp3, .flac, .ogg, .oga, .opus, .aif, .aiff and .aifc audio files."
                "\r\nPlease select an "
                "audio file again."}));
  for (const auto& call : ui_.calls) EXPECT_EQ(call.style, BoxStyle::kSystemModal);
}

TEST_F(SoundChecksTest, SpecialFilesAreNeverOpenedAndSaySoWhenRefused) {
  // A FIFO nobody writes to would block an open for reading; /dev/zero
  // never ends. Neither counts as a file, and the message says what it is.
  const std::string fifo = dir_.File("pipe.wav");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(file_io::IsReadableFile(fifo));
  EXPECT_FALSE(file_io::IsReadableFile("/dev/zero"));
  std::optional<InputFile> file;
  const Status opened = InputFile::Open(fifo, &file);
  EXPECT_FALSE(file.has_value());
  EXPECT_EQ(opened.message(), file_io::ErrorText(file_io::kNotRegularFile));
  EXPECT_EQ(opened.message(), "not a regular file");
  EXPECT_FALSE(testing::Shown(ui_, CheckSoundFile(fifo, state_, ui_)));
  EXPECT_EQ(LengthShown("/dev/zero"), 0);
  std::filesystem::create_directories(dir_.path() / "folder.wav");
  ui_.calls.clear();
  Show(ui_, MissingFile(fifo, "audio"));
  Show(ui_, MissingFile("/dev/zero", "HTML"));
  Show(ui_, MissingFile(dir_.File("folder.wav"), "audio"));  // a folder: as before
  EXPECT_EQ(ui_.Messages(),
            (std::vector<std::string>{
                fifo + " is a named pipe (FIFO), not a file.\r\nPlease select an audio file.",
                "/dev/zero is a device, not a file.\r\nPlease select an HTML file.",
                dir_.File("folder.wav") + " was not found.\r\nPlease select an audio file."}));
}

TEST_F(SoundChecksTest, ContentsDecideTheReaderAndTheNameTheMessage) {
  // Upper-case extension: examined as a WAVE file.
  std::string upper = dir_.File("B.WAV");
  testing::WriteFile(upper, testing::Wave(1, 8000, 8, "abc"));
  EXPECT_TRUE(testing::Shown(ui_, CheckSoundFile(upper, state_, ui_)));
  EXPECT_EQ(state_.max_wave_frames, 3);
  // A real .au is read as one whatever its name says, and a WAVE named .au
  // as a WAVE.
  const std::string au_bytes = testing::AuFile(24, 1, 8000, 1, "", "ab");
  for (const char* name : {"x.au.wav", "a.au", "A.AU", "odd.mp3"}) {
    testing::WriteFile(dir_.File(name), au_bytes);
    EXPECT_TRUE(testing::Shown(ui_, CheckSoundFile(dir_.File(name), state_, ui_))) << name;
  }
  testing::WriteFile(dir_.File("w.au"), testing::Wave(1, 8000, 8, "abcd"));
  EXPECT_TRUE(testing::Shown(ui_, CheckSoundFile(dir_.File("w.au"), state_, ui_)));
  EXPECT_TRUE(ui_.calls.empty());

  // Contents nothing reads: the message of the kind the name promises
  // (".wav" before ".au", a decoded format's ending before both).
  const std::string junk(64, 'j');
  const std::vector<std::pair<std::string, std::string>> unread = {
      {"x.au.wav", " is not a RIFF file.\r\nJava API cannot handle this sound format."},
      {"y.au", " is not an .au file !\r\nPlease select another audio file."},
      {"my.wav.d/z.flac",
       " cannot be decoded: its contents are not in a sound format Sonavelt can read."},
  };
  for (const auto& [name, text] : unread) {
    std::filesystem::create_directories((dir_.path() / name).parent_path());
    testing::WriteFile(dir_.File(name), junk);
    ui_.calls.clear();
    EXPECT_FALSE(testing::Shown(ui_, CheckSoundFile(dir_.File(name), state_, ui_))) << name;
    ASSERT_EQ(ui_.calls.size(), 1u) << name;
    EXPECT_EQ(ui_.Messages().back().rfind(dir_.File(name) + text, 0), 0u) << ui_.Messages().back();
  }

  // A misnamed file that is refused: the message says what it holds.
  std::string cut = testing::Wave(1, 8000, 8, std::string(100, 'x'));
  cut.resize(cut.size() - 50);
  testing::WriteFile(dir_.File("cut.au"), cut);
  ui_.calls.clear();
  EXPECT_FALSE(testing::Shown(ui_, CheckSoundFile(dir_.File("cut.au"), state_, ui_)));
  EXPECT_EQ(ui_.Messages().back(),
            dir_.File("cut.au") +
                " (a WAVE file) is cut short: its WAVE sound data ends before the file says it "
                "does.\r\nIt's a corrupted sound file. Please select another sound file.");

  EXPECT_FALSE(testing::Shown(ui_, CheckSoundFile(dir_.File("t.wma"), state_, ui_)));
  EXPECT_EQ(ui_.Messages().back().rfind("Sonavelt cannot handle the audio file:", 0), 0u);
}

TEST_F(SoundChecksTest, NotEmptyAnswersTheLength) {
  std::string empty = dir_.File("e.wav");
  testing::WriteFile(empty, "");
  std::string full = dir_.File("f.wav");
  testing::WriteFile(full, std::string(1234, 'x'));
  EXPECT_EQ(LengthShown(full), 1234);
  EXPECT_TRUE(ui_.calls.empty());
  EXPECT_EQ(LengthShown(empty), 0);
  EXPECT_EQ(ui_.Messages().back(), empty + " is an empty file!\r\nPlease select an audio file.");
  std::string missing = dir_.File("m.wav");
  EXPECT_EQ(LengthShown(missing), 0);
  EXPECT_EQ(ui_.Messages().back(),
            missing + " cannot be opened: No such file or directory.\r\nPlease select another audio file.");
}

}  // namespace
}  // namespace sonavelt::audio
