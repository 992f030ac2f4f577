// Table of the keyed access paths and the SQLite statements that serve them.
#include "store/access_paths.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace qv {

namespace {

using namespace layout;
using Cols = std::span<const std::string_view>;

constexpr std::string_view kEnv[] = {"ENVID"};
constexpr std::string_view kUser[] = {"USERID"};
constexpr std::string_view kEnvTgt[] = {"ENVID", "TGTID"};
constexpr std::string_view kEnvGrp[] = {"ENVID", "GRPID"};
constexpr std::string_view kEnvUser[] = {"ENVID", "USERID"};
constexpr std::string_view kDistribution[] = {"ENVID", "TGTID", "GRPID"};
constexpr std::string_view kEndScript[] = {"ENVID", "TGTID", "GRPID", "LIEU"};
constexpr std::string_view kModelTable[] = {"ENVID", "GRPID", "FICID"};
constexpr std::string_view kProgram[] = {"ENVID", "GRPID", "FICID", "LIEU"};
constexpr std::string_view kDistributedTable[] = {"ENVID", "TGTID", "GRPID", "FICID"};
constexpr std::string_view kField[] = {"ENVID", "GRPID", "FICID", "FIELDINPUT"};
constexpr std::string_view kMapping[] = {"ENVID", "TGTID", "GRPID", "FICID", "FIELDINPUT"};
constexpr std::string_view kProgramLine[] = {"ENVID", "GRPID", "FICID", "LIEU", "LINE"};
constexpr std::string_view kEndScriptLine[] = {"ENVID", "TGTID", "GRPID", "LIEU", "LINE"};

constexpr std::uint16_t KeyBytes(const Layout& physical, Cols key) {
  std::uint16_t n = 0;
  for (std::string_view c : key) n = static_cast<std::uint16_t>(n + physical[c].width);
  return n;
}

// One path: file, physical file, record returned, key columns, use, mode.
constexpr AccessPath P(std::string_view name, const Layout& physical, const Layout& record, Cols key,
                       AccessMode mode, KeyUse use = KeyUse::Keyed) {
  return AccessPath{name, &physical, &record, key, KeyBytes(physical, key), use, mode, nullptr, {}};
}

// A join of `physical` (driving) with `joined` on the columns `on`.
constexpr AccessPath J(std::string_view name, const Layout& physical, const Layout& joined,
                       Cols on, const Layout& record, Cols key) {
  return AccessPath{name,  &physical,           &record,  key, KeyBytes(physical, key),
                    KeyUse::Keyed, AccessMode::ReadOnly, &joined, on};
}

using M = AccessMode;

constexpr std::array kPaths = {
    // physical files
    P("QV_VER", QV_VER, QV_VER, {}, M::ReadOnly, KeyUse::FirstRecord),
    P("QV_UID", QV_UID, QV_UID, kEnvUser, M::Update),
    P("QV_EX", QV_EX, QV_EX, kEnv, M::Update),
    P("QV_CX", QV_CX, QV_CX, kEnvTgt, M::Update),
    P("QV_GX", QV_GX, QV_GX, kEnvGrp, M::Update),
    P("QV_FX", QV_FX, QV_FX, kModelTable, M::Update),
    P("QV_ZX", QV_ZX, QV_ZX, kField, M::Update),
    P("QV_TX", QV_TX, QV_TX, kProgramLine, M::Update, KeyUse::NotUsed),
    P("QV_GC", QV_GC, QV_GC, kDistribution, M::Update),
    P("QV_FC", QV_FC, QV_FC, kDistributedTable, M::Update),
    P("QV_ZC", QV_ZC, QV_ZC, kMapping, M::Update),
    P("QV_END", QV_END, QV_END, kEndScriptLine, M::Update, KeyUse::NotUsed),
    P("QV_SPV", QV_SPV, QV_SPV, kDistribution, M::ReadOnly),
    // logical files: keyed views and projections of one physical file
    P("QV_CX_XY", QV_CX, TargetPosition, kEnvTgt, M::Update),
    P("QV_GC_XY", QV_GC, DistributionPosition, kDistribution, M::Update),
    P("QV_EX_L0", QV_EX, EnvListEntry, kEnv, M::ReadOnly, KeyUse::Sequence),
    P("QV_CX_L0", QV_CX, QV_CX, kEnv, M::ReadOnlyOrUpdate),
    P("QV_GX_L0", QV_GX, QV_GX, kEnv, M::ReadOnlyOrUpdate),
    P("QV_GC_L0", QV_GC, DistributionKey, kEnvGrp, M::ReadOnlyOrUpdate),
    P("QV_GC_L1", QV_GC, DistributionKey, kEnvTgt, M::Update),
    P("QV_FX_L0", QV_FX, QV_FX, kEnvGrp, M::ReadOnlyOrUpdate),
    P("QV_FC_L0", QV_FC, DistributedTableKey, kDistribution, M::Update),
    P("QV_FC_L1", QV_FC, DistributedTableShort, kModelTable, M::Update),
    P("QV_ZX_L0", QV_ZX, QV_ZX, kModelTable, M::ReadOnlyOrUpdate),
    P("QV_ZC_L0", QV_ZC, QV_ZC, kDistributedTable, M::ReadOnlyOrUpdate),
    P("QV_ZC_L1", QV_ZC, QV_ZC, kField, M::Update),
    P("QV_TX_L0", QV_TX, QV_TX, kProgram, M::ReadOnlyOrUpdate),
    P("QV_END_L0", QV_END, QV_END, kEndScript, M::ReadOnlyOrUpdate),
    P("QV_UID_L0", QV_UID, QV_UID, kEnv, M::ReadOnlyOrUpdate),
    P("QV_UID_L1", QV_UID, QV_UID, kUser, M::Update),
    // logical files: joins (read-only)
    J("QV_GX_GC_1", QV_GC, QV_GX, kEnvGrp, DistributionWithModel, kDistribution),
    J("QV_GX_GC", QV_GC, QV_GX, kEnvGrp, DistributionSummary, kEnv),
    J("QV_GX_GC_0", QV_GC, QV_GX, kEnvGrp, DistributionWithModel, kEnvTgt),
    J("QV_FC_FXU", QV_FC, QV_FX, kModelTable, DistributedTableWithModelTable, kDistributedTable),
    J("QV_FC_FX", QV_FC, QV_FX, kModelTable, DistributedTableWithModelTable, kDistribution),
};

void RequireSingleFile(const AccessPath& path, std::string_view what) {
  if (path.IsJoin())
    throw std::invalid_argument(std::string(what) + " through the join '" +
                                std::string(path.name) + "'");
}

}  // namespace

const AccessPath* FindAccessPath(std::string_view name) noexcept {
  const auto it = std::find_if(kPaths.begin(), kPaths.end(),
                               [&](const AccessPath& p) { return p.name == name; });
  return it == kPaths.end() ? nullptr : &*it;
}

std::span<const AccessPath> AllAccessPaths() noexcept { return kPaths; }

std::vector<const Field*> KeyFields(const AccessPath& path) {
  std::vector<const Field*> out;
  out.reserve(path.key.size());
  for (std::string_view c : path.key) out.push_back(&(*path.physical)[c]);
  return out;
}

std::string AccessUpdateSql(const AccessPath& path, std::string_view changed) {
  RequireSingleFile(path, "update");
  std::string sql = "UPDATE ";
  sql += path.physical->table;
  sql += " SET ";
  bool first = true;
  for (std::size_t i = 0; i < path.record->fields.size(); ++i) {
    if (!changed.empty() && (i >= changed.size() || changed[i] != '1')) continue;
    const Field& f = path.record->fields[i];
    if (!first) sql += ", ";
    sql += f.column;
    sql += " = ?";
    first = false;
  }
  return sql + " WHERE rowid = ?";
}

std::string AccessDeleteSql(const AccessPath& path) {
  RequireSingleFile(path, "delete");
  return "DELETE FROM " + std::string(path.physical->table) + " WHERE rowid = ?";
}

std::string AccessInsertSql(const AccessPath& path) {
  if (!path.ReturnsWholeRecord())
    throw std::invalid_argument("write through '" + std::string(path.name) +
                                "', which does not return whole records");
  std::string columns, marks;
  for (const Field& f : path.record->fields) {
    if (!columns.empty()) {
      columns += ", ";
      marks += ", ";
    }
    columns += f.column;
    marks += '?';
  }
  return "INSERT INTO " + std::string(path.physical->table) + " (" + columns + ") VALUES (" +
         marks + ")";
}

}  // namespace qv
