#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "remote/listing_parser.h"
#include "remote/status_line.h"

namespace sonavelt::remote {

// The image of a tree item.
enum class ItemImage {
  kNoConnection = 0,  // the single item "Internet connection has not been established."
  kFolder = 1,        // a folder, the root "/", and the placeholders
  kFile = 2,
};

// What the Select button picked: a page, or why not.
struct PageSelection {
  std::optional<std::string> page;  // the chosen page's remote path
  // Why nothing was picked, for a plain box; ok: nothing to say.
  Status status;
};

// The remote browser's tree without a screen: items, lazy listings and the
// walk down to the start page. The dialog mirrors it into its tree widget
// after each call.
//
// There is one top-level item: the no-connection item or the root "/". A
// folder is listed when it is opened (Expand); each of its sub-folders is then
// probed with one more listing, and gets a "DUMMY" child (so the view shows an
// expand button) when it holds anything. Listings are never cached.
//
// Entries whose names are unsafe as a path component (see IsSafeEntryName:
// "..", names with "/" or a line break) are left out: every item's path must
// name exactly the entry it shows.
class RemoteTree {
 public:
  using ItemId = int;
  static constexpr ItemId kNoItem = -1;

  // status_line may be null.
  explicit RemoteTree(StatusLine* status_line = nullptr) : status_line_(status_line) {}

  // Rebuilds the tree. lister null: only the no-connection item. Otherwise the
  // root, listed at once, then the walk down `start_path` (for "/", down
  // `home_directory`): each component is matched case-sensitively against the
  // current item's children; a folder that holds entries is opened and the
  // walk goes on, anything else is selected in bold and the walk ends.
  // lister must outlive the tree's use of it (until the next Fill).
  void Fill(RemoteLister* lister, const std::string& start_path,
            const std::string& home_directory);

  // Lists the item's folder again (on every expand or collapse): its children
  // become the folder's entries in the server's order. A listing that fails
  // leaves the item without children.
  void Expand(ItemId item);

  // "/" for the root, else "/" + the item texts from the root down.
  std::string ItemPath(ItemId item) const;

  // The Select button: the chosen page's remote path; none with the reason
  // to show (nothing selected; a folder, in a plain box), or none and
  // nothing to say for the no-connection item.
  PageSelection SelectPage(ItemId item) const;
  // A double click: the page's path when `item` is a file, else nullopt.
  std::optional<std::string> PageOnDoubleClick(ItemId item) const;

  ItemId top() const { return top_; }
  const std::string& text(ItemId item) const { return items_[item].text; }
  ItemImage image(ItemId item) const { return items_[item].image; }
  const std::vector<ItemId>& children(ItemId item) const { return items_[item].children; }
  ItemId parent(ItemId item) const { return items_[item].parent; }
  bool bold(ItemId item) const { return items_[item].bold; }
  bool expanded(ItemId item) const { return items_[item].expanded; }
  void set_expanded(ItemId item, bool expanded) { items_[item].expanded = expanded; }
  ItemId selected() const { return selected_; }
  void Select(ItemId item) { selected_ = item; }
  // Whether the view draws lines at the root: only with a non-empty site.
  bool lines_at_root() const { return lines_at_root_; }

 private:
  struct Item {
    std::string text;
    ItemImage image = ItemImage::kFolder;
    ItemId parent = kNoItem;
    std::vector<ItemId> children;
    bool bold = false;
    bool expanded = false;
  };
  ItemId Add(ItemId parent, std::string text, ItemImage image);
  // The safe entries of a folder, or the listing's failure.
  Status ListSafe(const std::string& folder, std::vector<RemoteEntry>* entries);

  StatusLine* status_line_;
  RemoteLister* lister_ = nullptr;
  std::vector<Item> items_;  // ids are indexes; removed items stay unreferenced
  ItemId top_ = kNoItem;
  ItemId selected_ = kNoItem;
  bool lines_at_root_ = false;
};

}  // namespace sonavelt::remote
