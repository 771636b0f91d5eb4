#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/version.h"
#include "cli/commands.h"

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
    if (name == command.name) return command.run(args);
  }
  std::fprintf(stderr, "sonavelt-cli: unknown command '%s'\n\n", name.c_str());
  PrintUsage(stderr);
  return 2;
}
