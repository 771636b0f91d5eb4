#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// The fuzzed readers of outside input. Each entry point takes one input,
// feeds it to the program's own code as a file or a text would arrive, and
// checks what the code promises about its result; a broken promise aborts.
// The libFuzzer programs (fuzz_main.cpp) and the regression test (which
// replays the kept corpora and crash inputs) call the same functions.
namespace sonavelt::fuzz {

using Entry = int (*)(const uint8_t* data, size_t size);

// WAVE: the format check, the whole-file decoder and the .au conversion.
int FuzzWaveReader(const uint8_t* data, size_t size);
// .au: the header check and the 8-bit WAVE preview copy.
int FuzzAuReader(const uint8_t* data, size_t size);
// The page edit on arbitrary page bytes; editing the result again changes nothing.
int FuzzPageEdit(const uint8_t* data, size_t size);
// The BODY colour rules: attribute read, names, hexadecimal pairs.
int FuzzBodyColour(const uint8_t* data, size_t size);
// The resource text: built from fuzzed names and URLs, encoded and decoded.
int FuzzResourceText(const uint8_t* data, size_t size);
// URL parsing and password removal.
int FuzzUrl(const uint8_t* data, size_t size);
// The FTP address parser and the remote name checks.
int FuzzFtpAddress(const uint8_t* data, size_t size);
// The FTP listing parser.
int FuzzListingParser(const uint8_t* data, size_t size);

struct NamedEntry {
  std::string_view name;  // also the folder name under corpus/ and regressions/
  Entry entry;
};
std::span<const NamedEntry> AllEntries();

}  // namespace sonavelt::fuzz
