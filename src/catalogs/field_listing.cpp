// Reads the format, access-path and field answers of AS/400 sources and
// converts field entries into field descriptions.
#include "catalogs/field_listing.h"

#include <algorithm>
#include <cctype>

#include "catalogs/field_types.h"
#include "connection/remote_commands.h"
#include "platform/controls.h"
#include "presentation/strutil.h"

namespace qv {
namespace {

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

// Reads an all-digit number of an answer (blanks allowed), or throws.
long long AnswerNumber(std::string_view text, std::string_view what) {
  try {
    return FieldNumberValue(text, what);
  } catch (const std::invalid_argument& e) {
    throw ListingError(e.what());
  }
}

// The fields of one entry of the field listing.
struct SourceField {
  std::string name;
  char letter = ' ';
  long long position = 0, bytes = 0, digits = 0, decimals = 0;
  std::string text;
  bool varying = false;
};

SourceField ReadFieldEntry(std::string_view e) {
  SourceField f;
  f.name = Trim(e.substr(0, 10));
  const std::string what = "field " + f.name;
  f.letter = e[10];
  f.position = AnswerNumber(e.substr(11, 10), what + " position");
  f.bytes = AnswerNumber(e.substr(21, 10), what + " length");
  f.digits = AnswerNumber(e.substr(31, 10), what + " digits");
  f.decimals = AnswerNumber(e.substr(41, 10), what + " decimals");
  f.text = std::string(e.substr(51, 30));
  f.varying = e[102] != '0';
  return f;
}

// Length of a packed or zoned number in the external record: a sign, the
// digits and, with decimals, the decimal point.
long long NumberLength(const SourceField& f) { return f.digits + 1 + (f.decimals > 0 ? 1 : 0); }

}  // namespace

std::vector<std::string_view> ListingEntries(std::string_view reply, std::size_t width,
                                             std::string_view command) {
  const std::string name(command);
  if (reply.size() < 5) throw ListingError(name + " answer shorter than its 5-digit count");
  const std::string_view head = reply.substr(0, 5);
  if (!std::all_of(head.begin(), head.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
    throw ListingError(name + " answer count \"" + std::string(head) + "\" is not a number");
  const std::size_t count = std::stoul(std::string(head));
  if (count % width != 0)
    throw ListingError(name + " answer counts " + std::to_string(count) +
                       " bytes of entries, not a multiple of " + std::to_string(width));
  if (count > reply.size() - 5)
    throw ListingError(name + " answer counts " + std::to_string(count) + " bytes of entries but holds " +
                       std::to_string(reply.size() - 5));
  std::vector<std::string_view> entries;
  entries.reserve(count / width);
  for (std::size_t at = 5; at < 5 + count; at += width) entries.push_back(reply.substr(at, width));
  return entries;
}

RecordFormat ReadRecordFormat(std::string_view entry) {
  RecordFormat f;
  f.name = std::string(entry.substr(0, 10));
  f.second = std::string(entry.substr(10, 10));
  f.length = AnswerNumber(entry.substr(20, 10), "record length of format " + Trim(f.name));
  return f;
}

AccessPath ReadAccessPath(std::string_view reply) {
  AccessPath path;
  if (reply.size() < 30) throw ListingError("SYSRTVACPT answer shorter than its 30-character header");
  if (IsBlank(reply.substr(5, 25))) return path;
  path.found = true;
  if (reply.substr(25, 2) == "AR") return path;
  path.keyed = true;
  const long long n = AnswerNumber(reply.substr(27, 3), "SYSRTVACPT key count");
  const std::size_t read = std::min<std::size_t>(static_cast<std::size_t>(n), kMaxKeyFields);
  if (reply.size() < 30 + 10 * read)
    throw ListingError("SYSRTVACPT answer announces " + std::to_string(n) + " key fields but holds " +
                       std::to_string((reply.size() - 30) / 10));
  for (std::size_t k = 0; k < read; ++k) path.keys.push_back(UCase(Trim(reply.substr(30 + 10 * k, 10))));
  return path;
}

std::vector<Record> ConvertFields(const std::vector<std::string_view>& entries,
                                  const AccessPath& path, FieldUse use) {
  const bool store = use == FieldUse::Store;
  std::vector<Record> out;
  out.reserve(entries.size());
  long long posExt = 1;
  for (std::string_view e : entries) {
    if (e.size() < kFieldEntryWidth)
      throw ListingError("SYSLSTFLD_ entry of " + std::to_string(e.size()) + " characters");
    const SourceField f = ReadFieldEntry(e);
    Record zx(layout::QV_ZX);
    zx.Set("FIELDINPUT", f.name);
    zx.Set("DESCRIP", f.text);
    zx.Set("MASKDATE", " ");
    zx.Set("POS_IN", FieldNumber(f.position));
    zx.Set("LEN_IN", FieldNumber(f.bytes));
    std::string type;
    long long lenExt = 0;
    auto set = [&](const char* code, long long len, const std::string& deci, long long ext,
                   const char* mask = " ") {
      type = code;
      zx.Set("LEN", FieldNumber(len));
      zx.Set("DECI", deci);
      zx.Set("MASKDATE", mask);
      lenExt = ext;
    };
    const std::string deci = FieldNumber(f.decimals);
    switch (f.letter) {
      case 'J': case 'E': case 'O':
        if (!store) break;
        [[fallthrough]];
      case 'A': set(f.varying ? "V" : "C", f.bytes, deci, f.bytes); break;
      case 'B':
        if (store) set("B", f.digits, deci, NumberLength(f));
        else set("B", f.bytes, "", f.digits + 1);
        break;
      case 'P': set("P", f.digits, deci, NumberLength(f)); break;
      case 'S': set("Z", f.digits, deci, NumberLength(f)); break;
      case 'F':
        if (store) set("F", f.digits, deci, 14);
        else set("F", f.bytes, "00000", 31);
        break;
      case 'L': set("L", f.bytes, deci, f.bytes, "d"); break;
      case 'T': set("T", f.bytes, deci, f.bytes, "e"); break;
      case 'Z': set("S", f.bytes, deci, f.bytes, "f"); break;
      default: break;
    }
    if (type.empty() && store)
      throw ListingError("field " + f.name + " has the type letter \"" + std::string(1, f.letter) +
                         "\", which has no field type");
    zx.Set("FIELDTYPE", type);
    zx.Set("POS_EXT", FieldNumber(posExt));
    zx.Set("LEN_EXT", FieldNumber(lenExt));
    posExt += lenExt;
    std::size_t rank = 0;
    const std::string key = UCase(f.name);
    for (std::size_t k = 0; k < path.keys.size() && rank == 0; ++k)
      if (path.keys[k] == key) rank = k + 1;
    zx.Set("KEYORDER", FieldNumber(static_cast<long long>(rank)));
    const bool keyField = rank != 0;
    zx.Set("ALLOWNULL", !keyField ? "1" : (store && (type == "V" || type == "C")) ? "2" : "0");
    out.push_back(std::move(zx));
  }
  return out;
}

RecordLengths ExternalLengths(const std::vector<Record>& fields) {
  RecordLengths r;
  r.fields = static_cast<long long>(fields.size());
  // The sum of the external lengths: POS_EXT, kept in 5 digits, would wrap.
  for (const Record& f : fields) r.external += FieldNumberValue(f.Get("LEN_EXT"), "LEN_EXT");
  return r;
}

void ShowField(platform::ListItem& item, const Record& zx) {
  item.text = Trim(zx.Get("FIELDINPUT"));
  const std::string mask = Trim(zx.Get("MASKDATE")).empty() ? "" : MaskDate(zx.Get("MASKDATE"));
  const std::string values[] = {
      std::string(zx.Get("DESCRIP")),
      TypeDisplayText(zx.Get("FIELDTYPE"), zx.Get("LEN"), zx.Get("DECI")),
      mask,
      std::string(zx.Get("POS_IN")),
      std::string(zx.Get("LEN_IN")),
      AllowNullText(zx.Get("ALLOWNULL")),
      std::string(zx.Get("KEYORDER")),
      Trim(zx.Get("FIELDTYPE")),
      std::string(zx.Get("LEN")),
      std::string(zx.Get("DECI")),
      std::string(zx.Get("LEN_EXT")),
      "",
      std::string(zx.Get("POS_EXT")),
  };
  for (int i = 0; i < 13; ++i) item.SetSubItem(i + 1, values[i]);
}

Record FieldFromItem(const platform::ListItem& item, std::string_view env, std::string_view grp,
                     std::string_view fic) {
  const std::string name = Trim(item.text);
  auto fail = [&](const std::string& what) {
    throw std::invalid_argument("field " + name + ": " + what);
  };
  if (name.empty()) fail("no field name");
  Record zx(layout::QV_ZX);
  zx.Set("ENVID", env);
  zx.Set("GRPID", grp);
  zx.Set("FICID", fic);
  zx.Set("FIELDINPUT", name);
  zx.Set("DESCRIP", item.SubItem(1));
  zx.Set("FIELDTYPE", item.SubItem(8));
  const std::string mask = NumMask(item.SubItem(3));
  if (mask == "?") fail("the date mask \"" + item.SubItem(3) + "\" has no code");
  zx.Set("MASKDATE", mask);
  const std::string allowNull = AllowNullCode(item.SubItem(6));
  if (allowNull.empty()) fail("the allow-null text \"" + item.SubItem(6) + "\" has no code");
  zx.Set("ALLOWNULL", allowNull);
  const std::pair<const char*, int> numbers[] = {{"POS_IN", 4},  {"LEN_IN", 5}, {"KEYORDER", 7},
                                                 {"LEN", 9},     {"DECI", 10},  {"LEN_EXT", 11},
                                                 {"POS_EXT", 13}};
  for (const auto& [column, sub] : numbers) {
    try {
      zx.Set(column, FieldNumber(FieldNumberValue(item.SubItem(sub), column)));
    } catch (const std::invalid_argument& e) {
      fail(e.what());
    }
  }
  return zx;
}

std::vector<std::string> FieldWriteRequests(std::string_view env, std::string_view grp,
                                            std::string_view fic,
                                            const std::vector<Record>& written,
                                            const std::vector<std::string>& deleted) {
  std::vector<std::string> out;
  if (written.empty() && deleted.empty()) return out;
  out.push_back("04096" "0" + FitText(env, 2) + FitText(grp, 3) + FitText(fic, 10));
  for (std::size_t at = 0; at < written.size(); at += kFieldRecordsPerRequest) {
    const std::size_t n = std::min(kFieldRecordsPerRequest, written.size() - at);
    std::string request = "04096" "1" + Digits(static_cast<long long>(n), 2);
    for (std::size_t i = at; i < at + n; ++i) request += FitText(written[i].image(), layout::QV_ZX.length);
    out.push_back(std::move(request));
  }
  for (std::size_t at = 0; at < deleted.size(); at += kFieldKeysPerRequest) {
    const std::size_t n = std::min(kFieldKeysPerRequest, deleted.size() - at);
    std::string request = "04096" "2" + Digits(static_cast<long long>(n), 3);
    for (std::size_t i = at; i < at + n; ++i) request += FitText(deleted[i], 30);
    out.push_back(std::move(request));
  }
  return out;
}

}  // namespace qv
