#include "cli/commands.h"

namespace sonavelt::cli {

// Each command lives in a file of its own (convert_command.cpp, ...).
int RunConvertCommand(const std::vector<std::string>& args);
int RunRunCommand(const std::vector<std::string>& args);
int RunRemoveCommand(const std::vector<std::string>& args);

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"convert", "convert SOUND [OUT]   turn a sound file (WAVE, .au, MP3, FLAC, Ogg, AIFF)\n"
       "                        into the player's .au file",
       RunConvertCommand},
      {"run", "run [OPTIONS] [PAGE]  add the sounds to a local or remote page (see run --help)",
       RunRunCommand},
      {"remove", "remove [OPTIONS] PAGE  take the sounds off a page again (see remove --help)",
       RunRemoveCommand},
  };
  return commands;
}

}  // namespace sonavelt::cli
