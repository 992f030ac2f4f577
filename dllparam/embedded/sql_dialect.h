// Maps the SQL text that the library sends to an NT source onto the SQL that
// the embedded store (SQLite) runs:
//   "SELECT * FROM QV_USRDATA..QV_EX WHERE ENVID='A '"  ->  "SELECT * FROM QV_EX WHERE ENVID='A '"
//   "DELETE QV_USRDATA.QV_UID  WHERE ENVID ='A '"        ->  "DELETE FROM QV_UID  WHERE ENVID ='A '"
//   Oracle "FROM A, B WHERE A.K (+)=B.K AND A.X='1'"     ->  "FROM B LEFT JOIN A ON (A.K =B.K) WHERE A.X='1'"
// Literals and quoted identifiers are never touched.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qv::embedded {

enum class SqlDialect { Odbc, SqlServer, Oracle };

// Raised when a statement cannot be served; what() names the reason.
class SqlAdaptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One lexical piece of a statement; concatenating the texts gives the statement back.
struct SqlToken {
  enum Kind { Space, Word, Literal, QuotedName, Punct, Comment };
  Kind kind;
  std::string text;
};

// Splits a statement into tokens. Never throws: an unterminated literal runs to the end.
std::vector<SqlToken> TokenizeSql(std::string_view sql);

// Adapts one statement for the store. Throws SqlAdaptError when the statement holds
// more than one statement or an outer-join mark that cannot be rewritten.
//
// With values, a SELECT, INSERT, UPDATE or DELETE also gives up its string
// literals: each becomes the parameter "?N" and its value (quotes removed,
// doubled quotes made single) goes to values[N-1], so that statements that
// differ only in their values share one prepared form:
//   "DELETE QV_FC WHERE ENVID='E1' AND FICID='0000000001'"
//     ->  "DELETE FROM QV_FC WHERE ENVID=?1 AND FICID=?2"   values {"E1", "0000000001"}
// A literal after AS stays, as do the literals of any other statement.
std::string AdaptSql(std::string_view sql, SqlDialect dialect, std::vector<std::string>* values = nullptr);

// The shape of a statement: its text with every string literal emptied
// (''), and the values of the literals in the order written.
struct SqlShape {
  std::string text;
  std::vector<std::string> values;
};

// Reads the shape of sql. Returns false when statements of one shape may
// still adapt to different texts: a literal not closed, or (Oracle) an
// outer-join mark, whose rewrite moves the literals. Otherwise, when
// AdaptSql takes every literal of sql as a parameter, it adapts every
// statement of the same shape to the same text, with their values in order:
//   "DELETE QV_FC WHERE ENVID='E1' AND FICID='0000000001'"
//     ->  "DELETE QV_FC WHERE ENVID='' AND FICID=''"   values {"E1", "0000000001"}
bool ShapeOfSql(std::string_view sql, SqlDialect dialect, SqlShape& shape);

// Tells whether sql is an INSERT, UPDATE or DELETE: its first word, past
// blanks and comments, in any case.
bool IsDataChange(std::string_view sql);

// Returns the statement upper-cased outside literals, with runs of blanks made one
// blank and a final ";" removed: the form used to recognise fixed statements.
std::string CanonicalSql(std::string_view sql);

}  // namespace qv::embedded
