#include <cstdio>
#include <string>
#include <vector>

namespace sonavelt::cli {

int RunConvertCommand(const std::vector<std::string>&) {
  std::fprintf(stderr, "sonavelt-cli convert: not built yet\n");
  return 1;
}

}  // namespace sonavelt::cli
