#pragma once

#include <string>
#include <vector>

// The subcommands of sonavelt-cli. Each takes the arguments after its own name
// and answers the process exit status.
namespace sonavelt::cli {

struct Command {
  const char* name;
  const char* synopsis;  // one line for the usage text
  int (*run)(const std::vector<std::string>& args);
};

// The exit status of run and remove; the manual page's EXIT STATUS says
// which case gives which.
inline constexpr int kExitDone = 0;
inline constexpr int kExitStopped = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitEnded = 3;

// All subcommands, in the order the usage text lists them.
const std::vector<Command>& Commands();

}  // namespace sonavelt::cli
