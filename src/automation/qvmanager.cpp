// QVmanager: the manager's members and its dispatch table.
#include "automation/qvmanager.h"

#include <vector>

#include "automation/frm.h"
#include "automation/late_bound.h"
#include "connection/dllparam.h"
#include "connection/qvsource.h"
#include "operations/engine_text.h"

namespace qv::automation {
namespace {

using platform::ArgList;
using platform::DispError;
using platform::DispStatus;
using platform::InvokeKind;
using platform::Variant;

constexpr InvokeKind kGet = InvokeKind::PropertyGet;
constexpr InvokeKind kPut = InvokeKind::PropertyPut;
constexpr InvokeKind kPutRef = InvokeKind::PropertyPutRef;
constexpr InvokeKind kCall = InvokeKind::Method;

// Members of the control that the manager calls.
namespace ctl {
const ControlMember ErrorText{"ErrorText"};
const ControlMember ErrorNum{"ErrorNum"};
const ControlMember SourceType{"SourceType"};
const ControlMember InstanceName{"InstanceName"};
const ControlMember OpenConnection{"OpenConnection"};
const ControlMember CloseConnection{"CloseConnection"};
const ControlMember ConnectionOpen{"ConnectionOpen"};
const ControlMember ReadActivity{"ReadActivity"};
const ControlMember env{"env"};
const ControlMember tgt{"tgt"};
const ControlMember Grp{"Grp"};
const ControlMember Fic{"Fic"};
}  // namespace ctl

// Calls ctl.ReadActivity(environment, target, model, 261 blanks, 1024,
// action, option); on true block receives the activity block.
bool CallReadActivity(const std::string& environment, const std::string& target,
                      const std::string& model, const std::string& action,
                      const std::string& option, std::string& block) {
  std::vector<Variant> args{Variant(environment),
                            Variant(target),
                            Variant(model),
                            Variant(std::string(DllParam::kActivityBlock, ' ')),
                            Variant(std::int32_t{1024}),
                            Variant(action),
                            Variant(option)};
  const ControlResult r = CallControl(ctl::ReadActivity, kCall, args);
  if (!r.AsBool()) return false;
  const std::string* out = args[3].Get<std::string>();
  block = out != nullptr ? *out : std::string();
  return true;
}

// Reads an object argument that must be of class T or Nothing.
template <class T>
std::shared_ptr<T> ObjectOrNothing(ArgList& a, std::size_t i) {
  platform::ObjectPtr object = a.Object(i);
  if (!object) return nullptr;
  return a.ObjectAs<T>(i);
}

}  // namespace

QVmanager::QVmanager() {
  auto activity = std::make_shared<automation::Activity>();
  cActivity_ = std::make_shared<platform::Collection>();
  cActivity_->Add(Variant(activity));
  const Variant* item = cActivity_->Item(std::size_t{1});
  activity_ = std::dynamic_pointer_cast<automation::Activity>(item->ToObject());
}

QVmanager::~QVmanager() {
  // Never creates a form only to find it closed.
  if (ExistingForm() == nullptr) return;
  if (ConnectionOpen()) CloseConnection();
}

std::string QVmanager::InstanceName() { return GetControl(ctl::InstanceName).AsString(); }

void QVmanager::InstanceName(const std::string& value) {
  instanceName_ = value;
  PutControl(ctl::InstanceName, Variant(value));
}

void QVmanager::UserID(const std::string& value) { SetProcessUserID(value); }
void QVmanager::Password(const std::string& value) { SetProcessPassword(value); }

std::string QVmanager::SourceType() { return GetControl(ctl::SourceType).AsString(); }
void QVmanager::SourceType(const std::string& value) { PutControl(ctl::SourceType, Variant(value)); }

std::string QVmanager::EnvironmentID() { return GetControl(ctl::env).AsString(); }
void QVmanager::EnvironmentID(const std::string& value) {
  environmentId_ = NormalizeId(value, 2);
  PutControl(ctl::env, Variant(environmentId_));
}

std::string QVmanager::TargetID() { return GetControl(ctl::tgt).AsString(); }
void QVmanager::TargetID(const std::string& value) {
  targetId_ = NormalizeId(value, 3);
  PutControl(ctl::tgt, Variant(targetId_));
}

std::string QVmanager::ModelID() { return GetControl(ctl::Grp).AsString(); }
void QVmanager::ModelID(const std::string& value) {
  modelId_ = NormalizeId(value, 3);
  PutControl(ctl::Grp, Variant(modelId_));
}

void QVmanager::FileID(const std::string& value) {
  fileId_ = value;
  PutControl(ctl::Fic, Variant(value));
}

std::string QVmanager::ErrorText() { return GetControl(ctl::ErrorText).AsString(); }
std::int32_t QVmanager::ErrorNum() { return GetControl(ctl::ErrorNum).AsLong(); }

bool QVmanager::OpenConnection() {
  if (GetControl(ctl::SourceType).AsString().empty()) PutControl(ctl::SourceType, Variant("AS400"));
  Variant address(sourceAdress_);
  if (!CallControl(ctl::OpenConnection, kCall, platform::Args(&address, 1)).AsBool()) return false;
  // The control selects an environment only once it can read it: select the
  // identifiers given before the connection was open now.
  if (!environmentId_.empty() && GetControl(ctl::env).AsString() != environmentId_) {
    PutControl(ctl::env, Variant(environmentId_));
    if (!targetId_.empty()) PutControl(ctl::tgt, Variant(targetId_));
    if (!modelId_.empty()) PutControl(ctl::Grp, Variant(modelId_));
    if (!fileId_.empty()) PutControl(ctl::Fic, Variant(fileId_));
  }
  return true;
}

bool QVmanager::CloseConnection() { return CallControl(ctl::CloseConnection, kCall).AsBool(); }
bool QVmanager::ConnectionOpen() { return GetControl(ctl::ConnectionOpen).AsBool(); }

bool QVmanager::ReadActivity() {
  if (!activity_) return false;
  std::string block;
  if (!CallReadActivity(environmentId_, targetId_, modelId_, "G", " ", block)) return false;
  activity_->Fill(block);
  return true;
}

bool QVmanager::StopQV() {
  std::string block;
  return CallReadActivity(environmentId_, targetId_, modelId_, "G", "I", block);
}

// Rows: name, DISPID, kind, number of arguments (a put counts its value),
// handler. To add a member, add its row here and its C++ member above.
const platform::DispatchTable& QVmanager::Table() {
  static const platform::DispatchTable table = platform::MakeDispatchTable<QVmanager>(
      "QVmanager",
      {
          // ---- Public variables
          {"cActivity", 0x4003000E, kGet, 0, [](QVmanager& m, ArgList&) { return Variant(m.cActivity_); }},
          {"cActivity", 0x4003000E, kPutRef, 1,
           [](QVmanager& m, ArgList& a) {
             m.cActivity_ = ObjectOrNothing<platform::Collection>(a, 0);
             return Variant();
           }},
          {"Activity", 0x4003000F, kGet, 0, [](QVmanager& m, ArgList&) { return Variant(m.activity_); }},
          {"Activity", 0x4003000F, kPutRef, 1,
           [](QVmanager& m, ArgList& a) {
             m.activity_ = ObjectOrNothing<automation::Activity>(a, 0);
             return Variant();
           }},

          // ---- Source and login
          {"InstanceName", 0x68030012, kGet, 0, [](QVmanager& m, ArgList&) { return Variant(m.InstanceName()); }},
          {"InstanceName", 0x68030012, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.InstanceName(a.String(0));
             return Variant();
           }},
          {"UserID", 0x68030011, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.UserID(a.String(0));
             return Variant();
           }},
          {"Password", 0x68030010, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.Password(a.String(0));
             return Variant();
           }},
          {"SourceAdress", 0x6803000F, kGet, 0, [](QVmanager& m, ArgList&) { return Variant(m.SourceAdress()); }},
          {"SourceAdress", 0x6803000F, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.SourceAdress(a.String(0));
             return Variant();
           }},
          {"SourceType", 0x6803000E, kGet, 0, [](QVmanager& m, ArgList&) { return Variant(m.SourceType()); }},
          {"SourceType", 0x6803000E, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.SourceType(a.String(0));
             return Variant();
           }},

          // ---- Identifiers of the distribution
          {"EnvironmentID", 0x6803000D, kGet, 0, [](QVmanager& m, ArgList&) { return Variant(m.EnvironmentID()); }},
          {"EnvironmentID", 0x6803000D, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.EnvironmentID(a.String(0));
             return Variant();
           }},
          {"TargetID", 0x6803000C, kGet, 0, [](QVmanager& m, ArgList&) { return Variant(m.TargetID()); }},
          {"TargetID", 0x6803000C, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.TargetID(a.String(0));
             return Variant();
           }},
          {"ModelID", 0x6803000B, kGet, 0, [](QVmanager& m, ArgList&) { return Variant(m.ModelID()); }},
          {"ModelID", 0x6803000B, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.ModelID(a.String(0));
             return Variant();
           }},
          {"FileID", 0x68030004, kGet, 0, [](QVmanager& m, ArgList&) { return Variant(m.FileID()); }},
          {"FileID", 0x68030004, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.FileID(a.String(0));
             return Variant();
           }},

          // ---- Error state
          {"ErrorText", 0x6003001A, kCall, 0, [](QVmanager& m, ArgList&) { return Variant(m.ErrorText()); }},
          {"ErrorNum", 0x6003001B, kCall, 0, [](QVmanager& m, ArgList&) { return Variant(m.ErrorNum()); }},

          // ---- Connection
          {"OpenConnection", 0x6003001C, kCall, 0, [](QVmanager& m, ArgList&) { return Variant(m.OpenConnection()); }},
          {"CloseConnection", 0x6003001D, kCall, 0,
           [](QVmanager& m, ArgList&) { return Variant(m.CloseConnection()); }},
          {"ConnectionOpen", 0x6003001E, kCall, 0, [](QVmanager& m, ArgList&) { return Variant(m.ConnectionOpen()); }},

          // ---- Engine
          {"StopQV", 0x60030020, kCall, 0, [](QVmanager& m, ArgList&) { return Variant(m.StopQV()); }},
          {"ReadActivity", 0x60030022, kCall, 0,
           [](QVmanager& m, ArgList&) {
             if (!m.activity_)
               throw DispError(DispStatus::Exception, "Object variable or With block variable not set: Activity");
             return Variant(m.ReadActivity());
           }},
      });
  return table;
}

}  // namespace qv::automation
