// Keys, tags, texts and images of the nodes of the topology tree.
#include "presentation/tree_nodes.h"

#include "presentation/strutil.h"

namespace qv::tree {

int TypeImage(std::string_view type) { return type == "1" ? kNtImage : kAs400Image; }

std::string Tag(std::string_view kind, bool loaded) { return (loaded ? "X" : " ") + std::string(kind); }

bool IsKind(std::string_view tag, std::string_view kind) { return tag.size() > 1 && tag.substr(1) == kind; }

bool IsLoaded(std::string_view tag) { return !tag.empty() && tag[0] == 'X'; }

std::string TargetKey(std::string_view tgt) { return "c" + Trim(tgt); }
std::string TargetDistributionsKey(std::string_view tgt) { return Trim(tgt) + "/GC"; }
std::string TargetDistributeKey(std::string_view tgt) { return Trim(tgt) + "/Dist"; }
std::string DistributionKey(std::string_view tgt, std::string_view grp) { return Trim(tgt) + ":" + Trim(grp); }
std::string DistributionTablesKey(std::string_view tgt, std::string_view grp) {
  return DistributionKey(tgt, grp) + "/FC";
}
std::string SupervisionKey(std::string_view tgt, std::string_view grp) { return DistributionKey(tgt, grp) + "/Spv"; }
std::string DistributedTableKey(std::string_view tgt, std::string_view grp, std::string_view fic) {
  return DistributionKey(tgt, grp) + ":" + Trim(fic);
}
std::string ModelKey(std::string_view grp) { return "g" + Trim(grp); }
std::string ModelTablesKey(std::string_view grp) { return Trim(grp) + "/File"; }
std::string ModelDistributeKey(std::string_view grp) { return Trim(grp) + "/Distg"; }
std::string ModelTableKey(std::string_view grp, std::string_view fic) { return Trim(grp) + ":" + Trim(fic); }

std::string ItemText(std::string_view id, std::string_view description, std::string_view separator) {
  return Trim(id) + std::string(separator) + Trim(description);
}

}  // namespace qv::tree
