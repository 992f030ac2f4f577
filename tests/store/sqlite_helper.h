// A small in-memory SQLite database for the store tests.
#pragma once

#include <sqlite3.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace qv::test {

class MemoryDb {
 public:
  using Row = std::vector<std::string>;

  MemoryDb() {
    if (sqlite3_open(":memory:", &db_) != SQLITE_OK) throw std::runtime_error("sqlite open");
  }
  ~MemoryDb() { sqlite3_close(db_); }
  MemoryDb(const MemoryDb&) = delete;
  MemoryDb& operator=(const MemoryDb&) = delete;

  // Runs a statement; returns "" on success, else SQLite's message.
  std::string Exec(const std::string& sql, const std::vector<std::string>& params = {}) {
    std::vector<Row> ignored;
    return Run(sql, params, ignored);
  }

  // Runs a query and returns its rows (NULL read as "").
  std::vector<Row> Query(const std::string& sql, const std::vector<std::string>& params = {}) {
    std::vector<Row> rows;
    const std::string error = Run(sql, params, rows);
    if (!error.empty()) throw std::runtime_error(error + " in: " + sql);
    return rows;
  }

  long long Count(const std::string& table) {
    return std::stoll(Query("SELECT COUNT(*) FROM " + table).at(0).at(0));
  }

 private:
  std::string Run(const std::string& sql, const std::vector<std::string>& params,
                  std::vector<Row>& rows) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK)
      return sqlite3_errmsg(db_);
    for (size_t i = 0; i < params.size(); ++i)
      sqlite3_bind_text(stmt, static_cast<int>(i + 1), params[i].data(),
                        static_cast<int>(params[i].size()), SQLITE_TRANSIENT);
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      Row row;
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) {
        const unsigned char* text = sqlite3_column_text(stmt, c);
        row.emplace_back(text ? reinterpret_cast<const char*>(text) : "",
                         static_cast<size_t>(sqlite3_column_bytes(stmt, c)));
      }
      rows.push_back(std::move(row));
    }
    std::string error = rc == SQLITE_DONE ? "" : sqlite3_errmsg(db_);
    sqlite3_finalize(stmt);
    return error;
  }

  sqlite3* db_ = nullptr;
};

}  // namespace qv::test
