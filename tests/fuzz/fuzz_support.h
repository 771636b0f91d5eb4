#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/user_interface.h"

// What the fuzz entry points share: a user interface that answers without
// a screen, a scratch file for readers that take a path, and a check that
// stops the process (libFuzzer then keeps the input as a crash).
namespace sonavelt::fuzz {

// Reports `what` on standard error and aborts when `condition` is false.
#define SONAVELT_FUZZ_CHECK(condition, what) \
  ::sonavelt::fuzz::CheckOrAbort((condition), #condition, (what), __FILE__, __LINE__)
void CheckOrAbort(bool condition, const char* expression, std::string_view what,
                  const char* file, int line);

// Counts what it was told; every question gets the scripted answer.
class SilentUserInterface : public UserInterface {
 public:
  explicit SilentUserInterface(bool answer = true) : answer_(answer) {}
  void Tell(BoxStyle, const std::string& text) override;
  bool Ask(BoxStyle, const std::string& question) override;
  int tells() const { return tells_; }

 private:
  bool answer_;
  int tells_ = 0;
};

// A folder of this process's own for files the readers open (on a memory
// file system when there is one), removed when the process exits.
const std::string& ScratchFolder();
// Writes `bytes` as the file `name` in ScratchFolder() and answers its path.
std::string WriteScratchFile(const std::string& name, const uint8_t* bytes, size_t size);

// Splits fuzz input into parts at each 0x00 byte, so one input can feed
// several text fields. Answers part `index`, or "" past the last one.
std::string_view InputPart(std::string_view input, int index);

}  // namespace sonavelt::fuzz
