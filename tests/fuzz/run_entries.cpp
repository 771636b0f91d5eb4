#include <algorithm>
#include <string>
#include <string_view>

#include "run/resource_text.h"
#include "tests/fuzz/fuzz_entries.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/resource_file.h"

namespace sonavelt::fuzz {
namespace {

bool IsSevenBit(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 128; });
}

}  // namespace

// The input is split at 0x00 bytes: part 0 the page URL, 1 the background
// image, 2 the page colour, 3 the option bits and the combination count,
// 4 onwards sound paths (entrance, exit, background in turn). The whole
// input is also encoded and decoded as it is.
int FuzzResourceText(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);

  // The file format on its own: decode(encode(text)) is the text.
  std::string bytes;
  Status encoded = run::EncodeResourceText(input, &bytes);
  SONAVELT_FUZZ_CHECK(encoded.ok() == IsSevenBit(input), "7-bit text and encoding disagree");
  if (encoded.ok()) {
    std::string back;
    SONAVELT_FUZZ_CHECK(testing::DecodeResourceFile(bytes, &back).ok(), "own bytes refused");
    SONAVELT_FUZZ_CHECK(back == input, "the round trip changed the text");
  }
  std::string decoded;
  if (testing::DecodeResourceFile(input, &decoded).ok()) {
    std::string again;
    SONAVELT_FUZZ_CHECK(run::EncodeResourceText(decoded, &again).ok() && again == input,
                        "a decoded file does not encode back to its bytes");
  }

  // A whole resource text from outside names and URLs.
  run::RunOptions options;
  std::string_view bits = InputPart(input, 3);
  unsigned flags = bits.empty() ? 0 : static_cast<unsigned char>(bits[0]);
  options.random_order = flags & 1;
  options.safety_key = flags & 2;
  options.no_background = flags & 4;
  options.background_initially_on = flags & 8;
  options.entrance_on = flags & 16;
  options.exit_on = flags & 32;
  options.invisible_applet = flags & 64;
  options.page_url = std::string(InputPart(input, 0));
  int count = bits.size() < 2 ? 1 : 1 + static_cast<unsigned char>(bits[1]) % 16;

  run::ConvertedSounds sounds;
  for (int k = 0; k < count; ++k) {
    sounds.entrance.emplace_back(InputPart(input, 4 + 3 * k));
    sounds.exit.emplace_back(InputPart(input, 5 + 3 * k));
    if (!options.no_background) sounds.background.emplace_back(InputPart(input, 6 + 3 * k));
    sounds.entrance_durations.push_back(run::PlayingTimeText(sounds.entrance.back().size() * 977u));
  }
  Status warning;
  std::string text = run::ResourceText(options, count, sounds, InputPart(input, 2),
                                       InputPart(input, 1), &warning);
  SONAVELT_FUZZ_CHECK(IsSevenBit(text), "the resource text holds a byte the file cannot carry");
  SONAVELT_FUZZ_CHECK(std::count(text.begin(), text.end(), ';') == 16,
                      "not 16 fields: " + text);
  SONAVELT_FUZZ_CHECK(text.find('\n') == std::string::npos && text.find('\r') == std::string::npos,
                      "a line end inside a field");
  SONAVELT_FUZZ_CHECK(run::EncodeResourceText(text, &bytes).ok(), "the run's text is refused");

  for (std::string_view name : {InputPart(input, 4), InputPart(input, 5)}) {
    std::string segment = run::PercentEncodeName(name);
    SONAVELT_FUZZ_CHECK(segment.find_first_of("/\\;,\" <>&\r\n") == std::string::npos,
                        "a name escapes its URL path segment: " + segment);
  }
  return 0;
}

}  // namespace sonavelt::fuzz
