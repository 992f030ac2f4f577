#include "store/sqltext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace qv {
namespace {

using namespace layout;

std::string Blanks(std::size_t n) { return std::string(n, ' '); }

TEST(SqlQuote, DoublesEverySingleQuote) {
  EXPECT_EQ(SqlQuote(""), "");
  EXPECT_EQ(SqlQuote("plain"), "plain");
  EXPECT_EQ(SqlQuote("O'Hara"), "O''Hara");
  EXPECT_EQ(SqlQuote("'a''b'"), "''a''''b''");
}

struct FieldCase {
  const char* value;
  std::size_t width;
  const char* expected;
};

TEST(SqlField, CutsBeforeQuotingSoADoubledQuoteIsNeverSplit) {
  const FieldCase cases[] = {
      {"abc", 5, "abc"},        // shorter: not padded
      {"abcdef", 3, "abc"},     // cut
      {"a'b", 3, "a''b"},       // quote inside
      {"ab'", 3, "ab''"},       // quote in the last place: both halves kept
      {"abc'", 3, "abc"},       // quote beyond the width: dropped whole
      {"ab'c", 2, "ab"},
      {"'''", 2, "''''"},
      {"", 4, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const std::string quoted = SqlField(c.value, c.width);
    EXPECT_EQ(quoted, c.expected);
    // The literal stays balanced: an even count of quotes.
    EXPECT_EQ(std::count(quoted.begin(), quoted.end(), '\'') % 2, 0);
  }
}

TEST(SqlKey, PadsCutsAndQuotesEveryValue) {
  EXPECT_EQ(SqlKey(QV_EX, {"A"}).Where(), "ENVID='A '");
  EXPECT_EQ(SqlKey(QV_CX, {"01", "T1"}).Where(), "ENVID='01' AND TGTID='T1 '");
  EXPECT_EQ(SqlKey(QV_CX, {"01", "TOOLONG"}).Where(), "ENVID='01' AND TGTID='TOO'");
  // Identifiers and codes are quoted too, not only descriptions.
  EXPECT_EQ(SqlKey(QV_CX, {"'", "a'b"}).Where(), "ENVID=''' ' AND TGTID='a''b'");
  EXPECT_EQ(SqlKey(QV_CX, {"0'", "T'''"}).Where(), "ENVID='0''' AND TGTID='T'''''");
  EXPECT_TRUE(SqlKey(QV_CX, {}).empty());
}

TEST(SqlKey, ColumnsAndRecordKeys) {
  EXPECT_EQ(SqlKey::Columns(QV_UID, {{"USERID", "JOHN"}}).Where(),
            "USERID='JOHN" + Blanks(26) + "'");
  EXPECT_EQ(SqlKey::Columns(QV_FC, {{"ENVID", "01"}, {"GRPID", "G1"}, {"FICID", "1"}}).Where(),
            "ENVID='01' AND GRPID='G1 ' AND FICID='1" + Blanks(9) + "'");
  Record fc(QV_FC);
  fc.Set("ENVID", "01");
  fc.Set("TGTID", "T1");
  fc.Set("GRPID", "G1");
  fc.Set("FICID", "0000000001");
  EXPECT_EQ(SqlKey::Of(fc).Where(),
            "ENVID='01' AND TGTID='T1 ' AND GRPID='G1 ' AND FICID='0000000001'");
}

TEST(SqlKey, RejectsWhatIsNotATableColumn) {
  EXPECT_THROW(SqlKey(QV_CX, {"01", "T1", "X"}), std::invalid_argument);
  EXPECT_THROW(SqlKey(DistributionKey, {"01"}), std::invalid_argument);
  EXPECT_THROW(SqlKey::Columns(QV_GC, {{"REPRISELIB", "LIB"}}), std::invalid_argument);
  EXPECT_THROW(SqlKey::Columns(QV_GC, {{"NOPE", "x"}}), UnknownFieldError);
}

TEST(SqlStatements, KeyedSelectOnEachPrefix) {
  const SqlKey key(QV_CX, {"01", "T1"});
  EXPECT_EQ(SqlSelect("QV_USRDATA..", key),
            "SELECT * FROM QV_USRDATA..QV_CX WHERE ENVID='01' AND TGTID='T1 '");
  EXPECT_EQ(SqlSelect("QV_USRDATA.", key),
            "SELECT * FROM QV_USRDATA.QV_CX WHERE ENVID='01' AND TGTID='T1 '");
  EXPECT_EQ(SqlSelect("", key), "SELECT * FROM QV_CX WHERE ENVID='01' AND TGTID='T1 '");
  EXPECT_EQ(SqlSelect("", SqlKey(QV_SPV, {})), "SELECT * FROM QV_SPV");
}

TEST(SqlStatements, InsertOfAUser) {
  Record user(QV_UID);
  user.Set("ENVID", "**");
  user.Set("USERID", "O'NEIL");
  user.Set("USERTYPE", "0");
  user.Set("PASSWORD", "pw");
  user.Set("LEVELPWD", "1");
  EXPECT_EQ(SqlInsert("QV_USRDATA..", user),
            "INSERT INTO QV_USRDATA..QV_UID (ENVID, USERID, USERTYPE, PASSWORD, LEVELPWD, FILLER) "
            "VALUES('**','O''NEIL" + Blanks(24) + "','0','pw" + Blanks(28) + "','1','" +
                Blanks(100) + "')");
}

TEST(SqlStatements, InsertsOfADistributionLeaveOutTheReceiverLibrary) {
  Record gc(QV_GC);
  gc.Set("ENVID", "01");
  gc.Set("REPRISELIB", "RCVLIB");
  const std::string insert = SqlInsert("", gc);
  EXPECT_NE(insert.find("REPRISETYP, REPRISERCV, REPRISEPNT, X, Y, LOADWITHTXTFILE, PATHFORTXTFILE, "
                        "FILLER) VALUES('01','   ','   ',"),
            std::string::npos)
      << insert;
  EXPECT_EQ(insert.substr(insert.size() - 44), "','" + Blanks(39) + "')");
  EXPECT_EQ(insert.find("RCVLIB"), std::string::npos);
  EXPECT_THROW(SqlInsert("", Record(TargetPosition)), std::invalid_argument);
}

TEST(SqlStatements, ColumnAndValueListsForLiteralStatements) {
  EXPECT_EQ(NtColumnList(QV_ZC), "ENVID, TGTID, GRPID, FICID, FIELDINPUT, FIELDOUT");
  Record zc(QV_ZC, "01T1 G1 0000000001");
  EXPECT_EQ(NtValueList(zc), "'01','T1 ','G1 ','0000000001','" + Blanks(30) + "','" +
                                 Blanks(30) + "'");
}

}  // namespace
}  // namespace qv
