#pragma once

#include <string>
#include <string_view>

#include "run/resource_text.h"
#include "run/run_inputs.h"

// The settings page each run leaves in the history folder: the test page the
// after-run dialog opens in a browser (with a link to the processed page when
// its HTTP address is known) and a report of the run's settings with a table
// of the sound combinations. Not transferred to the site.
namespace sonavelt::run {

// history_folder + "/HIS_" + the page's file name (extension included). Pages
// of the same file name in different folders share it; a later run
// overwrites it.
std::string SettingsPagePath(std::string_view history_folder, std::string_view page_file_name);

// The page text, CR LF line ends. The table lists each combination's sounds
// by file name as the site gets them (the converted .au names); its
// background column is left out when options.no_background. With
// options.browser_player a line before the count says that browser playback
// is installed. File names, paths and the site name are written with "&",
// "<" and ">" escaped, so a name cannot break the page; the URL is written as
// given.
std::string SettingsPage(const PageTarget& target, const RunOptions& options,
                         int combination_count, const ConvertedSounds& sounds);

}  // namespace sonavelt::run
