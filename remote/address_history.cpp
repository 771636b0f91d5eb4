#include "remote/address_history.h"

#include <vector>

#include "remote/url.h"

namespace sonavelt::remote {

std::string AddressHistory::ValueName(int k) { return "URL_" + std::to_string(k); }

void AddressHistory::Load(const std::function<std::string(const std::string&)>& read) {
  for (int k = 0; k < kSize; ++k) entries_[k] = read(ValueName(k));
}

void AddressHistory::Save(
    const std::function<void(const std::string&, const std::string&)>& write) const {
  for (int k = 0; k < kSize; ++k) write(ValueName(k), entries_[k]);
}

std::string AddressHistory::InitialAddress(std::string_view last_typed_address) const {
  if (!last_typed_address.empty()) return std::string(last_typed_address);
  return entries_[0];
}

void AddressHistory::Remember(std::string_view typed) {
  std::string address = AddressWithoutPassword(typed);
  std::vector<std::string> list(entries_.begin(), entries_.end());
  // The walk goes from the end towards the top and stops at the first match,
  // so with several equal entries (several empty ones) the last one goes.
  for (size_t i = list.size(); i-- > 0;) {
    if (list[i] == address) {
      list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
      break;
    }
  }
  list.insert(list.begin(), address);
  for (int k = 0; k < kSize; ++k) entries_[k] = list[k];
}

}  // namespace sonavelt::remote
