// Keyed access paths of the configuration store as data: for every AS/400
// physical and logical file, the physical file it reads, its key fields, the
// record it returns and whether it joins a second file. An embedded source
// serves any path generically from these entries and the SQLite statements
// built below; the statements name the store tables without prefix and read
// a store created for an AS/400 source (every field a column).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/record_layouts.h"

namespace qv {

// How the operations open a file.
enum class AccessMode : std::uint8_t {
  ReadOnly,          // "rr, riofb=N, rtncode=N"
  Update,            // "rr+, riofb=N, rtncode=N"
  ReadOnlyOrUpdate,  // read-only for lists, update for cascades
};

// How the operations reach records through a file.
enum class KeyUse : std::uint8_t {
  Keyed,        // equal-key and block reads by the key
  Sequence,     // read in key order from the first record (QV_EX_L0)
  FirstRecord,  // the first record only (QV_VER)
  NotUsed,      // opened, written and rewritten, never read by key (QV_TX, QV_END)
};

struct AccessPath {
  std::string_view name;                  // file name: "QV_FC_L1"
  const Layout* physical = nullptr;       // physical file read; for a join, the driving file
  const Layout* record = nullptr;         // record returned
  std::span<const std::string_view> key;  // key columns of `physical`, in key order
  std::uint16_t keyLength = 0;            // bytes of a whole key image
  KeyUse keyUse = KeyUse::Keyed;
  AccessMode mode = AccessMode::Update;
  const Layout* joined = nullptr;            // second file of a join, or nullptr
  std::span<const std::string_view> joinOn;  // columns equal in both files of a join

  constexpr bool IsPhysical() const noexcept { return name == physical->name; }
  constexpr bool IsJoin() const noexcept { return joined != nullptr; }
  // True when the path returns whole records of its physical file, so that a
  // write through it adds a whole row.
  constexpr bool ReturnsWholeRecord() const noexcept { return record == physical; }
};

// Returns the path of that file name (case-sensitive), or nullptr.
const AccessPath* FindAccessPath(std::string_view name) noexcept;

// Every path: the physical files first, then the logical files.
std::span<const AccessPath> AllAccessPaths() noexcept;

// Returns the physical fields that form the path's key, in key order.
std::vector<const Field*> KeyFields(const AccessPath& path);

// Returns "UPDATE QV_CX SET ENVID = ?, TGTID = ?, X = ?, Y = ? WHERE rowid = ?":
// rewrites the returned record's fields in the physical row read before;
// parameters are the record's fields in order, then the rowid. With changed
// (one character a field of the record, '1' for a field to set), only those
// fields are set: "UPDATE QV_CX SET Y = ? WHERE rowid = ?". Throws
// std::invalid_argument for a join.
std::string AccessUpdateSql(const AccessPath& path, std::string_view changed = {});

// Returns "DELETE FROM QV_CX WHERE rowid = ?". Throws std::invalid_argument
// for a join.
std::string AccessDeleteSql(const AccessPath& path);

// Returns "INSERT INTO QV_CX (ENVID, ..., FILLER) VALUES (?, ..., ?)" with
// every field of the record. Throws std::invalid_argument for a path that
// does not return whole records of its physical file.
std::string AccessInsertSql(const AccessPath& path);

}  // namespace qv
