// QVSource, section 20: transformation programs. Reads a table's program back
// into its two texts, gives the default program, and stores a program on NT
// sources (lines and compiled form) and AS/400 sources (lines, MI text and
// the compile).
#include <algorithm>
#include <map>

#include "catalogs/field_listing.h"
#include "catalogs/field_types.h"
#include "connection/qvsource.h"
#include "connection/remote_commands.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"
#include "programs/program_lines.h"
#include "programs/program_parser.h"
#include "programs/mi_program.h"
#include "programs/nt_program.h"
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
  for (const platform::ListItem* shown : lv.DisplayOrder()) {
    const platform::ListItem& item = *shown;
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

bool QVSource::WritePgmTrsNT(const std::string& grp_id, const std::string& fic_id, const std::string& place,
                             const std::string& declarations, const std::string& instructions,
                             platform::ListView& fields) {
  (void)place;  // the lines of an NT program always lie at place " ", their compiled form at "I"
  return Guard("WritePgmTrsNT", [&] {
    const std::string env = sel_.env;
    std::vector<ProgramLine> lines;
    std::vector<std::string> compiled;
    const bool remove = declarations.empty() && instructions.empty();
    if (!remove) {
      // Compiles first: a program the engine cannot run changes nothing.
      lines = LinesFromRecords(declarations, instructions);
      try {
        compiled = CompileNtProgram(lines, ProgramBuffers(lines, BufferFieldsFromZX(FieldsOfList(fields))));
      } catch (const ProgramCompileError& e) {
        Refuse(e.what());
        return false;
      }
    }
    if (!RunStatement(ReplaceProgramDeleteSql(prefix_, env, grp_id, fic_id))) return false;
    if (remove) return MarkTransform("WritePgmTrsNT", grp_id, fic_id, "0", nullptr);
    long long number = 0;
    for (const ProgramLine& l : lines) {
      Step(l.type == 'd' || l.type == 'e' ? "WritePgmTrsNT:InsertDCL" : "WritePgmTrsNT:InsertINST");
      if (!RunStatement(InsertProgramLineSql(prefix_, env, grp_id, fic_id, ++number, l.type, l.indent, l.content)))
        return false;
    }
    Step("WritePgmTrsNT");
    number = 0;
    for (const std::string& c : compiled)
      if (!RunStatement(InsertCompiledLineSql(env, grp_id, fic_id, ++number, c))) return false;
    return MarkTransform("WritePgmTrsNT", grp_id, fic_id, "1", nullptr);
  });
}

bool QVSource::SendProgramRequest(const std::string& request) {
  RemoteCommand c = FrameCommand(cmd::kWriteProgram, 4096, request);
  if (Src().Execute(c.code, c.ctl, c.data) != 0) return true;
  QVParamError();
  return false;
}

bool QVSource::WritePgmTrsAS(const std::string& grp_id, const std::string& fic_id, const std::string& place,
                             const std::string& declarations, const std::string& instructions, std::string& mi,
                             int32_t count) {
  return Guard("WritePgmTrsAS", [&] {
    const std::string env = sel_.env;
    const std::string where = Trim(place).empty() ? "I" : place;
    if (declarations.empty() && instructions.empty()) {
      if (!SendProgramRequest(ProgramDeleteRequest(env, grp_id, fic_id, where)) ||
          !SendProgramRequest(ProgramDeleteRequest(env, grp_id, fic_id, "I")))
        return false;
      const std::string zeros = "00000";
      return MarkTransform("WritePgmTrsAS", grp_id, fic_id, "0", &zeros);
    }
    const std::vector<ProgramLine> lines = LinesFromRecords(declarations, instructions);
    // The record length of each reference file, for the reads through its alias.
    std::map<std::string, long long> aliasLengths;
    for (const ProgramLine& l : lines) {
      if (l.type != 'd') continue;
      const StoredDecl d = DecodeDecl(l.content);
      const std::size_t slash = d.based.find('/');
      if (d.type != '$' || slash == std::string::npos) continue;
      std::string file = d.based.substr(slash + 1), library = d.based.substr(0, slash), name1, name2;
      int32_t length = 0;
      if (!LenRecord(file, library, name1, name2, length)) return false;
      aliasLengths[UCase(d.name)] = length;
    }
    Step("WritePgmTrsAS");
    mi = GenerateMi(lines, aliasLengths);
    for (const std::string& r : ProgramLineRequests(env, grp_id, fic_id, where, lines))
      if (!SendProgramRequest(r)) return false;
    for (const std::string& r : MiRequests(env, grp_id, fic_id, where, mi))
      if (!SendProgramRequest(r)) return false;
    const std::string counted = Digits(count, 5);
    if (!MarkTransform("WritePgmTrsAS", grp_id, fic_id, "1", &counted)) return false;
    RemoteCommand compile = FrameCommand(cmd::kCompileProgram, 4096, CompileRequest(env, grp_id, fic_id));
    if (Src().Execute(compile.code, compile.ctl, compile.data) == 0) {
      QVParamError();
      return false;
    }
    const std::string answer(ReplyText(compile));
    if (answer.size() > 5 && answer[5] == '0') {
      RemoteCommand remove = FrameCommand(cmd::kDeleteListing, 20, EnvCode(env) + GrpCode(grp_id) + FicCode(fic_id));
      if (Src().Execute(remove.code, remove.ctl, remove.data) == 0) {
        QVParamError();
        return false;
      }
      return true;
    }
    Step("WritePgmTrsAS:CompilAS400");
    Refuse(cLoadResString("2093", answer.size() > 6 ? Trim(answer.substr(6)) : ""));
    return false;
  });
}

}  // namespace qv
