// Builds the statements of SQL Server and Oracle journalisation.
#include "journal/journal_text.h"

#include <cctype>

#include "presentation/strutil.h"
#include "store/sqltext.h"

namespace qv {
namespace {

constexpr const char* kCrLf = "\r\n";

std::string Q(std::string_view value) { return SqlQuote(value); }
std::string S(std::string_view value) { return std::string(value); }

// Returns n as 5 zero-padded digits.
std::string Digits5(int64_t n) {
  std::string digits = std::to_string(n < 0 ? 0 : n);
  return digits.size() >= 5 ? digits : std::string(5 - digits.size(), '0') + digits;
}

std::string JoinLines(const std::vector<std::string>& lines, const char* separator) {
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out += separator;
    out += lines[i];
  }
  return out;
}

}  // namespace

// ---- Names and directories ------------------------------------------------------------

std::string JournalNameProblem(std::string_view name) {
  if (Trim(name).empty()) return "the name is blank";
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || c >= 0x80 || ch == '_' || ch == '$' || ch == '#' || ch == '@' || ch == '.') continue;
    return "the name \"" + std::string(name) + "\" holds the character \"" + std::string(1, ch) +
           "\"; a journal statement takes letters, digits and _ $ # @ . only";
  }
  return {};
}

std::string JournalDirectory(std::string_view directory) {
  std::string d = Trim(directory);
  if (d.empty()) return d;
  if (d.back() != '\\') d += '\\';
  return d;
}

// ---- SQL Server ---------------------------------------------------------------------------

std::string SqlServerVersionOfRow(std::string_view row) {
  if (std::size_t nul = row.find('\0'); nul != std::string_view::npos) row = row.substr(0, nul);
  return row.empty() ? "0" : std::string(1, row.front());
}

std::string SqlProductDirectoryOfRow(std::string_view row) {
  std::string d = row.size() > 255 ? Trim(row.substr(255)) : std::string();
  if (std::size_t nul = d.find('\0'); nul != std::string::npos) d = Trim(d.substr(0, nul));
  if (d.empty() || d.back() != '\\') d += '\\';
  return d;
}

std::string SqlPublishedOption(std::string_view db, bool published) {
  return "EXEC master..sp_dboption '" + Q(db) + "', published, " + (published ? "TRUE" : "FALSE");
}

std::string SqlLogReaderCommand(std::string_view productDirectory, std::string_view server, std::string_view db,
                                std::string_view user, std::string_view password) {
  return "\"" + S(productDirectory) + kSqlLogReaderProgram + "\" " + S(server) + "/" + S(db) + "/" + S(user) + "/" +
         S(password);
}

std::vector<std::string> SqlLogReaderJob(std::string_view db, std::string_view command, std::string_view server) {
  const std::string job = "@job_name='QV_ReadJrn_" + Q(db) + "'";
  return {
      "exec msdb..sp_add_job " + job +
          ", @enabled=1, @description='Quorvane LogReader', @start_step_id=1, @category_id=13, "
          "@notify_level_eventlog=3",
      "exec msdb..sp_add_jobstep  " + job + ", @subsystem='CMDEXEC', @step_id=1, @step_name='QVlogreader', @command='" +
          Q(command) + "', @database_name='" + Q(db) + "', @retry_attempts=65535",
      "exec msdb..sp_add_jobschedule " + job + ", @name='Always', @enabled=1, @freq_type=64",
      "exec msdb..sp_add_jobserver " + job + ", @server_name='" + Q(server) + " '",
  };
}

std::string SqlAddPublication(std::string_view db, std::string_view version) {
  std::string sql = "exec " + S(db) +
                    "..sp_addpublication @publication='Quorvane', @description='Publication Quorvane', "
                    "@independent_agent='true', @retention=0, ";
  if (version == "8") sql += "@logreader_job_name='QV_ReadJrn_" + Q(db) + "', ";
  return sql + "@status='active'";
}

std::string SqlDeleteServerLogReader(std::string_view db) {
  return JoinLines({"declare @jobid uniqueidentifier",
                    "select @jobid=job_id from msdb..sysjobsteps where subsystem='LogReader' and command LIKE '%" +
                        Q(db) + "%' and command like '%-PublisherDB%'",
                    "exec msdb..sp_delete_job @job_id=@jobid"},
                   kCrLf);
}

std::string SqlStartLogReader(std::string_view db) {
  return "exec msdb..sp_start_job @job_name='QV_ReadJrn_" + Q(db) + "'";
}

std::string SqlCreateJournalFile(std::string_view directory, std::string_view db) {
  return "exec master..qv_CRTJRN '" + Q(directory) + Q(db) + "'";
}

std::string SqlJournalInsert(std::string_view db, std::string_view directory) {
  return "insert into QV_USRDATA..JOURNAL (DB, JrnFile) Values('" + Q(db) + "', '" + Q(directory) + Q(db) + "')";
}

std::string SqlIsPublished(std::string_view db) {
  return "select name from " + S(db) + "..syspublications where name='Quorvane'";
}

std::string SqlJournalPathQuery(std::string_view db) {
  return "select JRNFILE from QV_USRDATA..JOURNAL where DB='" + Q(db) + "'";
}

std::string SqlJournalRowQuery(std::string_view db) { return "select * from JOURNAL WHERE DB='" + Q(db) + "'"; }

std::string SqlDropPublication(std::string_view db) {
  return "EXEC " + S(db) + "..sp_droppublication @publication='Quorvane'";
}

std::string SqlDeleteLogReaderJob(std::string_view db) {
  return "exec msdb..sp_delete_job @job_name='QV_ReadJrn_" + Q(db) + "'";
}

std::string SqlUnpublishDatabase(std::string_view db) {
  return "EXEC " + S(db) + "..sp_replicationdboption '" + Q(db) + "','publish', 'false'";
}

std::string SqlJournalDelete(std::string_view db) {
  return "delete from QV_USRDATA..JOURNAL where DB='" + Q(db) + "'";
}

// ---- SQL Server: capture of one table

std::string SqlUse(std::string_view db) { return "use " + S(db); }
std::string SqlDropView(std::string_view table) { return "drop view qv_" + S(table); }

bool IsCaptureLongText(std::string_view typeName) {
  const std::string t = UCase(Trim(typeName));
  return t == "LONGVARCHAR" || t == "TEXT";
}

std::string SqlCreateView(std::string_view table, const std::vector<CaptureColumn>& columns) {
  std::string list;
  for (const CaptureColumn& c : columns) {
    if (!list.empty()) list += ",";
    list += c.longText ? "CAST(" + c.name + " AS varchar(" + std::to_string(c.length) + ")) AS " + c.name : c.name;
  }
  return "create view qv_" + S(table) + " as select " + list + " from " + S(table);
}

std::string SqlMaxLenInsert(std::string_view db, std::string_view table, std::string_view column, int32_t length) {
  return "INSERT INTO QV_USRDATA..QV_MX (SRCDB, SRCTBL, FIELDINPUT, MAXLEN) VALUES('" + Q(db) + "', '" + Q(table) +
         "', '" + Q(column) + "', " + std::to_string(length) + ")";
}

std::string SqlMaxLenUpdate(std::string_view db, std::string_view table, std::string_view column, int32_t length) {
  return "UPDATE QV_USRDATA..QV_MX SET MAXLEN=" + std::to_string(length) + " WHERE SRCDB='" + Q(db) +
         "' AND SRCTBL='" + Q(table) + "' AND FIELDINPUT='" + Q(column) + "'";
}

std::string SqlAddArticle(std::string_view db, std::string_view table, std::string_view version) {
  std::string add = "exec " + S(db) + "..sp_addarticle @publication='Quorvane', @article='" + Q(table) +
                    "', @source_table='" + Q(table) +
                    "', @type='logbased', @ins_cmd='xcall QVI', @del_cmd='xcall QVD', @upd_cmd='xcall QVU', "
                    "@destination_table='qv_dummy', @status=0, @sync_object='qv_" +
                    Q(table) + "'";
  if (version == "8")
    return JoinLines({"declare @artid int", add + ", @artid=@artid OUTPUT",
                      "update sysarticles set status=1, schema_option=0x00000000000000F1 where artid=@artid"},
                     kCrLf);
  return JoinLines({"declare @artid int", add + ", @schema_option=0x00000000000000F1"}, kCrLf);
}

std::vector<std::string> SqlSubscribe(std::string_view db, std::string_view server, std::string_view version) {
  if (version == "8") {
    const std::string job = "@job_name='QV_TempJrn_" + Q(db) + "'";
    return {"exec msdb..sp_add_job " + job +
                ", @enabled=0, @description='Quorvane Temporary', @start_step_id=1, @category_id=10",
            "exec msdb..sp_add_jobstep  " + job +
                ", @step_id=1, @step_name='Step 1', @subsystem ='distribution', @command='use master'",
            "exec msdb..sp_add_jobserver " + job + ", @server_name='" + Q(server) + "'",
            "exec sp_addsubscription @publication='Quorvane', @subscriber='Quorvane', @sync_type='none', "
            "@distribution_job_name='QV_TempJrn_" +
                Q(db) + "', @destination_db='QV_dummy'",
            "exec msdb..sp_delete_job " + job};
  }
  return {"exec " + S(db) +
              "..sp_addsubscription @publication='Quorvane', @subscriber='Quorvane', @sync_type='none', "
              "@destination_db='QV_dummy'",
          JoinLines({"declare @jobid uniqueidentifier",
                     "select @jobid=job_id from msdb..sysjobsteps where subsystem='Distribution' and "
                     "server=@@SERVERNAME and command like '%-SubscriberDB [[]QV_dummy]%' and command like "
                     "'%-PublisherDB [[]" +
                         Q(db) + "]%'",
                     "exec msdb..sp_delete_job @job_id=@jobid"},
                    kCrLf)};
}

std::string SqlDropSubscription(std::string_view table) {
  return "exec sp_dropsubscription @publication='Quorvane', @subscriber='Quorvane', @article='" + Q(table) + "'";
}

std::string SqlDropArticle(std::string_view table) {
  return "exec sp_droparticle @publication='Quorvane', @article='" + Q(table) + "'";
}

std::string SqlIsArticle(std::string_view db, std::string_view table) {
  return "select a.name from " + S(db) + "..sysarticles a left join " + S(db) +
         "..syspublications b on a.pubid = b.pubid where a.name='" + Q(table) + "' and b.name='Quorvane'";
}

int32_t CaptureLengthOfAnswer(std::string_view answer) {
  const std::string a = Trim(answer);
  if (a.empty() || a.size() > 5) return 0;
  for (char c : a)
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
  const int32_t n = std::stoi(a);
  return n >= 1 && n <= kCaptureLengthMax ? n : 0;
}

// ---- Oracle ---------------------------------------------------------------------------------

std::string OracleJournalPath(std::string_view directory, std::string_view schema) {
  return Q(S(directory) + S(schema));
}

std::string OracleGrant(std::string_view schema) {
  return "grant EXECUTE on QV_USRDATA.qv_f_AddEntry TO \"" + S(schema) + "\";";
}

std::string OracleCreateJournalFile(std::string_view quotedPath) {
  return "EXECUTE qv_usrdata.qv_CRTJRN('" + S(quotedPath) + "');";
}

std::string OracleCreateJournalFileCall(std::string_view quotedPath) {
  return "CALL qv_usrdata.qv_CRTJRN('" + S(quotedPath) + "');";
}

std::string OracleJournalInsert(std::string_view schema, std::string_view quotedPath) {
  return "insert into QV_USRDATA.JOURNAL (DB, JrnFile) Values('" + Q(schema) + "', '" + S(quotedPath) + "')";
}

std::string OracleJournalPathQuery(std::string_view schema) {
  return "select JRNFILE from QV_USRDATA.JOURNAL where DB='" + Q(schema) + "'";
}

std::string OracleJournalDelete(std::string_view schema) {
  return "delete from QV_USRDATA.JOURNAL where DB='" + Q(schema) + "'";
}

std::string OracleTriggerExists(std::string_view schema, std::string_view table) {
  return "select name from sys.obj$ where name='QV$_" + Q(table) +
         "' and owner#=(select user# from sys.user$ where name='" + Q(schema) + "');";
}

std::string OracleDropTrigger(std::string_view schema, std::string_view table) {
  return "drop trigger " + S(schema) + ".QV$_" + S(table) + ";";
}

std::string OracleAlterTrigger(std::string_view schema, std::string_view table, std::string_view action) {
  return "ALTER TRIGGER " + S(schema) + ".QV$_" + S(table) + " " + S(action) + ";";
}

std::string OracleMinuteMask(std::string_view mask) {
  std::string m(mask);
  const std::size_t h = m.find('H');
  if (h == std::string::npos) return m;
  const std::size_t minute = m.find('M', h + 1);
  if (minute == std::string::npos) return m;
  return m.replace(minute, std::min<std::size_t>(2, m.size() - minute), "MI");
}

namespace {

// Returns the value of one field as the trigger writes it into the entry,
// from X (":old.NAME" or ":new.NAME"); "" for a type class it does not take.
std::string FieldImage(const TriggerField& f, const std::string& x, bool after) {
  const std::string len5 = "'" + Digits5(f.length) + "'||";
  if (f.type == "C") {
    if (f.mask.empty()) return len5 + x + "||CHR(9)||";
    const std::string mask = f.mask.find('H') == std::string::npos ? f.mask : OracleMinuteMask(f.mask);
    return len5 + "TO_CHAR(" + x + ",'" + mask + "')||CHR(9)||";
  }
  if (f.type == "N")
    return len5 + "TO_CHAR(" + x + ",'TM','NLS_NUMERIC_CHARACTERS=''. '''" + (after ? " " : "") + ")||CHR(9)||";
  return {};
}

}  // namespace

std::string OracleTrigger(const std::vector<TriggerField>& fields, std::string_view schema, std::string_view table,
                          std::string_view path) {
  std::string before, after, names;
  for (const TriggerField& f : fields) {
    before += FieldImage(f, ":old." + f.name, false);
    after += FieldImage(f, ":new." + f.name, true);
    if (!names.empty()) names += ",";
    names += f.name;
  }
  before += "CHR(0)";
  after += "CHR(0)";
  const TriggerField& last = fields.back();
  const int64_t recordLength = int64_t{last.start} + last.length - 1;
  const int64_t commandSize = 6 * static_cast<int64_t>(fields.size()) + recordLength;
  const std::string quotedPath = Q(path);
  const std::string header =
      "||TO_CHAR(SYSDATE,'YYYY-MM-DD.HH24.MI.SS')||'.000000'||RPAD(USERENV('TERMINAL'),10,' ')||"
      "RPAD(USER,10,' ')||RPAD('" +
      Q(table) +
      "',30,' ')||RPAD(USER,10,' ')||"
      "RPAD(SUBSTR(SYS_CONTEXT('USERENV','DB_NAME'),1,8),8,' ')||'" +
      Digits5(static_cast<int64_t>(fields.size())) + "'";
  auto entry = [&](const std::string& indent, const char* code, const std::string& image) {
    return std::vector<std::string>{
        indent + "szJournal :='" + Digits5(recordLength) + "'||'" + code + "'" + header + ";",
        indent + "szCmd :=" + image + ";",
        indent + "iReturn :=QV_USRDATA.qv_f_AddEntry(szJRNFullPathName,szJournal,szCmd);"};
  };
  const std::string i4(4, ' '), i8(8, ' '), i12(12, ' ');
  std::vector<std::string> lines{
      "CREATE OR REPLACE TRIGGER " + S(schema) + ".QV$_" + S(table),
      "   AFTER DELETE OR INSERT OR UPDATE",
      "   OF " + names,
      "   ON " + S(schema) + "." + S(table),
      "   FOR EACH ROW  ",
      "DECLARE",
      "/****************************************************************",
      "* Quorvane generated code ",
      "* replication trigger on " + S(table),
      "* WARNING : DO NOT MODIFY",
      "****************************************************************/",
      i4 + "iReturn INTEGER;",
      i4 + "szJournal CHAR(107);",
      i4 + "szCmd VARCHAR2(" + std::to_string(commandSize) + ");",
      i4 + "szJRNFullPathName CHAR(" + std::to_string(quotedPath.size()) + ");",
      "BEGIN",
      i4 + "szJRNFullPathName:='" + quotedPath + "';",
      i4 + "IF UPDATING THEN",
  };
  auto add = [&](std::vector<std::string> more) { lines.insert(lines.end(), more.begin(), more.end()); };
  add(entry(i8, "RUB", before));
  add(entry(i8, "RUP", after));
  lines.push_back(i4 + "ELSE ");
  lines.push_back(i8 + "IF DELETING THEN");
  add(entry(i12, "RDL", before));
  lines.push_back(i8 + "ELSE");
  add(entry(i12, "RPT", after));
  lines.push_back(i12 + "END IF;");
  lines.push_back(i4 + "END IF;");
  lines.push_back("END; ");
  return JoinLines(lines, "\n");
}

}  // namespace qv
