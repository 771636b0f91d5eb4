#include "remote/url.h"

#include <curl/curl.h>

#include <cctype>
#include <memory>

namespace sonavelt::remote {
namespace {

struct UrlDeleter {
  void operator()(CURLU* h) const { curl_url_cleanup(h); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

std::string GetPart(CURLU* h, CURLUPart part, unsigned flags) {
  char* value = nullptr;
  if (curl_url_get(h, part, &value, flags) != CURLUE_OK || value == nullptr) return {};
  std::string out(value);
  curl_free(value);
  return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// A URL scheme: a letter, then letters, digits, "+", "-" or ".".
bool IsSchemeName(std::string_view text) {
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  for (char c : text) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
      return false;
  }
  return true;
}

}  // namespace

std::string UrlScheme(std::string_view text) {
  size_t colon = 0;
  while (colon < text.size() &&
         (std::isalnum(static_cast<unsigned char>(text[colon])) || text[colon] == '+' ||
          text[colon] == '-' || text[colon] == '.')) {
    ++colon;
  }
  if (colon == 0 || colon >= text.size() || text[colon] != ':' ||
      !std::isalpha(static_cast<unsigned char>(text[0]))) {
    return std::string();
  }
  // "host:8080", "host:8080/x": a port, not a scheme.
  size_t digits = colon + 1;
  while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits > colon + 1 &&
      (digits == text.size() || text[digits] == '/' || text[digits] == '?' || text[digits] == '#')) {
    return std::string();
  }
  std::string scheme(text.substr(0, colon));
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme;
}

std::optional<ParsedUrl> ParseUrl(std::string_view text, UrlForm form) {
  // libcurl does not know "ftpes"; it is plain FTP syntax with another default
  // meaning, so parse it as ftp and put the scheme back.
  std::string input(text);
  bool explicit_tls = StartsWithNoCase(input, "ftpes://");
  if (explicit_tls) input = "ftp://" + input.substr(8);

  unsigned flags = CURLU_URLENCODE;
  if (form == UrlForm::kWebAddress) {
    // The scheme is read from the text itself, so that an address whose
    // server is missing ("http:///index.htm", "http://") is refused instead
    // of being read as a server named "index.htm" (libcurl takes up to three
    // slashes) or "http".
    const std::string scheme = UrlScheme(text);
    if (scheme.empty()) return std::nullopt;
    const std::string_view rest = text.substr(scheme.size() + 1);
    if (rest.substr(0, 2) != "//") return std::nullopt;
    std::string_view authority = rest.substr(2, rest.find_first_of("/?#", 2) - 2);
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);
    if (authority.empty() || authority[0] == ':') return std::nullopt;
    // Any scheme is read; a blank is refused, not taken as "%20".
    flags = CURLU_NON_SUPPORT_SCHEME;
  }

  UrlHandle h(curl_url());
  if (!h) return std::nullopt;
  // URLENCODE lets a typed space in a path through; the object is decoded
  // again below, so "my page.htm" and "my%20page.htm" name the same file.
  if (curl_url_set(h.get(), CURLUPART_URL, input.c_str(), flags) != CURLUE_OK)
    return std::nullopt;

  ParsedUrl url;
  url.scheme = explicit_tls ? "ftpes" : GetPart(h.get(), CURLUPART_SCHEME, 0);
  url.server = GetPart(h.get(), CURLUPART_HOST, 0);
  if (url.server.empty()) return std::nullopt;
  url.object = GetPart(h.get(), CURLUPART_PATH, CURLU_URLDECODE);
  if (url.object.empty()) url.object = "/";
  url.user_name = GetPart(h.get(), CURLUPART_USER, CURLU_URLDECODE);
  std::string port = GetPart(h.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  unsigned long number = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<unsigned long>(c - '0');
    if (number > 65535) return std::nullopt;
  }
  url.port = static_cast<uint16_t>(number);
  return url;
}

std::string AddressWithoutPassword(std::string_view text) {
  // The login part starts after "scheme:" and the slashes libcurl skips (it
  // takes "ftp:/h" as well as "ftp://h"), or at the very start of a bare
  // address, which ParseFtpAddress reads as "ftp://" + text: "bob:pw@host"
  // carries a password too.
  size_t authority = 0;
  size_t colon = text.find(':');
  if (colon != std::string_view::npos && IsSchemeName(text.substr(0, colon)) &&
      colon + 1 < text.size() && text[colon + 1] == '/') {
    authority = colon + 1;
  }
  // "ftp://" + "/user:pw@host" is read with the extra slash skipped, too.
  while (authority < text.size() && text[authority] == '/') ++authority;
  size_t authority_end = text.find_first_of("/?#", authority);
  if (authority_end == std::string_view::npos) authority_end = text.size();
  size_t at = text.rfind('@', authority_end);
  if (at == std::string_view::npos || at < authority) return std::string(text);
  size_t password = text.find(':', authority);
  if (password == std::string_view::npos || password > at) return std::string(text);
  return std::string(text.substr(0, password)) + std::string(text.substr(at));
}

}  // namespace sonavelt::remote
