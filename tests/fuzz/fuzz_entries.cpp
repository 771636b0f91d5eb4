#include "tests/fuzz/fuzz_entries.h"

namespace sonavelt::fuzz {

std::span<const NamedEntry> AllEntries() {
  static constexpr NamedEntry kEntries[] = {
      {"wave_reader", FuzzWaveReader},     {"au_reader", FuzzAuReader},
      {"page_edit", FuzzPageEdit},         {"body_colour", FuzzBodyColour},
      {"resource_text", FuzzResourceText}, {"url", FuzzUrl},
      {"ftp_address", FuzzFtpAddress},     {"listing_parser", FuzzListingParser},
  };
  return kEntries;
}

}  // namespace sonavelt::fuzz
