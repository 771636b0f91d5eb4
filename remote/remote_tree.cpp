#include "remote/remote_tree.h"

#include "remote/ftp_address.h"
#include "remote/messages.h"

namespace sonavelt::remote {
namespace {

std::string ChildPath(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

}  // namespace

RemoteTree::ItemId RemoteTree::Add(ItemId parent, std::string text, ItemImage image) {
  Item item;
  item.text = std::move(text);
  item.image = image;
  item.parent = parent;
  items_.push_back(std::move(item));
  ItemId id = static_cast<ItemId>(items_.size() - 1);
  if (parent != kNoItem) items_[parent].children.push_back(id);
  return id;
}

Status RemoteTree::ListSafe(const std::string& folder, std::vector<RemoteEntry>* entries) {
  entries->clear();
  if (!lister_) return Status::IoError(std::string(kNoConnectionItemText));
  std::vector<RemoteEntry> all;
  if (Status listed = lister_->List(folder, &all); !listed.ok()) return listed;
  for (RemoteEntry& e : all)
    if (IsSafeEntryName(e.name)) entries->push_back(std::move(e));
  return Status::Ok();
}

void RemoteTree::Fill(RemoteLister* lister, const std::string& start_path,
                      const std::string& home_directory) {
  items_.clear();
  selected_ = kNoItem;
  lister_ = lister;
  if (!lister) {
    lines_at_root_ = false;
    top_ = Add(kNoItem, std::string(kNoConnectionItemText), ItemImage::kNoConnection);
    return;
  }
  top_ = Add(kNoItem, "/", ItemImage::kFolder);
  Add(top_, "/", ItemImage::kFolder);  // placeholder until the first listing
  Expand(top_);
  items_[top_].expanded = true;
  lines_at_root_ = !items_[top_].children.empty();
  if (!lines_at_root_) return;

  // A start path of just "/" is what the parser gives when the address names
  // no path: the user then starts in the login directory.
  std::string rest = start_path.size() == 1 ? home_directory : start_path;
  ItemId current = top_;
  size_t start = 0;
  while (start < rest.size()) {
    size_t end = rest.find('/', start);
    if (end == std::string::npos) end = rest.size();
    std::string component = rest.substr(start, end - start);
    start = end + 1;
    if (component.empty()) continue;
    ItemId match = kNoItem;
    for (ItemId child : items_[current].children) {
      if (items_[child].text == component) {
        match = child;
        break;
      }
    }
    if (match == kNoItem) return;
    if (!items_[match].children.empty()) {
      Expand(match);
      items_[match].expanded = true;
      current = match;
    } else {
      selected_ = match;
      items_[match].bold = true;
      return;
    }
  }
}

void RemoteTree::Expand(ItemId item) {
  if (status_line_) status_line_->Show(std::string(kTransferringDataText));
  // The old children stay in items_ but nothing refers to them any more.
  if (selected_ != kNoItem) {
    for (ItemId up = selected_; up != kNoItem; up = items_[up].parent) {
      if (items_[up].parent == item) {
        selected_ = kNoItem;
        break;
      }
    }
  }
  items_[item].children.clear();
  std::string folder = ItemPath(item);
  std::vector<RemoteEntry> entries;
  if (ListSafe(folder, &entries).ok()) {
    std::vector<RemoteEntry> probe;
    for (const RemoteEntry& e : entries) {
      bool is_directory = e.is_directory;
      // A link's kind shows only by trying to list it as a folder.
      if (e.is_link) is_directory = ListSafe(ChildPath(folder, e.name), &probe).ok();
      Add(item, e.name, is_directory ? ItemImage::kFolder : ItemImage::kFile);
    }
    // One short listing per sub-folder decides whether it gets an expand
    // button; only one listing is open at a time.
    std::vector<ItemId> children = items_[item].children;
    for (ItemId child : children) {
      if (items_[child].image != ItemImage::kFolder) continue;
      if (ListSafe(ChildPath(folder, items_[child].text), &probe).ok() && !probe.empty())
        Add(child, "DUMMY", ItemImage::kFolder);
    }
  }
  if (status_line_) status_line_->Hide();
}

std::string RemoteTree::ItemPath(ItemId item) const {
  if (item == top_) return items_[item].text;
  std::string path = items_[item].text;
  for (ItemId up = items_[item].parent; up != kNoItem; up = items_[up].parent) {
    if (up == top_) return "/" + path;
    path = items_[up].text + "/" + path;
  }
  return path;
}

PageSelection RemoteTree::SelectPage(ItemId item) const {
  PageSelection selection;
  if (item == kNoItem) {
    selection.status =
        Status::InvalidArgument(std::string(kSelectHtmlFileText)).WithBox(BoxStyle::kPlain);
    return selection;
  }
  switch (items_[item].image) {
    case ItemImage::kFolder:
      selection.status =
          Status::InvalidArgument(IsDirectoryText(items_[item].text)).WithBox(BoxStyle::kPlain);
      break;
    case ItemImage::kFile:
      selection.page = ItemPath(item);
      break;
    case ItemImage::kNoConnection:
      break;
  }
  return selection;
}

std::optional<std::string> RemoteTree::PageOnDoubleClick(ItemId item) const {
  if (item == kNoItem || items_[item].image != ItemImage::kFile) return std::nullopt;
  return ItemPath(item);
}

}  // namespace sonavelt::remote
