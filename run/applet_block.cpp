#include "run/applet_block.h"

#include <cctype>

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

// The folder of the page's own address ("http://host/a/b.htm?x" gives
// "http://host/a/"), every byte outside a plain URL's characters
// percent-encoded, so that it is the same text in an HTML or XHTML
// attribute; empty when `page_url` is no http(s) address.
std::string PageFolderAddress(const std::string& page_url) {
  const std::string lower = LowerCopy(page_url);
  size_t host = 0;
  if (lower.rfind("http://", 0) == 0) host = 7;
  else if (lower.rfind("https://", 0) == 0) host = 8;
  else return {};
  std::string url = page_url.substr(0, page_url.find_first_of("?#"));
  const size_t path = url.find('/', host);
  if (path == std::string::npos) url += '/';
  else url.erase(url.rfind('/') + 1);
  if (url.size() <= host + 1) return {};
  static constexpr std::string_view kPlain = "-._~:/@!$()*+,;=%";
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x80 && std::isalnum(byte)) || kPlain.find(c) != std::string_view::npos) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0xF];
    }
  }
  return encoded;
}

// The player lines (see AppletBlock), each ended by CR LF. `resource` is
// percent-encoded, so it needs no escaping inside quotes.
std::string PlayerLines(const RunOptions& options, const std::string& resource,
                        const PageForm& form) {
  const char* position = PositionAttribute(options.player_position);
  // A <base href> would send relative addresses elsewhere: the page's own
  // folder is named in full when the run knows the page's address.
  const std::string folder = form.base_href ? PageFolderAddress(options.page_url) : std::string();
  std::string lines;
  if (form.player_data)
    lines += "<script src=\"" + folder + PlayerDataScriptName(resource) + "\"></script>\r\n";
  lines += "<script src=\"" + folder;
  lines += kPlayerScriptFileName;
  lines += "\" data-resource=\"" + resource + "\"";
  if (position) lines += std::string(" data-position=\"") + position + "\"";
  lines += "></script>\r\n";
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
