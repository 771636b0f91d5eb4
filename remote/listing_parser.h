#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace sonavelt::remote {

// One entry of a remote folder.
struct RemoteEntry {
  std::string name;
  bool is_directory = false;
  // A symbolic link: the target's kind is unknown (is_directory is false);
  // callers that care probe it.
  bool is_link = false;

  bool operator==(const RemoteEntry&) const = default;
};

// Something that lists remote folders: a connection, or a fake in tests.
class RemoteLister {
 public:
  virtual ~RemoteLister() = default;
  // The entries of `folder` (an absolute path) in the server's order.
  virtual Status List(const std::string& folder, std::vector<RemoteEntry>* entries) = 0;
};

// Parses the reply of a plain LIST: Unix "ls -l" lines (with or without the
// group column, names with spaces, "name -> target" for links, the year in
// place of the time for old files) and DOS/IIS lines ("<DIR>" or a size).
// Entries keep the server's order. "." and "..", entries without a name,
// "total" lines and lines in no known form are skipped. Names are returned as listed: they may still
// hold characters that are unsafe in a path (see IsSafeEntryName).
std::vector<RemoteEntry> ParseListing(std::string_view text);

// A plain file of a listing and its size in bytes.
struct ListedFile {
  std::string name;
  int64_t size = 0;

  bool operator==(const ListedFile&) const = default;
};

// The plain files of a listing in the forms ParseListing reads, with the size
// each line shows; folders, links and lines without a size are left out.
std::vector<ListedFile> ParseListedFiles(std::string_view text);

}  // namespace sonavelt::remote
