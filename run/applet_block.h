#pragma once

#include <string>
#include <string_view>

#include "html/page_edit.h"
#include "run/run_inputs.h"

// The block that puts the sound player into the user's page, and the names
// that tie it to the resource file beside the page.
namespace sonavelt::run {

// The player's class name, as the applet tag names it. Its upper-case form is
// html::kAppletMarker, by which a later run finds the block again.
inline constexpr std::string_view kAppletClassName = "SonaveltRandomEventBackground";

// The page file name with everything from its last "." removed; a name
// without "." stays whole (index.htm -> index, readme -> readme,
// my.page.html -> my.page).
std::string ResourceBaseName(std::string_view page_file_name);

// ResourceBaseName + ".res": the resource file's name beside the page.
std::string ResourceFileName(std::string_view page_file_name);

// The block, CR LF line ends:
//   [<br><center>]                                         with_wrappers
//   <applet code=SonaveltRandomEventBackground width="190" height="20">
//        (width="2" height="2" when options.invisible_applet)
//   <param name=random value="Yes">   ("No" without options.random_order)
//   <param name=resource value="BASE">
//   <script src="sonavelt-player.js" data-resource="BASE"></script>
//        (only with options.browser_player)
//   You will hear sounds if you use Java-enabled browsers.
//   </applet>
//   [</center><br>]                                        with_wrappers
// BASE is the resource base name percent-encoded by PercentEncodeName
// (resource_text.h), so the attribute cannot break and the player can fetch
// BASE + ".res" as a relative URL; a plain name such as "index" is unchanged.
// Without wrappers the block ends right after "</applet>". The player's line
// sits inside the applet element: a browser with Java ignores it, one without
// shows the element's content and so runs the script; and a later run, which
// replaces everything from "<applet " through "</applet>", replaces it too.
std::string AppletBlock(const RunOptions& options, std::string_view resource_base_name,
                        bool with_wrappers);

// Both forms, for ProcessPage.
html::AppletBlockTexts AppletBlocks(const RunOptions& options, std::string_view resource_base_name);

}  // namespace sonavelt::run
