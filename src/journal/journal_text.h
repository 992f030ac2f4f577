// Statements of the journalisation of NT sources: the SQL Server publication,
// agent jobs, capture views and articles of a database, and the Oracle journal
// entries and row triggers of a schema. Pure text builders; the control sends
// what they return (journal/sqlserver_journal.cpp, journal/oracle_journal.cpp).
//
// Names of databases, schemas and tables stand in statements where no quoting
// can hold them (use DB, exec DB..sp_x, drop view qv_TABLE), so the control
// takes only names that JournalNameProblem accepts; every value that stands
// between quotes is quoted anyway (single quotes doubled).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// ---- Names and directories ------------------------------------------------------

// Returns "" when name may stand in a journal statement, else why not: it is
// blank, or holds a character other than a letter, a digit, "_", "$", "#",
// "@", "." or a character above 127.
std::string JournalNameProblem(std::string_view name);

// Returns the journal directory trimmed, with "\" appended when it does not
// end with one; "" when it is blank.
std::string JournalDirectory(std::string_view directory);

// ---- SQL Server -------------------------------------------------------------------

// The names SQL Server journalisation gives its objects.
inline constexpr const char* kSqlPublication = "Quorvane";
inline constexpr const char* kSqlLogReaderProgram = "QVlogreader.exe";

// The version probe, and the version its first row gives: the row's first
// character, "0" when there is no row (or it is empty).
inline constexpr const char* kSqlVersionProbe = "SELECT CONVERT(char(20), SERVERPROPERTY('ProductVersion'))";
std::string SqlServerVersionOfRow(std::string_view row);

// The registry query of the product's directory on the source machine, and
// the directory its row gives: the row from its 256th character, trimmed,
// with "\" appended when missing ("" when nothing is there).
inline constexpr const char* kSqlProductPathQuery =
    "exec master..xp_regread 'HKEY_LOCAL_MACHINE', 'SOFTWARE\\Orvenne\\Quorvane\\QV_for_SQLServer', "
    "'PathSQLServerSource'";
std::string SqlProductDirectoryOfRow(std::string_view row);
// The error text when the registry has no such value.
inline constexpr const char* kSqlNoProductPath = "Error reading Path for QVSQL in source machine";

// Returns "EXEC master..sp_dboption 'db', published, TRUE" (or FALSE).
std::string SqlPublishedOption(std::string_view db, bool published);

// Returns the log reader's command line: the quoted program path, then
// server/db/user/password.
std::string SqlLogReaderCommand(std::string_view productDirectory, std::string_view server, std::string_view db,
                                std::string_view user, std::string_view password);

// Returns the four statements that create the log-reader job of db and its
// step, schedule and server.
std::vector<std::string> SqlLogReaderJob(std::string_view db, std::string_view command, std::string_view server);

// Returns the publication statement of db for a server version ("8" names
// the log-reader job).
std::string SqlAddPublication(std::string_view db, std::string_view version);
// Returns the batch that deletes the log-reader job the server made for the
// publication (version "0").
std::string SqlDeleteServerLogReader(std::string_view db);
std::string SqlStartLogReader(std::string_view db);

// Returns the call that creates the journal file directory + db; directory
// as JournalDirectory gives it.
std::string SqlCreateJournalFile(std::string_view directory, std::string_view db);
// Returns the insert of db's JOURNAL row.
std::string SqlJournalInsert(std::string_view db, std::string_view directory);

// Questions and removal.
std::string SqlIsPublished(std::string_view db);
std::string SqlJournalPathQuery(std::string_view db);
// The JOURNAL row read as a record (DB 30, JrnFile 260), on QV_USRDATA.
std::string SqlJournalRowQuery(std::string_view db);
inline constexpr std::size_t kJournalDbWidth = 30;
inline constexpr std::size_t kJournalFileWidth = 260;
std::string SqlDropPublication(std::string_view db);
std::string SqlDeleteLogReaderJob(std::string_view db);
std::string SqlUnpublishDatabase(std::string_view db);
std::string SqlJournalDelete(std::string_view db);

// ---- SQL Server: capture of one table

// The current database before and after a table operation.
inline constexpr const char* kSqlUseStore = "use QV_USRDATA";
std::string SqlUse(std::string_view db);
std::string SqlDropView(std::string_view table);

// One column of the capture view: its name and whether it is a long text
// (cast to varchar(length)).
struct CaptureColumn {
  std::string name;
  bool longText = false;
  int32_t length = 0;
};
// Tells whether a type name is one the capture view casts ("LONGVARCHAR", "TEXT", any case).
bool IsCaptureLongText(std::string_view typeName);
std::string SqlCreateView(std::string_view table, const std::vector<CaptureColumn>& columns);

// The QV_MX row of a long text column: insert, and the update sent when
// the row exists.
std::string SqlMaxLenInsert(std::string_view db, std::string_view table, std::string_view column, int32_t length);
std::string SqlMaxLenUpdate(std::string_view db, std::string_view table, std::string_view column, int32_t length);

// Returns the batch that adds table as an article of the publication.
std::string SqlAddArticle(std::string_view db, std::string_view table, std::string_view version);
// Returns the statements that subscribe to the publication's articles.
std::vector<std::string> SqlSubscribe(std::string_view db, std::string_view server, std::string_view version);

std::string SqlDropSubscription(std::string_view table);
std::string SqlDropArticle(std::string_view table);
std::string SqlIsArticle(std::string_view db, std::string_view table);

// Reads an answer to the length question: a number from 1 to 30000, or 0
// when the answer is none of them.
int32_t CaptureLengthOfAnswer(std::string_view answer);
inline constexpr int32_t kCaptureLengthMax = 30000;

// ---- Oracle -------------------------------------------------------------------------

// Returns the journal path of a schema: the directory (as JournalDirectory
// gives it) followed by the schema, single quotes doubled.
std::string OracleJournalPath(std::string_view directory, std::string_view schema);
std::string OracleGrant(std::string_view schema);
// The two forms of the journal file's creation: EXECUTE, then CALL.
std::string OracleCreateJournalFile(std::string_view quotedPath);
std::string OracleCreateJournalFileCall(std::string_view quotedPath);
std::string OracleJournalInsert(std::string_view schema, std::string_view quotedPath);
std::string OracleJournalPathQuery(std::string_view schema);
std::string OracleJournalDelete(std::string_view schema);
std::string OracleTriggerExists(std::string_view schema, std::string_view table);
std::string OracleDropTrigger(std::string_view schema, std::string_view table);
// Returns "ALTER TRIGGER schema.QV$_table " + action + ";" (COMPILE, ENABLE).
std::string OracleAlterTrigger(std::string_view schema, std::string_view table, std::string_view action);

// One field of a captured Oracle table, in record order.
struct TriggerField {
  std::string name;
  std::string mask;     // the date mask text, "" for a field that is not a date
  int32_t start = 0;    // start position in the record, from 1
  int32_t length = 0;   // storage length
  std::string type;     // plain type class: "C" character, "N" numeric
};

// Returns a date-time mask with the minutes written "MI": the two characters
// at the first "M" after the first "H" ("YYYYMMDDHHMMSS" gives
// "YYYYMMDDHHMISS"). A mask without "H", or without "M" after it, stays.
std::string OracleMinuteMask(std::string_view mask);

// Returns the text of the row trigger that journals table of schema into the
// journal file path (as stored: its quotes are doubled here). fields must
// not be empty.
std::string OracleTrigger(const std::vector<TriggerField>& fields, std::string_view schema, std::string_view table,
                          std::string_view path);

}  // namespace qv
