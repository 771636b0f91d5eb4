#include "run/applet_block.h"

#include "run/resource_text.h"
#include "run/startup.h"

namespace sonavelt::run {

std::string ResourceBaseName(std::string_view page_file_name) {
  size_t dot = page_file_name.rfind('.');
  return std::string(page_file_name.substr(0, dot));
}

std::string ResourceFileName(std::string_view page_file_name) {
  return ResourceBaseName(page_file_name) + ".res";
}

std::string AppletBlock(const RunOptions& options, std::string_view resource_base_name,
                        bool with_wrappers) {
  std::string block;
  if (with_wrappers) block += "<br><center>\r\n";
  block += "<applet code=";
  block += kAppletClassName;
  block += options.invisible_applet ? " width=\"2\" height=\"2\">\r\n"
                                    : " width=\"190\" height=\"20\">\r\n";
  block += options.random_order ? "<param name=random value=\"Yes\">\r\n"
                                : "<param name=random value=\"No\">\r\n";
  const std::string resource = PercentEncodeName(resource_base_name);
  block += "<param name=resource value=\"" + resource + "\">\r\n";
  if (options.browser_player) {
    block += "<script src=\"";
    block += kPlayerScriptFileName;
    block += "\" data-resource=\"" + resource + "\"></script>\r\n";
  }
  block += "You will hear sounds if you use Java-enabled browsers.\r\n</applet>";
  if (with_wrappers) block += "\r\n</center><br>\r\n";
  return block;
}

html::AppletBlockTexts AppletBlocks(const RunOptions& options,
                                    std::string_view resource_base_name) {
  return {AppletBlock(options, resource_base_name, true),
          AppletBlock(options, resource_base_name, false)};
}

}  // namespace sonavelt::run
