#pragma once

#include "base/status.h"
#include "remote/address_history.h"
#include "settings/settings_store.h"

// The four remembered remote addresses, kept in the settings store's
// "V1.0/Evaluation/Address" group as "URL_0".."URL_3". Only addresses are
// stored: AddressHistory::Remember has already dropped any password.
namespace sonavelt::run {

// The stored history; entries not stored are empty.
remote::AddressHistory LoadAddressHistory(const SettingsStore& store);

// Writes all four entries and flushes them; SettingsStore::Sync's error
// when the file cannot be written (the history then lives on in memory for
// this program run).
Status SaveAddressHistory(const remote::AddressHistory& history, SettingsStore& store);

}  // namespace sonavelt::run
