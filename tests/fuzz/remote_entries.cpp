#include <curl/curl.h>

#include <memory>
#include <string>
#include <string_view>

#include "remote/ftp_address.h"
#include "remote/listing_parser.h"
#include "remote/url.h"
#include "tests/fuzz/fuzz_entries.h"
#include "tests/fuzz/fuzz_support.h"

namespace sonavelt::fuzz {
namespace {

// The password libcurl itself would log in with for `text`, the same way
// ParseUrl reads the other parts; empty when there is none.
std::string CurlPassword(const std::string& text) {
  std::string input = text;
  if (input.size() >= 8 && input.compare(0, 8, "ftpes://") == 0) input = "ftp://" + input.substr(8);
  std::unique_ptr<CURLU, void (*)(CURLU*)> h(curl_url(), curl_url_cleanup);
  if (!h || curl_url_set(h.get(), CURLUPART_URL, input.c_str(), CURLU_URLENCODE) != CURLUE_OK)
    return {};
  char* value = nullptr;
  if (curl_url_get(h.get(), CURLUPART_PASSWORD, &value, 0) != CURLUE_OK || value == nullptr)
    return {};
  std::string out(value);
  curl_free(value);
  return out;
}

}  // namespace

int FuzzUrl(const uint8_t* data, size_t size) {
  // Typed addresses are C strings in libcurl's eyes; stop at the first NUL.
  std::string text(InputPart(std::string_view(reinterpret_cast<const char*>(data), size), 0));
  std::optional<remote::ParsedUrl> url = remote::ParseUrl(text);
  if (url) {
    SONAVELT_FUZZ_CHECK(!url->server.empty(), "a URL without a server was accepted");
    SONAVELT_FUZZ_CHECK(!url->object.empty(), "an empty object");
    SONAVELT_FUZZ_CHECK(!url->scheme.empty(), "an empty scheme");
  }
  // What is remembered on disk logs in without a password, read the way
  // ParseFtpAddress reads it (as a URL, else with "ftp://" in front).
  std::string kept = remote::AddressWithoutPassword(text);
  SONAVELT_FUZZ_CHECK(CurlPassword(kept).empty(), "a password survives: " + kept);
  if (!remote::ParseUrl(kept)) {
    SONAVELT_FUZZ_CHECK(CurlPassword("ftp://" + kept).empty(), "a password survives: " + kept);
  }
  if (url) {
    std::optional<remote::ParsedUrl> again = remote::ParseUrl(kept);
    SONAVELT_FUZZ_CHECK(again.has_value(), "the address without password no longer parses");
    SONAVELT_FUZZ_CHECK(again->server == url->server && again->port == url->port,
                        "removing the password moved the server: " + kept);
  }
  return 0;
}

int FuzzFtpAddress(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string_view text = InputPart(input, 0);
  remote::FtpAddress address = remote::ParseFtpAddress(text);
  if (address.usable) {
    SONAVELT_FUZZ_CHECK(address.parsed, "usable but not parsed");
    SONAVELT_FUZZ_CHECK(!address.server.empty(), "usable without a server");
    SONAVELT_FUZZ_CHECK(!address.start_path.empty() && address.start_path[0] == '/',
                        "a start path that is not absolute");
    remote::FtpLogin login;
    login.address_text = std::string(text);
    login.password = "secret";
    remote::FtpEndpoint endpoint = remote::EndpointFor(address, login);
    SONAVELT_FUZZ_CHECK(endpoint.server == address.server, "the endpoint's server");
  }
  // A name a listing gives is safe only when it stays one path component.
  std::string_view name = InputPart(input, 1);
  if (remote::IsSafeEntryName(name)) {
    SONAVELT_FUZZ_CHECK(name.find_first_of("/\\\r\n") == std::string_view::npos && name != "..",
                        "an unsafe name passed");
    std::string path = "/site/" + std::string(name);
    SONAVELT_FUZZ_CHECK(remote::IsSafeRemotePath(path), "a safe name makes an unsafe path");
  }
  return 0;
}

int FuzzListingParser(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  for (const remote::RemoteEntry& entry : remote::ParseListing(text)) {
    SONAVELT_FUZZ_CHECK(!entry.name.empty(), "an entry without a name");
    SONAVELT_FUZZ_CHECK(entry.name != "." && entry.name != "..", "a . or .. entry");
    SONAVELT_FUZZ_CHECK(entry.name.find('\n') == std::string::npos, "a name across lines");
    SONAVELT_FUZZ_CHECK(!(entry.is_directory && entry.is_link), "a link marked as a folder");
  }
  return 0;
}

}  // namespace sonavelt::fuzz
