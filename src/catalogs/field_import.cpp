// Field catalog of AS/400 sources and adding a table to a model: reads a
// source file's formats, access path and fields, shows them in field lists,
// writes and changes the QV_ZX rows of a model table, and adds a table with
// its fields to a model and its distributions.
#include <array>
#include <stdexcept>
#include <utility>

#include "catalogs/field_listing.h"
#include "catalogs/field_types.h"
#include "connection/qvsource.h"
#include "connection/remote_commands.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"
#include "store/environment_statements.h"
#include "store/model_statements.h"
#include "store/record_rules.h"
#include "store/records.h"

namespace qv {
namespace {

// Descriptions of the system fields of the editor's system buffer.
constexpr std::array<std::pair<std::string_view, const char*>, 26> kSystemFields{{
    {"PROCESS", "1411"},   {"ERROR", "1412"},     {"JODATIM", "1413"},   {"GRP_ID", "1414"},
    {"SRC_ID", "1415"},    {"ENV_ID", "1416"},    {"TGT_ID", "1417"},    {"TGT_TYPE", "1418"},
    {"COM_TYPE", "1419"},  {"MCHNAME", "1420"},   {"TGT_ADR", "1421"},   {"LCL_NAME", "1422"},
    {"RECEIVER", "1423"},  {"JRN_SEQ", "1424"},   {"JRN_OPLVL", "1425"}, {"JRN_OPNAT", "1426"},
    {"JRN_DATTIM", "1427"}, {"JRN_JOB", "1428"},  {"JRN_USER", "1429"},  {"JRN_JOBNUM", "1430"},
    {"JRN_PGM", "1431"},   {"JRN_FILE", "1433"},  {"JRN_LIB", "1434"},   {"JRN_MBR", "1435"},
    {"JRN_RRN", "1436"},   {"DATETIME", "1437"},
}};

std::string NotFoundName(const std::string& library, const std::string& file) {
  return Trim(library) + "/" + Trim(file);
}

}  // namespace

bool QVSource::SendListingPage(const char* code, const std::string& request, std::string& reply) {
  RemoteCommand c = FrameCommand(code, 4096, request);
  if (Src().Execute(c.code, c.ctl, c.data) == 0) {
    QVParamError();
    return false;
  }
  reply = std::string(ReplyText(c));
  return true;
}

bool QVSource::LenRecord(std::string& file, std::string& library, std::string& name1,
                         std::string& name2, int32_t& length) {
  if (!ConnectionOpen()) return false;
  return Guard("LenRecord", [&] {
    file = ObjectName10(file);
    library = ObjectName10(library);
    return PagedList(cmd::kListFormats, file + library, kFormatEntryWidth, [&](std::string_view e) {
      const RecordFormat f = ReadRecordFormat(e);
      if (f.length > INT32_MAX) throw ListingError("record length of " + Trim(f.name) + " out of range");
      name1 = f.name;
      name2 = f.second;
      length = static_cast<int32_t>(f.length);
    });
  });
}

bool QVSource::ReadSourceFields(const std::string& library, const std::string& file, bool store,
                                std::vector<Record>& fields, int32_t* recordLength) {
  const std::string step = errorStep_;
  std::string lib = ObjectName10(library), fil = ObjectName10(file);
  if (recordLength != nullptr) {
    const Lookup exists = CheckObject(fil, lib, "*FILE");
    Step(step);
    if (exists == Lookup::Failed) return false;
    if (exists == Lookup::Missing) {
      Refuse(cLoadResString("2087", NotFoundName(lib, fil)));
      return false;
    }
    std::string name1, name2;
    if (!LenRecord(fil, lib, name1, name2, *recordLength)) {
      errorText_ = step + ":" + errorText_;
      Step(step);
      return false;
    }
    Step(step);
  }
  std::string reply;
  if (!SendListingPage(cmd::kAccessPath, "04096" + fil + lib, reply)) return false;
  const AccessPath path = ReadAccessPath(reply);
  if (!path.found) {
    Refuse(cLoadResString("2087", NotFoundName(lib, fil)));
    return false;
  }
  std::vector<std::string> taken;
  if (!PagedList(cmd::kListFields, fil + lib, kFieldEntryWidth,
                 [&](std::string_view e) { taken.emplace_back(e); }))
    return false;
  const std::vector<std::string_view> entries(taken.begin(), taken.end());
  fields = ConvertFields(entries, path, store ? FieldUse::Store : FieldUse::List);
  return true;
}

void QVSource::ShowSourceFields(platform::ListView& lv, const std::vector<Record>& fields,
                                bool editor) {
  InitListField(lv, true);
  for (const Record& zx : fields) {
    const std::string name = Trim(zx.Get("FIELDINPUT"));
    const bool key = zx.Get("KEYORDER") != "00000";
    const int icon = editor ? FieldIcon(zx.Get("FIELDTYPE")) : key ? 13 : 12;
    platform::ListItem& item = lv.Add("ZONE_" + name, name, icon, icon);
    ShowField(item, zx);
  }
}

bool QVSource::FillColumnsListAS400(platform::ListView& lv, const std::string& library,
                                    const std::string& file) {
  return Guard("FillColumnsListAS400", [&] {
    lv.Clear();
    std::vector<Record> fields;
    int32_t length = 0;
    if (!ReadSourceFields(library, file, false, fields, &length)) return false;
    ShowSourceFields(lv, fields, false);
    return true;
  });
}

bool QVSource::FillFieldFromFileAS(platform::ListView& lv, const std::string& buffer,
                                   const std::string& library, const std::string& file) {
  return Guard("FillFieldFromFileAS", [&] {
    lv.Clear();
    std::vector<Record> fields;
    int32_t length = 0;
    if (!ReadSourceFields(library, file, false, fields, &length)) return false;
    const std::string prefix = UCase(Trim(buffer));
    if (prefix.rfind("S.", 0) == 0) {
      for (Record& zx : fields)
        for (const auto& [name, id] : kSystemFields)
          if (Trim(zx.Get("FIELDINPUT")) == name) zx.Set("DESCRIP", cLoadResString(id));
    }
    ShowSourceFields(lv, fields, true);
    if (prefix.rfind("F.", 0) == 0) {
      Record eof(layout::QV_ZX);
      eof.Set("FIELDINPUT", Trim(buffer) + "@EOF@");
      eof.Set("DESCRIP", "Record not Found or EOF, '0'=False, '1'=True");
      eof.Set("FIELDTYPE", "C");
      eof.Set("LEN", "00001");
      eof.Set("DECI", "00000");
      eof.Set("ALLOWNULL", "0");
      const std::string name = Trim(eof.Get("FIELDINPUT"));
      platform::ListItem& item = lv.Add("ZONE_" + name, name, 1, 1);
      ShowField(item, eof);
    }
    return true;
  });
}

bool QVSource::WriteZX(const std::string& env, const std::string& grp, const std::string& fic,
                       std::vector<Record>& fields) {
  for (Record& zx : fields) {
    zx.Set("ENVID", env);
    zx.Set("GRPID", grp);
    zx.Set("FICID", fic);
  }
  if (!IsAS400()) {
    return InChangeUnit([&] {
      for (const Record& zx : fields)
        if (!RunStatement(InsertImportedFieldSql(prefix_, zx))) return false;
      return true;
    });
  }
  for (const Record& zx : fields)
    if (!ChangeRecord(Change::Write, files_.QV_ZX, zx.image())) return false;
  return true;
}

bool QVSource::ReadTableFields(const std::string& library, const std::string& file,
                               std::vector<Record>& fields, int32_t& recordLength) {
  if (IsAS400()) return ReadSourceFields(library, file, true, fields, &recordLength);
  return ReadNtFields(library, file, fields, recordLength);
}

bool QVSource::AddAllZX(const std::string& env_id, const std::string& grp_id,
                        const std::string& fic_id, const std::string& library,
                        const std::string& file) {
  return Guard("AddAllZX", [&] {
    if (!KeyFromCodes(layout::ModelTableKey, {env_id, grp_id, fic_id}).names)
      throw std::invalid_argument("a code longer than its field names no model table");
    std::vector<Record> fields;
    int32_t length = 0;
    if (!ReadTableFields(library, file, fields, length)) return false;
    return WriteZX(EnvCode(env_id), GrpCode(grp_id), FicCode(fic_id), fields);
  });
}

bool QVSource::UpdateZX(const std::string& grp_id, const std::string& fic_id,
                        platform::ListView& lv) {
  return Guard("UpdateZX", [&] {
    const std::string env = EnvCode(sel_.env), grp = GrpCode(grp_id), fic = FicCode(fic_id);
    // Every item is read before anything changes: one bad item changes nothing.
    std::vector<Record> written;
    std::vector<std::pair<char, Record>> statements;
    std::vector<std::string> deleted;
    for (int i = 1; i <= lv.Count(); ++i) {
      const platform::ListItem& item = lv.Item(i);
      const std::string action = UCase(Trim(item.tag));
      if (action != "A" && action != "U" && action != "D") continue;
      if (action == "D") {
        deleted.push_back(FieldCode(Trim(item.text)));
        Record zx(layout::QV_ZX);
        zx.Set("FIELDINPUT", Trim(item.text));
        statements.emplace_back('D', zx);
        continue;
      }
      Record zx = FieldFromItem(item, env, grp, fic);
      written.push_back(zx);
      statements.emplace_back(action[0], std::move(zx));
    }
    std::string fx, option, manual;
    if (!DetailFile(fx, grp_id, fic_id, option, manual)) {
      Step("UpdateZX:DetailFile1");
      return false;
    }
    Step("UpdateZX");
    if (IsAS400()) {
      for (const std::string& request : FieldWriteRequests(env, grp, fic, written, deleted)) {
        RemoteCommand c = FrameCommand(cmd::kWriteFields, 4096, request);
        if (Src().Execute(c.code, c.ctl, c.data) == 0) {
          QVParamError();
          return false;
        }
      }
    } else {
      const bool ok = InChangeUnit([&] {
        for (const auto& [action, zx] : statements) {
          const std::string field(zx.Get("FIELDINPUT"));
          const std::string sql = action == 'D'   ? DeleteFieldSql(prefix_, env, grp, fic, field)
                                  : action == 'U' ? UpdateFieldSql(prefix_, zx, env, grp, fic, field)
                                                  : InsertFieldSql(prefix_, zx);
          if (!RunStatement(sql)) return false;
        }
        return true;
      });
      if (!ok) return false;
    }
    if (!ChangeFile(fx, grp_id, fic_id)) {
      Step("UpdateZX:ChangeFile1");
      return false;
    }
    Step("UpdateZX");
    return true;
  });
}

bool QVSource::AddFile(std::string& sQV_FX, const std::string& grp_id) {
  return Guard("AddFile", [&] {
    auto fail = [&] {
      if (errorStep_.rfind("AddFile", 0) != 0) errorStep_ = "AddFile:" + errorStep_;
      return false;
    };
    Record fx = RecordFromString(layout::QV_FX, sQV_FX);
    const Record source(layout::ObjectName, fx.Get("SRCTBL"));
    const std::string library = Trim(source.Get("LIBRARY")), file = Trim(source.Get("FILE"));
    if (file.empty()) throw std::invalid_argument("the table record names no source file (SRCTBL)");
    std::string option, manual;
    if (!CompAllMbrDist(grp_id, option, manual)) return fail();
    int64_t next = 0;
    if (!NextFicID(grp_id, next)) return fail();
    Step("AddFile");
    const std::string env = EnvCode(sel_.env), grp = GrpCode(grp_id), fic = TableNumberText(next);
    fx.Set("ENVID", env);
    fx.Set("GRPID", grp);
    fx.Set("FICID", fic);
    fx.Set("LENRECOUT", "0000000000");
    fx.Set("NBRFIELDIN", "00000");
    // The source file is read whole before anything is written.
    int32_t length = 0;
    std::vector<Record> fields;
    if (!ReadTableFields(library, file, fields, length)) return fail();
    fx.Set("LENREC", Digits(length, 10));
    if (IsAS400()) {
      if (!ChangeRecord(Change::Write, files_.QV_FX, fx.image())) return fail();
    } else {
      fx.Set("FILLER", "");
      if (!RunStatement(InsertModelTableSql(prefix_, fx))) return fail();
    }
    sQV_FX = fx.image();
    const ModelTableTexts texts = ModelTableEventTexts(fx, true);
    Raise(&QVSourceEvents::FXadded, env, grp, fic, texts.label, texts.description, fx.image());
    Step("AddFile:AddAllZX");
    if (!WriteZX(env, grp, fic, fields)) return false;
    Step("AddFile");
    const RecordLengths lengths = ExternalLengths(fields);
    if (lengths.external > kMaxRecordLength || length > kMaxRecordLength) {
      Refuse(cLoadResString("2144"));
      return false;
    }
    fx.Set("LENRECOUT", Digits(lengths.external, 10));
    fx.Set("NBRFIELDIN", FieldNumber(lengths.fields));
    std::string image = fx.image();
    if (!ChangeFile(image, grp_id, fic)) return fail();
    sQV_FX = image;
    Step("AddFile");
    if (manual == "1") return true;
    std::vector<Record> distributions;
    if (!ReadBlocks("AddFile", "QV_GC_L0", layout::DistributionKey,
                    KeyFromCodes(layout::ModelKey, {env, grp}),
                    ListDistributionsOfModelSql(prefix_, env, grp), distributions))
      return fail();
    for (const Record& gc : distributions) {
      const std::string tgt(gc.Get("TGTID"));
      std::string fc = DefaultDistributedTable(fx, env, tgt, grp).image();
      if (!AddFC(fc, tgt, grp_id)) return fail();
    }
    Step("AddFile");
    return true;
  });
}

bool QVSource::FillFieldListZX(platform::ListView& lv, const std::string& grp_id,
                               const std::string& fic_id) {
  return Guard("FillFieldListZX", [&] {
    InitListField(lv, false);
    std::vector<Record> fields;
    if (!ReadBlocks("FillFieldListZX", "QV_ZX_L0", layout::QV_ZX,
                    KeyFromCodes(layout::ModelTableKey, {sel_.env, grp_id, fic_id}),
                    ListFieldsOfTableSql(prefix_, sel_.env, grp_id, fic_id), fields))
      return false;
    for (const Record& zx : fields) {
      const std::string name = Trim(zx.Get("FIELDINPUT"));
      const int icon = FieldIcon(zx.Get("FIELDTYPE"));
      ShowField(lv.Add("ZONE_" + name, name, icon, icon), zx);
    }
    return true;
  });
}

}  // namespace qv
