// A control opened over the recording fake, with environment E1 selected and
// an event log attached, and record builders for the store operations.
#pragma once

#include <string>
#include <vector>

#include "connection/fake_source.h"
#include "event_log.h"
#include "store/records.h"

namespace qv::test {

struct OpenedFake {
  explicit OpenedFake(const std::string& kind) : source(kind, kind == "Oracle" ? "ORCL" : "") {
    source.fake->On("Sread").SqlPrefix("SELECT COUNT(*)").Row("0").Repeatedly();
    opened = source.control->OpenConnection("SRC");
    source.control->AddEventSink(&events);
    source.control->env("E1");  // not stored: selected as an unsecured environment
    source.fake->ClearCalls();
    ClearError();
  }
  QVSource& control() { return *source.control; }
  RecordingFake& fake() { return *source.fake; }
  std::string Prefix() const { return source.Prefix(); }
  bool AS400() const { return source.kind == "AS400"; }
  void ClearError() {
    source.control->ErrorNum();
    source.control->ErrorText();
    source.control->ErrorStep();
  }
  // Returns the calls as "Op FILE [key]" (library prefix left out), Execute
  // as "Execute CODE request", SetConnectOption with its option, Saction
  // and Sread with their statement; GetLastError and connection switches are
  // left out.
  std::vector<std::string> Trace() const;

  FakeSource source;
  EventLog events;
  bool opened = false;
};

// Builds records of the store.
std::string Ex(const std::string& env, const std::string& type = "P", const std::string& desc = "",
               const std::string& secure = "0");
std::string Cx(const std::string& env, const std::string& tgt, const std::string& type = "0",
               const std::string& desc = "");
std::string Gx(const std::string& env, const std::string& grp);
std::string Fx(const std::string& env, const std::string& grp, const std::string& fic);
// Builds a key image of a layout from its leading values.
std::string Key(const Layout& layout, std::initializer_list<std::string_view> values);

}  // namespace qv::test
