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

// All subcommands, in the order the usage text lists them.
const std::vector<Command>& Commands();

}  // namespace sonavelt::cli
