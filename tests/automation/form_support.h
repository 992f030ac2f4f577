// Puts a recording fake under the control of this thread's hidden form, and
// builds and reads activity blocks, for the tests of the public classes.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "automation/hidden_form.h"
#include "automation/qvmanager.h"
#include "store/record_layouts.h"
#include "store/records.h"
#include "support/fake_control.h"

namespace qv::test {

class FakeOnForm {
 public:
  explicit FakeOnForm(std::unique_ptr<RecordingFake> fake = std::make_unique<RecordingFake>())
      : fake_(fake.get()) {
    control_ = &automation::InstallLibrary(std::move(fake));
  }
  ~FakeOnForm() { automation::DropForm(); }
  FakeOnForm(const FakeOnForm&) = delete;
  FakeOnForm& operator=(const FakeOnForm&) = delete;

  RecordingFake& fake() { return *fake_; }
  QVSource& control() { return *control_; }

  // Scripts the fake as a healthy source of kind, with an empty user file.
  void HealthySource(const std::string& kind) { ScriptHealthySource(*fake_, kind); }

  // Opens the manager's connection to a healthy source of kind for the
  // distribution AA / T1_ / M1_, then forgets the calls and the error state.
  // Returns false when the connection does not open.
  bool OpenFor(automation::QVmanager& m, const std::string& kind = "AS400") {
    HealthySource(kind);
    if (kind != "AS400") m.SourceType(kind);
    if (kind == "Oracle") m.InstanceName("ORCL");
    m.SourceAdress("src1");
    if (!m.OpenConnection()) return false;
    m.EnvironmentID("aa");
    m.TargetID("t1");
    m.ModelID("m1");
    fake_->ClearCalls();
    control_->ErrorNum();
    return true;
  }

 private:
  RecordingFake* fake_;
  QVSource* control_;
};

// Returns an activity block whose every field holds its own name, cut or
// padded with blanks to its width: "SReceiver            RcvNum    ...".
inline std::string NamedActivityBlock() {
  Record r(layout::Activity);
  for (const Field& f : layout::Activity.fields) r.Set(f.name, f.name);
  return r.image();
}

// Returns the value of every property of the manager's activity, in block order.
inline std::vector<std::string> ActivityValues(automation::QVmanager& m) {
  std::vector<std::string> v;
  for (std::size_t i = 0; i < automation::Activity::kCount; ++i) v.push_back(m.Activity()->Get(i));
  return v;
}

}  // namespace qv::test
