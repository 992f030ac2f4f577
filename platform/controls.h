// Plain models of the screen controls that the library fills: tree view, list
// view, list box and combo box, text box and label. Texts are Windows-1252;
// ToTable() and ToJson() write UTF-8 for the host.
//
// Items of the tree and list views are numbered 1..Count() in the order they
// were added (removing one renumbers the rest); display order is the tree's
// order, or the sort order of a sorted list view. Keys are optional, unique
// when given, and compared exactly.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

namespace qv::platform {

// Thrown by the controls when a key or position is not there, a key is
// already taken or a value is out of range.
class ControlError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An item given by 1-based position or by key.
using ItemRef = std::variant<int, std::string>;

// --- Tree view -----------------------------------------------------------------

// Where Add places a node beside its relative.
enum class Relationship { First = 0, Last = 1, Next = 2, Previous = 3, Child = 4 };

class TreeView;

class TreeNode {
 public:
  std::string text;
  std::string tag;
  int image = 0;
  bool expanded = false;

  const std::string& Key() const { return key_; }
  int Index() const { return index_; }
  TreeNode* Parent() const { return parent_; }
  const std::vector<TreeNode*>& Children() const { return children_; }
  int Depth() const;

 private:
  friend class TreeView;
  std::string key_;
  int index_ = 0;
  TreeNode* parent_ = nullptr;
  std::vector<TreeNode*> children_;
};

class TreeView {
 public:
  TreeView() = default;
  TreeView(const TreeView&) = delete;
  TreeView& operator=(const TreeView&) = delete;

  // Adds a node at the top level, after the others.
  TreeNode& Add(std::string key, std::string text, int image = 0);
  // Adds a node beside `relative`: the first or last of its siblings, right
  // after or before it, or as its last child. Throws ControlError when the
  // relative is not there or the key is taken.
  TreeNode& Add(const ItemRef& relative, Relationship relationship, std::string key,
                std::string text, int image = 0);

  int Count() const { return static_cast<int>(nodes_.size()); }
  // Throws ControlError when there is no such node.
  TreeNode& Item(const ItemRef& ref);
  const TreeNode& Item(const ItemRef& ref) const;
  // Returns the node with that key, or nullptr.
  TreeNode* Find(std::string_view key) const;
  // Removes a node with its whole subtree. Throws ControlError when absent.
  void Remove(const ItemRef& ref);
  void Clear();

  const std::vector<TreeNode*>& Roots() const { return roots_; }
  // Returns every node, parents before children, siblings in order.
  std::vector<const TreeNode*> DisplayOrder() const;

  // Index  Key  Tag  Image  Expanded  Text (indented two blanks per level)
  std::string ToTable() const;
  // {"nodes":[{"index":1,"key":"Env","text":"...","tag":" Env","image":0,
  //   "expanded":true,"children":[...]}]}
  std::string ToJson() const;

 private:
  TreeNode* Lookup(const ItemRef& ref) const;
  TreeNode& Insert(TreeNode* parent, std::size_t position, std::string key, std::string text,
                   int image);
  void Renumber();

  std::vector<std::unique_ptr<TreeNode>> nodes_;  // in order of addition
  std::vector<TreeNode*> roots_;
  std::unordered_map<std::string, TreeNode*> byKey_;
};

// --- List view -----------------------------------------------------------------

struct ColumnHeader {
  std::string key;
  std::string text;
  int width = 0;
};

class ListItem {
 public:
  std::string text;
  std::string tag;
  int icon = 0;
  int smallIcon = 0;

  const std::string& Key() const { return key_; }
  int Index() const { return index_; }
  // Sub-item i (1-based, column i + 1); "" when never set.
  const std::string& SubItem(int i) const;
  // Sets sub-item i, i >= 1; throws ControlError otherwise.
  void SetSubItem(int i, std::string value);
  const std::vector<std::string>& SubItems() const { return subItems_; }

 private:
  friend class ListView;
  std::string key_;
  int index_ = 0;
  std::vector<std::string> subItems_;
};

class ListView {
 public:
  // View modes: icons, small icons, list, report.
  static constexpr int kIcon = 0, kSmallIcon = 1, kList = 2, kReport = 3;

  ListView() = default;
  ListView(const ListView&) = delete;
  ListView& operator=(const ListView&) = delete;

  // Column headers.
  ColumnHeader& AddColumn(std::string text, int width = 0, std::string key = {});
  void ClearColumns() { columns_.clear(); }
  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  const std::vector<ColumnHeader>& Columns() const { return columns_; }

  // List items. Add appends; AddAt inserts at a 1-based position
  // (1..Count()+1). Both throw ControlError on a taken key or a bad position.
  ListItem& Add(std::string key, std::string text, int icon = 0, int smallIcon = 0);
  ListItem& AddAt(int position, std::string key, std::string text, int icon = 0, int smallIcon = 0);
  int Count() const { return static_cast<int>(items_.size()); }
  ListItem& Item(const ItemRef& ref);
  const ListItem& Item(const ItemRef& ref) const;
  ListItem* Find(std::string_view key) const;
  void Remove(const ItemRef& ref);
  void Clear();

  int View() const { return view_; }
  void SetView(int view);  // 0..3, else ControlError
  bool sorted = false;
  int sortKey = 0;    // 0 sorts by the item text, n by sub-item n
  int sortOrder = 0;  // 0 ascending, 1 descending

  // Items in the order shown: as added, or sorted by the sort key (letters in
  // any case, equal texts keep their order).
  std::vector<const ListItem*> DisplayOrder() const;

  // One column per header (the first holds the item text), one row per item.
  std::string ToTable() const;
  // {"view":3,"sorted":false,"sortKey":0,"sortOrder":0,
  //  "columns":[{"key":"","text":"Date","width":0}],
  //  "items":[{"index":1,"key":"J1","text":"","subItems":["..."],"icon":1,
  //            "smallIcon":1,"tag":""}]}
  std::string ToJson() const;

 private:
  ListItem* Lookup(const ItemRef& ref) const;
  void Renumber();

  std::vector<ColumnHeader> columns_;
  std::vector<std::unique_ptr<ListItem>> items_;
  std::unordered_map<std::string, ListItem*> byKey_;
  int view_ = kIcon;
};

// --- List box, combo box, text box, label --------------------------------------

class ListBox {
 public:
  // Appends an item, or inserts it at a 0-based position (0..ListCount()).
  void AddItem(std::string item);
  void AddItem(std::string item, int index);
  // Removes the item at a 0-based position; ControlError when absent.
  void RemoveItem(int index);
  void Clear();
  int ListCount() const { return static_cast<int>(items_.size()); }
  // Returns the item at a 0-based position; ControlError when absent.
  const std::string& List(int index) const;
  const std::vector<std::string>& Items() const { return items_; }

  int ListIndex() const { return listIndex_; }
  void SetListIndex(int index);  // -1 selects nothing
  // Returns the selected item, or "".
  std::string Text() const;

  // #  Item      (0-based positions)
  std::string ToTable() const;
  // {"listIndex":-1,"items":["a","b"]}
  std::string ToJson() const;

 private:
  std::vector<std::string> items_;
  int listIndex_ = -1;
};

// A list box with an edit field: Text is what the field holds, and selecting
// an item puts that item there.
class ComboBox : public ListBox {
 public:
  std::string Text() const { return text_; }
  void SetText(std::string text) { text_ = std::move(text); }
  void SetListIndex(int index);
  // {"text":"...","listIndex":-1,"items":[...]}
  std::string ToJson() const;

 private:
  std::string text_;
};

struct TextBox {
  std::string Text;
  std::string ToJson() const;  // {"text":"..."}
};

struct Label {
  std::string Caption;
  std::string ToJson() const;  // {"caption":"..."}
};

}  // namespace qv::platform
