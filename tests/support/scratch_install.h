#pragma once

#include <filesystem>

namespace sonavelt::testing {

// What a scratch install folder holds besides the applet class file and the
// browser player.
struct ScratchInstallParts {
  bool sample_page = false;  // samples/sample.htm, copied
  bool sounds = false;       // audio/, a link to the build tree's shipped sounds
};

// Makes `install` a small install folder from the build tree's one (`data`),
// so a test's runs never write into the build tree.
void MakeScratchInstallFolder(const std::filesystem::path& install,
                              const std::filesystem::path& data, ScratchInstallParts parts = {});

}  // namespace sonavelt::testing
