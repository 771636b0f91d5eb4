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

// What the block must suit in the page it goes into.
struct PageForm {
  // An XHTML page (it starts with an XML declaration, or its <html> tag
  // names the XHTML namespace): the block is well-formed XML, every
  // attribute quoted and <param/> and <br/> closed.
  bool xhtml = false;
  // The page has a <base href>: relative addresses in it point elsewhere,
  // so the player is loaded from the page's own address, when known.
  bool base_href = false;
  // The run puts the player's data file (PlayerDataScriptName) beside the
  // page, so the block loads it.
  bool player_data = true;
};

// The form of `page_text`, read as a browser's tokenizer reads it
// (html::ReadPageMarkup): a "<base href" inside a script or a comment does
// not count. A false "base href" only makes the block's addresses absolute,
// which works on the page's own address.
PageForm PageFormOf(std::string_view page_text);

// The run's data file for the browser player: BASE + ".sounds.js"
// (player_data.h writes it), with BASE percent-encoded as in the block.
std::string PlayerDataScriptName(std::string_view encoded_resource_base_name);

// The block, CR LF line ends:
//   [<br><center>]                                         with_wrappers
//   <applet code=SonaveltRandomEventBackground width="190" height="20">
//        (width="2" height="2" when options.invisible_applet)
//   <param name=random value="Yes">   ("No" without options.random_order)
//   <param name=resource value="BASE">
//   [player lines]                     only with options.browser_player
//   You will hear sounds if you use Java-enabled browsers.
//   </applet>
//   [</center><br>]                                        with_wrappers
// BASE is the resource base name percent-encoded by PercentEncodeName
// (resource_text.h), so the attribute cannot break and the player can fetch
// BASE + ".res" as a relative URL; a plain name such as "index" is unchanged.
// Without wrappers the block ends right after "</applet>".
//
// The player lines:
//   <script src="BASE.sounds.js"></script>         (only with form.player_data)
//   <script src="sonavelt-player.js" data-resource="BASE"[ data-position="P"]></script>
// P is "top-left", "top-right", "bottom-left" or "bottom-right" when the
// control is fixed in a corner; without the attribute it stands in the block.
// On a page with <base href> (form.base_href) both addresses start with the
// folder of options.page_url ("http://host/folder/BASE.sounds.js"), when it
// is an http(s) address; without one they stay relative, and the player
// loads only where the base points to the page's own folder. The block is
// never an inline script, so a Content-Security-Policy of script-src 'self'
// lets the player run.
//
// The player lines sit inside the applet element: a browser with Java
// ignores them, one without shows the element's content and so runs the
// scripts; and a later run, which replaces everything from "<applet "
// through "</applet>", replaces them too.
//
// For an XHTML page (form.xhtml) the same block is written well-formed:
// code="...", name="...", <param .../>, <br/>.
std::string AppletBlock(const RunOptions& options, std::string_view resource_base_name,
                        bool with_wrappers, const PageForm& form = {});

// Both forms, for ProcessPage.
html::AppletBlockTexts AppletBlocks(const RunOptions& options, std::string_view resource_base_name,
                                    const PageForm& form = {});

}  // namespace sonavelt::run
