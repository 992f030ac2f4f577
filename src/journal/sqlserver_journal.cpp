// SQL Server journalisation: the publication, log-reader job and JOURNAL row
// of a database, and the capture of its tables (view, article, subscription,
// QV_MX lengths of long text columns).
#include <algorithm>
#include <optional>
#include <utility>

#include "catalogs/fields_nt_text.h"
#include "connection/qvsource.h"
#include "journal/journal_text.h"
#include "platform/prompt.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"

namespace qv {
namespace {

constexpr std::size_t kVersionBuffer = 8192;
constexpr std::size_t kProductPathBuffer = 1024;
constexpr std::size_t kPathBuffer = 512;
constexpr std::size_t kPublicationBuffer = 100;
constexpr std::size_t kArticleBuffer = 128;

}  // namespace

bool QVSource::JournalName(const std::string& name) {
  if (JournalNameProblem(name).empty()) return true;
  Refuse(cLoadResString("2502", name));
  return false;
}

bool QVSource::JournalDirectoryGiven(std::string& directory) {
  directory = JournalDirectory(directory);
  if (!directory.empty()) return true;
  Refuse(cLoadResString("2501"));
  return false;
}

int QVSource::QueryRow(const std::string& sql, std::size_t width, std::string& row) {
  std::string buf(width, ' ');
  int32_t len = 0;
  const int r = ReadFirstRow(sql, buf, len);
  row.clear();
  if (r == 1)
    row = std::string(dllparam::CutAtNul(std::string_view(buf).substr(0, static_cast<std::size_t>(std::max(len, 0)))));
  return r;
}

void QVSource::SendUnchecked(const std::string& sql) {
  const int32_t num = errorNum_;
  std::string text = errorText_;
  lastStatement_ = sql;
  Src().Saction(sql);
  errorNum_ = num;
  errorText_ = std::move(text);
}

std::string QVSource::SqlVersion() {
  const int32_t num = errorNum_;
  std::string text = errorText_;
  std::string row;
  const int r = QueryRow(kSqlVersionProbe, kVersionBuffer, row);
  errorNum_ = num;
  errorText_ = std::move(text);
  return r == 1 ? SqlServerVersionOfRow(row) : "0";
}

std::string QVSource::szSQLServerVersion() {
  return Guard("szSQLServerVersion", [&] { return SqlVersion(); });
}

bool QVSource::SQL_dbIsJournalised(const std::string& db) {
  return Guard("SQL_dbIsJournalised", [&] {
    const std::string d = Trim(db);
    if (!JournalName(d)) return false;
    std::string row;
    return QueryRow(SqlIsPublished(d), kPublicationBuffer, row) == 1;
  });
}

std::string QVSource::SQL_GetJrnFullPathName(const std::string& db) {
  return Guard("SQL_GetJrnFullPathName", [&] {
    std::string row;
    if (!JournalName(db) || QueryRow(SqlJournalPathQuery(db), kPathBuffer, row) != 1) return std::string();
    return Trim(row);
  });
}

bool QVSource::ReadJrnTable(const std::string& db, std::string& path) {
  path.clear();
  return Guard("ReadJrnTable", [&] {
    const std::string d = Trim(db);
    if (!JournalName(d)) return false;
    std::string row;
    if (QueryRow(SqlJournalRowQuery(d), kJournalDbWidth + kJournalFileWidth, row) != 1) return false;
    path = row.size() > kJournalDbWidth ? Trim(std::string_view(row).substr(kJournalDbWidth, kJournalFileWidth)) : "";
    return true;
  });
}

bool QVSource::SQL_CRTJRN(const std::string& db, std::string& directory) {
  return Guard("SQL_CRTJRN", [&] {
    if (!JournalDirectoryGiven(directory) || !JournalName(db)) return false;

    std::string collected;
    auto collect = [&] { collected += (collected.empty() ? "" : "\r\n") + errorText_; };
    std::string row;
    const int found = QueryRow(kSqlProductPathQuery, kProductPathBuffer, row);
    if (found == 0) {
      Refuse(kSqlNoProductPath);
      return false;
    }
    if (found < 0) collect();
    const std::string product = SqlProductDirectoryOfRow(row);

    SendUnchecked(SqlPublishedOption(db, true));
    const std::string command = SqlLogReaderCommand(product, serverName_, db, sourceUID_, sourcePWD_);
    bool failed = found < 0;
    auto run = [&](const std::string& sql) {
      if (RunStatement(sql)) return;
      collect();
      failed = true;
    };
    for (const std::string& sql : SqlLogReaderJob(db, command, serverName_)) run(sql);
    const std::string version = SqlVersion();
    run(SqlAddPublication(db, version));
    if (version == "0") run(SqlDeleteServerLogReader(db));
    run(SqlStartLogReader(db));

    if (!RunStatement(SqlCreateJournalFile(directory, db))) return false;
    if (!RunStatement(SqlJournalInsert(db, directory))) return false;
    if (failed) {
      errorText_ = collected;
      return false;
    }
    return true;
  });
}

bool QVSource::SQL_RMVJRN(const std::string& db) {
  return Guard("SQL_RMVJRN", [&] {
    if (!JournalName(db)) return false;
    SendUnchecked(SqlDropPublication(db));
    if (SqlVersion() == "0") RunStatement(SqlDeleteLogReaderJob(db));
    SendUnchecked(SqlPublishedOption(db, false));
    SendUnchecked(SqlUnpublishDatabase(db));
    return RunStatement(SqlJournalDelete(db));
  });
}

int32_t QVSource::AskCaptureLength(const std::string& column, int32_t used) {
  const std::string prompt = cLoadResString("1438", column, std::to_string(used));
  const std::string title = cLoadResString("1439");
  for (;;) {
    std::optional<std::string> answer = platform::Prompt(prompt, title, std::to_string(used));
    if (!answer || Trim(*answer).empty()) return 0;
    if (const int32_t length = CaptureLengthOfAnswer(*answer); length > 0) return length;
  }
}

bool QVSource::SQL_STRJRNPF(const std::string& db, const std::string& table) {
  return Guard("SQL_STRJRNPF", [&] {
    if (!JournalName(db) || !JournalName(table)) return false;
    if (Src().SetConnectOption(DllParam::kOptionBeginChange) == 0) {
      QVParamError();
      return false;
    }
    bool articleAdded = false;
    // Undoes what the capture added, keeping the error that stopped it.
    auto fail = [&] {
      if (articleAdded) {
        SendUnchecked(SqlDropSubscription(table));
        SendUnchecked(SqlDropArticle(table));
      }
      SendUnchecked(SqlDropView(table));
      SendUnchecked(kSqlUseStore);
      Src().SetConnectOption(DllParam::kOptionEndChange);
      return false;
    };
    try {
      const std::string version = SqlVersion();
      SendUnchecked(SqlUse(db));
      SendUnchecked(SqlDropView(table));

      std::vector<CaptureColumn> columns;
      const std::string qualified = NtQualifiedTable(sourceType_, db, table);
      for (int32_t first = DllParam::kFirstCall;; first = DllParam::kNextCall) {
        std::string list(DllParam::kListBuffer, ' ');
        int32_t len = 0;
        if (Src().FillColumnsListSource(DllParam::kColumnsOfTable, qualified, list, len, first) == 0) {
          QVParamError();
          return fail();
        }
        if (len <= 0) break;
        NtColumnLines page = ReadNtColumnList(std::string_view(list).substr(0, static_cast<std::size_t>(len)));
        for (const NtColumn& c : page.columns) columns.push_back({c.name, IsCaptureLongText(c.typeName), 0});
        if (!page.error.empty()) {
          Refuse(page.error + " (" + qualified + ")");
          return fail();
        }
      }
      if (columns.empty()) {
        Refuse(cLoadResString("2504", qualified));
        return fail();
      }
      for (CaptureColumn& c : columns) {
        if (!c.longText) continue;
        int32_t used = 0;
        const int32_t num = errorNum_;
        const std::string text = errorText_;
        if (!ReadLength(TextMaxLenUsedSql(db + ".." + table, c.name), 20, used)) used = 0;
        errorNum_ = num;
        errorText_ = text;
        c.length = AskCaptureLength(c.name, used);
        if (c.length == 0) {
          Refuse(cLoadResString("2503", c.name, table));
          return fail();
        }
        if (!RunStatement(SqlMaxLenInsert(db, table, c.name, c.length)) &&
            !RunStatement(SqlMaxLenUpdate(db, table, c.name, c.length)))
          return fail();
      }
      if (!RunStatement(SqlCreateView(table, columns))) return fail();
      if (!RunStatement(SqlAddArticle(db, table, version))) return fail();
      articleAdded = true;
      for (const std::string& sql : SqlSubscribe(db, serverName_, version))
        if (!RunStatement(sql)) return fail();
    } catch (...) {
      fail();
      throw;
    }
    SendUnchecked(kSqlUseStore);
    if (Src().SetConnectOption(DllParam::kOptionEndChange) == 0) {
      QVParamError();
      return false;
    }
    return true;
  });
}

bool QVSource::SQL_ENDJRNPF(const std::string& db, const std::string& table) {
  return Guard("SQL_ENDJRNPF", [&] {
    if (!JournalName(db) || !JournalName(table)) return false;
    SendUnchecked(SqlUse(db));
    SendUnchecked(SqlDropView(table));
    const bool ok = RunStatement(SqlDropSubscription(table)) && RunStatement(SqlDropArticle(table));
    SendUnchecked(kSqlUseStore);
    return ok;
  });
}

bool QVSource::IsSqlJrn(const std::string& db, const std::string& table) {
  return Guard("IsSqlJrn", [&] {
    const std::string d = Trim(db), t = Trim(table);
    if (!JournalName(d) || !JournalName(t)) return false;
    std::string row;
    return QueryRow(SqlIsArticle(d, t), kArticleBuffer, row) == 1;
  });
}

bool QVSource::IsFileJournalised(const std::string& db, const std::string& table) {
  if (sourceType_ == "SQL Server") return IsSqlJrn(db, table);
  if (sourceType_ == "Oracle") {
    const std::size_t dot = table.find('.');
    return isOracleJrn(db, dot == std::string::npos ? table : table.substr(dot + 1));
  }
  return false;
}

bool QVSource::ENDJRNPF(const std::string& db, const std::string& table) {
  if (sourceType_ == "SQL Server") return SQL_ENDJRNPF(db, table);
  if (sourceType_ == "Oracle") return ORACLE_DropTblTriggered(db, table);
  return false;
}

}  // namespace qv
