#include "tests/support/scratch_install.h"

namespace sonavelt::testing {

namespace fs = std::filesystem;

void MakeScratchInstallFolder(const fs::path& install, const fs::path& data,
                              ScratchInstallParts parts) {
  fs::create_directories(install);
  fs::copy_file(data / "SonaveltRandomEventBackground.class",
                install / "SonaveltRandomEventBackground.class");
  fs::create_directories(install / "player");
  fs::copy_file(data / "player/sonavelt-player.js", install / "player/sonavelt-player.js");
  if (parts.sample_page) {
    fs::create_directories(install / "samples");
    fs::copy_file(data / "samples/sample.htm", install / "samples/sample.htm");
  }
  if (parts.sounds) fs::create_directory_symlink(data / "audio", install / "audio");
}

}  // namespace sonavelt::testing
