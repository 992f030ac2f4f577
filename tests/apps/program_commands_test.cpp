// qvmgr program and endscript against embedded demo stores and offline:
// diagnostics and their exit status, a program stored and shown again, an
// end script replaced and read back; the cycle of a journal and a captured
// table on SQL Server and Oracle stores, a dry run that changes nothing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "apps/qvmgr_fixture.h"
#include "dllparam/admin/source_tables.h"

namespace qv::test {
namespace {

using ::testing::HasSubstr;
using embedded::SourceKind;

class QvmgrProgramTest : public QvmgrTest {
 protected:
  std::string File(const std::string& name, const std::string& text) {
    const std::string path = dir() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
};

TEST_F(QvmgrProgramTest, CheckReportsEachErrorWithItsFileLineAndColumn) {
  const std::string decls = File("d.txt", "DCL W.N PACKED 5,0\nDCL W.X TEXT 3\n");
  const std::string insts = File("i.txt", "Z-ADD 1 TO W.N\nGOTO NOWHERE\n");
  ProcessResult r = Exits(1, {"program", "check", "--declarations", decls, "--instructions", insts});
  EXPECT_EQ(r.out, decls + ":2:9: error: Invalid field type (CHAR, ZONED, PACKED, BIN, FLOAT)\n" + insts +
                       ":2:6: error: Tag not found\n");
  EXPECT_EQ(r.err, "qvmgr: program check: They are errors in fields declarations\n"
                   "qvmgr: program check: They are errors in instructions\n");
  // The NT language knows NUMERIC and not PACKED.
  const Json doc =
      Document(Exits(1, {"--type", "ODBC", "--json", "program", "check", "--declarations", decls, "--instructions", insts}));
  EXPECT_EQ(doc["diagnostics"][0]["id"], 1349);
  EXPECT_EQ(doc["diagnostics"][0]["line"], 1);

  const std::string good = File("g.txt", "DCL W.N PACKED 5,0\n");
  const std::string fixed = File("f.txt", "Z-ADD 1 TO W.N\r\nGOTO *SKIP\r\n");
  r = Exits(0, {"program", "check", "--declarations", good, "--instructions", fixed});
  EXPECT_EQ(r.out, "No error.\n");
}

TEST_F(QvmgrProgramTest, AStoredProgramShowsAsItWasWrittenOnBothKinds) {
  for (SourceKind kind : {SourceKind::AS400, SourceKind::SQLServer}) {
    SCOPED_TRACE(TypeOf(kind));
    EmbeddedStore store(kind, /*demo=*/true);
    const Environment env = With(Connect(store), {{"QV_TYPE", TypeOf(kind)}});
    const std::string type = kind == SourceKind::AS400 ? "PACKED" : "NUMERIC";
    const std::string decls = File("d.txt", "/* out\nDCL O.NAME CHAR 40\nDCL W.N " + type + " 5,0\n");
    const std::string insts = File("i.txt", "TOP:\n  MOVE I.NAME TO O.NAME\n  ADD W.N WITH 1 TO W.N\n");
    ProcessResult r = Exits(0, {"program", "store", "--table", "1", "--declarations", decls, "--instructions", insts}, env);
    EXPECT_THAT(r.out, HasSubstr("Stored the program of the table 0000000001 (6 lines).\n"));
    r = Exits(0, {"program", "show", "--table", "1"}, env);
    EXPECT_EQ(r.out, "Declarations:\n/* out\nDCL O.NAME CHAR 40 DESC 'Customer name' \nDCL W.N " + type +
                         " 5,0 \n\nInstructions:\nTOP: \n  MOVE I.NAME TO O.NAME \n  ADD W.N WITH 1 TO W.N \n");
    // A program with an error stores nothing.
    const std::string bad = File("b.txt", "MOVE I.NOPE TO O.NAME\n");
    r = Qvmgr({"program", "store", "--table", "1", "--declarations", decls, "--instructions", bad}, env);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, decls + ":3:5: warning: WARNING: Field W.N not used\n" + bad +
                         ":1:6: error: Not defined I.NOPE field\n");
    r = Qvmgr({"program", "show", "--table", "1"}, env);
    EXPECT_THAT(r.out, HasSubstr("ADD W.N WITH 1 TO W.N"));
  }
}

TEST_F(QvmgrProgramTest, AnEndScriptIsReplacedAndShownAsRichText) {
  EmbeddedStore store(SourceKind::Oracle, /*demo=*/true);
  const Environment env = With(Connect(store), {{"QV_TYPE", "Oracle"}, {"QV_INSTANCE", "QVORA"}});
  const std::string script = File("end.txt", "CALL PGM(X)\nREM done\n");
  ProcessResult r = Exits(0, {"endscript", "store", "--file", script}, env);
  r = Exits(0, {"--json", "endscript", "show"}, env);
  const std::string rtf = Document(r)["richText"];
  EXPECT_THAT(rtf, HasSubstr("\\pard\\plain\\f0\\fs17\\cf3 CALL\\plain\\f0\\fs17\\cf0  PGM(X) \\par"
                             "\\plain\\f0\\fs17\\cf2 /*\\plain\\f0\\fs17\\cf2  done \\par}"));
}

// ---- Journals ---------------------------------------------------------------

class JournalCommandTest : public QvmgrTest, public testing::WithParamInterface<embedded::SourceKind> {
 protected:
  JournalCommandTest() : store(GetParam(), /*demo=*/true, "demo") {
    embedded::StoreAdmin admin = store.Admin();
    embedded::AddSourceTable(admin, embedded::ParseSourceTable(std::string("table ") + Database() +
                                                               ".ORDERS\nCODE CHAR(10) key\nQTY INT\n" +
                                                               (Sql() ? "NOTE TEXT\n" : "")));
  }
  bool Sql() const { return GetParam() == embedded::SourceKind::SQLServer; }
  std::string Database() const { return Sql() ? "SALES" : "SCOTT"; }
  // Runs "qvmgr --json journal ARGS --database DB" and returns its document.
  Json Run(std::vector<std::string> args, int status = 0, const std::string& input = {}) {
    args.insert(args.begin(), {"--json", "journal"});
    args.insert(args.end(), {"--database", Database()});
    const ProcessResult r = Qvmgr(args, Connect(store), input);
    EXPECT_EQ(r.exitCode, status) << Describe(r);
    return Document(r);
  }

  EmbeddedStore store;
};

TEST_P(JournalCommandTest, CreatesCapturesReleasesAndRemoves) {
  const std::string file = "D:\\J\\" + Database();
  EXPECT_EQ(Run({"status"})["journalised"], false);
  EXPECT_EQ(Run({"create", "--dir", "D:\\J", "--wait", "0"})["file"], file);
  EXPECT_EQ(Run({"status"})["journalised"], true);
  EXPECT_EQ(Run({"path"})["file"], file);

  EXPECT_EQ(Run({"table", "status", "ORDERS"})["captured"], false);
  Run({"table", "start", "ORDERS", "--maxlen", "300"});
  EXPECT_EQ(Run({"table", "status", "ORDERS"})["captured"], true);
  Run({"table", "stop", "ORDERS"});
  EXPECT_EQ(Run({"table", "status", "ORDERS"})["captured"], false);

  Run({"remove", "--wait", "0"});
  EXPECT_EQ(Run({"status"})["journalised"], false);
  Run({"path"}, 1);
}

TEST_P(JournalCommandTest, ADryRunListsTheStatementsAndChangesNothing) {
  const Json created = Run({"create", "--dir", "D:\\J", "--dry-run"});
  EXPECT_EQ(created["dryRun"], true);
  const Json& sent = created["statements"];
  ASSERT_FALSE(sent.empty());
  const std::string insert = Sql() ? "insert into QV_USRDATA..JOURNAL (DB, JrnFile) Values('SALES', 'D:\\J\\SALES')"
                                   : "insert into QV_USRDATA.JOURNAL (DB, JrnFile) Values('SCOTT', 'D:\\J\\SCOTT')";
  EXPECT_EQ(sent.back(), insert);
  std::string all;
  for (const Json& s : sent) all += s.get<std::string>() + "\n";
  EXPECT_EQ(all.find("QVADMIN/QVADMIN"), std::string::npos) << "the log reader's password shows";
  if (Sql()) {
    EXPECT_THAT(all, HasSubstr("QVSOURCE/SALES/QVADMIN/********'"));
  }
  EXPECT_EQ(Run({"status"})["journalised"], false);
}

TEST_P(JournalCommandTest, ACaptureWithoutAnAnswerIsCancelled) {
  if (!Sql()) GTEST_SKIP() << "only SQL Server asks the length of long texts";
  Run({"create", "--dir", "D:\\J", "--wait", "0"});
  const ProcessResult r = Exits(1, {"journal", "table", "start", "ORDERS", "--database", "SALES"}, Connect(store), "");
  EXPECT_THAT(r.err, HasSubstr("No length given for the long text column NOTE: the capture of ORDERS is cancelled"));
  EXPECT_EQ(Run({"table", "status", "ORDERS"})["captured"], false);
}

INSTANTIATE_TEST_SUITE_P(Kinds, JournalCommandTest,
                         testing::Values(embedded::SourceKind::SQLServer, embedded::SourceKind::Oracle),
                         [](const testing::TestParamInfo<embedded::SourceKind>& info) {
                           return std::string(embedded::KindName(info.param));
                         });

TEST_F(QvmgrTest, JournalIsRefusedOnOtherSourcesAndWithoutADatabase) {
  EmbeddedStore store(embedded::SourceKind::AS400, /*demo=*/true, "demo");
  Exits(1, {"journal", "status", "--database", "SALES"}, Connect(store));  // its text: journal statement tests
  const ProcessResult missing = Exits(2, {"journal", "status"}, Connect(store));
  EXPECT_THAT(missing.err, HasSubstr("journal status needs --database NAME"));
}

}  // namespace
}  // namespace qv::test
