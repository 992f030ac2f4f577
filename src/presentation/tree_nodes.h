// Keys, tags, texts and images of the nodes of the topology tree.
//
// Keys are built from the trimmed codes:
//   "Env" root, "Cibles" targets folder, "Groups" models folder, "Messages"
//   message queue; "c" + target, target + "/GC", target + "/Dist";
//   target + ":" + model (a distribution), + "/FC", + "/Spv";
//   target + ":" + model + ":" + table (a distributed table);
//   "g" + model, model + "/File", model + "/Distg", model + ":" + table.
// A tag is a load mark (" ", or "X" once a lazy folder is loaded) followed
// by the kind word; lookups compare the tag from its second character.
#pragma once

#include <string>
#include <string_view>

namespace qv::tree {

// Kind words of the nodes.
inline constexpr const char* kRoot = "Env";
inline constexpr const char* kTargets = "Cibles";
inline constexpr const char* kTarget = "Ciblen";
inline constexpr const char* kTargetDistributions = "SGC";
inline constexpr const char* kDistribution = "GC";
inline constexpr const char* kDistributionTables = "SGCFC";
inline constexpr const char* kDistributedTable = "FC";
inline constexpr const char* kSupervision = "SGCSpv";
inline constexpr const char* kTargetDistribute = "SDist";
inline constexpr const char* kModels = "Groups";
inline constexpr const char* kModel = "Groupn";
inline constexpr const char* kModelTables = "GFile";
inline constexpr const char* kModelTable = "File";
inline constexpr const char* kModelDistribute = "GDist";
inline constexpr const char* kMessages = "Msgq";

// Images of the nodes: a target or distribution of type "1" (NT) shows
// kNtImage, of another type kAs400Image; the others fixed indexes.
inline constexpr int kNtImage = 1, kAs400Image = 10;
inline constexpr int kRootImage = 2, kFolderImage = 3, kSupervisionImage = 4, kDistributeImage = 5,
                     kModelImage = 6, kTableImage = 7, kMessagesImage = 8;
int TypeImage(std::string_view type);

// Returns the tag of a node: mark + kind.
std::string Tag(std::string_view kind, bool loaded = false);
// Tells whether a tag names the kind (from its second character).
bool IsKind(std::string_view tag, std::string_view kind);
// Tells whether a tag carries the load mark "X".
bool IsLoaded(std::string_view tag);

std::string TargetKey(std::string_view tgt);
std::string TargetDistributionsKey(std::string_view tgt);
std::string TargetDistributeKey(std::string_view tgt);
std::string DistributionKey(std::string_view tgt, std::string_view grp);
std::string DistributionTablesKey(std::string_view tgt, std::string_view grp);
std::string SupervisionKey(std::string_view tgt, std::string_view grp);
std::string DistributedTableKey(std::string_view tgt, std::string_view grp, std::string_view fic);
std::string ModelKey(std::string_view grp);
std::string ModelTablesKey(std::string_view grp);
std::string ModelDistributeKey(std::string_view grp);
std::string ModelTableKey(std::string_view grp, std::string_view fic);

// Returns "id" + separator + description, both trimmed.
std::string ItemText(std::string_view id, std::string_view description, std::string_view separator);

}  // namespace qv::tree
