#include "run/applet_block.h"

#include "base/text.h"
#include "html/page_structure.h"
#include "run/resource_text.h"
#include "run/startup.h"

namespace sonavelt::run {
namespace {

const char* PositionAttribute(PlayerPosition position) {
  switch (position) {
    case PlayerPosition::kTopLeft: return "top-left";
    case PlayerPosition::kTopRight: return "top-right";
    case PlayerPosition::kBottomLeft: return "bottom-left";
    case PlayerPosition::kBottomRight: return "bottom-right";
    case PlayerPosition::kInBlock: break;
  }
  return nullptr;
}

// The player lines (see AppletBlock), each ended by CR LF. `resource` is
// percent-encoded, so it needs no escaping inside quotes or a script.
std::string PlayerLines(const RunOptions& options, const std::string& resource,
                        const PageForm& form) {
  const char* position = PositionAttribute(options.player_position);
  std::string data_script = PlayerDataScriptName(resource);
  if (!form.base_href) {
    std::string lines;
    if (form.player_data) lines += "<script src=\"" + data_script + "\"></script>\r\n";
    lines += "<script src=\"";
    lines += kPlayerScriptFileName;
    lines += "\" data-resource=\"" + resource + "\"";
    if (position) lines += std::string(" data-position=\"") + position + "\"";
    lines += "></script>\r\n";
    return lines;
  }
  // The page's folder from its own address, query and fragment dropped;
  // scripts inserted by a script run in order only with async off. No "<"
  // or "&" in it, so it is the same text in HTML and XHTML.
  std::string lines = "<script data-resource=\"" + resource + "\">(function(d,h){";
  lines += "h=location.href.replace(/[?#].*$/,'').replace(/[^/]*$/,'');";
  lines += "function add(n,r,p){var s=d.createElement('script');s.async=false;s.src=h+n;";
  lines += "if(r){s.setAttribute('data-resource',r)}if(p){s.setAttribute('data-position',p)}";
  lines += "d.currentScript.parentNode.insertBefore(s,d.currentScript.nextSibling)}";
  // The data file runs first (scripts run in the order inserted). Double
  // quotes: the encoded name may hold "'" but never '"'.
  if (form.player_data) lines += "add(\"" + data_script + "\");";
  lines += std::string("add(\"") + kPlayerScriptFileName + "\",\"" + resource + "\",\"" +
           (position ? position : "") + "\")})(document)</script>\r\n";
  return lines;
}

}  // namespace

std::string ResourceBaseName(std::string_view page_file_name) {
  size_t dot = page_file_name.rfind('.');
  return std::string(page_file_name.substr(0, dot));
}

std::string ResourceFileName(std::string_view page_file_name) {
  return ResourceBaseName(page_file_name) + ".res";
}

PageForm PageFormOf(std::string_view page_text) {
  html::PageMarkup markup = html::ReadPageMarkup(page_text);
  PageForm form;
  form.xhtml = markup.xhtml;
  form.base_href = markup.base_href;
  return form;
}

std::string PlayerDataScriptName(std::string_view encoded_resource_base_name) {
  return std::string(encoded_resource_base_name) + ".sounds.js";
}

std::string AppletBlock(const RunOptions& options, std::string_view resource_base_name,
                        bool with_wrappers, const PageForm& form) {
  const bool x = form.xhtml;
  const char* end_empty = x ? "\"/>\r\n" : "\">\r\n";
  std::string block;
  if (with_wrappers) block += x ? "<br/><center>\r\n" : "<br><center>\r\n";
  block += x ? "<applet code=\"" : "<applet code=";
  block += kAppletClassName;
  if (x) block += "\"";
  block += options.invisible_applet ? " width=\"2\" height=\"2\">\r\n"
                                    : " width=\"190\" height=\"20\">\r\n";
  block += x ? "<param name=\"random\" value=\"" : "<param name=random value=\"";
  block += options.random_order ? "Yes" : "No";
  block += end_empty;
  const std::string resource = PercentEncodeName(resource_base_name);
  block += x ? "<param name=\"resource\" value=\"" : "<param name=resource value=\"";
  block += resource + end_empty;
  if (options.browser_player) block += PlayerLines(options, resource, form);
  block += "You will hear sounds if you use Java-enabled browsers.\r\n</applet>";
  if (with_wrappers) block += x ? "\r\n</center><br/>\r\n" : "\r\n</center><br>\r\n";
  return block;
}

html::AppletBlockTexts AppletBlocks(const RunOptions& options, std::string_view resource_base_name,
                                    const PageForm& form) {
  return {AppletBlock(options, resource_base_name, true, form),
          AppletBlock(options, resource_base_name, false, form)};
}

}  // namespace sonavelt::run
