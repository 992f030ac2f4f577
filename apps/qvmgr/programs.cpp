// The program and end-script commands of qvmgr.
#include "qvmgr/programs.h"

#include <fstream>
#include <sstream>

#include "platform/control_objects.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"
#include "programs/program_lines.h"
#include "programs/program_parser.h"
#include "qvmgr/connected.h"

namespace qv::cli {
namespace {

// Reads a text file (UTF-8) as Windows-1252 text with CR LF line ends.
std::string ReadText(const std::string& path, const char* option) {
  if (path.empty()) return {};
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError(std::string("cannot read ") + option + " " + path);
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text;
  try {
    text = To1252Exact(buffer.str(), option);
  } catch (const ArgumentError& e) {
    throw UsageError(e.what());
  }
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n') out += '\r';
    out += text[i];
  }
  if (out.size() >= 2 && out.compare(out.size() - 2, 2, "\r\n") == 0) out.resize(out.size() - 2);
  return out;
}

// Returns a CR LF text in UTF-8 with line feeds only.
std::string Shown(const std::string& text) {
  std::string out;
  for (char ch : text)
    if (ch != '\r') out += ch;
  return Utf8(out);
}

bool As400(const Context& ctx) { return ctx.options.type.empty() || CanonicalSourceType(ctx.options.type) == "AS400"; }

std::string Place(const Context& ctx, const std::string& place) {
  if (!place.empty()) return place.substr(0, 1);
  return As400(ctx) ? "I" : " ";
}

// Returns the fields a list filled by FillFieldListZX shows.
std::vector<BufferField> FieldsOf(const platform::ListView& lv) {
  std::vector<BufferField> out;
  auto number = [](const std::string& s) {
    const std::string t = Trim(s);
    return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos ? std::stoll(t) : 0LL;
  };
  for (const platform::ListItem* shown : lv.DisplayOrder()) {
    const platform::ListItem& item = *shown;
    out.push_back({UCase(Trim(item.text)), Trim(item.SubItem(8)), number(item.SubItem(9)), number(item.SubItem(10)),
                   number(item.SubItem(4))});
  }
  return out;
}

// Writes the diagnostics of a check; returns the exit status (1 on errors).
int Report(Context& ctx, const char* command, const ProgramOptions& o, const ParsedProgram& p, Json body,
           bool stored = false) {
  Json list = Json::array();
  std::string text;
  for (const ProgramDiagnostic& d : p.diagnostics) {
    const std::string& file = d.section == ProgramSection::Declarations ? o.declarations : o.instructions;
    const char* level = d.warning ? "warning" : "error";
    text += file + ":" + std::to_string(d.line) + ":" + std::to_string(d.column) + ": " + level + ": " +
            Utf8(d.text) + "\n";
    list.push_back({{"file", file}, {"line", d.line}, {"column", d.column}, {"level", level}, {"id", d.id},
                    {"text", Utf8(d.text)}});
  }
  body["diagnostics"] = list;
  if (!p.HasErrors()) {
    if (!stored) text += "No error.\n";
    return ctx.out.Success(command, body, text);
  }
  // Sums the faults up by section on the error stream (1288, 1289).
  Json summary = Json::array();
  for (const auto& [section, id] : {std::pair{ProgramSection::Declarations, "1288"},
                                    std::pair{ProgramSection::Instructions, "1289"}})
    for (const ProgramDiagnostic& d : p.diagnostics)
      if (d.section == section && !d.warning) {
        summary.push_back(Utf8(cLoadResString(id)));
        break;
      }
  body["summary"] = summary;
  if (!ctx.out.json())
    for (const auto& line : summary) ctx.out.err() << "qvmgr: " << command << ": " << line.get<std::string>() << "\n";
  if (ctx.out.json()) {
    Json doc{{"command", command}, {"ok", false}};
    for (const auto& item : body.items()) doc[item.key()] = item.value();
    ctx.out.WriteLine(doc);
  } else {
    ctx.out.Write(text);
  }
  return 1;
}

}  // namespace

int ProgramCheck(Context& ctx, const ProgramOptions& o) {
  const std::string decls = ReadText(o.declarations, "--declarations");
  const std::string insts = ReadText(o.instructions, "--instructions");
  ProgramFields fields;
  if (!ctx.options.source.empty()) {
    const std::string fic = TableId(o.table, "program check");
    Connected c(ctx, "program check", kNeedEnv | kNeedModel);
    if (!c.Open()) return 1;
    std::shared_ptr<platform::ListViewObject> lv;
    OperationError e;
    if (!ReadFields(c, fic, lv, e)) return c.Fail("cannot read the fields of the table " + Utf8(fic), e);
    fields.table = FieldsOf(lv->model());
  }
  return Report(ctx, "program check", o, ParseProgram(decls, insts, As400(ctx), fields), Json::object());
}

int ProgramShow(Context& ctx, const ProgramOptions& o) {
  const std::string fic = TableId(o.table, "program show");
  Connected c(ctx, "program show", kNeedEnv | kNeedModel);
  if (!c.Open()) return 1;
  std::shared_ptr<platform::ListViewObject> lv;
  OperationError e;
  const std::string what = "cannot read the program of the table " + Utf8(fic);
  if (!ReadFields(c, fic, lv, e)) return c.Fail(what, e);
  std::vector<Variant> args{Variant(c.model()), Variant(fic),         Variant(Place(ctx, o.place)),
                            Variant(std::string()), Variant(std::string()), Variant(lv)};
  const DispResult r = c.s().CallControl("ReadPgmTrs", args);
  if (!r.ok()) return c.Fail(what, DispatchFailure("QVSource", "ReadPgmTrs", r));
  if (!r.value.ToBool()) return c.Fail(what, c.s().TakeError());
  const std::string decls = args[3].ToString(), insts = args[4].ToString();
  return c.Success(Json{{"table", Utf8(fic)}, {"declarations", Shown(decls)}, {"instructions", Shown(insts)}},
                   "Declarations:\n" + Shown(decls) + "\n\nInstructions:\n" + Shown(insts) + "\n");
}

int ProgramStore(Context& ctx, const ProgramOptions& o) {
  const std::string fic = TableId(o.table, "program store");
  const std::string decls = ReadText(o.declarations, "--declarations");
  const std::string insts = ReadText(o.instructions, "--instructions");
  Connected c(ctx, "program store", kNeedEnv | kNeedModel);
  if (!c.Open()) return 1;
  std::shared_ptr<platform::ListViewObject> lv;
  OperationError e;
  const std::string what = "cannot store the program of the table " + Utf8(fic);
  if (!ReadFields(c, fic, lv, e)) return c.Fail(what, e);
  ProgramFields fields;
  fields.table = FieldsOf(lv->model());
  const bool as400 = As400(ctx);
  const ParsedProgram parsed = ParseProgram(decls, insts, as400, fields);
  if (parsed.HasErrors()) return Report(ctx, "program store", o, parsed, Json{{"table", Utf8(fic)}});
  std::vector<Variant> args{Variant(c.model()), Variant(fic), Variant(Place(ctx, o.place)),
                            Variant(parsed.declarations), Variant(parsed.instructions)};
  const char* member = as400 ? "WritePgmTrsAS" : "WritePgmTrsNT";
  if (as400) {
    args.emplace_back(std::string());
    args.emplace_back(static_cast<std::int32_t>(o.count));
  } else {
    args.emplace_back(lv);
  }
  const DispResult r = c.s().CallControl(member, args);
  if (!r.ok()) return c.Fail(what, DispatchFailure("QVSource", member, r));
  if (!r.value.ToBool()) return c.Fail(what, c.s().TakeError());
  std::string text;
  for (const ProgramDiagnostic& d : parsed.diagnostics)
    text += (d.section == ProgramSection::Declarations ? o.declarations : o.instructions) + ":" +
            std::to_string(d.line) + ":" + std::to_string(d.column) + ": warning: " + Utf8(d.text) + "\n";
  const std::size_t lines = parsed.declarations.size() / kDeclRecordWidth + parsed.instructions.size() / kInstRecordWidth;
  return c.Success(Json{{"table", Utf8(fic)}, {"lines", lines}},
                   text + "Stored the program of the table " + Utf8(fic) + " (" + std::to_string(lines) + " lines).\n");
}

int EndScriptShow(Context& ctx, const EndScriptOptions& o) {
  Connected c(ctx, "endscript show", kNeedDistribution);
  if (!c.Open()) return 1;
  std::vector<Variant> args{Variant(c.env()), Variant(c.target()), Variant(c.model()), Variant(o.place.substr(0, 1)),
                            Variant(std::string())};
  const std::string what = "cannot read the end script of " + Utf8(c.Distribution());
  const DispResult r = c.s().CallControl("Read_QVEND", args);
  if (!r.ok()) return c.Fail(what, DispatchFailure("QVSource", "Read_QVEND", r));
  if (!r.value.ToBool()) return c.Fail(what, c.s().TakeError());
  const std::string rtf = args[4].ToString();
  return c.Success(Json{{"place", Utf8(o.place.substr(0, 1))}, {"richText", Utf8(rtf)}}, Utf8(rtf) + "\n");
}

int EndScriptStore(Context& ctx, const EndScriptOptions& o) {
  if (o.file.empty()) throw UsageError("endscript store needs --file");
  const std::string script = ReadText(o.file, "--file");
  Connected c(ctx, "endscript store", kNeedDistribution);
  if (!c.Open()) return 1;
  std::vector<Variant> args{Variant(c.env()), Variant(c.target()), Variant(c.model()), Variant(o.place.substr(0, 1)),
                            Variant(script)};
  const std::string what = "cannot store the end script of " + Utf8(c.Distribution());
  const DispResult r = c.s().CallControl("Write_ENQV", args);
  if (!r.ok()) return c.Fail(what, DispatchFailure("QVSource", "Write_ENQV", r));
  if (!r.value.ToBool()) return c.Fail(what, c.s().TakeError());
  return c.Success(Json{{"place", Utf8(o.place.substr(0, 1))}},
                   "Stored the end script of " + Utf8(c.Distribution()) + ".\n");
}

}  // namespace qv::cli
