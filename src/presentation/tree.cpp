// Topology tree: the targets, distributions, models and tables of the
// current environment in a tree view, loaded level by level, and kept in
// step after changes without a reload.
#include "connection/qvsource.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"
#include "presentation/tree_nodes.h"
#include "store/distribution_statements.h"
#include "store/environment_statements.h"
#include "store/record_layouts.h"
#include "store/record_rules.h"
#include "store/records.h"

namespace qv {

using platform::Relationship;
using platform::TreeNode;
using platform::TreeView;

namespace {

// Returns the node of key when it is of kind, else nullptr.
TreeNode* FindNode(const TreeView& tv, const std::string& key, const char* kind) {
  TreeNode* node = tv.Find(key);
  return node != nullptr && tree::IsKind(node->tag, kind) ? node : nullptr;
}

// Returns the first node of kind, else nullptr.
TreeNode* FindKind(const TreeView& tv, const char* kind) {
  for (int i = 1; i <= tv.Count(); ++i) {
    TreeNode& node = const_cast<TreeView&>(tv).Item(i);
    if (tree::IsKind(node.tag, kind)) return &node;
  }
  return nullptr;
}

TreeNode& AddChild(TreeView& tv, TreeNode& parent, const std::string& key, const std::string& text, int image,
                   const char* kind) {
  TreeNode& node = tv.Add(parent.Index(), Relationship::Child, key, text, image);
  node.tag = tree::Tag(kind);
  return node;
}

// Removes the node of key when it is there.
void RemoveKey(TreeView& tv, const std::string& key) {
  if (tv.Find(key) != nullptr) tv.Remove(key);
}

// Returns the part of a folder key before suffix ("T1/GC" with "/GC" gives "T1").
std::string KeyHead(const std::string& key, std::string_view suffix) {
  return key.size() >= suffix.size() ? key.substr(0, key.size() - suffix.size()) : std::string();
}

}  // namespace

// ---- Nodes of one item with their children ------------------------------------------

TreeNode& QVSource::AddTargetNode(TreeView& tv, TreeNode& folder, const std::string& tgt, const std::string& type,
                                  const std::string& description) {
  TreeNode& node = AddChild(tv, folder, tree::TargetKey(tgt), tree::ItemText(tgt, description, LabelSeparator()),
                            tree::TypeImage(type), tree::kTarget);
  AddChild(tv, node, tree::TargetDistributionsKey(tgt), cLoadResString("2035"), tree::kFolderImage,
           tree::kTargetDistributions);
  AddChild(tv, node, tree::TargetDistributeKey(tgt), cLoadResString("2036"), tree::kDistributeImage,
           tree::kTargetDistribute);
  return node;
}

TreeNode& QVSource::AddModelNode(TreeView& tv, TreeNode& folder, const std::string& grp,
                                 const std::string& description) {
  TreeNode& node = AddChild(tv, folder, tree::ModelKey(grp), tree::ItemText(grp, description, LabelSeparator()),
                            tree::kModelImage, tree::kModel);
  AddChild(tv, node, tree::ModelTablesKey(grp), cLoadResString("2037"), tree::kFolderImage, tree::kModelTables);
  AddChild(tv, node, tree::ModelDistributeKey(grp), cLoadResString("2036"), tree::kDistributeImage,
           tree::kModelDistribute);
  return node;
}

TreeNode& QVSource::AddDistributionNode(TreeView& tv, TreeNode& folder, const std::string& tgt,
                                        const std::string& grp, const std::string& type,
                                        const std::string& description, const char* tablesCaption) {
  TreeNode& node = AddChild(tv, folder, tree::DistributionKey(tgt, grp),
                            tree::ItemText(grp, description, LabelSeparator()), tree::TypeImage(type),
                            tree::kDistribution);
  AddChild(tv, node, tree::DistributionTablesKey(tgt, grp), cLoadResString(tablesCaption), tree::kFolderImage,
           tree::kDistributionTables);
  AddChild(tv, node, tree::SupervisionKey(tgt, grp), cLoadResString("2033"), tree::kSupervisionImage,
           tree::kSupervision);
  return node;
}

// ---- Loading --------------------------------------------------------------------------

bool QVSource::LoadTree(TreeView& tv) {
  return Guard("LoadTree", [&] {
    tv.Clear();
    TreeNode& root = tv.Add(tree::kRoot, cLoadResString("2030"), tree::kRootImage);
    root.tag = tree::Tag(tree::kRoot);
    TreeNode& targets = AddChild(tv, root, tree::kTargets, cLoadResString("2031"), tree::kFolderImage, tree::kTargets);
    TreeNode& models = AddChild(tv, root, tree::kModels, cLoadResString("2032"), tree::kFolderImage, tree::kModels);
    AddChild(tv, root, "Messages", cLoadResString("2034"), tree::kMessagesImage, tree::kMessages);
    root.expanded = true;

    std::vector<Record> records;
    if (!ReadBlocks("LoadTree", "QV_CX_L0", layout::QV_CX, KeyFromCodes(layout::EnvKey, {sel_.env}),
                    ListTargetsOfEnvironmentSql(prefix_, sel_.env), records))
      return false;
    for (const Record& cx : records)
      AddTargetNode(tv, targets, std::string(cx.Get("TGTID")), std::string(cx.Get("TGTTYPE")),
                    std::string(cx.Get("DESCRIP")));
    records.clear();
    if (!ReadBlocks("LoadTree", "QV_GX_L0", layout::QV_GX, KeyFromCodes(layout::EnvKey, {sel_.env}),
                    ListModelsOfEnvironmentSql(prefix_, sel_.env), records))
      return false;
    for (const Record& gx : records)
      AddModelNode(tv, models, std::string(gx.Get("GRPID")), std::string(gx.Get("DESCRIP")));
    return true;
  });
}

bool QVSource::LoadGCInTree(TreeView& tv, TreeNode& folder) {
  return Guard("LoadGCInTree", [&] {
    const std::string tgt = KeyHead(folder.Key(), "/GC");
    std::vector<Record> records;
    if (!ReadBlocks("LoadGCInTree", "QV_GX_GC_0", layout::DistributionWithModel,
                    KeyFromCodes(layout::TargetKey, {sel_.env, tgt}),
                    ListDistributionsOfTargetWithModelSql(JoinDialectOf(sourceType_), prefix_, sel_.env, tgt),
                    records))
      return false;
    for (const Record& gc : records)
      if (tv.Find(tree::DistributionKey(tgt, gc.Get("GRPID"))) == nullptr)
        AddDistributionNode(tv, folder, tgt, std::string(gc.Get("GRPID")), std::string(gc.Get("GRPTYPE")),
                            std::string(gc.Get("DESCRIP")), "2143");
    folder.tag = tree::Tag(tree::kTargetDistributions, true);
    return true;
  });
}

bool QVSource::LoadFCInTree(TreeView& tv, TreeNode& folder) {
  return Guard("LoadFCInTree", [&] {
    const std::string distribution = KeyHead(folder.Key(), "/FC");
    const std::size_t colon = distribution.find(':');
    const std::string tgt = distribution.substr(0, colon);
    const std::string grp = colon == std::string::npos ? "" : distribution.substr(colon + 1);
    std::vector<Record> records;
    if (!ReadBlocks("LoadFCInTree", "QV_FC_FX", layout::DistributedTableWithModelTable,
                    KeyFromCodes(layout::DistributionKey, {sel_.env, tgt, grp}),
                    ListTablesOfDistributionWithModelSql(JoinDialectOf(sourceType_), prefix_, sel_.env, tgt, grp),
                    records))
      return false;
    for (const Record& fc : records) {
      const std::string key = tree::DistributedTableKey(tgt, grp, fc.Get("FICID"));
      if (tv.Find(key) != nullptr) continue;
      AddChild(tv, folder, key,
               SourceTableLabel(fc.Get("SRCTBL"), IsAS400()) + LabelSeparator() + Trim(fc.Get("DESCRIP")),
               tree::kTableImage, tree::kDistributedTable);
    }
    folder.tag = tree::Tag(tree::kDistributionTables, true);
    return true;
  });
}

bool QVSource::LoadFileInTree(TreeView& tv, TreeNode& folder) {
  return Guard("LoadFileInTree", [&] {
    const std::string grp = KeyHead(folder.Key(), "/File");
    std::vector<Record> records;
    if (!ReadBlocks("LoadFileInTree", "QV_FX_L0", layout::QV_FX, KeyFromCodes(layout::ModelKey, {sel_.env, grp}),
                    ListTablesOfModelSql(prefix_, sel_.env, grp), records))
      return false;
    for (const Record& fx : records) {
      const std::string key = tree::ModelTableKey(grp, fx.Get("FICID"));
      if (tv.Find(key) != nullptr) continue;
      AddChild(tv, folder, key,
               SourceTableLabel(fx.Get("SRCTBL"), IsAS400()) + LabelSeparator() + Trim(fx.Get("DESCRIP")),
               tree::kTableImage, tree::kModelTable);
    }
    folder.tag = tree::Tag(tree::kModelTables, true);
    return true;
  });
}

// ---- Adding -----------------------------------------------------------------------------

bool QVSource::AddCibleInTree(TreeView& tv, TreeNode*& node, const std::string& tgt_id,
                              const std::string& tgtType, const std::string& description) {
  return Guard("AddCibleInTree", [&] {
    node = nullptr;
    TreeNode* folder = FindKind(tv, tree::kTargets);
    if (folder == nullptr || tv.Find(tree::TargetKey(tgt_id)) != nullptr) return true;
    node = &AddTargetNode(tv, *folder, tgt_id, tgtType, description);
    return true;
  });
}

bool QVSource::AddGroupInTree(TreeView& tv, TreeNode*& node, const std::string& grp_id,
                              const std::string& grpType, const std::string& description) {
  return Guard("AddGroupInTree", [&] {
    (void)grpType;
    node = nullptr;
    TreeNode* folder = FindKind(tv, tree::kModels);
    if (folder == nullptr || tv.Find(tree::ModelKey(grp_id)) != nullptr) return true;
    node = &AddModelNode(tv, *folder, grp_id, description);
    return true;
  });
}

bool QVSource::AddGCInTree(TreeView& tv, TreeNode*& node, const std::string& tgt_id, const std::string& grp_id,
                           const std::string& type, const std::string& description) {
  return Guard("AddGCInTree", [&] {
    node = nullptr;
    TreeNode* folder = FindNode(tv, tree::TargetDistributionsKey(tgt_id), tree::kTargetDistributions);
    if (folder == nullptr || !tree::IsLoaded(folder->tag) ||
        tv.Find(tree::DistributionKey(tgt_id, grp_id)) != nullptr)
      return true;
    node = &AddDistributionNode(tv, *folder, tgt_id, grp_id, type, description, "2037");
    return true;
  });
}

bool QVSource::AddFCInTree(TreeView& tv, const std::string& tgt_id, const std::string& grp_id,
                           const std::string& fic_id, const std::string& label, const std::string& description) {
  return Guard("AddFCInTree", [&] {
    TreeNode* folder = FindNode(tv, tree::DistributionTablesKey(tgt_id, grp_id), tree::kDistributionTables);
    const std::string key = tree::DistributedTableKey(tgt_id, grp_id, fic_id);
    if (folder == nullptr || !tree::IsLoaded(folder->tag) || tv.Find(key) != nullptr) return true;
    AddChild(tv, *folder, key, Trim(label) + LabelSeparator() + Trim(description), tree::kTableImage,
             tree::kDistributedTable);
    return true;
  });
}

bool QVSource::AddFileInTree(TreeView& tv, const std::string& grp_id, const std::string& fic_id,
                             const std::string& label, const std::string& description) {
  return Guard("AddFileInTree", [&] {
    TreeNode* folder = FindNode(tv, tree::ModelTablesKey(grp_id), tree::kModelTables);
    const std::string key = tree::ModelTableKey(grp_id, fic_id);
    if (folder == nullptr || !tree::IsLoaded(folder->tag) || tv.Find(key) != nullptr) return true;
    AddChild(tv, *folder, key, Trim(label) + LabelSeparator() + Trim(description), tree::kTableImage,
             tree::kModelTable);
    return true;
  });
}

// ---- Deleting ----------------------------------------------------------------------------

bool QVSource::DeleteCibleInTree(TreeView& tv, const std::string& tgt_id) {
  return Guard("DeleteCibleInTree", [&] {
    RemoveKey(tv, tree::TargetKey(tgt_id));
    return true;
  });
}

bool QVSource::DeleteGroupInTree(TreeView& tv, const std::string& grp_id) {
  return Guard("DeleteGroupInTree", [&] {
    RemoveKey(tv, tree::ModelKey(grp_id));
    const std::string suffix = ":" + Trim(grp_id);
    for (int i = tv.Count(); i >= 1; --i) {
      const TreeNode& node = tv.Item(i);
      const std::string& key = node.Key();
      if (tree::IsKind(node.tag, tree::kDistribution) && key.size() > suffix.size() &&
          key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0)
        tv.Remove(i);
    }
    return true;
  });
}

bool QVSource::DeleteGCInTree(TreeView& tv, const std::string& tgt_id, const std::string& grp_id) {
  return Guard("DeleteGCInTree", [&] {
    RemoveKey(tv, tree::DistributionKey(tgt_id, grp_id));
    return true;
  });
}

bool QVSource::DeleteFCInTree(TreeView& tv, const std::string& tgt_id, const std::string& grp_id,
                              const std::string& fic_id) {
  return Guard("DeleteFCInTree", [&] {
    RemoveKey(tv, tree::DistributedTableKey(tgt_id, grp_id, fic_id));
    return true;
  });
}

bool QVSource::DeleteFileInTree(TreeView& tv, const std::string& grp_id, const std::string& fic_id) {
  return Guard("DeleteFileInTree", [&] {
    RemoveKey(tv, tree::ModelTableKey(grp_id, fic_id));
    const std::string suffix = ":" + tree::ModelTableKey(grp_id, fic_id);
    for (int i = tv.Count(); i >= 1; --i) {
      const TreeNode& node = tv.Item(i);
      const std::string& key = node.Key();
      if (tree::IsKind(node.tag, tree::kDistributedTable) && key.size() > suffix.size() &&
          key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0)
        tv.Remove(i);
    }
    return true;
  });
}

// ---- Changing ----------------------------------------------------------------------------

bool QVSource::ChangeCibleInTree(TreeView& tv, const std::string& tgt_id, const std::string& tgtType,
                                 const std::string& description) {
  return Guard("ChangeCibleInTree", [&] {
    if (TreeNode* node = FindNode(tv, tree::TargetKey(tgt_id), tree::kTarget)) {
      node->text = tree::ItemText(tgt_id, description, LabelSeparator());
      node->image = tree::TypeImage(tgtType);
    }
    return true;
  });
}

bool QVSource::ChangeGroupInTree(TreeView& tv, const std::string& grp_id, const std::string& grpType,
                                 const std::string& description) {
  return Guard("ChangeGroupInTree", [&] {
    (void)grpType;
    if (TreeNode* node = FindNode(tv, tree::ModelKey(grp_id), tree::kModel))
      node->text = tree::ItemText(grp_id, description, LabelSeparator());
    return ChangeAllGCInTree(tv, grp_id, description);
  });
}

bool QVSource::ChangeAllGCInTree(TreeView& tv, const std::string& grp_id, const std::string& description) {
  return Guard("ChangeAllGCInTree", [&] {
    const std::string suffix = ":" + Trim(grp_id);
    for (int i = 1; i <= tv.Count(); ++i) {
      TreeNode& node = tv.Item(i);
      const std::string& key = node.Key();
      if (tree::IsKind(node.tag, tree::kDistribution) && key.size() > suffix.size() &&
          key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0)
        node.text = tree::ItemText(grp_id, description, LabelSeparator());
    }
    return true;
  });
}

bool QVSource::ChangeAllFCInTree(TreeView& tv, const std::string& grp_id, const std::string& fic_id,
                                 const std::string& label, const std::string& description) {
  return Guard("ChangeAllFCInTree", [&] {
    const std::string suffix = ":" + tree::ModelTableKey(grp_id, fic_id);
    for (int i = 1; i <= tv.Count(); ++i) {
      TreeNode& node = tv.Item(i);
      const std::string& key = node.Key();
      if (tree::IsKind(node.tag, tree::kDistributedTable) && key.size() > suffix.size() &&
          key.compare(key.size() - suffix.size(), suffix.size(), suffix) == 0)
        node.text = Trim(label) + LabelSeparator() + Trim(description);
    }
    return true;
  });
}

bool QVSource::ChangeFileInTree(TreeView& tv, const std::string& grp_id, const std::string& fic_id,
                                const std::string& label, const std::string& description) {
  return Guard("ChangeFileInTree", [&] {
    if (TreeNode* node = FindNode(tv, tree::ModelTableKey(grp_id, fic_id), tree::kModelTable))
      node->text = Trim(label) + LabelSeparator() + Trim(description);
    return ChangeAllFCInTree(tv, grp_id, fic_id, label, description);
  });
}

}  // namespace qv
