// Registry of the record layouts and the unknown-field error.
#include "store/record_layouts.h"

#include <algorithm>
#include <array>
#include <string>

namespace qv {

UnknownFieldError::UnknownFieldError(std::string_view layout, std::string_view field)
    : std::invalid_argument("unknown field '" + std::string(field) + "' in layout '" +
                            std::string(layout) + "'") {}

void ThrowUnknownField(std::string_view layout, std::string_view field) {
  throw UnknownFieldError(layout, field);
}

namespace {

using namespace layout;

constexpr std::array<const Layout*, 13> kTables = {
    &QV_VER, &QV_UID, &QV_EX, &QV_CX, &QV_GX, &QV_FX, &QV_ZX,
    &QV_TX,  &QV_GC,  &QV_FC, &QV_ZC, &QV_END, &QV_SPV};

constexpr std::array<const Layout*, 33> kAll = {
    &QV_VER, &QV_UID, &QV_EX, &QV_CX, &QV_GX, &QV_FX, &QV_ZX, &QV_TX, &QV_GC, &QV_FC, &QV_ZC,
    &QV_END, &QV_SPV,
    &Activity, &ObjectName,
    &EnvKey, &EnvListEntry, &TargetKey, &ModelKey, &DistributionKey, &EndScriptKey,
    &ModelTableKey, &ProgramKey, &DistributedTableKey, &DistributedTableShort, &TargetPosition,
    &DistributionPosition, &UserKey, &FieldKey, &MappingKey,
    &DistributionSummary, &DistributionWithModel, &DistributedTableWithModelTable};

// Checks at compile time that names are unique within each layout and that
// the key of a table is made of its leading fields.
constexpr bool NamesUnique(const Layout& l) {
  for (std::size_t i = 0; i < l.fields.size(); ++i)
    for (std::size_t j = i + 1; j < l.fields.size(); ++j)
      if (l.fields[i].name == l.fields[j].name) return false;
  return l.keyCount <= l.fields.size();
}
constexpr bool AllNamesUnique() {
  for (const Layout* l : kAll)
    if (!NamesUnique(*l)) return false;
  return true;
}
static_assert(AllNamesUnique());

}  // namespace

bool IsPasswordField(std::string_view name) noexcept {
  return name == "PASSWORD" || name == "QV_PASSWORD" || name == "DSN_PWD";
}

std::span<const Layout* const> AllLayouts() noexcept { return kAll; }

std::span<const Layout* const> StoreTables() noexcept { return kTables; }

}  // namespace qv
