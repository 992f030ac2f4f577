// Records and display texts of the model and distribution operations.
#include "store/record_rules.h"

#include <algorithm>
#include <stdexcept>

#include "store/record_layouts.h"

namespace qv {
namespace {

std::string Trimmed(std::string_view v) {
  const auto b = v.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  return std::string(v.substr(b, v.find_last_not_of(' ') - b + 1));
}

bool Blank(std::string_view v) { return v.find_first_not_of(' ') == std::string_view::npos; }

void Require(const Record& rec, const Layout& layout, const char* what) {
  if (&rec.layout() != &layout)
    throw std::invalid_argument(std::string(what) + ": a record of '" + std::string(layout.name) +
                                "' is needed, not '" + std::string(rec.layout().name) + "'");
}

}  // namespace

// ---- Record strings and codes ---------------------------------------------------------

Record RecordFromString(const Layout& layout, std::string_view text) {
  if (text.size() > layout.length &&
      text.find_first_not_of(std::string_view(" \0", 2), layout.length) != std::string_view::npos)
    throw std::invalid_argument("record string of " + std::to_string(text.size()) +
                                " characters where " + std::string(layout.name) + " holds " +
                                std::to_string(layout.length));
  return Record(layout, text.substr(0, std::min<std::size_t>(text.size(), layout.length)));
}

bool CodeFits(std::string_view code, std::size_t width) {
  const auto last = code.find_last_not_of(' ');
  return last == std::string_view::npos || last < width;
}

ItemKey KeyFromCodes(std::span<const Field> keyFields,
                     std::initializer_list<std::string_view> codes) {
  if (codes.size() > keyFields.size())
    throw std::invalid_argument(std::to_string(codes.size()) + " codes for a key of " +
                                std::to_string(keyFields.size()) + " fields");
  ItemKey key;
  auto code = codes.begin();
  for (const Field& f : keyFields) {
    const std::string_view value = code != codes.end() ? *code++ : std::string_view();
    if (!CodeFits(value, f.width)) key.names = false;
    key.image += FitText(value, f.width);
  }
  return key;
}

ItemKey KeyFromCodes(const Layout& keyLayout, std::initializer_list<std::string_view> codes) {
  return KeyFromCodes(keyLayout.fields, codes);
}

std::string EnvCode(std::string_view code) { return FitText(code, layout::kEnvIdWidth); }
std::string TgtCode(std::string_view code) { return FitText(code, layout::kTgtIdWidth); }
std::string GrpCode(std::string_view code) { return FitText(code, layout::kGrpIdWidth); }
std::string FicCode(std::string_view code) { return FitText(code, layout::kFicIdWidth); }
std::string FieldCode(std::string_view code) { return FitText(code, layout::kFieldIdWidth); }

// ---- Table numbers -----------------------------------------------------------------------

int64_t TableNumber(std::string_view ficid) {
  std::size_t i = ficid.find_first_not_of(' ');
  if (i == std::string_view::npos) return 0;
  int64_t n = 0;
  for (; i < ficid.size() && ficid[i] >= '0' && ficid[i] <= '9'; ++i) {
    n = n * 10 + (ficid[i] - '0');
    if (n > kMaxTableNumber * 10) break;  // ten digits at most fit the field
  }
  return n;
}

std::string TableNumberText(int64_t number) {
  if (number < 0 || number > kMaxTableNumber)
    throw std::out_of_range("table number " + std::to_string(number) +
                            " does not fit the 10 digits of FICID");
  const std::string digits = std::to_string(number);
  return std::string(10 - digits.size(), '0') + digits;
}

// ---- Models -----------------------------------------------------------------------------

std::string MemberOption(bool as400, std::string_view allMbrDist) {
  if (!as400) return "";
  return allMbrDist == "1" ? "*ALL" : "*FIRST";
}

// ---- Distributed tables ---------------------------------------------------------------------

Record DefaultDistributedTable(const Record& fx, std::string_view env, std::string_view tgt,
                               std::string_view grp) {
  Require(fx, layout::QV_FX, "DefaultDistributedTable");
  static constexpr std::string_view kZeros = "0000000000";
  Record fc(layout::QV_FC);
  fc.Set("ENVID", env);
  fc.Set("TGTID", tgt);
  fc.Set("GRPID", grp);
  fc.Set("FICID", fx.Get("FICID"));
  fc.Set("NUMSEQ", fx.Get("NUMSEQ"));
  fc.Set("NEW", "1");
  fc.Set("OCCUR", "0");
  fc.Set("HOLD", "0");
  fc.Set("CLRSPEC", "0");
  for (const char* f : {"NUMFC", "REPRISEPNT", "X", "Y"}) fc.Set(f, kZeros);
  return fc;
}

void PrepareNewDistributedTable(Record& fc) {
  Require(fc, layout::QV_FC, "PrepareNewDistributedTable");
  fc.Set("OCCUR", " ");
  fc.Set("NEW", "1");
  fc.Set("X", "0000000000");
  fc.Set("Y", "0000000000");
}

Record JoinDistributedTable(const Record& fc, const Record& fx) {
  Require(fc, layout::QV_FC, "JoinDistributedTable");
  Require(fx, layout::QV_FX, "JoinDistributedTable");
  Record joined(layout::DistributedTableWithModelTable);
  const auto fields = joined.layout().fields;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const Field& f = fields[i];
    const Record& from = f.table == "QV_FX" ? fx : fc;
    joined.Set(i, from.Get(f.column));
  }
  return joined;
}

// ---- Display texts --------------------------------------------------------------------------

std::string SourceTableLabel(std::string_view srctbl, bool as400) {
  const Record name(layout::ObjectName, srctbl);
  const std::string lib = Trimmed(name.Get("LIBRARY"));
  const std::string file = Trimmed(name.Get("FILE"));
  const std::string member = Trimmed(name.Get("MEMBER"));
  std::string label = lib.empty() ? file : lib + (as400 ? "/" : ".") + file;
  if (as400 && !member.empty()) label += "(" + member + ")";
  return label;
}

ModelTableTexts ModelTableEventTexts(const Record& fx, bool as400) {
  Require(fx, layout::QV_FX, "ModelTableEventTexts");
  return {SourceTableLabel(fx.Get("SRCTBL"), as400), Trimmed(fx.Get("DESCRIP"))};
}

std::string EffectiveTargetLibrary(const Record& fcfx, const Record& gc) {
  Require(fcfx, layout::DistributedTableWithModelTable, "EffectiveTargetLibrary");
  Require(gc, layout::QV_GC, "EffectiveTargetLibrary");
  if (!Blank(fcfx.Get("TGTLIB"))) return Trimmed(fcfx.Get("TGTLIB"));
  if (!Blank(fcfx.Get("FX_TGTLIB"))) return Trimmed(fcfx.Get("FX_TGTLIB"));
  const std::string_view type = gc.Get("TGTBDTYPE");
  if (type == " " || type == "0" || type == "1" || type == "2") return Trimmed(gc.Get("TARGETDB"));
  return Trimmed(Record(layout::ObjectName, fcfx.Get("SRCTBL")).Get("LIBRARY"));
}

std::string EffectiveTargetFile(const Record& fcfx) {
  Require(fcfx, layout::DistributedTableWithModelTable, "EffectiveTargetFile");
  if (!Blank(fcfx.Get("TGTFILE"))) return Trimmed(fcfx.Get("TGTFILE"));
  if (!Blank(fcfx.Get("FX_TGTFILE"))) return Trimmed(fcfx.Get("FX_TGTFILE"));
  return Trimmed(Record(layout::ObjectName, fcfx.Get("SRCTBL")).Get("FILE"));
}

DistributedTableTexts DistributedTableEventTexts(const Record& fcfx, const Record& gc, bool as400) {
  DistributedTableTexts t;
  t.source = SourceTableLabel(fcfx.Get("SRCTBL"), as400);
  t.description = Trimmed(fcfx.Get("DESCRIP"));
  const std::string lib = EffectiveTargetLibrary(fcfx, gc);
  const std::string file = EffectiveTargetFile(fcfx);
  t.target = lib.empty() ? file : lib + (as400 ? "/" : ".") + file;
  return t;
}


}  // namespace qv
