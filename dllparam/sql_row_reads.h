// The row reads that every source of SQL statements answers alike: Sread
// runs a query on a statement handle (a new one for a handle below 0) and
// hands back its first row, Snext the next row of the query on a handle, and
// Sreadblock as many whole rows as fit, the query run on its first call.
// A source gives Guard, StatementHandle, RunQuery, FetchRow, Fail and its
// error state last_, and makes SqlRowReads<Source> a friend.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "connection/dllparam.h"

namespace qv::dllparam {

template <class Source>
struct SqlRowReads {
  static int32_t Sread(Source& s, int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                       int32_t option) {
    len = 0;
    return s.Guard([&]() -> int32_t {
      auto& hd = s.StatementHandle(hStmt);
      if (option != DllParam::kFirstRow) Source::Fail(DllParam::kCodeBadCall, "unknown read option " + std::to_string(option));
      s.RunQuery(hd, sql);
      std::string row;
      if (!s.FetchRow(hd, row)) {
        s.last_ = {DllParam::kCodeNotFound, 0, "no row"};
        return 0;
      }
      len = PutInBuffer(buf, row);
      return 1;
    });
  }

  static int32_t Sreadblock(Source& s, int32_t& hStmt, std::string& buf, int32_t& len, const std::string& sql,
                            const std::string& first, int32_t& flag) {
    len = 0;
    flag = 0;
    return s.Guard([&]() -> int32_t {
      const std::string f = FlagText(first);
      if (f != DllParam::kFirstBlock && f != DllParam::kNextBlock)
        Source::Fail(DllParam::kCodeBadCall, "first-call flag \"" + f + "\"");
      if (f == DllParam::kNextBlock && hStmt < 0) Source::Fail(DllParam::kCodeBadCall, "no statement to continue");
      auto& hd = s.StatementHandle(hStmt);
      if (f == DllParam::kFirstBlock) s.RunQuery(hd, sql);
      else if (!hd.active)
        Source::Fail(DllParam::kCodeBadCall, "no query to continue on handle " + std::to_string(hStmt));
      const RowBlock block = FillRowBlock(
          buf, [&](std::string& row) { return s.FetchRow(hd, row); },
          [&](std::string row) { hd.rows.push_front(std::move(row)); });
      if (block.rows == 0) {
        s.last_ = {DllParam::kCodeNotFound, 0, "no more rows"};
        return 0;
      }
      len = static_cast<int32_t>(block.bytes);
      flag = block.more ? 1 : 0;
      return 1;
    });
  }

  static int32_t Snext(Source& s, int32_t& hStmt, std::string& rec, int32_t& len, int32_t& flag) {
    len = 0;
    flag = 0;
    return s.Guard([&]() -> int32_t {
      if (hStmt < 0) Source::Fail(DllParam::kCodeBadCall, "no statement handle");
      auto& hd = s.StatementHandle(hStmt);
      if (!hd.active) Source::Fail(DllParam::kCodeBadCall, "no query on handle " + std::to_string(hStmt));
      std::string row;
      if (!s.FetchRow(hd, row)) {
        s.last_ = {DllParam::kCodeNotFound, 0, "no more rows"};
        return 0;
      }
      len = PutInBuffer(rec, row);
      flag = 1;
      return 1;
    });
  }

 private:
  // Returns the first-call flag up to its NUL, without its blanks.
  static std::string FlagText(std::string_view first) {
    first = CutAtNul(first);
    const std::size_t b = first.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    return std::string(first.substr(b, first.find_last_not_of(' ') - b + 1));
  }
};

}  // namespace qv::dllparam
