// Scripts a recording fake so that it answers like a healthy source of a kind.
#pragma once

#include <memory>
#include <string>

#include "connection/qvsource.h"
#include "support/recording_fake.h"

namespace qv::test {

struct FakeSource {
  // kind is "AS400", "ODBC", "SQL Server" or "Oracle".
  explicit FakeSource(const std::string& kind, const std::string& instance = "");

  // Answers the QV_VER read with a record whose SRCTYPE is srcType.
  void Version(char srcType);
  // Returns the file prefix of the kind.
  std::string Prefix() const;

  RecordingFake* fake;  // owned by control
  std::unique_ptr<QVSource> control;
  std::string kind;
};

// Builds a user record (QV_UID).
std::string User(const std::string& env, const std::string& id, const std::string& type,
                 const std::string& password = "");

// Gives the process a user and password for the life of the object.
struct ProcessLogin {
  ProcessLogin(const char* user, const char* password) {
    SetProcessUserID(user);
    SetProcessPassword(password);
  }
  ~ProcessLogin() {
    SetProcessUserID("");
    SetProcessPassword("");
  }
};

}  // namespace qv::test
