#include "tests/fuzz/fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace sonavelt::fuzz {

void CheckOrAbort(bool condition, const char* expression, std::string_view what,
                  const char* file, int line) {
  if (condition) return;
  std::fprintf(stderr, "%s:%d: check failed: %s\n  %.*s\n", file, line, expression,
               static_cast<int>(what.size()), what.data());
  std::abort();
}

namespace {
// SONAVELT_FUZZ_VERBOSE=1 shows the messages, to see why an input failed.
bool Verbose() {
  static const bool verbose = std::getenv("SONAVELT_FUZZ_VERBOSE") != nullptr;
  return verbose;
}
}  // namespace

void SilentUserInterface::Tell(BoxStyle, const std::string& text) {
  SONAVELT_FUZZ_CHECK(!text.empty(), "a message with no text");
  if (Verbose()) std::fprintf(stderr, "told: %s\n", text.c_str());
  ++tells_;
}

bool SilentUserInterface::Ask(BoxStyle, const std::string& question) {
  SONAVELT_FUZZ_CHECK(!question.empty(), "a question with no text");
  if (Verbose()) std::fprintf(stderr, "asked: %s\n", question.c_str());
  return answer_;
}

namespace {

void RemoveScratchFolder();

std::string MakeScratchFolder() {
  std::string base = "/dev/shm";
  if (access(base.c_str(), W_OK) != 0) {
    const char* tmp = std::getenv("TMPDIR");
    base = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
  }
  std::string pattern = base + "/sonavelt-fuzz-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("sonavelt fuzz: cannot make a scratch folder");
    std::abort();
  }
  std::atexit(RemoveScratchFolder);
  return pattern;
}

void RemoveScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(ScratchFolder(), ignored);
}

}  // namespace

const std::string& ScratchFolder() {
  // Never destroyed: the removal at exit still needs the name.
  static const std::string* folder = new std::string(MakeScratchFolder());
  return *folder;
}

std::string WriteScratchFile(const std::string& name, const uint8_t* bytes, size_t size) {
  std::string path = ScratchFolder() + "/" + name;
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  SONAVELT_FUZZ_CHECK(fd >= 0, "cannot create " + path);
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, bytes + done, size - done);
    SONAVELT_FUZZ_CHECK(n > 0, "cannot write " + path);
    done += static_cast<size_t>(n);
  }
  close(fd);
  return path;
}

std::string_view InputPart(std::string_view input, int index) {
  size_t start = 0;
  for (int i = 0; i < index; ++i) {
    size_t zero = input.find('\0', start);
    if (zero == std::string_view::npos) return {};
    start = zero + 1;
  }
  size_t end = input.find('\0', start);
  return input.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

}  // namespace sonavelt::fuzz
