// One libFuzzer program; SONAVELT_FUZZ_ENTRY names the entry point it drives.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return sonavelt::fuzz::SONAVELT_FUZZ_ENTRY(data, size);
}
