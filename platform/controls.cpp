// Keeps the nodes, items and entries of the screen controls and prints them.
#include "platform/controls.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "platform/ascii.h"
#include "platform/encoding.h"
#include "platform/text_output.h"

namespace qv::platform {
namespace {

// Members keep the order in which they are written.
using Json = nlohmann::ordered_json;

// Returns a Windows-1252 text as a JSON string (UTF-8).
Json JsonString(const std::string& text1252) { return Cp1252ToUtf8(text1252); }

Json JsonStrings(const std::vector<std::string>& texts1252) {
  Json out = Json::array();
  for (const std::string& t : texts1252) out.push_back(JsonString(t));
  return out;
}

std::string Describe(const ItemRef& ref) {
  if (const int* i = std::get_if<int>(&ref)) return "index " + std::to_string(*i);
  return "key \"" + std::get<std::string>(ref) + "\"";
}

void CheckNewKey(const std::string& key, bool taken) {
  if (!key.empty() && taken) throw ControlError("Key is not unique in collection: \"" + key + "\"");
}

// Orders two texts as the list view sorts: letters in any case.
bool LessNoCase(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(LowerAscii(x)) < static_cast<unsigned char>(LowerAscii(y));
  });
}

}  // namespace

// --- TreeView ------------------------------------------------------------------

int TreeNode::Depth() const {
  int d = 0;
  for (const TreeNode* p = parent_; p != nullptr; p = p->parent_) ++d;
  return d;
}

TreeNode* TreeView::Lookup(const ItemRef& ref) const {
  if (const int* i = std::get_if<int>(&ref)) {
    if (*i < 1 || *i > Count()) return nullptr;
    return nodes_[static_cast<std::size_t>(*i - 1)].get();
  }
  return Find(std::get<std::string>(ref));
}

TreeNode* TreeView::Find(std::string_view key) const {
  if (key.empty()) return nullptr;
  auto it = byKey_.find(std::string(key));
  return it == byKey_.end() ? nullptr : it->second;
}

TreeNode& TreeView::Item(const ItemRef& ref) {
  TreeNode* n = Lookup(ref);
  if (n == nullptr) throw ControlError("Element not found: node " + Describe(ref));
  return *n;
}

const TreeNode& TreeView::Item(const ItemRef& ref) const {
  return const_cast<TreeView*>(this)->Item(ref);
}

TreeNode& TreeView::Insert(TreeNode* parent, std::size_t position, std::string key,
                           std::string text, int image) {
  CheckNewKey(key, Find(key) != nullptr);
  auto node = std::make_unique<TreeNode>();
  node->key_ = std::move(key);
  node->text = std::move(text);
  node->image = image;
  node->parent_ = parent;
  node->index_ = Count() + 1;
  TreeNode* raw = node.get();
  std::vector<TreeNode*>& siblings = parent != nullptr ? parent->children_ : roots_;
  siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(std::min(position, siblings.size())),
                  raw);
  if (!raw->key_.empty()) byKey_[raw->key_] = raw;
  nodes_.push_back(std::move(node));
  return *raw;
}

TreeNode& TreeView::Add(std::string key, std::string text, int image) {
  return Insert(nullptr, roots_.size(), std::move(key), std::move(text), image);
}

TreeNode& TreeView::Add(const ItemRef& relative, Relationship relationship, std::string key,
                        std::string text, int image) {
  TreeNode* rel = Lookup(relative);
  if (rel == nullptr) throw ControlError("Element not found: relative " + Describe(relative));
  if (relationship == Relationship::Child)
    return Insert(rel, rel->children_.size(), std::move(key), std::move(text), image);
  TreeNode* parent = rel->parent_;
  const std::vector<TreeNode*>& siblings = parent != nullptr ? parent->children_ : roots_;
  std::size_t at = static_cast<std::size_t>(std::find(siblings.begin(), siblings.end(), rel) -
                                            siblings.begin());
  std::size_t position = 0;
  switch (relationship) {
    case Relationship::First: position = 0; break;
    case Relationship::Last: position = siblings.size(); break;
    case Relationship::Next: position = at + 1; break;
    case Relationship::Previous: position = at; break;
    case Relationship::Child: break;
  }
  return Insert(parent, position, std::move(key), std::move(text), image);
}

void TreeView::Remove(const ItemRef& ref) {
  TreeNode* n = Lookup(ref);
  if (n == nullptr) throw ControlError("Element not found: node " + Describe(ref));
  // Gather the subtree, then drop it from its parent and from the collection.
  std::vector<TreeNode*> doomed{n};
  for (std::size_t i = 0; i < doomed.size(); ++i) {
    for (TreeNode* c : doomed[i]->children_) doomed.push_back(c);
  }
  std::vector<TreeNode*>& siblings = n->parent_ != nullptr ? n->parent_->children_ : roots_;
  siblings.erase(std::find(siblings.begin(), siblings.end(), n));
  for (TreeNode* d : doomed) {
    if (!d->key_.empty()) byKey_.erase(d->key_);
  }
  std::erase_if(nodes_, [&](const std::unique_ptr<TreeNode>& p) {
    return std::find(doomed.begin(), doomed.end(), p.get()) != doomed.end();
  });
  Renumber();
}

void TreeView::Clear() {
  nodes_.clear();
  roots_.clear();
  byKey_.clear();
}

void TreeView::Renumber() {
  for (std::size_t i = 0; i < nodes_.size(); ++i) nodes_[i]->index_ = static_cast<int>(i + 1);
}

std::vector<const TreeNode*> TreeView::DisplayOrder() const {
  std::vector<const TreeNode*> out;
  std::vector<const TreeNode*> stack(roots_.rbegin(), roots_.rend());
  while (!stack.empty()) {
    const TreeNode* n = stack.back();
    stack.pop_back();
    out.push_back(n);
    for (auto it = n->children_.rbegin(); it != n->children_.rend(); ++it) stack.push_back(*it);
  }
  return out;
}

std::string TreeView::ToTable() const {
  TextTable table({"Index", "Key", "Tag", "Image", "Expanded", "Text"});
  for (const TreeNode* n : DisplayOrder()) {
    table.AddRow({std::to_string(n->Index()), n->Key(), n->tag, std::to_string(n->image),
                  n->expanded ? "yes" : "no",
                  std::string(static_cast<std::size_t>(2 * n->Depth()), ' ') + n->text});
  }
  return table.Render();
}

namespace {

Json NodeJson(const TreeNode& n) {
  Json children = Json::array();
  for (const TreeNode* c : n.Children()) children.push_back(NodeJson(*c));
  return Json{{"index", n.Index()}, {"key", JsonString(n.Key())}, {"text", JsonString(n.text)},
              {"tag", JsonString(n.tag)}, {"image", n.image}, {"expanded", n.expanded},
              {"children", std::move(children)}};
}

}  // namespace

std::string TreeView::ToJson() const {
  Json nodes = Json::array();
  for (const TreeNode* r : roots_) nodes.push_back(NodeJson(*r));
  return Json{{"nodes", std::move(nodes)}}.dump();
}

// --- ListView ------------------------------------------------------------------

const std::string& ListItem::SubItem(int i) const {
  static const std::string kEmpty;
  if (i < 1 || static_cast<std::size_t>(i) > subItems_.size()) return kEmpty;
  return subItems_[static_cast<std::size_t>(i - 1)];
}

void ListItem::SetSubItem(int i, std::string value) {
  if (i < 1) throw ControlError("Invalid sub-item index " + std::to_string(i));
  if (static_cast<std::size_t>(i) > subItems_.size()) subItems_.resize(static_cast<std::size_t>(i));
  subItems_[static_cast<std::size_t>(i - 1)] = std::move(value);
}

ColumnHeader& ListView::AddColumn(std::string text, int width, std::string key) {
  columns_.push_back(ColumnHeader{std::move(key), std::move(text), width});
  return columns_.back();
}

ListItem* ListView::Find(std::string_view key) const {
  if (key.empty()) return nullptr;
  auto it = byKey_.find(std::string(key));
  return it == byKey_.end() ? nullptr : it->second;
}

ListItem* ListView::Lookup(const ItemRef& ref) const {
  if (const int* i = std::get_if<int>(&ref)) {
    if (*i < 1 || *i > Count()) return nullptr;
    return items_[static_cast<std::size_t>(*i - 1)].get();
  }
  return Find(std::get<std::string>(ref));
}

ListItem& ListView::Item(const ItemRef& ref) {
  ListItem* item = Lookup(ref);
  if (item == nullptr) throw ControlError("Element not found: list item " + Describe(ref));
  return *item;
}

const ListItem& ListView::Item(const ItemRef& ref) const {
  return const_cast<ListView*>(this)->Item(ref);
}

ListItem& ListView::Add(std::string key, std::string text, int icon, int smallIcon) {
  return AddAt(Count() + 1, std::move(key), std::move(text), icon, smallIcon);
}

ListItem& ListView::AddAt(int position, std::string key, std::string text, int icon, int smallIcon) {
  if (position < 1 || position > Count() + 1)
    throw ControlError("Invalid list item position " + std::to_string(position));
  CheckNewKey(key, Find(key) != nullptr);
  auto item = std::make_unique<ListItem>();
  item->key_ = std::move(key);
  item->text = std::move(text);
  item->icon = icon;
  item->smallIcon = smallIcon;
  ListItem* raw = item.get();
  items_.insert(items_.begin() + (position - 1), std::move(item));
  if (!raw->key_.empty()) byKey_[raw->key_] = raw;
  Renumber();
  return *raw;
}

void ListView::Remove(const ItemRef& ref) {
  ListItem* item = Lookup(ref);
  if (item == nullptr) throw ControlError("Element not found: list item " + Describe(ref));
  if (!item->key_.empty()) byKey_.erase(item->key_);
  std::erase_if(items_, [&](const std::unique_ptr<ListItem>& p) { return p.get() == item; });
  Renumber();
}

void ListView::Clear() {
  items_.clear();
  byKey_.clear();
}

void ListView::Renumber() {
  for (std::size_t i = 0; i < items_.size(); ++i) items_[i]->index_ = static_cast<int>(i + 1);
}

void ListView::SetView(int view) {
  if (view < kIcon || view > kReport) throw ControlError("Invalid view " + std::to_string(view));
  view_ = view;
}

std::vector<const ListItem*> ListView::DisplayOrder() const {
  std::vector<const ListItem*> out;
  for (const auto& i : items_) out.push_back(i.get());
  if (sorted) {
    auto keyOf = [this](const ListItem* i) -> const std::string& {
      return sortKey <= 0 ? i->text : i->SubItem(sortKey);
    };
    std::stable_sort(out.begin(), out.end(), [&](const ListItem* a, const ListItem* b) {
      return sortOrder == 1 ? LessNoCase(keyOf(b), keyOf(a)) : LessNoCase(keyOf(a), keyOf(b));
    });
  }
  return out;
}

std::string ListView::ToTable() const {
  std::size_t width = std::max<std::size_t>(columns_.size(), 1);
  for (const auto& i : items_) width = std::max(width, i->SubItems().size() + 1);
  std::vector<std::string> headers(width);
  if (columns_.empty()) headers[0] = "Text";
  for (std::size_t c = 0; c < columns_.size(); ++c) headers[c] = columns_[c].text;
  TextTable table(std::move(headers));
  for (const ListItem* i : DisplayOrder()) {
    std::vector<std::string> row{i->text};
    for (std::size_t c = 1; c < width; ++c) row.push_back(i->SubItem(static_cast<int>(c)));
    table.AddRow(std::move(row));
  }
  return table.Render();
}

std::string ListView::ToJson() const {
  Json columns = Json::array();
  for (const ColumnHeader& c : columns_)
    columns.push_back(Json{{"key", JsonString(c.key)}, {"text", JsonString(c.text)}, {"width", c.width}});
  Json items = Json::array();
  for (const ListItem* i : DisplayOrder()) {
    items.push_back(Json{{"index", i->Index()},
                         {"key", JsonString(i->Key())},
                         {"text", JsonString(i->text)},
                         {"subItems", JsonStrings(i->SubItems())},
                         {"icon", i->icon},
                         {"smallIcon", i->smallIcon},
                         {"tag", JsonString(i->tag)}});
  }
  return Json{{"view", view_}, {"sorted", sorted}, {"sortKey", sortKey}, {"sortOrder", sortOrder},
              {"columns", std::move(columns)}, {"items", std::move(items)}}
      .dump();
}

// --- ListBox, ComboBox, TextBox, Label -----------------------------------------

void ListBox::AddItem(std::string item) { items_.push_back(std::move(item)); }

void ListBox::AddItem(std::string item, int index) {
  if (index < 0 || index > ListCount()) throw ControlError("Invalid list index " + std::to_string(index));
  items_.insert(items_.begin() + index, std::move(item));
}

void ListBox::RemoveItem(int index) {
  if (index < 0 || index >= ListCount()) throw ControlError("Invalid list index " + std::to_string(index));
  items_.erase(items_.begin() + index);
  if (listIndex_ == index) {
    listIndex_ = -1;
  } else if (listIndex_ > index) {
    --listIndex_;
  }
}

void ListBox::Clear() {
  items_.clear();
  listIndex_ = -1;
}

const std::string& ListBox::List(int index) const {
  if (index < 0 || index >= ListCount()) throw ControlError("Invalid list index " + std::to_string(index));
  return items_[static_cast<std::size_t>(index)];
}

void ListBox::SetListIndex(int index) {
  if (index < -1 || index >= ListCount()) throw ControlError("Invalid list index " + std::to_string(index));
  listIndex_ = index;
}

std::string ListBox::Text() const { return listIndex_ >= 0 ? items_[static_cast<std::size_t>(listIndex_)] : ""; }

std::string ListBox::ToTable() const {
  TextTable table({"#", "Item"});
  for (std::size_t i = 0; i < items_.size(); ++i) table.AddRow({std::to_string(i), items_[i]});
  return table.Render();
}

std::string ListBox::ToJson() const {
  return Json{{"listIndex", listIndex_}, {"items", JsonStrings(items_)}}.dump();
}

void ComboBox::SetListIndex(int index) {
  ListBox::SetListIndex(index);
  if (index >= 0) text_ = List(index);
}

std::string ComboBox::ToJson() const {
  return Json{{"text", JsonString(text_)}, {"listIndex", ListIndex()}, {"items", JsonStrings(Items())}}.dump();
}

std::string TextBox::ToJson() const { return Json{{"text", JsonString(Text)}}.dump(); }

std::string Label::ToJson() const { return Json{{"caption", JsonString(Caption)}}.dump(); }

}  // namespace qv::platform
