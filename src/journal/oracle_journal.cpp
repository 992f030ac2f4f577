// Oracle journalisation: the JOURNAL row of a schema and the row triggers
// that write the journal entries of its tables.
#include <string>
#include <vector>

#include "connection/qvsource.h"
#include "journal/journal_text.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"

namespace qv {
namespace {

constexpr std::size_t kPathBuffer = 512;

// Reads a number of the field list ("00095"); 0 when it is none.
int32_t ListNumber(const std::string& text) {
  const std::string t = Trim(text);
  if (t.empty() || t.size() > 9 || t.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stoi(t);
}

}  // namespace

int QVSource::OracleJournalPathOf(const std::string& schema, std::string& path) {
  const int r = QueryRow(OracleJournalPathQuery(schema), kPathBuffer, path);
  path = Trim(path);
  return r;
}

bool QVSource::ORACLE_CRTJRN(const std::string& schema, std::string& directory) {
  return Guard("ORACLE_CRTJRN", [&] {
    if (!JournalDirectoryGiven(directory) || !JournalName(schema)) return false;
    const std::string path = OracleJournalPath(directory, schema);
    if (!RunStatement(OracleGrant(schema))) return false;
    if (!RunStatement(OracleCreateJournalFile(path)) && !RunStatement(OracleCreateJournalFileCall(path)))
      return false;
    return RunStatement(OracleJournalInsert(schema, path));
  });
}

bool QVSource::ORACLE_DBIsJournalised(const std::string& schema) {
  return Guard("ORACLE_DBIsJournalised", [&] {
    std::string path;
    return JournalName(schema) && OracleJournalPathOf(schema, path) == 1;
  });
}

std::string QVSource::ORACLE_GetJrnFullPathName(const std::string& schema) {
  return Guard("ORACLE_GetJrnFullPathName", [&] {
    std::string path;
    if (!JournalName(schema) || OracleJournalPathOf(schema, path) != 1) return std::string();
    return path;
  });
}

bool QVSource::ORACLE_RMVJRN(const std::string& schema) {
  return Guard("ORACLE_RMVJRN", [&] { return JournalName(schema) && RunStatement(OracleJournalDelete(schema)); });
}

bool QVSource::ORACLE_DropTblTriggered(const std::string& schema, const std::string& table) {
  return Guard("ORACLE_DropTblTriggered", [&] {
    return JournalName(schema) && JournalName(table) && RunStatement(OracleDropTrigger(schema, table));
  });
}

bool QVSource::isOracleJrn(const std::string& schema, const std::string& table) {
  return Guard("isOracleJrn", [&] {
    if (!JournalName(schema) || !JournalName(table)) return false;
    std::string row;
    return QueryRow(OracleTriggerExists(schema, table), kPathBuffer, row) == 1;
  });
}

bool QVSource::ORACLE_STRJRNPF(platform::ListView& fields, const std::string& schema, const std::string& table) {
  return Guard("ORACLE_STRJRNPF", [&] {
    if (!JournalName(schema) || !JournalName(table)) return false;
    std::string path;
    const int found = OracleJournalPathOf(schema, path);
    if (found < 0) return false;
    if (found == 0 || path.empty()) {
      Refuse(cLoadResString("2505", schema));
      return false;
    }
    std::vector<TriggerField> list;
    for (int i = 1; i <= fields.Count(); ++i) {
      const platform::ListItem& item = fields.Item(i);
      if (!JournalName(item.text)) return false;
      list.push_back({item.text, Trim(item.SubItem(3)), ListNumber(item.SubItem(4)), ListNumber(item.SubItem(5)),
                      UCase(Trim(item.SubItem(8)))});
    }
    if (list.empty()) {
      Refuse(cLoadResString("2504", schema + "." + table));
      return false;
    }
    return RunStatement(OracleTrigger(list, schema, table, path)) &&
           RunStatement(OracleAlterTrigger(schema, table, "COMPILE")) &&
           RunStatement(OracleAlterTrigger(schema, table, "ENABLE"));
  });
}

bool QVSource::ORACLE_CaptureTable(const std::string& schema, const std::string& table) {
  platform::ListView fields;
  if (!JournalName(schema) || !JournalName(table)) {
    Step("ORACLE_CaptureTable");
    return false;
  }
  if (!FillFieldFromFileNT(fields, "I.", schema, table, true, true)) return false;
  return ORACLE_STRJRNPF(fields, schema, table);
}

}  // namespace qv
