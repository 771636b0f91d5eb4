// Every accepted sound format through the real sonavelt-cli, as a user
// would give them: `run` with nine sounds in nine formats, `convert` on each,
// and an undecodable file refused by name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "audio/au_writer.h"
#include "audio/sound_decoder.h"
#include "audio/wave_reader.h"
#include "tests/audio/sound_tools.h"
#include "tests/support/cli_test.h"
#include "tests/support/program.h"
#include "tests/support/recording_user_interface.h"
#include "tests/support/reference_audio.h"
#include "tests/support/scratch_install.h"
#include "tests/support/temp_dir.h"

namespace sonavelt::audio {
namespace {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string output;  // standard output and standard error together
};

class FormatsRunTest : public testing::CliTest {
 protected:
  FormatsRunTest() : CliTest({.sample_page = true, .sounds = true}) {}
  void SetUp() override {
    CliTest::SetUp();
    if (IsSkipped()) return;
    fs::create_directories(dir_.path() / "site");
    fs::create_directories(dir_.path() / "sounds");
    fs::copy_file(data_ / "samples/sample.htm", dir_.path() / "site/sample.htm");
    setenv("XDG_CONFIG_HOME", (dir_.path() / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (dir_.path() / "data").c_str(), 1);
  }

  // `args` is shell text (the tests quote names the way a user would).
  Result Cli(const std::string& args) {
    testing::ProgramResult p = testing::RunProgram(
        {"/bin/sh", "-c", "exec '" + cli_ + "' " + args},
        {.folder = dir_.path(), .merge_output = true});
    return {p.status, p.out};
  }
  Result Run(const std::string& args) {
    return Cli("run --install-folder '" + install_.string() + "' " + args);
  }
  std::string Sound(const std::string& name) { return (dir_.path() / "sounds" / name).string(); }

  // The .au the plain step-by-step rules make from a WAVE file the WAVE
  // reader covers: what every lossless copy of it must give, byte for byte.
  std::string StepByStepAu(const std::string& wave_path) {
    testing::RecordingUserInterface ui;
    auto decoded = testing::ReadWaveSamples(wave_path, ui);
    EXPECT_TRUE(decoded);
    if (!decoded) return "";
    testing::MakeMono(decoded->format);
    testing::ChangeRate(decoded->format, decoded->samples, 8000);
    EXPECT_TRUE(testing::ChangeEncoding(decoded->format, decoded->samples, kMuLawEncoding, ui));
    auto header = SunAuHeader(static_cast<uint32_t>(decoded->samples.size()));
    std::string out(header.begin(), header.end());
    for (int32_t code : decoded->samples) out.push_back(static_cast<char>(code));
    return out;
  }

};

TEST_F(FormatsRunTest, EveryFormatThroughRunAndConvert) {
  SONAVELT_REQUIRE_TOOL("sox");
  SONAVELT_REQUIRE_TOOL("ffmpeg");
  // One reference the WAVE reader covers, lossless copies of it, lossy ones
  // of a 440 Hz tone.
  const std::string ref = Sound("ref.wav");
  ASSERT_TRUE(testing::Shell("sox -n -r 22050 -c 2 -b 16 '" + ref +
                             "' synth 1.2 sine 440 sine 660 synth 1.2 whitenoise amod 9 vol 0.6"));
  const std::string lossless[] = {"w24.wav", "float.wav", "s.flac", "s.aiff"};
  const std::string sox_options[] = {"-b 24", "-e floating-point -b 32", "", ""};
  for (int i = 0; i < 4; ++i)
    ASSERT_TRUE(testing::Shell("sox '" + ref + "' " + sox_options[i] + " '" + Sound(lossless[i]) + "'"));
  const std::string lossy[] = {"t.mp3", "t.ogg", "t.opus", "t.oga"};
  const std::string codecs[] = {"libmp3lame", "libvorbis", "libopus", "libvorbis"};
  for (int i = 0; i < 4; ++i)
    ASSERT_TRUE(testing::Shell("ffmpeg -v error -f lavfi -i sine=frequency=440:duration=1.5 -ar 48000 "
                               "-c:a " + codecs[i] + " -y '" + Sound(lossy[i]) + "'"));

  // Three combinations: nine sounds, one per format and the reference.
  std::string args = "--yes -q --no-html5 -n 3";
  const std::string order[] = {"ref.wav", "w24.wav", "float.wav", "s.flac", "s.aiff",
                               "t.mp3",   "t.ogg",   "t.opus",    "t.oga"};
  const char* roles[] = {"-e", "-x", "-b"};
  for (int role = 0; role < 3; ++role)
    for (int k = 0; k < 3; ++k) args += std::string(" ") + roles[role] + " sounds/" + order[role * 3 + k];
  Result run = Run(args + " site/sample.htm");
  ASSERT_EQ(run.status, 0) << run.output;

  const std::string expected = StepByStepAu(ref);
  ASSERT_GT(expected.size(), 9000u);
  auto au = [&](const std::string& stem) {
    return testing::ReadFile((dir_.path() / "site/audio" / (stem + ".au")).string());
  };
  EXPECT_TRUE(au("ref") == expected);
  EXPECT_TRUE(au("w24") == expected);
  EXPECT_TRUE(au("float") == expected);
  // s.flac and s.aiff share a name: the second gets one of its own.
  EXPECT_TRUE(au("s") == expected);
  EXPECT_TRUE(au("s-2") == expected);
  for (const char* stem : {"t", "t-2", "t-3", "t-4"}) {
    const std::string bytes = au(stem);
    ASSERT_GT(bytes.size(), 34u) << stem;
    const std::vector<float> samples = testing::AuSamples(bytes);
    EXPECT_NEAR(static_cast<double>(samples.size()), 12000.0, 800.0) << stem;
    EXPECT_NEAR(testing::CrossingRate(samples, 8000), 440.0, 10.0) << stem;
  }

  // convert: each format on its own, the lossless ones to the reference's bytes.
  for (const std::string& name : lossless) {
    Result converted = Cli("convert sounds/" + name + " out.au");
    ASSERT_EQ(converted.status, 0) << name << converted.output;
    EXPECT_TRUE(testing::ReadFile((dir_.path() / "out.au").string()) == expected) << name;
  }
  for (const std::string& name : lossy) {
    Result converted = Cli("convert sounds/" + name);
    ASSERT_EQ(converted.status, 0) << name << converted.output;
  }
  EXPECT_TRUE(fs::exists(dir_.path() / "t.au"));
}

// The length of a file as libsndfile decodes it, in frames, and its rate.
std::pair<int64_t, int> DecodedLength(const std::string& path) {
  std::optional<SoundDecoder> decoder;
  const Status opened = SoundDecoder::Open(path, &decoder);
  EXPECT_TRUE(opened.ok()) << path << ": " << opened.message();
  if (!decoder) return {0, 0};
  std::vector<float> block(4096 * static_cast<size_t>(decoder->channels()));
  int64_t frames = 0;
  for (int64_t got = 0; decoder->Read(block.data(), 4096, &got).ok() && got > 0;) frames += got;
  return {frames, decoder->sample_rate()};
}

TEST_F(FormatsRunTest, BrowserCopiesBesideTheAuFilesWithTheirLengths) {
  SONAVELT_REQUIRE_TOOL("sox");
  const std::string wide = Sound("Wide.wav");  // 1.2 s: 57600 frames at 48 kHz
  ASSERT_TRUE(testing::Shell("sox -n -r 22050 -c 2 -b 24 '" + wide + "' synth 1.2 sine 440"));
  const std::string loop = Sound("loop.flac");  // 2 s at 48 kHz, mono
  ASSERT_TRUE(testing::Shell("sox -n -r 48000 -c 1 '" + loop + "' synth 2 pinknoise vol 0.3"));
  if (!fs::exists(install_ / "player/sonavelt-player.js")) {
    fs::create_directories(install_ / "player");
    fs::copy_file(fs::path(std::getenv("SONAVELT_BUILD_DATA_DIR")) / "player/sonavelt-player.js",
                  install_ / "player/sonavelt-player.js");
  }

  Result run = Run("--yes -q --html5 -n 1 -e sounds/Wide.wav -x sounds/Wide.wav -b sounds/loop.flac "
                   "site/sample.htm");
  ASSERT_EQ(run.status, 0) << run.output;
  const fs::path audio = dir_.path() / "site/audio";
  EXPECT_EQ(DecodedLength((audio / "Wide.opus").string()), std::make_pair(int64_t{57600}, 48000));
  EXPECT_EQ(DecodedLength((audio / "loop.opus").string()), std::make_pair(int64_t{96000}, 48000));
  // The applet's files are as they were: the .au of the same sounds.
  EXPECT_TRUE(fs::exists(audio / "Wide.au"));
  EXPECT_TRUE(fs::exists(audio / "loop.au"));
  // The copies are small: about 32 kbit/s mono for the noise loop.
  EXPECT_LT(fs::file_size(audio / "loop.opus"), 12000u);
  // The player's data file names each copy with its exact length.
  const std::string data = testing::ReadFile((dir_.path() / "site/sample.sounds.js").string());
  EXPECT_NE(data.find(R"({"au": "audio/Wide.au", "copy": "audio/Wide.opus", "frames": 57600})"),
            std::string::npos)
      << data;
  EXPECT_NE(data.find(R"({"au": "audio/loop.au", "copy": "audio/loop.opus", "frames": 96000})"),
            std::string::npos)
      << data;

  // Without the browser player no copies are made.
  fs::remove(audio / "Wide.opus");
  fs::remove(audio / "loop.opus");
  run = Run("--yes -q --no-html5 -n 1 -e sounds/Wide.wav -x sounds/Wide.wav -b sounds/loop.flac "
            "site/sample.htm");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_FALSE(fs::exists(audio / "Wide.opus"));
  EXPECT_FALSE(fs::exists(audio / "loop.opus"));
}

TEST_F(FormatsRunTest, UndecodableSoundIsRefusedByName) {
  std::string junk(4000, '\0');
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 2654435761u) >> 13);
  testing::WriteFile(Sound("broken.flac"), junk);
  const std::string before = testing::ReadFile((dir_.path() / "site/sample.htm").string());

  Result run = Run("--yes -q --no-html5 -n 1 --no-background -e sounds/broken.flac site/sample.htm");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.output.find("sounds/broken.flac cannot be decoded: "), std::string::npos)
      << run.output;
  EXPECT_EQ(testing::ReadFile((dir_.path() / "site/sample.htm").string()), before);

  Result converted = Cli("convert sounds/broken.flac");
  EXPECT_EQ(converted.status, 1);
  EXPECT_NE(converted.output.find("sounds/broken.flac cannot be decoded: "), std::string::npos)
      << converted.output;
  EXPECT_FALSE(fs::exists(dir_.path() / "broken.au"));
}

// Splits output into its lines.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// Good, tagged, cut and garbage files of every format through both
// commands: the terminal gets the program's own lines and nothing else
// (no library speaks), both commands say the same about the same file, a
// cut file is refused alike in every format, and no question is asked about
// a file that is refused.
TEST_F(FormatsRunTest, EveryFormatGoodTaggedCutAndGarbageInTheProgramsOwnWords) {
  SONAVELT_REQUIRE_TOOL("sox");
  SONAVELT_REQUIRE_TOOL("ffmpeg");
  const std::string ref = Sound("ref.wav");
  ASSERT_TRUE(testing::Shell("sox -n -r 22050 -c 1 -b 16 '" + ref + "' synth 1.0 sine 440 vol 0.5"));
  struct Format {
    const char* name;  // as the user has it
    const char* kind;  // as the messages name it
    std::string make;  // shell command making it from ref.wav (REF) into OUT
  };
  const std::string tags = "-metadata title=Tagged -metadata artist=Someone ";
  // s8.au first: it is every run's exit sound.
  const std::vector<Format> formats = {
      {"s8.au", "Sun .au", "sox REF -r 8000 -e mu-law OUT"},
      {"w16.wav", "WAVE", "cp REF OUT"},
      {"float.wav", "WAVE", "sox REF -e floating-point -b 32 OUT"},
      {"ima.wav", "WAVE", "sox REF -e ima-adpcm OUT"},
      {"tagged.wav", "WAVE", "ffmpeg -v error -i REF " + tags + "-y OUT"},
      {"s22.au", "Sun .au", "sox REF -e mu-law OUT"},
      {"s.flac", "FLAC", "ffmpeg -v error -i REF " + tags + "-y OUT"},
      {"s.aiff", "AIFF", "ffmpeg -v error -i REF " + tags + "-y OUT"},
      {"s.mp3", "MP3", "ffmpeg -v error -i REF -c:a libmp3lame " + tags + "-write_id3v1 1 -y OUT"},
      {"cbr.mp3", "MP3", "ffmpeg -v error -i REF -c:a libmp3lame -write_xing 0 -y OUT"},
      {"s.ogg", "Ogg", "ffmpeg -v error -i REF -c:a libvorbis " + tags + "-y OUT"},
      {"s.opus", "Ogg", "ffmpeg -v error -i REF -c:a libopus " + tags + "-y OUT"},
  };
  const std::string corrupted = "It's a corrupted sound file. Please select another sound file.";
  for (const Format& f : formats) {
    SCOPED_TRACE(f.name);
    std::string make = f.make;
    make.replace(make.find("REF"), 3, "'" + ref + "'");
    make.replace(make.find("OUT"), 3, "'" + Sound(f.name) + "'");
    ASSERT_TRUE(testing::Shell(make)) << make;

    // Good (and tagged): converted without a word, by both commands.
    Result converted = Cli("convert sounds/" + std::string(f.name) + " out.au");
    EXPECT_EQ(converted.status, 0);
    EXPECT_EQ(converted.output, "");
    Result run = Run("--yes -q --no-html5 -n 1 --no-background -e sounds/" + std::string(f.name) +
                     " -x sounds/s8.au site/sample.htm 2>&1 >/dev/null");
    EXPECT_EQ(run.status, 0);
    // Only the format question (answered by --yes) may come before the end.
    const std::string answered = "[y/n] y\n\n";
    const size_t question_end = run.output.find(answered);
    if (question_end == std::string::npos) {
      EXPECT_EQ(run.output, "");
    } else {
      EXPECT_EQ(run.output.rfind(Sound(f.name) + "\nis an ", 0), 0u) << run.output;
      EXPECT_EQ(question_end + answered.size(), run.output.size()) << run.output;
    }

    // Cut in half: refused by both, with the same lines, before any question.
    const std::string bytes = testing::ReadFile(Sound(f.name));
    const std::string cut_name = std::string("cut-") + f.name;
    testing::WriteFile(Sound(cut_name), bytes.substr(0, bytes.size() / 2));
    const std::vector<std::string> cut_message = {
        Sound(cut_name) + " is cut short: its " + f.kind +
            " sound data ends before the file says it does.",
        corrupted};
    converted = Cli("convert sounds/" + cut_name + " cut.au");
    EXPECT_EQ(converted.status, 1);
    std::vector<std::string> lines = Lines(converted.output);
    EXPECT_EQ(lines, (std::vector<std::string>{cut_message[0], cut_message[1], ""}));
    // No --yes: a question would be answered No and named in the output.
    run = Run("-q --no-html5 -n 1 --no-background -e sounds/" + cut_name +
              " -x sounds/s8.au site/sample.htm </dev/null");
    EXPECT_EQ(run.status, 1);
    lines = Lines(run.output);
    ASSERT_GE(lines.size(), 2u) << run.output;
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 2), cut_message) << run.output;
    EXPECT_EQ(run.output.find("Do you want"), std::string::npos) << run.output;
  }
  EXPECT_FALSE(fs::exists(dir_.path() / "cut.au"));

  // The 8000 Hz mono .au is copied byte for byte; the 22050 Hz one is not.
  ASSERT_EQ(Cli("convert sounds/s8.au a8.au").status, 0);
  EXPECT_TRUE(testing::ReadFile((dir_.path() / "a8.au").string()) ==
              testing::ReadFile(Sound("s8.au")));
  ASSERT_EQ(Cli("convert sounds/s22.au a22.au").status, 0);
  const std::string a22 = testing::ReadFile((dir_.path() / "a22.au").string());
  EXPECT_NEAR(static_cast<double>(a22.size()), 34.0 + 8000.0, 2.0);

  // Garbage under every name: the message of the kind the name promises.
  std::string junk(3000, '\0');
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>((i * 2654435761u) >> 11);
  const std::string unknown =
      " cannot be decoded: its contents are not in a sound format Sonavelt can read.";
  const std::vector<std::pair<std::string, std::vector<std::string>>> garbage = {
      {"g.wav", {" is not a RIFF file.", "Java API cannot handle this sound format.",
                 "Please select another sound file."}},
      {"g.au", {" is not an .au file !", "Please select another audio file."}},
      {"g.mp3", {unknown, "Please select another audio file."}},
      {"g.flac", {unknown, "Please select another audio file."}},
      {"g.ogg", {unknown, "Please select another audio file."}},
      {"g.opus", {unknown, "Please select another audio file."}},
      {"g.aiff", {unknown, "Please select another audio file."}},
  };
  for (const auto& [name, message] : garbage) {
    SCOPED_TRACE(name);
    testing::WriteFile(Sound(name), junk);
    std::vector<std::string> expected = message;
    expected[0] = Sound(name) + expected[0];
    Result converted = Cli("convert sounds/" + name + " g.au");
    EXPECT_EQ(converted.status, 1);
    expected.push_back("");
    EXPECT_EQ(Lines(converted.output), expected);
    expected.pop_back();
    Result run = Run("-q --no-html5 -n 1 --no-background -e sounds/" + name +
                     " -x sounds/s8.au site/sample.htm </dev/null");
    EXPECT_EQ(run.status, 1);
    const std::vector<std::string> lines = Lines(run.output);
    ASSERT_GE(lines.size(), expected.size()) << run.output;
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + expected.size()), expected);
  }

  // A FLAC named .au is read as FLAC; a cut one says what it holds.
  fs::copy_file(Sound("s.flac"), Sound("flac.au"));
  EXPECT_EQ(Cli("convert sounds/flac.au f.au").status, 0);
  fs::copy_file(Sound("cut-s.flac"), Sound("cutflac.au"));
  Result misnamed = Cli("convert sounds/cutflac.au f2.au");
  EXPECT_EQ(Lines(misnamed.output)[0],
            Sound("cutflac.au") +
                " (a FLAC file) is cut short: its FLAC sound data ends before the file says it does.");
}

// A WAVE that only another decoder reads is accepted; one that no decoder
// reads keeps the WAVE reader's own words.
TEST_F(FormatsRunTest, WaveEncodingsTheWaveReaderLeavesToTheDecoder) {
  SONAVELT_REQUIRE_TOOL("sox");
  ASSERT_TRUE(testing::Shell("sox -n -r 11025 -c 1 -b 16 '" + Sound("p.wav") + "' synth 0.5 sine 300"));
  ASSERT_TRUE(testing::Shell("sox '" + Sound("p.wav") + "' -e ms-adpcm '" + Sound("ms.wav") + "'"));
  EXPECT_EQ(Cli("convert sounds/ms.wav").status, 0);
  // Format tag 2 over plain PCM bytes with a 16-byte format chunk: nothing
  // reads it.
  std::string bytes = testing::ReadFile(Sound("p.wav"));
  const size_t fmt = bytes.find("fmt ");
  ASSERT_NE(fmt, std::string::npos);
  bytes[fmt + 8] = 2;
  bytes[fmt + 9] = 0;
  testing::WriteFile(Sound("tag2.wav"), bytes);
  const std::vector<std::string> expected = {"Unidentified encoding in " + Sound("tag2.wav"),
                                             "Java API cannot handle this sound format.",
                                             "Please select another sound file.", ""};
  Result converted = Cli("convert sounds/tag2.wav");
  EXPECT_EQ(converted.status, 1);
  EXPECT_EQ(Lines(converted.output), expected);
  Result run = Run("-q --no-html5 -n 1 --no-background -e sounds/tag2.wav -x sounds/ms.wav "
                   "site/sample.htm </dev/null");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.output.rfind(expected[0] + "\n" + expected[1] + "\n" + expected[2] + "\n", 0), 0u)
      << run.output;
}

}  // namespace
}  // namespace sonavelt::audio
