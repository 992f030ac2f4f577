// Commands that drive one source through QVmanager.
#include "qvmgr/commands.h"

#include <csignal>
#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include "platform/control_objects.h"
#include "platform/create_object.h"
#include "platform/registry.h"
#include "platform/text_output.h"
#include "presentation/strutil.h"
#include "qvmgr/connected.h"
#include "qvmgr/fields.h"
#include "qvmgr/library_path.h"
#include "qvmgr/session.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace qv::cli {
namespace {

// The six properties of the manager's copy of the distribution record.
constexpr const char* kDistributionProperties[] = {
    "DistributionRepriseType", "DistributionRepriseReceiver", "DistributionRepriseLibrary",
    "DistributionReprisePoint", "DistributionScheduled",       "DistributionHold"};

// Reads a record through a member of the control: Detail*(buffer, id) or
// DetailGC(model, target, buffer). Returns nullopt when the control has no
// such member or answers false (the error state is then left for the caller).
std::optional<std::string> ControlRecord(Session& s, const char* member, std::vector<Variant> args,
                                         std::size_t bufferIndex) {
  if (!s.ControlHas(member)) return std::nullopt;
  const DispResult r = s.CallControl(member, args);
  if (!r.ok() || !r.value.ToBool()) return std::nullopt;
  const std::string* image = args[bufferIndex].Get<std::string>();
  if (image == nullptr) return std::nullopt;
  return *image;
}

// What a show command reads: the manager's Read* member, the control's
// Detail* member that hands out the record, and the record's layout.
struct RecordShow {
  const char* command;
  unsigned need;
  const char* readMember;
  const char* detailMember;
  const Layout& layout;
  const char* title;  // "environment", "target", "model"
};

// Shows one record: the manager's Read* member tells whether it exists, then
// the control's Detail*(buffer, id) hands out the record image.
int ShowRecord(Context& ctx, const RecordShow& what) {
  Connected c(ctx, what.command, what.need);
  if (!c.Open()) return 1;
  const bool isEnv = &what.layout == &layout::QV_EX, isTarget = &what.layout == &layout::QV_CX;
  const std::string id = isEnv ? c.env() : isTarget ? c.target() : c.model();
  std::string label = std::string(what.title) + " " + (isEnv ? id : c.env() + "/" + id);
  label = UCase(label.substr(0, 1)) + label.substr(1);
  if (!c.Run(what.readMember, std::string("cannot read the ") + what.title + " " + Utf8(id))) return 1;

  Json body = Json::object();
  std::string text = Utf8(label) + "\n";
  std::optional<std::string> image = ControlRecord(
      c.s(), what.detailMember, {Variant(std::string(what.layout.length, ' ')), Variant(id)}, 0);
  if (image) {
    const std::vector<NamedField> fields = NameFields(what.layout, *image);
    body["record"] = FieldsJson(fields);
    text += AlignedText(fields);
  } else {
    c.s().TakeError();
    body["record"] = nullptr;
    text += "  (the record is not available from this library)\n";
  }
  return c.Success(body, text);
}

// Reads the six distribution properties of the manager: JSON values and
// text rows. Properties the manager lacks are left out.
void ReadDistributionProperties(Session& s, Json& json, std::vector<std::pair<std::string, std::string>>& rows) {
  json = Json::object();
  rows.clear();
  for (const char* name : kDistributionProperties) {
    if (!s.Has(name)) continue;
    const DispResult r = s.Get(name);
    if (!r.ok()) continue;
    const Variant& v = r.value;
    try {
      if (v.type() == platform::VarType::Boolean) {
        json[name] = v.ToBool();
        rows.emplace_back(name, v.ToBool() ? "yes" : "no");
      } else if (v.IsNumeric()) {
        json[name] = v.ToLong();
        rows.emplace_back(name, std::to_string(v.ToLong()));
      } else {
        const std::string text = RTrim(v.ToString());
        json[name] = Utf8(text);
        rows.emplace_back(name, text);
      }
    } catch (const std::exception&) {
      // A value that does not convert is left out.
    }
  }
}

std::optional<std::vector<NamedField>> DistributionRecord(Connected& c) {
  std::optional<std::string> image =
      ControlRecord(c.s(), "DetailGC",
                    {Variant(c.model()), Variant(c.target()), Variant(std::string(layout::QV_GC.length, ' '))}, 2);
  if (!image) {
    c.s().TakeError();
    return std::nullopt;
  }
  return NameFields(layout::QV_GC, *image);
}

std::string DistributionText(Connected& c, const std::vector<std::pair<std::string, std::string>>& rows,
                             const std::optional<std::vector<NamedField>>& record) {
  std::string text = "Distribution " + Utf8(c.Distribution()) + "\n";
  text += "Recovery point and flags (QVmanager)\n" + AlignedText(rows);
  if (record) text += "Record QV_GC\n" + AlignedText(*record);
  return text;
}


const char* LevelOfIcon(int icon) {
  switch (icon) {
    case 1: return "error";
    case 2: return "warning";
    case 3: return "info";
    default: return "";
  }
}

Json MessageJson(const platform::ListItem& item) {
  return Json{{"key", Utf8(item.Key())},      {"date", Utf8(item.SubItem(1))}, {"job", Utf8(item.SubItem(2))},
              {"program", Utf8(item.SubItem(3))}, {"text", Utf8(item.SubItem(4))}, {"level", LevelOfIcon(item.icon)},
              {"icon", item.icon}};
}

// Writes one row of fixed columns (follow mode): level, date, job, program, text.
std::string FollowLine(const std::vector<std::string>& cells1252) {
  static const std::size_t widths[] = {8, 21, 12, 14};
  std::string line;
  for (std::size_t i = 0; i < cells1252.size(); ++i) {
    std::string cell = Utf8(cells1252[i]);
    if (i < 4) {
      const std::size_t w = widths[i];
      cell.append(cell.size() < w ? w - cell.size() : 2, ' ');
    }
    line += cell;
  }
  return RTrim(line) + "\n";
}

std::vector<std::string> MessageCells(const platform::ListItem& item) {
  return {LevelOfIcon(item.icon), item.SubItem(1), item.SubItem(2), item.SubItem(3), item.SubItem(4)};
}

std::vector<std::string> MessageHeaders(const platform::ListView& lv) {
  std::vector<std::string> headers{"Level"};
  const auto& columns = lv.Columns();
  const char* fallback[] = {"Date", "Job", "Program", "Message"};
  for (int i = 1; i <= 4; ++i)
    headers.push_back(i < static_cast<int>(columns.size()) && !columns[static_cast<std::size_t>(i)].text.empty()
                          ? columns[static_cast<std::size_t>(i)].text
                          : fallback[i - 1]);
  return headers;
}

int RegistrationCommand(Context& ctx, const std::string& command, const std::string& libraryPath, bool add) {
  std::string path = libraryPath;
  if (path.empty()) {
    LibraryLookup found = FindShippedLibrary();
    if (found.path.empty()) {
      std::string tried;
      for (const std::string& t : found.tried) tried += "\n    " + t;
      return ctx.out.Failure(command, "cannot find the library",
                             OperationError{0,
                                            std::string("no ") + kLibraryFileName + " found; looked at:" + tried +
                                                "\n  Name it with --library PATH or QV_LIBRARY.",
                                            "FindLibrary"});
    }
    path = found.path;
  }
  const platform::Status status = add ? platform::RegisterLibrary(path) : platform::UnregisterLibrary(path);
  const std::string registry = platform::RegistryPath();
  Json body{{"library", path}, {"registry", registry}};
  if (!status.ok())
    return ctx.out.Failure(command, add ? "registration failed" : "unregistration failed",
                           OperationError{0, status.error, add ? "DllRegisterServer" : "DllUnregisterServer"},
                           body);

  std::error_code ec;
  const std::string canonical = std::filesystem::weakly_canonical(path, ec).string();
  platform::RegistryContents contents;
  Json classes = Json::array();
  std::string text;
  if (add && platform::ReadRegistry(registry, contents).ok()) {
    for (const platform::RegistryEntry& e : contents.entries) {
      if (e.libraryPath != path && e.libraryPath != canonical) continue;
      classes.push_back(Json{{"progId", e.progId}, {"classId", e.classId}});
      text += "  " + e.progId + "  " + e.classId + "\n";
    }
  }
  body["classes"] = classes;
  const std::string head = add ? "Registered " + path + " in " + registry + "\n"
                               : "Unregistered " + path + " from " + registry + "\n";
  return ctx.out.Success(command, body, head + text);
}

}  // namespace

std::string JobName(const std::string& env, const std::string& target, const std::string& model) {
  return "S" + env + "_" + target + model;
}

bool OnOff(const std::string& value, const std::string& option) {
  const std::string v = LCase(value);
  if (v == "on" || v == "yes" || v == "true" || v == "1") return true;
  if (v == "off" || v == "no" || v == "false" || v == "0") return false;
  throw UsageError(option + " takes on or off, not \"" + value + "\"");
}

int EnvShow(Context& ctx) {
  return ShowRecord(ctx, {"env show", kNeedEnv, "ReadEnvironnement", "DetailEnvironment", layout::QV_EX,
                         "environment"});
}

int TargetShow(Context& ctx) {
  return ShowRecord(ctx, {"target show", kNeedEnv | kNeedTarget, "ReadTarget", "DetailCible", layout::QV_CX,
                         "target"});
}

int ModelShow(Context& ctx) {
  return ShowRecord(ctx, {"model show", kNeedEnv | kNeedModel, "ReadModel", "DetailGroup", layout::QV_GX,
                         "model"});
}

int DistShow(Context& ctx) {
  Connected c(ctx, "dist show", kNeedDistribution);
  if (!c.Open()) return 1;
  if (!c.Run("ReadDistribution", "cannot read the distribution " + Utf8(c.Distribution()))) return 1;
  Json props;
  std::vector<std::pair<std::string, std::string>> rows;
  ReadDistributionProperties(c.s(), props, rows);
  const std::optional<std::vector<NamedField>> record = DistributionRecord(c);
  Json body{{"job", Utf8(c.Job())}, {"properties", props}};
  body["record"] = record ? FieldsJson(*record) : Json(nullptr);
  return c.Success(body, DistributionText(c, rows, record));
}

int DistSet(Context& ctx, const DistChanges& changes) {
  // Checks every change before anything is sent: a refused command changes nothing.
  std::vector<std::pair<const char*, Variant>> puts;
  Json asked = Json::object();
  if (changes.repriseType) {
    const std::string t = changes.repriseType->empty() ? " " : UCase(*changes.repriseType);
    if (t != "P" && t != "C" && t != " ")
      throw UsageError("--reprise-type takes P, C or \"\" (none), not \"" + *changes.repriseType + "\"");
    puts.emplace_back("DistributionRepriseType", Variant(t));
    asked["DistributionRepriseType"] = t == " " ? "" : t;
  }
  auto name10 = [&](const std::optional<std::string>& value, const char* option, const char* member) {
    if (!value) return;
    std::string v;
    try {
      v = To1252Exact(*value, option);
    } catch (const ArgumentError& e) {
      throw UsageError(e.what());
    }
    if (v.size() > 10) throw UsageError(std::string(option) + " \"" + *value + "\" is longer than 10 characters");
    if (v.find(' ') != std::string::npos) throw UsageError(std::string(option) + " \"" + *value + "\" holds a blank");
    puts.emplace_back(member, Variant(v));
    asked[member] = *value;
  };
  name10(changes.receiver, "--receiver", "DistributionRepriseReceiver");
  name10(changes.library, "--library", "DistributionRepriseLibrary");
  if (changes.point) {
    if (*changes.point < 0 || *changes.point > 2147483647)
      throw UsageError("--point takes a journal entry number from 0 to 2147483647");
    puts.emplace_back("DistributionReprisePoint", Variant(static_cast<std::int32_t>(*changes.point)));
    asked["DistributionReprisePoint"] = *changes.point;
  }
  if (changes.scheduled) {
    const bool on = OnOff(*changes.scheduled, "--scheduled");
    puts.emplace_back("DistributionScheduled", Variant(on));
    asked["DistributionScheduled"] = on;
  }
  if (changes.hold) {
    const bool on = OnOff(*changes.hold, "--hold");
    puts.emplace_back("DistributionHold", Variant(on));
    asked["DistributionHold"] = on;
  }
  if (puts.empty())
    throw UsageError("dist set needs at least one change: --reprise-type, --receiver, --library, --point, "
                     "--scheduled or --hold");

  Connected c(ctx, "dist set", kNeedDistribution);
  if (!c.Open()) return 1;
  if (!c.Run("ReadDistribution", "cannot read the distribution " + Utf8(c.Distribution()))) return 1;
  Json before;
  std::vector<std::pair<std::string, std::string>> rows;
  ReadDistributionProperties(c.s(), before, rows);
  for (auto& [member, value] : puts) {
    const DispResult r = c.s().Put(member, value);
    if (!r.ok())
      return c.Fail("cannot set " + std::string(member) + "; nothing was changed",
                    DispatchFailure("QVmanager", member, r), c.DistributionJson());
  }
  if (!c.Run("UpdateDistribution", "the distribution " + Utf8(c.Distribution()) + " was not changed")) return 1;

  // Reads the record back to show what the source now holds.
  Json after;
  if (!c.Run("ReadDistribution", "the distribution was changed but cannot be read back")) return 1;
  ReadDistributionProperties(c.s(), after, rows);
  const std::optional<std::vector<NamedField>> record = DistributionRecord(c);
  Json body{{"job", Utf8(c.Job())}, {"changes", asked}, {"before", before}, {"properties", after}};
  body["record"] = record ? FieldsJson(*record) : Json(nullptr);
  return c.Success(body, "Updated.\n" + DistributionText(c, rows, record));
}

int Start(Context& ctx) {
  Connected c(ctx, "start", kNeedDistribution);
  if (!c.Open()) return 1;
  const std::string what = "cannot start the distribution " + Utf8(c.Distribution());
  if (!c.DistributionExists(what) || !c.Run("StartQV", what)) return 1;
  return c.Success(Json{{"job", Utf8(c.Job())}},
                   "Asked the source to start " + Utf8(c.Distribution()) + " (job " + Utf8(c.Job()) + ").\n");
}

int Stop(Context& ctx) {
  Connected c(ctx, "stop", kNeedDistribution);
  if (!c.Open()) return 1;
  const std::string what = "cannot stop the distribution " + Utf8(c.Distribution());
  if (!c.DistributionExists(what) || !c.Run("StopQV", what)) return 1;
  return c.Success(Json{{"job", Utf8(c.Job())}},
                   "Asked the job " + Utf8(c.Job()) + " of " + Utf8(c.Distribution()) + " to stop.\n");
}

int Status(Context& ctx) {
  Connected c(ctx, "status", kNeedDistribution);
  if (!c.Open()) return 1;
  if (!c.DistributionExists("cannot ask whether the job " + Utf8(c.Job()) + " runs")) return 1;
  const DispResult r = c.s().Call("SourceJobRun");
  if (!r.ok()) return c.Fail("cannot ask for the job", DispatchFailure("QVmanager", "SourceJobRun", r));
  bool running = false;
  try {
    running = r.value.ToBool();
  } catch (const std::exception&) {
  }
  if (!running) {
    // False is also the answer of a failed question: the error state tells.
    OperationError e = c.s().TakeError();
    if (e.num != 0 || !e.text.empty())
      return c.Fail("cannot ask whether the job " + Utf8(c.Job()) + " runs", e, c.DistributionJson());
  }
  return c.Success(Json{{"job", Utf8(c.Job())}, {"running", running}},
                   "Job " + Utf8(c.Job()) + " of " + Utf8(c.Distribution()) + (running ? " is running" : " is not running") +
                       ".\n");
}

int ActivityShow(Context& ctx) {
  Connected c(ctx, "activity", kNeedDistribution);
  if (!c.Open()) return 1;
  const std::string what = "cannot read the activity of " + Utf8(c.Distribution());
  if (!c.DistributionExists(what) || !c.Run("ReadActivity", what)) return 1;
  const DispResult a = c.s().Get("Activity");
  platform::ObjectPtr activity;
  if (a.ok()) {
    try {
      activity = a.value.ToObject();
    } catch (const std::exception&) {
    }
  }
  if (!activity)
    return c.Fail("the manager holds no Activity object",
                  a.ok() ? OperationError{0, "Activity is Nothing", "Activity"} : DispatchFailure("QVmanager", "Activity", a));
  std::vector<NamedField> fields;
  for (const Field& f : layout::Activity.fields) {
    const DispResult v = platform::GetProperty(*activity, f.name);
    std::string value;
    if (v.ok()) {
      try {
        value = RTrim(v.value.ToString());
      } catch (const std::exception&) {
      }
    }
    fields.push_back({std::string(f.name), value});
  }
  return c.Success(Json{{"job", Utf8(c.Job())}, {"activity", FieldsJson(fields)}},
                   "Activity of " + Utf8(c.Distribution()) + " (job " + Utf8(c.Job()) + ")\n" + AlignedText(fields));
}

int Messages(Context& ctx, const MessageOptions& options) {
  if (options.follow && (options.interval < 1 || options.interval > 86400))
    throw UsageError("--interval takes a number of seconds from 1 to 86400");
  Connected c(ctx, "messages", 0);
  if (!c.Open()) return 1;
  auto lv = std::make_shared<platform::ListViewObject>();
  std::vector<Variant> args{Variant(true), Variant(true), Variant(lv)};
  OperationError e;
  if (!c.s().Ok("ReadMSG", args, e)) return c.Fail("cannot read the message queue", e);

  const platform::ListView& model = lv->model();
  Reporter& out = ctx.out;
  if (!options.follow) {
    Json list = Json::array();
    platform::TextTable table(MessageHeaders(model));
    for (const platform::ListItem* item : model.DisplayOrder()) {
      list.push_back(MessageJson(*item));
      table.AddRow(MessageCells(*item));
    }
    const std::string text = model.Count() == 0 ? std::string("No messages.\n") : table.Render();
    return c.Success(Json{{"count", model.Count()}, {"messages", list}}, text);
  }

  // Follows the queue: prints what is there, then what comes, until interrupted.
  std::set<std::string> seen;
  auto printNew = [&] {
    for (const platform::ListItem* item : model.DisplayOrder()) {
      if (!seen.insert(item->Key()).second) continue;
      if (out.json())
        out.WriteLine(MessageJson(*item));
      else
        out.Write(FollowLine(MessageCells(*item)));
    }
  };
  if (!out.json()) out.Write(FollowLine(MessageHeaders(model)));
  printNew();

  int status = 0;
  {
    InterruptScope interrupts;
    Progress progress;
    while (true) {
      progress.Show("Waiting for messages every " + std::to_string(options.interval) + " s (Ctrl-C stops) ...");
      if (!SleepUnlessInterrupted(options.interval)) break;
      std::vector<Variant> more{Variant(false), Variant(false), Variant(lv)};
      if (!c.s().Ok("ReadMSG", more, e)) {
        progress.Clear();
        status = c.Fail("cannot read the message queue", e);
        break;
      }
      progress.Clear();
      printNew();
    }
  }
  return status;
}

bool ReadFields(Connected& c, const std::string& fic, std::shared_ptr<platform::ListViewObject>& lv,
                OperationError& e) {
  lv = std::make_shared<platform::ListViewObject>();
  std::vector<Variant> args{Variant(lv), Variant(c.model()), Variant(fic)};
  const DispResult r = c.s().CallControl("FillFieldListZX", args);
  if (!r.ok()) {
    e = DispatchFailure("QVSource", "FillFieldListZX", r);
    return false;
  }
  if (r.value.ToBool()) return true;
  e = c.s().TakeError();
  return false;
}

namespace {

// Shows the fields of a list view filled by FillFieldListZX.
int ShowFields(Connected& c, const platform::ListView& model, Json body, std::string text) {
  static const char* const kKeys[] = {"description", "type", "date", "start", "length", "allowNull", "keyOrder",
                                      "typeCode", "len", "dec", "lenExt", "based", "posExt"};
  Json list = Json::array();
  platform::TextTable table({"Field", "Description", "Type", "Date", "Start", "Length", "Null", "Key"});
  for (const platform::ListItem* item : model.DisplayOrder()) {
    Json f{{"name", Utf8(item->text)}};
    for (int i = 1; i <= 13; ++i) f[kKeys[i - 1]] = Utf8(RTrim(item->SubItem(i)));
    list.push_back(f);
    std::vector<std::string> cells{item->text};
    for (int i = 1; i <= 7; ++i) cells.push_back(RTrim(item->SubItem(i)));
    table.AddRow(cells);
  }
  body["fields"] = list;
  text += model.Count() == 0 ? std::string("No fields.\n") : table.Render();
  return c.Success(body, text);
}

}  // namespace

int TableAdd(Context& ctx, const TableAddOptions& options) {
  std::string library, file, description;
  try {
    library = To1252Exact(options.library, "--library");
    file = To1252Exact(options.file, "--file");
    description = To1252Exact(options.description, "--description");
  } catch (const ArgumentError& e) {
    throw UsageError(e.what());
  }
  if (library.empty() || file.empty()) throw UsageError("table add needs --library and --file");
  Connected c(ctx, "table add", kNeedEnv | kNeedModel);
  if (!c.Open()) return 1;
  Record fx(layout::QV_FX);
  fx.Set("ENVID", c.env());
  fx.Set("GRPID", c.model());
  Record source(layout::ObjectName);
  source.Set("LIBRARY", UCase(library));
  source.Set("FILE", UCase(file));
  fx.Set("SRCTBL", source.image());
  fx.Set("DESCRIP", description);
  for (const char* flag : {"HOLD", "QV_TRANSFORM", "INSTINSERT", "INSTUPDATE", "INSTDELETE"}) fx.Set(flag, "0");
  fx.Set("X", "0000000000");
  fx.Set("Y", "0000000000");
  const std::string what = "cannot add " + Utf8(UCase(library) + "/" + UCase(file)) + " to the model " +
                           Utf8(c.env() + "/" + c.model());
  std::vector<Variant> args{Variant(fx.image()), Variant(c.model())};
  const DispResult r = c.s().CallControl("AddFile", args);
  if (!r.ok()) return c.Fail(what, DispatchFailure("QVSource", "AddFile", r));
  if (!r.value.ToBool()) return c.Fail(what, c.s().TakeError());
  const std::string* stored = args[0].Get<std::string>();
  const std::string fic = stored ? std::string(Record(layout::QV_FX, *stored).Get("FICID")) : std::string();
  std::shared_ptr<platform::ListViewObject> lv;
  OperationError e;
  if (!ReadFields(c, fic, lv, e)) return c.Fail("cannot read the fields of the table " + Utf8(fic), e);
  return ShowFields(c, lv->model(), Json{{"table", Utf8(fic)}},
                    "Added " + Utf8(UCase(library) + "/" + UCase(file)) + " to the model " +
                        Utf8(c.env() + "/" + c.model()) + " as table " + Utf8(fic) + "\n");
}

std::string TableId(const std::string& table, const std::string& command) {
  std::string fic;
  try {
    fic = To1252Exact(table, "--table");
  } catch (const ArgumentError& e) {
    throw UsageError(e.what());
  }
  if (fic.empty()) throw UsageError(command + " needs --table");
  // A table number may be given without its leading zeros.
  if (fic.size() < 10 && fic.find_first_not_of("0123456789") == std::string::npos)
    fic = std::string(10 - fic.size(), '0') + fic;
  return fic;
}

int FieldsShow(Context& ctx, const std::string& table) {
  const std::string fic = TableId(table, "fields");
  Connected c(ctx, "fields", kNeedEnv | kNeedModel);
  if (!c.Open()) return 1;
  std::shared_ptr<platform::ListViewObject> lv;
  OperationError e;
  if (!ReadFields(c, fic, lv, e)) return c.Fail("cannot read the fields of the table " + Utf8(fic), e);
  return ShowFields(c, lv->model(), Json{{"table", Utf8(fic)}},
                    "Fields of table " + Utf8(fic) + " of the model " + Utf8(c.env() + "/" + c.model()) + "\n");
}

namespace {

// Lists the data sources (of a driver kind), the databases or schemas, or the
// tables of a database (by mask) of an NT source.
int CatalogNt(Connected& c, const std::string& what, const std::string& kind, const std::string& database,
              const std::string& mask) {
  auto call = [&](const char* member, std::vector<Variant>& args) {
    const DispResult r = c.s().CallControl(member, args);
    if (!r.ok()) return c.Fail("cannot list the " + what, DispatchFailure("QVSource", member, r));
    if (!r.value.ToBool()) return c.Fail("cannot list the " + what, c.s().TakeError());
    return 0;
  };
  std::vector<std::string> names;
  std::string head;
  if (what == "databases") {
    auto tree = std::make_shared<platform::TreeViewObject>();
    std::vector<Variant> args{Variant(tree), Variant(std::int32_t{0})};
    if (const int failed = call("LoadDBList", args)) return failed;
    for (const platform::TreeNode* node : tree->model().DisplayOrder()) names.push_back(node->text);
    head = "Databases";
  } else {
    auto box = std::make_shared<platform::ListBoxObject>();
    std::vector<Variant> args;
    if (what == "dsn") {
      args = {Variant(box), Variant(kind), Variant(std::int32_t{0})};
      if (const int failed = call("FillDSN", args)) return failed;
      head = kind.empty() ? std::string("Data sources") : "Data sources of kind " + kind;
    } else {
      args = {Variant(box), Variant(database), Variant(mask), Variant(std::int32_t{0})};
      if (const int failed = call("FillTBL", args)) return failed;
      head = "Tables of " + database + (mask.empty() ? std::string() : " matching " + mask);
    }
    names = box->model().Items();
  }
  Json list = Json::array();
  std::string text = Utf8(head) + "\n";
  for (const std::string& name : names) {
    list.push_back(Utf8(name));
    text += "  " + Utf8(name) + "\n";
  }
  if (names.empty()) text += "  (none)\n";
  return c.Success(Json{{what, list}}, text);
}

}  // namespace

int Catalog(Context& ctx, const CatalogOptions& options) {
  std::string library, type, journal, file, kind, database, mask;
  try {
    library = UCase(To1252Exact(options.library, "--library"));
    type = UCase(To1252Exact(options.type, "--type"));
    journal = UCase(To1252Exact(options.journal, "--journal"));
    file = UCase(To1252Exact(options.file, "--file"));
    kind = UCase(To1252Exact(options.kind, "--kind"));
    database = To1252Exact(options.database, "--database");
    mask = To1252Exact(options.mask, "--mask");
  } catch (const ArgumentError& e) {
    throw UsageError(e.what());
  }
  const std::string& what = options.what;
  const std::string command = "catalog " + what;
  auto require = [&](const std::string& value, const char* option) {
    if (value.empty()) throw UsageError(command + " needs " + option);
  };
  auto refuse = [&](const std::string& value, const char* option) {
    if (!value.empty()) throw UsageError(command + " takes no " + option);
  };
  const bool nt = what == "dsn" || what == "databases" || what == "tables";
  for (const auto& [v, o] : nt ? std::vector<std::pair<std::string, const char*>>{{library, "--library"},
                                                                                  {type, "--type"},
                                                                                  {journal, "--journal"},
                                                                                  {file, "--file"}}
                               : std::vector<std::pair<std::string, const char*>>{
                                     {kind, "--kind"}, {database, "--database"}, {mask, "--mask"}})
    refuse(v, o);
  if (nt) {
    if (what == "dsn") {
      refuse(database, "--database");
      refuse(mask, "--mask");
      if (!kind.empty() && kind != "SQL SERVER" && kind != "ORACLE" && kind != "MS-ACCESS")
        throw UsageError("--kind is \"SQL Server\", Oracle or MS-Access, not " + options.kind);
    } else if (what == "databases") {
      for (const auto& [v, o] : {std::pair{kind, "--kind"}, {database, "--database"}, {mask, "--mask"}}) refuse(v, o);
    } else {
      require(database, "--database");
      refuse(kind, "--kind");
    }
    Connected c(ctx, command, 0);
    if (!c.Open()) return 1;
    return CatalogNt(c, what, kind, database, mask);
  }
  if (what == "libraries") {
    for (const auto& [v, o] : {std::pair{library, "--library"}, {type, "--type"}, {journal, "--journal"}, {file, "--file"}})
      refuse(v, o);
  } else if (what == "files") {
    require(library, "--library");
    refuse(file, "--file");
    if (!journal.empty()) refuse(type, "--type with --journal");
    if (!type.empty() && type != "PF" && type != "LF") throw UsageError("--type is PF or LF, not " + options.type);
  } else if (what == "journals") {
    require(library, "--library");
    for (const auto& [v, o] : {std::pair{type, "--type"}, {journal, "--journal"}, {file, "--file"}}) refuse(v, o);
  } else if (what == "receivers") {
    require(journal, "--journal");
    require(library, "--library");
    refuse(type, "--type");
    refuse(file, "--file");
  } else if (what == "formats") {
    require(file, "--file");
    require(library, "--library");
    refuse(type, "--type");
    refuse(journal, "--journal");
  } else {
    throw UsageError("catalog lists libraries, files, journals, receivers, formats, dsn, databases or tables, not " +
                     what);
  }

  Connected c(ctx, command, 0);
  if (!c.Open()) return 1;
  auto call = [&](const char* member, std::vector<Variant>& args) {
    const DispResult r = c.s().CallControl(member, args);
    if (!r.ok()) return c.Fail("cannot list the " + what, DispatchFailure("QVSource", member, r));
    if (!r.value.ToBool()) return c.Fail("cannot list the " + what, c.s().TakeError());
    return 0;
  };
  Json list = Json::array();
  std::string text;
  if (what == "receivers") {
    auto lv = std::make_shared<platform::ListViewObject>();
    std::vector<Variant> args{Variant(lv), Variant(journal), Variant(library)};
    if (const int failed = call("LoadRcvList", args)) return failed;
    static const char* const kKeys[] = {"receiver", "firstSequence", "lastSequence", "firstDate", "lastDate",
                                        "saveDate"};
    std::vector<std::string> heads;
    for (const auto& column : lv->model().Columns()) heads.push_back(column.text);
    platform::TextTable table(heads);
    for (const platform::ListItem* item : lv->model().DisplayOrder()) {
      std::vector<std::string> cells{item->text};
      for (int i = 1; i <= 5; ++i) cells.push_back(item->SubItem(i));
      Json r = Json::object();
      for (int i = 0; i < 6; ++i) r[kKeys[i]] = Utf8(cells[static_cast<std::size_t>(i)]);
      list.push_back(r);
      table.AddRow(cells);
    }
    text = "Receivers of journal " + Utf8(library + "/" + journal) + "\n" +
           (list.empty() ? std::string("No receivers.\n") : table.Render());
    return c.Success(Json{{"receivers", list}}, text);
  }

  auto box = std::make_shared<platform::ListBoxObject>();
  std::vector<Variant> args;
  const char* member = nullptr;
  std::string head;
  if (what == "libraries") {
    member = "fillLIB";
    args = {Variant(box), Variant(true), Variant(std::int32_t{0})};
    head = "Libraries";
  } else if (what == "files" && !journal.empty()) {
    member = "FillFileListJrnBased";
    args = {Variant(box), Variant(journal), Variant(library), Variant(std::int32_t{0})};
    head = "Files journaled to " + library + "/" + journal;
  } else if (what == "files") {
    member = "FillLIBFile";
    args = {Variant(box), Variant(library), Variant(type), Variant(std::int32_t{0})};
    head = (type.empty() ? std::string("Files") : type == "PF" ? "Physical files" : "Logical files") + " of " + library;
  } else if (what == "journals") {
    member = "FillJournalList";
    args = {Variant(box), Variant(library), Variant(std::int32_t{0})};
    head = "Journals of " + library;
  } else {
    member = "ListRcd";
    args = {Variant(file), Variant(library), Variant(box)};
    head = "Record formats of " + library + "/" + file;
  }
  if (const int failed = call(member, args)) return failed;
  text = Utf8(head) + "\n";
  for (const std::string& item : box->model().Items()) {
    if (member == std::string("FillFileListJrnBased")) {
      const std::string entry = PadRight(item, 30);
      list.push_back(Json{{"file", Utf8(Trim(entry.substr(0, 10)))},
                          {"library", Utf8(Trim(entry.substr(10, 10)))},
                          {"member", Utf8(Trim(entry.substr(20, 10)))}});
    } else {
      list.push_back(Utf8(item));
    }
    text += "  " + Utf8(item) + "\n";
  }
  if (box->model().ListCount() == 0) text += "  (none)\n";
  return c.Success(Json{{what, list}}, text);
}

int Register(Context& ctx, const std::string& libraryPath) {
  return RegistrationCommand(ctx, "register", libraryPath, true);
}

int Unregister(Context& ctx, const std::string& libraryPath) {
  return RegistrationCommand(ctx, "unregister", libraryPath, false);
}

namespace {
volatile std::sig_atomic_t gInterrupted = 0;
extern "C" void OnInterrupt(int) { gInterrupted = 1; }
}  // namespace

InterruptScope::InterruptScope() {
  gInterrupted = 0;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &oldInt_);
  sigaction(SIGTERM, &action, &oldTerm_);
}

InterruptScope::~InterruptScope() {
  sigaction(SIGINT, &oldInt_, nullptr);
  sigaction(SIGTERM, &oldTerm_, nullptr);
}

bool SleepUnlessInterrupted(int seconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    if (gInterrupted) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return !gInterrupted;
}

}  // namespace qv::cli
