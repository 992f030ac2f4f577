// Rows of the list views of the configuration.
#include "presentation/list_rows.h"

#include "catalogs/field_types.h"
#include "operations/engine_text.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"
#include "presentation/tree_nodes.h"
#include "store/record_layouts.h"
#include "store/record_rules.h"
#include "store/records.h"

namespace qv::lists {
namespace {

// The table options shown by 2053 to 2060, in column order.
constexpr const char* kTableOptions[] = {"SHAREDOPN", "CONTERROR", "REPAIR", "CLRPFM", "RGZPFM", "ADDPFM", "RMVMBR"};

std::string AccessModeText(std::string_view code) {
  if (code == "0") return cLoadResString("2063");
  if (code == "1") return cLoadResString("2064");
  if (code == "2") return cLoadResString("2065");
  return Trim(code);
}

// Appends the access mode and the seven table options of r.
void AddTableOptions(std::vector<std::string>& cells, const Record& r) {
  cells.push_back(AccessModeText(r.Get("ACCESMODE")));
  for (const char* option : kTableOptions) cells.push_back(FlagText(r.Get(option)));
}

std::string Number(std::string_view text) {
  const std::string t = Trim(text);
  return t.empty() ? t : std::to_string(LeadingNumber(t));
}

}  // namespace

const std::vector<const char*>& TargetColumns() {
  static const std::vector<const char*> ids = {"2038", "2039", "2040", "2041", "2042",
                                               "2043", "2044", "2045", "2046", "2047"};
  return ids;
}
const std::vector<const char*>& DistributionColumns() {
  static const std::vector<const char*> ids = {"2048", "2049", "2050", "2051", "2052", "2053", "2054", "2055",
                                               "2056", "2057", "2058", "2059", "2060", "2061"};
  return ids;
}
const std::vector<const char*>& ModelColumns() {
  static const std::vector<const char*> ids = {"2079", "2049", "2050", "2051", "2052", "2053", "2054",
                                               "2055", "2056", "2057", "2058", "2059", "2060", "2061"};
  return ids;
}
const std::vector<const char*>& DistributedTableColumns() {
  static const std::vector<const char*> ids = {"2066", "2067", "2068", "2069", "2070", "2071", "2053",
                                               "2054", "2055", "2056", "2057", "2058", "2059", "2060",
                                               "2073", "2074", "2075", "2072", "2077", "2076"};
  return ids;
}
const std::vector<const char*>& ModelTableColumns() {
  static const std::vector<const char*> ids = {"2066", "2067", "2068", "2069", "2070", "2071", "2053",
                                               "2054", "2055", "2056", "2057", "2058", "2059", "2060",
                                               "2073", "2074", "2075", "2072", "2076"};
  return ids;
}
const std::vector<const char*>& FieldColumns() {
  static const std::vector<const char*> ids = {"2080", "2081", "2082", "2083", "2084", "2085", "2086"};
  return ids;
}
const std::vector<const char*>& MappingColumns() {
  static const std::vector<const char*> ids = {"2010", "2011", "2012", "2013", "2014",
                                               "2015", "2016", "2017", "2018", "2019"};
  return ids;
}

std::string FlagText(std::string_view flag) { return AllowNullText(flag == "1" ? "1" : "0"); }

int Icon(std::string_view hold, std::string_view state) {
  if (hold == "1") return kIconHeld;
  if (state == "A") return kIconRunning;
  if (state == "E") return kIconError;
  if (state == "F") return kIconFailed;
  return kIconActive;
}

int TargetHoldCell() { return 8; }
int DistributionHoldCell() { return 13; }
int DistributedTableHoldCell() { return 19; }
int ModelTableHoldCell() { return 18; }

Row TargetRow(const Record& cx) {
  Row r{tree::TargetKey(cx.Get("TGTID")), Trim(cx.Get("TGTID")), Icon(cx.Get("HOLD")), {}};
  r.cells = {Trim(cx.Get("DESCRIP")),
             Trim(cx.Get("TGTNAME")),
             cx.Get("TGTTYPE") == "1" ? "NT" : "AS/400",
             Trim(cx.Get("TEMPO")),
             Trim(cx.Get("RETRY")),
             FlagText(cx.Get("TGTTRACE")),
             FlagText(cx.Get("TGTTEST")),
             FlagText(cx.Get("HOLD")),
             Trim(cx.Get("EXCLUDE"))};
  return r;
}

namespace {

// The cells shared by distributions and models after the item text.
std::vector<std::string> ModelCells(const Record& r, std::string_view hold) {
  std::vector<std::string> cells = {Trim(r.Get("DESCRIP")), Trim(r.Get("GRPTYPE")), FlagText(r.Get("ALLMBRDIST")),
                                    r.Get("MANDISTRI") == "1" ? cLoadResString("2062") : ""};
  AddTableOptions(cells, r);
  cells.push_back(FlagText(hold));
  return cells;
}

// The cells shared by distributed tables and model tables after the label.
std::vector<std::string> TableCells(const Record& r, const std::string& target, bool specificClear) {
  std::vector<std::string> cells = {Trim(r.Get("TYPE")), Trim(r.Get("DESCRIP")), target, Number(r.Get("NUMSEQ")),
                                    FlagText(r.Get("QV_TRANSFORM"))};
  AddTableOptions(cells, r);
  for (const char* op : {"INSTINSERT", "INSTUPDATE", "INSTDELETE", "CLRBEFORE"}) cells.push_back(FlagText(r.Get(op)));
  if (specificClear) cells.push_back(FlagText(r.Get("CLRSPEC")));
  cells.push_back(FlagText(r.Get("HOLD")));
  return cells;
}

// Returns library + sep + file, or the file alone, or "".
std::string TargetLabel(std::string_view library, std::string_view file, bool as400) {
  const std::string lib = Trim(library), f = Trim(file);
  if (f.empty()) return "";
  return lib.empty() ? f : lib + (as400 ? "/" : ".") + f;
}

}  // namespace

Row DistributionRow(const Record& gxgc) {
  return Row{tree::DistributionKey(gxgc.Get("TGTID"), gxgc.Get("GRPID")), Trim(gxgc.Get("GRPID")),
             Icon(gxgc.Get("HOLD")), ModelCells(gxgc, gxgc.Get("HOLD"))};
}

Row ModelRow(const Record& gx) {
  return Row{tree::ModelKey(gx.Get("GRPID")), Trim(gx.Get("GRPID")), Icon(gx.Get("HOLD")),
             ModelCells(gx, gx.Get("HOLD"))};
}

Row DistributedTableRow(const Record& fcfx, bool as400) {
  std::string target = TargetLabel(fcfx.Get("TGTLIB"), fcfx.Get("TGTFILE"), as400);
  if (target.empty()) target = TargetLabel(fcfx.Get("FX_TGTLIB"), fcfx.Get("FX_TGTFILE"), as400);
  return Row{tree::DistributedTableKey(fcfx.Get("TGTID"), fcfx.Get("GRPID"), fcfx.Get("FICID")),
             SourceTableLabel(fcfx.Get("SRCTBL"), as400), Icon(fcfx.Get("HOLD")), TableCells(fcfx, target, true)};
}

Row ModelTableRow(const Record& fx, bool as400) {
  return Row{tree::ModelTableKey(fx.Get("GRPID"), fx.Get("FICID")), SourceTableLabel(fx.Get("SRCTBL"), as400),
             Icon(fx.Get("HOLD")), TableCells(fx, TargetLabel(fx.Get("TGTLIB"), fx.Get("TGTFILE"), as400), false)};
}

Row FieldRow(const Record& zx) {
  const std::string name = Trim(zx.Get("FIELDINPUT"));
  return Row{"ZONE_" + name, Number(zx.Get("KEYORDER")), FieldIcon(zx.Get("FIELDTYPE")),
             {name, Trim(zx.Get("DESCRIP")), TypeDisplayText(zx.Get("FIELDTYPE"), zx.Get("LEN"), zx.Get("DECI")),
              MaskDate(zx.Get("MASKDATE")), AllowNullText(zx.Get("ALLOWNULL")), Number(zx.Get("POS_IN"))}};
}

Row MappingRow(const Record& zx, std::string_view fieldOut) {
  const std::string name = Trim(zx.Get("FIELDINPUT"));
  return Row{"ZONE_" + name,
             Number(zx.Get("KEYORDER")),
             FieldIcon(zx.Get("FIELDTYPE")),
             {name, Trim(fieldOut), Trim(zx.Get("DESCRIP")),
              TypeDisplayText(zx.Get("FIELDTYPE"), zx.Get("LEN"), zx.Get("DECI")), MaskDate(zx.Get("MASKDATE")),
              Number(zx.Get("POS_IN")), Trim(zx.Get("FIELDTYPE")), Number(zx.Get("LEN")), Number(zx.Get("DECI"))}};
}

}  // namespace qv::lists
