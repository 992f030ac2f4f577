// The row reads that every source of SQL statements answers alike: Sread
// runs a query on a statement handle (a new one for a handle below 0) and
// hands back its first row, Snext the next row of the query on a handle.
// A source gives Guard, StatementHandle, RunQuery, FetchRow, Fail and its
// error state last_, and makes SqlRowReads<Source> a friend.
#pragma once

#include <cstdint>
#include <string>

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
};

}  // namespace qv::dllparam
