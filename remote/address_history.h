#pragma once

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace sonavelt::remote {

// The four FTP addresses used last, entry 0 the most recent, entry 3 the
// oldest; an entry not yet filled is the empty text. Plain values: the
// settings store reads and writes them as the string values "URL_0".."URL_3"
// of the section kAddressSection, through Load and Save.
class AddressHistory {
 public:
  static constexpr int kSize = 4;
  static constexpr std::string_view kAddressSection = "V1.0/Evaluation/Address";
  // The stored value name of entry k.
  static std::string ValueName(int k);

  // Reads the four entries through `read(value_name)`, which answers the empty
  // text for a value that is not stored.
  void Load(const std::function<std::string(const std::string& value_name)>& read);
  // Writes all four entries, "URL_0" first.
  void Save(const std::function<void(const std::string& value_name, const std::string& value)>&
                write) const;

  // The connect dialog's list as it opens: four entries, the history's text
  // where an entry is filled, empty otherwise.
  const std::array<std::string, kSize>& entries() const { return entries_; }

  // The address box's text when the dialog opens: the address typed last in
  // this program run, else list entry 0.
  std::string InitialAddress(std::string_view last_typed_address) const;

  // The Connect button's update: the last entry that equals `address` exactly
  // (case-sensitive) is removed, `address` goes on top, and the list keeps its
  // first four entries. So A,B,C,D + C gives C,A,B,D; + E gives E,A,B,C;
  // A,B,"","" + X gives X,A,B,"". An empty address works like any other: it
  // removes the empty entry nearest the end and takes the top.
  // Any password written into the address is dropped first (see
  // AddressWithoutPassword): the history goes to disk.
  void Remember(std::string_view address);

 private:
  std::array<std::string, kSize> entries_;
};

}  // namespace sonavelt::remote
