#pragma once

#include <string>
#include <vector>

namespace sonavelt::testing {

// Runs a program (looked up on PATH) with an argument list, never a shell,
// and waits for it. True when it exits with 0; its standard output goes to
// `out` when given, standard error is dropped.
bool RunProgram(std::vector<std::string> args, std::string* out = nullptr);

}  // namespace sonavelt::testing
