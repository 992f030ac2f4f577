// A control over the recording fake, scripted to answer like a healthy
// source of a kind, for the tests that check what the control sends.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "connection/qvsource.h"
#include "support/event_log.h"
#include "support/recording_fake.h"

namespace qv::test {

// Returns the file prefix of a kind: "QV_USRDATA/", "QV_USRDATA..", ...
std::string PrefixOf(const std::string& kind);

// Scripts fake so that a control of kind ("AS400", "ODBC", "SQL Server",
// "Oracle") opens it: a version record of the kind, the settings of SQL
// Server (also of instance INST) and Oracle (instance ORCL), and the answers
// of SQL Server's installation checks.
void ScriptHealthySource(RecordingFake& fake, const std::string& kind);

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

struct FakeSource {
  explicit FakeSource(const std::string& kind, const std::string& instance = "");

  // Answers the QV_VER read with a record whose SRCTYPE is srcType.
  void Version(char srcType);
  std::string Prefix() const { return PrefixOf(kind); }
  bool AS400() const { return kind == "AS400"; }

  RecordingFake* fake;  // owned by control
  std::unique_ptr<QVSource> control;
  std::string kind;
};

// A FakeSource opened with an empty user file, environment E1 selected (not
// stored: an unsecured environment), an event log attached and the calls
// of the opening forgotten.
struct OpenedFake : FakeSource {
  explicit OpenedFake(const std::string& kind);

  QVSource& control() { return *FakeSource::control; }
  RecordingFake& fake() { return *FakeSource::fake; }
  void ClearError();
  // Tells whether a record or statement was written.
  bool Writes() const;
  // Returns the calls as "Op FILE [key]" (library prefix left out), Execute
  // as "Execute CODE request", SetConnectOption with its option, Saction
  // and Sread with their statement, SJobList and DeleteFile with their name,
  // " -> 0" after a call that failed; connection switches are left out.
  std::vector<std::string> Trace() const;

  EventLog events;
  bool opened = false;
};

}  // namespace qv::test
