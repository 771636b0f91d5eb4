#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/text.h"
#include "base/version.h"
#include "cli/commands.h"
#include "run/run_messages.h"

namespace {

void PrintUsage(std::FILE* out) {
  std::fprintf(out, "usage: sonavelt-cli COMMAND [ARGS]\n       sonavelt-cli --help | --version\n\ncommands:\n");
  for (const auto& command : sonavelt::cli::Commands())
    std::fprintf(out, "  %s\n", command.synopsis);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  std::string name = argv[1];
  if (name == "-h" || name == "--help" || name == "help") {
    PrintUsage(stdout);
    return 0;
  }
  if (name == "--version") {
    std::printf("sonavelt-cli %s\n", sonavelt::kVersion);
    return 0;
  }
  std::vector<std::string> args(argv + 2, argv + argc);
  for (const auto& command : sonavelt::cli::Commands()) {
    if (name != command.name) continue;
    // The core reports expected failures as values; running out of memory
    // is the one exception that may reach here, and it gets words, not an
    // abort. Files being written are temporary ones their writers remove as
    // the stack unwinds.
    try {
      return command.run(args);
    } catch (const std::bad_alloc&) {
      std::fprintf(stderr, "%s\n",
                   sonavelt::WithUnixLineEnds(sonavelt::run::OutOfMemoryMessage()).c_str());
      return 1;
    }
  }
  std::fprintf(stderr, "sonavelt-cli: unknown command '%s'\n\n", name.c_str());
  PrintUsage(stderr);
  return 2;
}
