#include "settings/address_history_store.h"

#include <string>

namespace sonavelt::run {

remote::AddressHistory LoadAddressHistory(const SettingsStore& store) {
  const RememberedAddresses stored = store.Addresses();
  remote::AddressHistory history;
  history.Load([&stored](const std::string& value_name) {
    for (int k = 0; k < kRememberedAddressCount; ++k)
      if (value_name == remote::AddressHistory::ValueName(k)) return stored[k];
    return std::string();
  });
  return history;
}

Status SaveAddressHistory(const remote::AddressHistory& history, SettingsStore& store) {
  RememberedAddresses addresses;
  history.Save([&addresses](const std::string& value_name, const std::string& value) {
    for (int k = 0; k < kRememberedAddressCount; ++k)
      if (value_name == remote::AddressHistory::ValueName(k)) addresses[k] = value;
  });
  store.SetAddresses(addresses);
  return store.Sync();
}

}  // namespace sonavelt::run
