// A receiver of the control's change events that writes each one down as
// "Name a|b|c", codes trimmed of their trailing blanks and record strings
// left out, so tests can compare the events and their order.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "store/change_events.h"

namespace qv::test {

class EventLog : public QVSourceEvents {
 public:
  std::vector<std::string> seen;
  // The record strings of the events that carry one, in order.
  std::vector<std::string> records;
  // The arguments as received, blanks included, in order.
  std::vector<std::vector<std::string>> raw;

  void Clear() {
    seen.clear();
    records.clear();
    raw.clear();
  }
  // Returns the events whose name starts with name.
  std::vector<std::string> Named(const std::string& name) const {
    std::vector<std::string> out;
    for (const std::string& e : seen)
      if (e.rfind(name, 0) == 0) out.push_back(e);
    return out;
  }

  void EXupdated(S& a, S& b) override { Add("EXupdated", {a, b}); }
  void EXadded(S& a, S& b) override { Add("EXadded", {a, b}); }
  void EXdeleted(S& a) override { Add("EXdeleted", {a}); }
  void CXupdated(S& a, S& b, S& c, S& rec) override { Add("CXupdated", {a, b, c}, &rec); }
  void CXadded(S& a, S& b, S& c, S& rec) override { Add("CXadded", {a, b, c}, &rec); }
  void CXdeleted(S& a, S& b) override { Add("CXdeleted", {a, b}); }
  void CXHold(S& a, S& b) override { Add("CXHold", {a, b}); }
  void CXRelease(S& a, S& b) override { Add("CXRelease", {a, b}); }
  void GXupdated(S& a, S& b, S& c, S& rec) override { Add("GXupdated", {a, b, c}, &rec); }
  void GXadded(S& a, S& b, S& c, S& rec) override { Add("GXadded", {a, b, c}, &rec); }
  void GXdeleted(S& a, S& b) override { Add("GXdeleted", {a, b}); }
  void FXupdated(S& a, S& b, S& c, S& d, S& e, S& rec) override { Add("FXupdated", {a, b, c, d, e}, &rec); }
  void FXadded(S& a, S& b, S& c, S& d, S& e, S& rec) override { Add("FXadded", {a, b, c, d, e}, &rec); }
  void FXdeleted(S& a, S& b, S& c) override { Add("FXdeleted", {a, b, c}); }
  void FXHold(S& a, S& b, S& c) override { Add("FXHold", {a, b, c}); }
  void FXRelease(S& a, S& b, S& c) override { Add("FXRelease", {a, b, c}); }
  void GCadded(S& a, S& b, S& c, S& d) override { Add("GCadded", {a, b, c, d}); }
  void GCupdated(S& a, S& b, S& c) override { Add("GCupdated", {a, b, c}); }
  void GCdeleted(S& a, S& b, S& c) override { Add("GCdeleted", {a, b, c}); }
  void GCHold(S& a, S& b, S& c) override { Add("GCHold", {a, b, c}); }
  void GCRelease(S& a, S& b, S& c) override { Add("GCRelease", {a, b, c}); }
  void FCadded(S& a, S& b, S& c, S& d, S& e, S& f, S& g) override { Add("FCadded", {a, b, c, d, e, f, g}); }
  void FCupdated(S& a, S& b, S& c, S& d, S& e, S& f, S& g) override { Add("FCupdated", {a, b, c, d, e, f, g}); }
  void FCdeleted(S& a, S& b, S& c, S& d) override { Add("FCdeleted", {a, b, c, d}); }
  void FCHold(S& a, S& b, S& c, S& d) override { Add("FCHold", {a, b, c, d}); }
  void FCRelease(S& a, S& b, S& c, S& d) override { Add("FCRelease", {a, b, c, d}); }
  void ZXupdated(S& a, S& b, S& c, S& d, S& rec) override { Add("ZXupdated", {a, b, c, d}, &rec); }
  void ZCupdated(S& a, S& b, S& c, S& d, S& e, S& f) override { Add("ZCupdated", {a, b, c, d, e, f}); }

 private:
  void Add(const char* name, std::initializer_list<std::string> args, const std::string* rec = nullptr) {
    std::string text = name;
    char sep = ' ';
    for (const std::string& a : args) {
      text += sep + a.substr(0, a.find_last_not_of(' ') + 1);
      sep = '|';
    }
    seen.push_back(text);
    raw.emplace_back(args);
    if (rec != nullptr) records.push_back(*rec);
  }
};

}  // namespace qv::test
