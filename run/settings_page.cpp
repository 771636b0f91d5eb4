#include "run/settings_page.h"

#include "base/text.h"

namespace sonavelt::run {
namespace {

constexpr std::string_view kTitle =
    "Random Web Event Sounds And Background Sounds On Your Web Page\r\n";

std::string Escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string ShownName(const std::vector<std::string>& paths, int k) {
  return k < static_cast<int>(paths.size()) ? Escaped(FileNameOfPath(paths[k])) : std::string();
}

std::string SettingLine(std::string_view label, std::string_view value) {
  return std::string(label) + std::string(value) + "\r\n<BR>\r\n";
}

}  // namespace

std::string SettingsPagePath(std::string_view history_folder, std::string_view page_file_name) {
  return std::string(history_folder) + "/HIS_" + std::string(page_file_name);
}

std::string SettingsPage(const PageTarget& target, const RunOptions& options,
                         int combination_count, const ConvertedSounds& sounds) {
  const std::string& url = options.page_url;
  std::string page = "<HTML>\r\n<HEAD>\r\n<TITLE>\r\n";
  if (url.empty()) {
    page += kTitle;
    page += "</TITLE>\r\n</HEAD>\r\n<BODY>\r\n<P>\r\n";
  } else {
    page += "Test ";
    page += kTitle;
    page += "</TITLE>\r\n</HEAD>\r\n<BODY>\r\n";
    page += "<P>\r\n<A HREF=" + url +
            ">\r\nTest Random Web Event Sounds And Background Sounds On Your Web Page At \r\n" +
            url + "\r\n</A><P>\r\n";
  }
  page += "Settings used by Sonavelt:\r\n";
  page += "<P>\r\nHTML file: ";
  page += target.is_remote
              ? Escaped(target.remote_path) + " at: " + Escaped(target.remote_site)
              : Escaped(target.local_html_path);
  page += "\r\n<BR>\r\n";
  page += SettingLine("HTTP URL: ", url);
  page += SettingLine("Sound control: ", options.invisible_applet ? "invisible" : "visible");
  page += SettingLine("Safety Key: ", options.safety_key ? "set" : "not set");
  page += SettingLine("Background Sounds: ", options.no_background ? "not installed" : "installed");
  page += SettingLine("Entrance Event Sounds: ", options.entrance_on ? "turned on" : "turned off");
  page += SettingLine("Exit Event Sounds: ", options.exit_on ? "turned on" : "turned off");
  page += SettingLine("Background Sounds: initially ",
                      options.background_initially_on ? "turned on" : "turned off");
  // Only a page that loads the player says so: without it the report stays
  // as it always was.
  if (options.browser_player)
    page += SettingLine("Browser Playback: ", "installed for browsers without Java");
  page += "Total number of Sound Combinations: " + DecimalText(combination_count);

  page += "\r\n<BR>\r\n<TABLE>\r\n<TR>";
  page += "<TD>\r\nSound Combination\r\n</TD>";
  page += "<TD>\r\nEntrance Event Sound\r\n</TD>";
  page += "<TD>\r\nExit Event Sound\r\n</TD>";
  if (!options.no_background) page += "<TD>\r\nBackground Sound\r\n</TD>";
  page += "</TR><TR>";
  for (int k = 0; k < combination_count; ++k) {
    page += "<TD>\r\n" + DecimalText(k + 1) + "\r\n</TD><TD>\r\n" + ShownName(sounds.entrance, k) +
            "\r\n</TD><TD>\r\n" + ShownName(sounds.exit, k) + "\r\n</TD>";
    if (!options.no_background) {
      page += "<TD>\r\n" + ShownName(sounds.background, k) + "\r\n</TD>";
    }
    page += (k + 1 == combination_count) ? "</TR>" : "</TR><TR>";
  }
  page += "\r\n</TABLE>\r\n</BODY>\r\n</HTML>";
  return page;
}

}  // namespace sonavelt::run
