// Field import from NT sources: the columns of a table in a list view, the
// field lists of the transformation editor, and the long text lengths.
#include <cstdint>
#include <stdexcept>

#include "catalogs/field_types.h"
#include "catalogs/fields_nt_text.h"
#include "connection/qvsource.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace qv {

struct QVSource::NtColumnFields {
  NtColumn column;
  NtField field;
};

namespace {

// Shows the type of a field: its display text, or the code and the length
// for a code without a display word.
std::string ShownType(const NtField& f) {
  const std::string text = TypeDisplayText(f.code, f.length, f.decimals);
  return text.empty() ? f.code + " " + std::to_string(FieldNumberValue(f.length, "length")) : text;
}

// Shows an allow-null code as its text, or as given when it is none of the codes.
std::string ShownAllowNull(const std::string& code) {
  const std::string text = AllowNullText(code);
  return text.empty() ? code : text;
}

// Sets the columns of a buffer field list (captions 1256 to 1269).
void SetFieldListColumns(platform::ListView& lf) {
  lf.Clear();
  lf.ClearColumns();
  for (int id = 1256; id <= 1269; ++id) lf.AddColumn(cLoadResString(std::to_string(id)));
}

}  // namespace

bool QVSource::ReadLength(const std::string& sql, std::size_t width, int32_t& length) {
  length = 0;
  std::string row(width, ' ');
  int32_t len = 0;
  const int found = ReadFirstRow(sql, row, len);
  if (found < 0) return false;
  if (found == 0) return true;
  std::optional<int32_t> value = NtLengthOfRow(row.substr(0, static_cast<std::size_t>(std::max(len, 0))));
  if (!value) {
    Refuse("length \"" + Trim(row) + "\" out of range: " + sql);
    return false;
  }
  length = *value;
  return true;
}

bool QVSource::TextMaxLenUsed(const std::string& qualifiedTable, const std::string& column, int32_t& length) {
  length = 0;
  return Guard("TextMaxLenUsed", [&] { return ReadLength(TextMaxLenUsedSql(qualifiedTable, column), 20, length); });
}

bool QVSource::TextMaxLenDefine(const std::string& database, const std::string& table, const std::string& column,
                                int32_t& length) {
  length = 0;
  return Guard("TextMaxLenDefine",
               [&] { return ReadLength(TextMaxLenDefineSql(database, table, column), 10, length); });
}

bool QVSource::ReadNtColumns(const std::string& database, const std::string& table, bool wholeTable,
                             std::vector<NtColumnFields>& out) {
  const bool sqlServer = sourceType_ == "SQL Server";
  const std::string qualified = NtQualifiedTable(sourceType_, database, table);
  int32_t first = DllParam::kFirstCall;
  for (;;) {
    std::string list(DllParam::kListBuffer, ' ');
    int32_t len = 0;
    const int32_t ok = wholeTable
                           ? Src().FillColumnsListSource(DllParam::kColumnsOfTable, qualified, list, len, first)
                           : Src().FillColumnsList(database, table, "%", list, len, first);
    if (ok == 0) {
      QVParamError();
      return false;
    }
    if (len <= 0) return true;
    NtColumnLines page = ReadNtColumnList(std::string_view(list).substr(0, static_cast<std::size_t>(len)));
    for (NtColumn& c : page.columns) {
      NtLongTextLength longText = 0;
      if (sqlServer && IsNtLongText(c.typeName)) {
        // A failed lookup marks the field; the import goes on without its error.
        const int32_t num = errorNum_;
        const std::string text = errorText_;
        int32_t maxLen = 0;
        if (ReadLength(TextMaxLenDefineSql(database, table, c.name), 10, maxLen)) {
          longText = maxLen;
        } else {
          longText = std::nullopt;
          errorNum_ = num;
          errorText_ = text;
        }
      }
      NtField f = DescribeNtColumn(c, sqlServer, longText);
      if (!f.error.empty()) {
        Refuse(f.error + " (" + qualified + ")");
        return false;
      }
      out.push_back({std::move(c), std::move(f)});
    }
    if (!page.error.empty()) {
      Refuse(page.error + " (" + qualified + ")");
      return false;
    }
    first = DllParam::kNextCall;
  }
}

bool QVSource::ReadNtKeys(const std::string& qualified, std::vector<std::string>& keyNames) {
  std::string keys(DllParam::kBlockBuffer, ' ');
  int32_t keysLen = 0;
  if (Src().GetPrimaryKey(qualified, keys, keysLen) == 0) {
    QVParamError();
    return false;
  }
  keyNames = ReadNtNameList(std::string_view(keys).substr(0, static_cast<std::size_t>(std::max(keysLen, 0))));
  return true;
}

namespace {

// Returns the 1-based rank of name among the key columns, 0 when it is none.
int KeyRank(const std::vector<std::string>& keyNames, const std::string& name) {
  for (std::size_t k = 0; k < keyNames.size(); ++k)
    if (UCase(keyNames[k]) == UCase(name)) return static_cast<int>(k) + 1;
  return 0;
}

}  // namespace

bool QVSource::ReadNtFields(const std::string& database, const std::string& table, std::vector<Record>& fields,
                            int32_t& recordLength) {
  recordLength = 0;
  std::vector<std::string> keyNames;
  if (!ReadNtKeys(NtQualifiedTable(sourceType_, database, table), keyNames)) return false;
  std::vector<NtColumnFields> columns;
  if (!ReadNtColumns(database, table, true, columns)) return false;
  int64_t start = 1, startExt = 1;
  for (const NtColumnFields& c : columns) {
    const NtField& f = c.field;
    const int rank = KeyRank(keyNames, c.column.name);
    Record zx(layout::QV_ZX);
    zx.Set("FIELDINPUT", c.column.name);
    zx.Set("DESCRIP", f.description.empty() ? c.column.description : f.description);
    zx.Set("FIELDTYPE", f.code);
    zx.Set("MASKDATE", f.mask);
    zx.Set("LEN", f.length);
    zx.Set("DECI", f.decimals);
    zx.Set("POS_IN", FieldNumber(start));
    zx.Set("LEN_IN", f.lenIn);
    zx.Set("POS_EXT", FieldNumber(startExt));
    zx.Set("LEN_EXT", f.lenExt);
    zx.Set("ALLOWNULL", rank > 0 ? "0" : "1");
    zx.Set("KEYORDER", FieldNumber(rank));
    fields.push_back(std::move(zx));
    start += std::stoll(f.lenIn);
    startExt += std::stoll(f.lenExt);
  }
  if (start - 1 > INT32_MAX) throw std::length_error("record of " + table + " too long");
  recordLength = static_cast<int32_t>(start - 1);
  return true;
}

bool QVSource::FillColumnsList(platform::ListView& lv, const std::string& database, const std::string& table) {
  if (!ConnectionOpen()) return false;
  return Guard("FillColumnsList", [&] {
    lv.Clear();
    lv.ClearColumns();
    lv.AddColumn(cLoadResString("2001"));
    lv.AddColumn(cLoadResString("2002"));
    lv.AddColumn(cLoadResString("2013"));
    lv.AddColumn("ALLOWNULL");
    lv.AddColumn(cLoadResString("2003"));
    std::vector<NtColumnFields> columns;
    const bool ok = ReadNtColumns(database, table, false, columns);
    for (const NtColumnFields& c : columns) {
      if (lv.Find("ZONE_" + c.column.name) != nullptr) continue;
      platform::ListItem& item = lv.Add("ZONE_" + c.column.name, c.column.name);
      item.SetSubItem(1, c.field.shownType);
      item.SetSubItem(2, c.field.description.empty() ? c.column.description : c.field.description);
      item.SetSubItem(3, ShownAllowNull(c.column.allowNull));
      item.SetSubItem(4, c.column.position);
    }
    return ok;
  });
}

bool QVSource::FillFieldFromFileNT(platform::ListView& lf, const std::string& buffer, const std::string& database,
                                   const std::string& table, bool plainTypes, bool prepareList) {
  const bool systemBuffer = UCase(Trim(buffer)) == "S.";
  if (!systemBuffer && !ConnectionOpen()) return false;
  return Guard("FillFieldFromFileNT", [&] {
    if (prepareList) SetFieldListColumns(lf);
    if (systemBuffer) {
      for (const NtSystemField& s : NtSystemFields()) {
        if (lf.Find(buffer + s.name) != nullptr) continue;
        lf.Add(buffer + s.name, s.name).SetSubItem(1, cLoadResString(std::to_string(s.stringId)));
      }
      return true;
    }
    std::vector<std::string> keyNames;
    if (!ReadNtKeys(NtQualifiedTable(sourceType_, database, table), keyNames)) return false;
    std::vector<NtColumnFields> columns;
    const bool ok = ReadNtColumns(database, table, true, columns);
    int64_t start = 1, startExt = 1;
    for (const NtColumnFields& c : columns) {
      const NtField& f = c.field;
      const int rank = KeyRank(keyNames, c.column.name);
      const std::string allowNull = rank > 0 ? "0" : "1";
      if (lf.Find(buffer + c.column.name) == nullptr) {
        platform::ListItem& item = lf.Add(buffer + c.column.name, c.column.name);
        const std::vector<std::string> sub{
            f.description.empty() ? c.column.description : f.description,
            ShownType(f),
            MaskDate(f.mask),
            FieldNumber(start),
            f.lenIn,
            ShownAllowNull(allowNull),
            FieldNumber(rank),
            f.Type(plainTypes),
            f.length,
            f.decimals,
            f.lenExt,
            "",
            FieldNumber(startExt)};
        for (std::size_t i = 0; i < sub.size(); ++i) item.SetSubItem(static_cast<int>(i) + 1, sub[i]);
      }
      start += std::stoll(f.lenIn);
      startExt += std::stoll(f.lenExt);
    }
    return ok;
  });
}

}  // namespace qv
