// QVSource, section 20: transformation programs. Reads a table's program back
// into its two texts, gives the default program, and stores a program on NT
// sources (lines and compiled form) and AS/400 sources (lines, MI text and
// the compile).
#include <algorithm>

#include "catalogs/field_listing.h"
#include "catalogs/field_types.h"
#include "connection/qvsource.h"
#include "connection/remote_commands.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"
#include "programs/program_lines.h"
#include "programs/program_parser.h"
#include "programs/program_statements.h"
#include "store/model_statements.h"
#include "store/record_rules.h"
#include "store/records.h"

namespace qv {
namespace {

// Returns the fields a field list shows (InitListField columns), in list
// order. A date mask or allow-null text without a code reads as none.
std::vector<Record> FieldsOfList(const platform::ListView& lv) {
  std::vector<Record> out;
  for (int i = 1; i <= lv.Count(); ++i) {
    const platform::ListItem& item = lv.Item(i);
    auto sub = [&](int k) { return static_cast<int>(item.SubItems().size()) >= k ? item.SubItem(k) : std::string(); };
    Record zx(layout::QV_ZX);
    zx.Set("FIELDINPUT", item.text);
    zx.Set("DESCRIP", sub(1));
    const std::string mask = NumMask(Trim(sub(3)));
    zx.Set("MASKDATE", mask == "?" ? " " : mask);
    zx.Set("POS_IN", sub(4));
    const std::string null = AllowNullCode(sub(6));
    zx.Set("ALLOWNULL", null.empty() ? "0" : null);
    zx.Set("KEYORDER", sub(7));
    zx.Set("FIELDTYPE", sub(8));
    zx.Set("LEN", sub(9));
    zx.Set("DECI", sub(10));
    out.push_back(std::move(zx));
  }
  return out;
}

std::vector<ProgramLine> LinesOf(const std::vector<Record>& records) {
  std::vector<ProgramLine> out;
  for (const Record& r : records) {
    ProgramLine l;
    l.type = r.Get("TYPEINST")[0];
    const std::string indent = Trim(r.Get("INDENT"));
    l.indent = !indent.empty() && std::all_of(indent.begin(), indent.end(), ::isdigit) ? std::stoi(indent) : 0;
    l.content = std::string(r.Get("INST"));
    out.push_back(std::move(l));
  }
  return out;
}

}  // namespace

bool QVSource::ReadProgramLines(const std::string& step, const std::string& grp_id, const std::string& fic_id,
                                const std::string& place, std::vector<Record>& lines) {
  if (!ReadBlocks(step, "QV_TX_L0", layout::QV_TX, KeyFromCodes(layout::ProgramKey, {sel_.env, grp_id, fic_id, place}),
                  ReadProgramLinesSql(prefix_, sel_.env, grp_id, fic_id, place), lines))
    return false;
  std::stable_sort(lines.begin(), lines.end(),
                   [](const Record& a, const Record& b) { return a.Get("LINE") < b.Get("LINE"); });
  return true;
}

bool QVSource::ReadPgmTrs(const std::string& grp_id, const std::string& fic_id, const std::string& place,
                          std::string& declarations, std::string& instructions, platform::ListView& fields) {
  return Guard("ReadPgmTrs", [&] {
    const std::vector<Record> table = FieldsOfList(fields);
    std::vector<Record> stored;
    if (!ReadProgramLines("ReadPgmTrs", grp_id, fic_id, place, stored)) return false;
    const ProgramTexts texts =
        stored.empty() ? DefaultProgram(table, IsAS400()) : RenderProgram(LinesOf(stored), IsAS400(), table);
    declarations = texts.declarations;
    instructions = texts.instructions;
    return true;
  });
}

bool QVSource::GenerateBufO(const std::string& grp_id, const std::string& fic_id, platform::ListView& lv,
                            std::string& declarations, std::string& instructions) {
  return Guard("GenerateBufO", [&] {
    lv.Clear();
    lv.ClearColumns();
    lv.SetView(platform::ListView::kReport);
    for (const char* id : {"2081", "2014", "2088", "2089", "2090"}) lv.AddColumn(cLoadResString(id));
    std::vector<Record> fields;
    if (!ReadBlocks("GenerateBufO", "QV_ZX_L0", layout::QV_ZX,
                    KeyFromCodes(layout::ModelTableKey, {sel_.env, grp_id, fic_id}),
                    ListFieldsOfTableSql(prefix_, sel_.env, grp_id, fic_id), fields))
      return false;
    for (const Record& zx : fields) {
      const std::string name = Trim(zx.Get("FIELDINPUT"));
      platform::ListItem& item = lv.Add("ZONE_" + name, name);
      item.SetSubItem(1, Trim(zx.Get("FIELDTYPE")));
      item.SetSubItem(2, std::string(zx.Get("LEN")));
      item.SetSubItem(3, std::string(zx.Get("DECI")));
      item.SetSubItem(4, std::string(zx.Get("POS_IN")));
    }
    const ProgramTexts texts = GeneratedBufO(fields, IsAS400());
    declarations = texts.declarations;
    instructions = texts.instructions;
    return true;
  });
}

bool QVSource::MarkTransform(const std::string& step, const std::string& grp_id, const std::string& fic_id,
                             const char* flag, const std::string* filler) {
  std::string fx, option, manual;
  if (!DetailFile(fx, grp_id, fic_id, option, manual)) {
    Step(step + ":DetailFile1");
    return false;
  }
  Record rec = RecordFromString(layout::QV_FX, fx);
  rec.Set("QV_TRANSFORM", flag);
  if (filler) rec.Set("FILLER", *filler + std::string(rec.Get("FILLER").substr(std::min<std::size_t>(5, rec.Get("FILLER").size()))));
  fx = rec.image();
  if (!ChangeFile(fx, grp_id, fic_id)) {
    Step(step + ":ChangeFile1");
    return false;
  }
  Step(step);
  return true;
}

}  // namespace qv
