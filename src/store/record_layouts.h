// Layouts of the configuration records: one table of fields per record, per
// projection read from a keyed view and per joined record. Every width of the
// store lives here; codecs, SQL text and the store schema are derived from it.
//
// A record image is its fields side by side, without separators; offsets
// start at 0 and are computed from the order and the widths.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qv {

// Thrown when a field name is not part of a layout. Asking for an unknown
// field is a programming error of the caller, never a data error.
class UnknownFieldError : public std::invalid_argument {
 public:
  UnknownFieldError(std::string_view layout, std::string_view field);
};

[[noreturn]] void ThrowUnknownField(std::string_view layout, std::string_view field);

enum class LayoutKind : std::uint8_t {
  Table,       // a whole record of a configuration file or table
  Projection,  // some fields of one table, read from a keyed view or used as a key
  Join,        // fields of two tables read together
  Group,       // a sub-structure held inside one field of another layout
};

struct Field {
  std::string_view name;    // unique within its layout
  std::uint16_t offset = 0;
  std::uint16_t width = 0;
  std::string_view table;   // table the value comes from
  std::string_view column;  // column of that table
  bool nt = true;           // false: the NT table has no column for it
};

struct Layout {
  std::string_view name;
  LayoutKind kind = LayoutKind::Table;
  std::string_view table;  // the table itself; for a join the driving table
  std::span<const Field> fields;
  std::uint16_t length = 0;
  std::uint8_t keyCount = 0;  // leading fields that form the unique key of a table

  // Returns the index of a field, or -1 when the layout has no such field.
  constexpr int Find(std::string_view field) const noexcept {
    for (std::size_t i = 0; i < fields.size(); ++i)
      if (fields[i].name == field) return static_cast<int>(i);
    return -1;
  }
  constexpr bool Has(std::string_view field) const noexcept { return Find(field) >= 0; }

  // Returns the index of a field; throws UnknownFieldError when it is missing
  // (in a constant expression: a compile error).
  constexpr std::size_t Index(std::string_view field) const {
    const int i = Find(field);
    if (i < 0) ThrowUnknownField(name, field);
    return static_cast<std::size_t>(i);
  }
  constexpr const Field& operator[](std::string_view field) const { return fields[Index(field)]; }

  constexpr std::span<const Field> Key() const noexcept { return fields.first(keyCount); }
};

namespace layout {
namespace detail {

// One field as written in the tables below; offsets and defaults are filled
// in by MakeFields.
struct FieldDef {
  std::string_view name;
  std::uint16_t width = 0;
  std::string_view table = {};   // empty: the layout's table
  std::string_view column = {};  // empty: same as name
  bool nt = true;
};

template <std::size_t N>
constexpr std::array<Field, N> MakeFields(std::string_view table, const FieldDef (&defs)[N]) {
  std::array<Field, N> out{};
  std::uint16_t offset = 0;
  for (std::size_t i = 0; i < N; ++i) {
    const FieldDef& d = defs[i];
    out[i] = Field{d.name, offset, d.width, d.table.empty() ? table : d.table,
                   d.column.empty() ? d.name : d.column, d.nt};
    offset = static_cast<std::uint16_t>(offset + d.width);
  }
  return out;
}

template <std::size_t N>
constexpr Layout MakeLayout(std::string_view name, LayoutKind kind, std::string_view table,
                            const std::array<Field, N>& fields, std::uint8_t keyCount = 0) {
  const Field& last = fields[N - 1];
  return Layout{name, kind, table, std::span<const Field>(fields),
                static_cast<std::uint16_t>(last.offset + last.width), keyCount};
}

// ---------------------------------------------------------------- tables

// VER: the version record of the store (source kind, version, version flag).
inline constexpr auto kVer = MakeFields("QV_VER", {
    {"SRCTYPE", 1}, {"VERSION", 10}, {"VERFLAG", 1}});

// EX: an environment, the root of a configuration.
inline constexpr auto kEx = MakeFields("QV_EX", {
    {"ENVID", 2}, {"ENVTYPE", 1}, {"DESCRIP", 30}, {"HOLD", 1}, {"SRCID", 3}, {"SRCTYPE", 1},
    // timing block
    {"TEMPO", 2}, {"RETRY", 3}, {"MAXOPEN", 3},
    // APPC block
    {"APPCMODE", 10}, {"APPCRMTNAM", 10}, {"APPCDEV", 10}, {"USERID", 10}, {"QV_PASSWORD", 10},
    // position
    {"X", 10}, {"Y", 10},
    {"SECURE", 1}, {"FILLER", 99}});

// CX: a target of an environment, a system the data is replicated to.
inline constexpr auto kCx = MakeFields("QV_CX", {
    {"ENVID", 2}, {"TGTID", 3}, {"DESCRIP", 30}, {"HOLD", 1}, {"TGTTYPE", 1}, {"COMTYPE", 1},
    {"TGTADRESS", 30}, {"TGTNAME", 30}, {"LOCALNAME", 10}, {"EXCLUDE", 3}, {"FMTDATE", 1},
    {"TGTTEST", 1}, {"TGTTRACE", 1},
    // timing block
    {"TEMPO", 2}, {"RETRY", 3}, {"MAXOPEN", 3},
    // APPC block
    {"APPCMODE", 10}, {"APPCRMTNAM", 10}, {"APPCDEV", 10}, {"USERID", 10}, {"QV_PASSWORD", 10},
    // position
    {"X", 10}, {"Y", 10},
    {"FILLER", 100}});

// GX: a model, a set of tables replicated together.
inline constexpr auto kGx = MakeFields("QV_GX", {
    {"ENVID", 2}, {"GRPID", 3}, {"DESCRIP", 30}, {"HOLD", 1}, {"GRPTYPE", 1}, {"DSN_NAME", 10},
    // the 20-character DSN area: user, then password
    {"DSN_UID", 10}, {"DSN_PWD", 10},
    {"FREQUENCY", 6}, {"MANDISTRI", 1}, {"ALLMBRDIST", 1},
    // table options
    {"ACCESMODE", 1}, {"SHAREDOPN", 1}, {"CONTERROR", 1}, {"REPAIR", 1}, {"CTRBEFORE", 1},
    {"CLRPFM", 1}, {"RGZPFM", 1}, {"ADDPFM", 1}, {"RMVMBR", 1}, {"DLTF", 1},
    // position
    {"X", 10}, {"Y", 10},
    {"FILLER", 100}});

// GC: a distribution, a model sent to a target.
inline constexpr auto kGc = MakeFields("QV_GC", {
    {"ENVID", 2}, {"TGTID", 3}, {"GRPID", 3}, {"HOLD", 1}, {"SCHEDULED", 1}, {"STOPEND_QV", 1},
    {"TGTBDTYPE", 1}, {"QV_CONNECT", 250}, {"TARGETDB", 30}, {"ASYNC", 1}, {"END_QV", 10},
    {"USELIBNAME", 1}, {"PLANNING", 168}, {"ACTREBUILD", 1},
    // recovery point; the NT table has no receiver-library column
    {"REPRISETYP", 1}, {"REPRISERCV", 10}, {.name = "REPRISELIB", .width = 10, .nt = false},
    {"REPRISEPNT", 10},
    // position
    {"X", 10}, {"Y", 10},
    {"LOADWITHTXTFILE", 1}, {"PATHFORTXTFILE", 60}, {"FILLER", 39}});

// FX: a model table, a source table of a model.
inline constexpr auto kFx = MakeFields("QV_FX", {
    {"ENVID", 2}, {"GRPID", 3}, {"FICID", 10}, {"OCCUR", 1},
    {"SRCTBL", 30},  // object name: library, file, member (see ObjectName)
    {"DESCRIP", 30}, {"NUMSEQ", 10}, {"TYPE", 2}, {"HOLD", 1}, {"TGTLIB", 30}, {"TGTFILE", 30},
    {"TGTMBR", 10}, {"LENREC", 10}, {"QV_TRANSFORM", 1},
    // table options
    {"ACCESMODE", 1}, {"SHAREDOPN", 1}, {"CONTERROR", 1}, {"REPAIR", 1}, {"CTRBEFORE", 1},
    {"CLRPFM", 1}, {"RGZPFM", 1}, {"ADDPFM", 1}, {"RMVMBR", 1}, {"DLTF", 1},
    // operation flags
    {"INSTINSERT", 1}, {"INSTUPDATE", 1}, {"INSTDELETE", 1}, {"CLRBEFORE", 1},
    // position
    {"X", 10}, {"Y", 10},
    {"LENRECOUT", 10}, {"NBRFIELDIN", 5}, {"FILLER", 85}});

// FC: a distributed table, a model table as one distribution sends it.
inline constexpr auto kFc = MakeFields("QV_FC", {
    {"ENVID", 2}, {"TGTID", 3}, {"GRPID", 3}, {"FICID", 10}, {"OCCUR", 1}, {"NUMSEQ", 10},
    {"NEW", 1}, {"HOLD", 1}, {"TGTLIB", 30}, {"TGTFILE", 30}, {"TGTMBR", 10}, {"TGTPGM", 30},
    // table options
    {"ACCESMODE", 1}, {"SHAREDOPN", 1}, {"CONTERROR", 1}, {"REPAIR", 1}, {"CTRBEFORE", 1},
    {"CLRPFM", 1}, {"RGZPFM", 1}, {"ADDPFM", 1}, {"RMVMBR", 1}, {"DLTF", 1},
    // operation flags
    {"INSTINSERT", 1}, {"INSTUPDATE", 1}, {"INSTDELETE", 1}, {"CLRBEFORE", 1},
    {"CLRSPEC", 1}, {"INSTCLRPFM", 250}, {"NUMFC", 10},
    // recovery point; the NT table has no receiver-library column
    {"REPRISETYP", 1}, {"REPRISERCV", 10}, {.name = "REPRISELIB", .width = 10, .nt = false},
    {"REPRISEPNT", 10},
    // position
    {"X", 10}, {"Y", 10},
    {"FILLER", 100}});

// ZX: a field of a model table.
inline constexpr auto kZx = MakeFields("QV_ZX", {
    {"ENVID", 2}, {"GRPID", 3}, {"FICID", 10}, {"FIELDINPUT", 30}, {"DESCRIP", 30},
    {"FIELDTYPE", 2}, {"MASKDATE", 1}, {"LEN", 5}, {"DECI", 5}, {"POS_IN", 5}, {"LEN_IN", 5},
    {"POS_EXT", 5}, {"LEN_EXT", 5}, {"ALLOWNULL", 1}, {"KEYORDER", 5}});

// ZC: a field mapping, the target field a distribution writes a field to.
inline constexpr auto kZc = MakeFields("QV_ZC", {
    {"ENVID", 2}, {"TGTID", 3}, {"GRPID", 3}, {"FICID", 10}, {"FIELDINPUT", 30},
    {"FIELDOUT", 30}});

// TX: a line of the transformation program of a model table.
inline constexpr auto kTx = MakeFields("QV_TX", {
    {"ENVID", 2}, {"GRPID", 3}, {"FICID", 10}, {"LIEU", 1}, {"LINE", 5}, {"TYPEINST", 1},
    {"INDENT", 3}, {"INST", 175}});

// END: a line of the end-of-distribution script of a distribution.
inline constexpr auto kEnd = MakeFields("QV_END", {
    {"ENVID", 2}, {"TGTID", 3}, {"GRPID", 3}, {"LIEU", 1}, {"LINE", 5}, {"INST", 255},
    {"QV_DATETIME", 14}});

// UID: a user, of one environment or of all ("**").
inline constexpr auto kUid = MakeFields("QV_UID", {
    {"ENVID", 2}, {"USERID", 30}, {"USERTYPE", 1}, {"PASSWORD", 30}, {"LEVELPWD", 1},
    {"FILLER", 100}});

// SPV: the supervision record of a distribution, written by the engine. Names outside the activity block
// are this library's own: STATE holds the state code, RUN is "0" when the
// distribution is stopped, then the recovery point and one further field.
inline constexpr auto kSpv = MakeFields("QV_SPV", {
    {"ENVID", 2}, {"TGTID", 3}, {"GRPID", 3},
    {"STATE", 1}, {"HOLD", 1}, {"RUN", 1}, {"REPRISETYP", 1},
    {"REPRISERCV", 10}, {"REPRISELIB", 10}, {"REPRISEPNT", 10}, {"JOBNBR", 10},
    {"ACTIVITY", 261},  // see Activity
    {"REFRESHDT", 14}, {"FILLER", 100}});

// ---------------------------------------------------------- sub-structures

// Activity block of a distribution's engine job (the ACTIVITY field of QV_SPV).
inline constexpr auto kActivity = MakeFields("", {
    {"state", 1}, {"Receiver", 20}, {"RcvNum", 10}, {"JOSEQN", 10}, {"JOCODE", 1},
    {"JOENTT", 2}, {"JOTMST", 26}, {"JOJOB", 10}, {"JOUSER", 10}, {"JONBR", 6}, {"JOPGM", 10},
    {"JOOBJ", 10}, {"JOLIB", 10}, {"JOMBR", 10}, {"JOCTRR", 10}, {"Step", 1},
    {"TimeProcess", 14}, {"CptRead", 10}, {"CptSel", 10}, {"CptSnd", 10}, {"CptIgnore", 10},
    {"CptAdd", 10}, {"CptUpd", 10}, {"CptDel", 10}, {"CptMbr", 10}, {"CptRpr", 10},
    {"CptErr", 10}});

// Object name held in a 30-character field such as QV_FX.SRCTBL.
inline constexpr auto kObjectName = MakeFields("", {
    {"LIBRARY", 10}, {"FILE", 10}, {"MEMBER", 10}});

// ------------------------------------------------------------ projections

// The key of an environment (EX).
inline constexpr auto kEnvKey = MakeFields("QV_EX", {{"ENVID", 2}});
// An entry of the environment list (EX): code and type.
inline constexpr auto kEnvListEntry = MakeFields("QV_EX", {{"ENVID", 2}, {"ENVTYPE", 1}});
// The key of a target (CX).
inline constexpr auto kTargetKey = MakeFields("QV_CX", {{"ENVID", 2}, {"TGTID", 3}});
// The key of a model (GX).
inline constexpr auto kModelKey = MakeFields("QV_GX", {{"ENVID", 2}, {"GRPID", 3}});
// The key of a distribution (GC).
inline constexpr auto kDistributionKey = MakeFields("QV_GC", {
    {"ENVID", 2}, {"TGTID", 3}, {"GRPID", 3}});
// The key of the end-script lines of a distribution at one place (LIEU) (END).
inline constexpr auto kEndScriptKey = MakeFields("QV_END", {
    {"ENVID", 2}, {"TGTID", 3}, {"GRPID", 3}, {"LIEU", 1}});
// The key of a model table (FX).
inline constexpr auto kModelTableKey = MakeFields("QV_FX", {
    {"ENVID", 2}, {"GRPID", 3}, {"FICID", 10}});
// The key of the program lines of a model table at one place (LIEU) (TX).
inline constexpr auto kProgramKey = MakeFields("QV_TX", {
    {"ENVID", 2}, {"GRPID", 3}, {"FICID", 10}, {"LIEU", 1}});
// The key of a distributed table (FC).
inline constexpr auto kDistributedTableKey = MakeFields("QV_FC", {
    {"ENVID", 2}, {"TGTID", 3}, {"GRPID", 3}, {"FICID", 10}});
// A distributed table (FC) as its keyed view by model table gives it.
inline constexpr auto kDistributedTableShort = MakeFields("QV_FC", {
    {"ENVID", 2}, {"TGTID", 3}, {"GRPID", 3}, {"FICID", 10}, {"OCCUR", 1}});
// The node position of a target (CX).
inline constexpr auto kTargetPosition = MakeFields("QV_CX", {
    {"ENVID", 2}, {"TGTID", 3}, {"X", 10}, {"Y", 10}});
// The node position of a distribution (GC).
inline constexpr auto kDistributionPosition = MakeFields("QV_GC", {
    {"ENVID", 2}, {"TGTID", 3}, {"GRPID", 3}, {"X", 10}, {"Y", 10}});
// The key of a user (UID).
inline constexpr auto kUserKey = MakeFields("QV_UID", {{"ENVID", 2}, {"USERID", 30}});
// The key of a field (ZX).
inline constexpr auto kFieldKey = MakeFields("QV_ZX", {
    {"ENVID", 2}, {"GRPID", 3}, {"FICID", 10}, {"FIELDINPUT", 30}});
// The key of a field mapping (ZC).
inline constexpr auto kMappingKey = MakeFields("QV_ZC", {
    {"ENVID", 2}, {"TGTID", 3}, {"GRPID", 3}, {"FICID", 10}, {"FIELDINPUT", 30}});

// ---------------------------------------------------------- joined records

// A distribution (GC) with the description and type of its model (GX).
inline constexpr auto kDistributionSummary = MakeFields("QV_GC", {
    {"ENVID", 2}, {"TGTID", 3}, {"GRPID", 3},
    {"DESCRIP", 30, "QV_GX"}, {"GRPTYPE", 1, "QV_GX"},
    {"X", 10}, {"Y", 10}});

// A distribution (GC) with its model's settings (GX): QV_GX_GC_1.
inline constexpr auto kDistributionWithModel = MakeFields("QV_GC", {
    {"ENVID", 2}, {"TGTID", 3}, {"GRPID", 3},
    {"GRPTYPE", 1, "QV_GX"}, {"DESCRIP", 30, "QV_GX"}, {"DSN_NAME", 10, "QV_GX"},
    {"DSN_UID", 10, "QV_GX"}, {"DSN_PWD", 10, "QV_GX"}, {"FREQUENCY", 6, "QV_GX"},
    {"MANDISTRI", 1, "QV_GX"}, {"ALLMBRDIST", 1, "QV_GX"},
    {"ACCESMODE", 1, "QV_GX"}, {"SHAREDOPN", 1, "QV_GX"}, {"CONTERROR", 1, "QV_GX"},
    {"REPAIR", 1, "QV_GX"}, {"CTRBEFORE", 1, "QV_GX"}, {"CLRPFM", 1, "QV_GX"},
    {"RGZPFM", 1, "QV_GX"}, {"ADDPFM", 1, "QV_GX"}, {"RMVMBR", 1, "QV_GX"}, {"DLTF", 1, "QV_GX"},
    {"HOLD", 1}});

// A distributed table (FC) with its model table (FX): QV_FC_FXU.
// The model table's target fields carry an FX_ prefix: the distributed
// table's own fields of the same columns come first under their plain names.
inline constexpr auto kDistributedTableWithModelTable = MakeFields("QV_FC", {
    {"ENVID", 2}, {"TGTID", 3}, {"GRPID", 3}, {"FICID", 10}, {"OCCUR", 1},
    {"SRCTBL", 30, "QV_FX"}, {"TYPE", 2, "QV_FX"}, {"DESCRIP", 30, "QV_FX"},
    {"NUMSEQ", 10}, {"HOLD", 1}, {"TGTLIB", 30}, {"TGTFILE", 30}, {"TGTMBR", 10}, {"TGTPGM", 30},
    {"FX_TGTLIB", 30, "QV_FX", "TGTLIB"}, {"FX_TGTFILE", 30, "QV_FX", "TGTFILE"},
    {"FX_TGTMBR", 10, "QV_FX", "TGTMBR"}, {"QV_TRANSFORM", 1, "QV_FX"},
    {"ACCESMODE", 1}, {"SHAREDOPN", 1}, {"CONTERROR", 1}, {"REPAIR", 1}, {"CTRBEFORE", 1},
    {"CLRPFM", 1}, {"RGZPFM", 1}, {"ADDPFM", 1}, {"RMVMBR", 1}, {"DLTF", 1},
    {"INSTINSERT", 1}, {"INSTUPDATE", 1}, {"INSTDELETE", 1}, {"CLRBEFORE", 1},
    {"CLRSPEC", 1}});

}  // namespace detail

using detail::MakeLayout;

// Tables: name, kind, table, fields, number of leading key fields.
inline constexpr Layout QV_VER = MakeLayout("QV_VER", LayoutKind::Table, "QV_VER", detail::kVer, 0);
inline constexpr Layout QV_EX = MakeLayout("QV_EX", LayoutKind::Table, "QV_EX", detail::kEx, 1);
inline constexpr Layout QV_CX = MakeLayout("QV_CX", LayoutKind::Table, "QV_CX", detail::kCx, 2);
inline constexpr Layout QV_GX = MakeLayout("QV_GX", LayoutKind::Table, "QV_GX", detail::kGx, 2);
inline constexpr Layout QV_GC = MakeLayout("QV_GC", LayoutKind::Table, "QV_GC", detail::kGc, 3);
inline constexpr Layout QV_FX = MakeLayout("QV_FX", LayoutKind::Table, "QV_FX", detail::kFx, 3);
inline constexpr Layout QV_FC = MakeLayout("QV_FC", LayoutKind::Table, "QV_FC", detail::kFc, 4);
inline constexpr Layout QV_ZX = MakeLayout("QV_ZX", LayoutKind::Table, "QV_ZX", detail::kZx, 4);
inline constexpr Layout QV_ZC = MakeLayout("QV_ZC", LayoutKind::Table, "QV_ZC", detail::kZc, 5);
inline constexpr Layout QV_TX = MakeLayout("QV_TX", LayoutKind::Table, "QV_TX", detail::kTx, 5);
inline constexpr Layout QV_END = MakeLayout("QV_END", LayoutKind::Table, "QV_END", detail::kEnd, 5);
inline constexpr Layout QV_UID = MakeLayout("QV_UID", LayoutKind::Table, "QV_UID", detail::kUid, 2);
inline constexpr Layout QV_SPV = MakeLayout("QV_SPV", LayoutKind::Table, "QV_SPV", detail::kSpv, 3);

inline constexpr Layout Activity = MakeLayout("Activity", LayoutKind::Group, "", detail::kActivity);
inline constexpr Layout ObjectName = MakeLayout("ObjectName", LayoutKind::Group, "", detail::kObjectName);

inline constexpr Layout EnvKey =
    MakeLayout("EnvKey", LayoutKind::Projection, "QV_EX", detail::kEnvKey);
inline constexpr Layout EnvListEntry =
    MakeLayout("EnvListEntry", LayoutKind::Projection, "QV_EX", detail::kEnvListEntry);
inline constexpr Layout TargetKey =
    MakeLayout("TargetKey", LayoutKind::Projection, "QV_CX", detail::kTargetKey);
inline constexpr Layout ModelKey =
    MakeLayout("ModelKey", LayoutKind::Projection, "QV_GX", detail::kModelKey);
inline constexpr Layout DistributionKey =
    MakeLayout("DistributionKey", LayoutKind::Projection, "QV_GC", detail::kDistributionKey);
inline constexpr Layout EndScriptKey =
    MakeLayout("EndScriptKey", LayoutKind::Projection, "QV_END", detail::kEndScriptKey);
inline constexpr Layout ModelTableKey =
    MakeLayout("ModelTableKey", LayoutKind::Projection, "QV_FX", detail::kModelTableKey);
inline constexpr Layout ProgramKey =
    MakeLayout("ProgramKey", LayoutKind::Projection, "QV_TX", detail::kProgramKey);
inline constexpr Layout DistributedTableKey =
    MakeLayout("DistributedTableKey", LayoutKind::Projection, "QV_FC", detail::kDistributedTableKey);
inline constexpr Layout DistributedTableShort =
    MakeLayout("DistributedTableShort", LayoutKind::Projection, "QV_FC", detail::kDistributedTableShort);
inline constexpr Layout TargetPosition =
    MakeLayout("TargetPosition", LayoutKind::Projection, "QV_CX", detail::kTargetPosition);
inline constexpr Layout DistributionPosition =
    MakeLayout("DistributionPosition", LayoutKind::Projection, "QV_GC", detail::kDistributionPosition);
inline constexpr Layout UserKey =
    MakeLayout("UserKey", LayoutKind::Projection, "QV_UID", detail::kUserKey);
inline constexpr Layout FieldKey =
    MakeLayout("FieldKey", LayoutKind::Projection, "QV_ZX", detail::kFieldKey);
inline constexpr Layout MappingKey =
    MakeLayout("MappingKey", LayoutKind::Projection, "QV_ZC", detail::kMappingKey);

inline constexpr Layout DistributionSummary =
    MakeLayout("DistributionSummary", LayoutKind::Join, "QV_GC", detail::kDistributionSummary);
inline constexpr Layout DistributionWithModel =
    MakeLayout("DistributionWithModel", LayoutKind::Join, "QV_GC", detail::kDistributionWithModel);
inline constexpr Layout DistributedTableWithModelTable = MakeLayout(
    "DistributedTableWithModelTable", LayoutKind::Join, "QV_FC", detail::kDistributedTableWithModelTable);

static_assert(QV_VER.length == 12);
static_assert(QV_EX.length == 216);
static_assert(QV_CX.length == 292);
static_assert(QV_GX.length == 205);
static_assert(QV_GC.length == 624);
static_assert(QV_FX.length == 304);
static_assert(QV_FC.length == 557);
static_assert(QV_ZX.length == 114);
static_assert(QV_ZC.length == 78);
static_assert(QV_TX.length == 200);
static_assert(QV_END.length == 283);
static_assert(QV_UID.length == 164);
static_assert(QV_SPV.length == 427);
static_assert(Activity.length == 261 && QV_SPV["ACTIVITY"].width == Activity.length);
static_assert(ObjectName.length == QV_FX["SRCTBL"].width);
static_assert(EnvKey.length == 2 && EnvListEntry.length == 3);
static_assert(TargetKey.length == 5 && ModelKey.length == 5);
static_assert(DistributionKey.length == 8 && EndScriptKey.length == 9);
static_assert(ModelTableKey.length == 15 && ProgramKey.length == 16);
static_assert(DistributedTableKey.length == 18 && DistributedTableShort.length == 19);
static_assert(TargetPosition.length == 25 && DistributionPosition.length == 28);
static_assert(UserKey.length == 32 && FieldKey.length == 45 && MappingKey.length == 48);
static_assert(DistributionSummary.length == 59);
static_assert(DistributionWithModel.length == 88);
static_assert(DistributedTableWithModelTable.length == 278);

// Widths of the codes that name the items, as their key fields hold them.
inline constexpr std::size_t kEnvIdWidth = QV_EX["ENVID"].width;
inline constexpr std::size_t kTgtIdWidth = QV_CX["TGTID"].width;
inline constexpr std::size_t kGrpIdWidth = QV_GX["GRPID"].width;
inline constexpr std::size_t kFicIdWidth = QV_FX["FICID"].width;
inline constexpr std::size_t kFieldIdWidth = QV_ZX["FIELDINPUT"].width;
inline constexpr std::size_t kUserIdWidth = QV_UID["USERID"].width;

}  // namespace layout

// Tells whether a field holds a password: PASSWORD (QV_UID), QV_PASSWORD
// (QV_EX, QV_CX) and DSN_PWD (QV_GX).
bool IsPasswordField(std::string_view name) noexcept;

// Every layout: the tables first, in the order of the store, then the
// sub-structures, the projections and the joined records.
std::span<const Layout* const> AllLayouts() noexcept;

// The thirteen configuration tables, in the order of the store.
std::span<const Layout* const> StoreTables() noexcept;

}  // namespace qv
