// QVmanager: the manager's members and its dispatch table.
#include "automation/qvmanager.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <limits>
#include <thread>
#include <utility>
#include <vector>

#include "automation/hidden_form.h"
#include "automation/late_bound.h"
#include "connection/dllparam.h"
#include "connection/qvsource.h"
#include "operations/engine_text.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"
#include "store/records.h"
#include "store/record_layouts.h"

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
const ControlMember ErrorStep{"ErrorStep"};
const ControlMember SourceType{"SourceType"};
const ControlMember InstanceName{"InstanceName"};
const ControlMember OpenConnection{"OpenConnection"};
const ControlMember CloseConnection{"CloseConnection"};
const ControlMember ConnectionOpen{"ConnectionOpen"};
const ControlMember ReadActivity{"ReadActivity"};
const ControlMember DetailEnvironment{"DetailEnvironment"};
const ControlMember DetailCible{"DetailCible"};
const ControlMember DetailGroup{"DetailGroup"};
const ControlMember DetailGC{"DetailGC"};
const ControlMember ChangeGC{"ChangeGC"};
const ControlMember JobRun{"JobRun"};
const ControlMember StartQV{"StartQV"};
const ControlMember ReadMSG{"ReadMSG"};
const ControlMember env{"env"};
const ControlMember tgt{"tgt"};
const ControlMember Grp{"Grp"};
const ControlMember Fic{"Fic"};
const ControlMember SQL_CRTJRN{"SQL_CRTJRN"};
const ControlMember ORACLE_CRTJRN{"ORACLE_CRTJRN"};
const ControlMember SQL_dbIsJournalised{"SQL_dbIsJournalised"};
const ControlMember ORACLE_DBIsJournalised{"ORACLE_DBIsJournalised"};
const ControlMember SQL_RMVJRN{"SQL_RMVJRN"};
const ControlMember ORACLE_RMVJRN{"ORACLE_RMVJRN"};
const ControlMember SQL_STRJRNPF{"SQL_STRJRNPF"};
const ControlMember IsSqlJrn{"IsSqlJrn"};
const ControlMember isOracleJrn{"isOracleJrn"};
const ControlMember SQL_ENDJRNPF{"SQL_ENDJRNPF"};
const ControlMember ORACLE_DropTblTriggered{"ORACLE_DropTblTriggered"};
const ControlMember SQL_GetJrnFullPathName{"SQL_GetJrnFullPathName"};
const ControlMember ORACLE_GetJrnFullPathName{"ORACLE_GetJrnFullPathName"};
}  // namespace ctl

std::atomic<std::int32_t> gJournalWaitMs{QVmanager::kDefaultJournalWaitMs};

// Calls the SQL Server or Oracle member of the control with the database or
// schema before args; args receives the arguments as the call left them.
ControlResult CallJournal(bool oracle, const std::string& database, const ControlMember& sqlServer,
                          const ControlMember& oracleMember, std::vector<Variant>& args) {
  args.insert(args.begin(), Variant(database));
  return CallControl(oracle ? oracleMember : sqlServer, kCall, args);
}

// Lets the server take in a journal created or removed.
void WaitForServer() {
  const std::int32_t ms = gJournalWaitMs.load();
  if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

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

// Calls one of ctl.DetailEnvironment, DetailCible, DetailGroup with a blank
// record of the layout and the identifier; the record read is dropped.
bool CallDetail(const ControlMember& member, const Layout& layout, const std::string& id) {
  std::vector<Variant> args{Variant(std::string(layout.length, ' ')), Variant(id)};
  return CallControl(member, kCall, args).AsBool();
}

// Ends a late-bound call with the status and text of a failed result.
[[noreturn]] void Throw(const platform::DispResult& r) { throw DispError(r.status, r.text, r.argIndex); }

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

bool QVmanager::UserID(const std::string& value) {
  if (RTrim(value).size() > kMaxUserID) return false;
  SetProcessUserID(value);
  return true;
}

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

// Tells the control's error before the manager's refusal: a refusal clears
// the control's error state, so an error the control holds came after it.
std::string QVmanager::ErrorText() {
  std::string text = GetControl(ctl::ErrorText).AsString();
  std::string refusal = std::exchange(refusalText_, std::string());
  return text.empty() ? refusal : text;
}

std::int32_t QVmanager::ErrorNum() {
  const std::int32_t num = GetControl(ctl::ErrorNum).AsLong();
  const std::int32_t refusal = std::exchange(refusalNum_, 0);
  return num != 0 ? num : refusal;
}

bool QVmanager::Refuse(std::string text) {
  for (const ControlMember* m : {&ctl::ErrorText, &ctl::ErrorNum, &ctl::ErrorStep}) GetControl(*m);
  refusalNum_ = QVSource::kRefusalNum;
  refusalText_ = std::move(text);
  return false;
}

bool QVmanager::Ready(unsigned needs) {
  if (!ConnectionOpen()) return Refuse(cLoadResString("1904"));
  const struct {
    unsigned need;
    const std::string& id;
    const char* property;
  } ids[] = {{kEnvironment, environmentId_, "EnvironmentID"},
             {kTarget, targetId_, "TargetID"},
             {kModel, modelId_, "ModelID"}};
  for (const auto& i : ids)
    if ((needs & i.need) != 0 && i.id.empty()) return Refuse(cLoadResString("1905", i.property));
  refusalNum_ = 0;
  refusalText_.clear();
  return Selected();
}

bool QVmanager::Stores(std::string_view field) {
  const std::string type = SourceType();
  return type.empty() || type == "AS400" || layout::QV_GC[field].nt;
}

bool QVmanager::DistributionRepriseLibrary(const std::string& value) {
  if (!Trim(value).empty() && !Stores("REPRISELIB")) return false;
  copy_.RepriseLibrary(value);
  return true;
}

bool QVmanager::OpenConnection() {
  refusalNum_ = 0;
  refusalText_.clear();
  if (GetControl(ctl::SourceType).AsString().empty()) PutControl(ctl::SourceType, Variant("AS400"));
  Variant address(sourceAdress_);
  if (!CallControl(ctl::OpenConnection, kCall, platform::Args(&address, 1)).AsBool()) return false;
  // The control selects an environment only once it can read it: select the
  // identifiers given before the connection was open now.
  Selected();
  return true;
}

bool QVmanager::Selected() {
  if (environmentId_.empty() || GetControl(ctl::env).AsString() == environmentId_) return true;
  PutControl(ctl::env, Variant(environmentId_));
  if (GetControl(ctl::env).AsString() != environmentId_) return false;
  if (!targetId_.empty()) PutControl(ctl::tgt, Variant(targetId_));
  if (!modelId_.empty()) PutControl(ctl::Grp, Variant(modelId_));
  if (!fileId_.empty()) PutControl(ctl::Fic, Variant(fileId_));
  return true;
}

bool QVmanager::CloseConnection() { return CallControl(ctl::CloseConnection, kCall).AsBool(); }
bool QVmanager::ConnectionOpen() { return GetControl(ctl::ConnectionOpen).AsBool(); }

bool QVmanager::ReadActivity() {
  if (!activity_ || !Ready(kDistribution)) return false;
  std::string block;
  if (!CallReadActivity(environmentId_, targetId_, modelId_, "G", " ", block)) return false;
  activity_->Fill(block);
  return true;
}

bool QVmanager::StopQV() {
  if (!Ready(kDistribution)) return false;
  std::string block;
  return CallReadActivity(environmentId_, targetId_, modelId_, "G", "I", block);
}

bool QVmanager::ReadEnvironnement() {
  return Ready(kEnvironment) && CallDetail(ctl::DetailEnvironment, layout::QV_EX, environmentId_);
}
bool QVmanager::ReadTarget() {
  return Ready(kEnvironment | kTarget) && CallDetail(ctl::DetailCible, layout::QV_CX, targetId_);
}
bool QVmanager::ReadModel() {
  return Ready(kEnvironment | kModel) && CallDetail(ctl::DetailGroup, layout::QV_GX, modelId_);
}

bool QVmanager::ReadDistribution() {
  if (!Ready(kDistribution)) return false;
  std::vector<Variant> args{Variant(modelId_), Variant(targetId_), Variant(std::string(layout::QV_GC.length, ' '))};
  if (!CallControl(ctl::DetailGC, kCall, args).AsBool()) return false;
  const std::string* record = args[2].Get<std::string>();
  if (record == nullptr) return false;
  copy_.Assign(*record);
  distributionRead_ = true;
  return true;
}

bool QVmanager::UpdateDistribution() {
  if (!distributionRead_ || !Ready(kDistribution)) return false;
  std::vector<Variant> args{Variant(modelId_), Variant(targetId_), Variant(copy_.image())};
  return CallControl(ctl::ChangeGC, kCall, args).AsBool();
}

bool QVmanager::StartQV() {
  if (!Ready(kDistribution)) return false;
  std::vector<Variant> args{Variant(environmentId_), Variant(targetId_), Variant(modelId_), Variant(instanceName_)};
  return CallControl(ctl::StartQV, kCall, args).AsBool();
}

bool QVmanager::SourceJobRun() {
  if (!Ready(kDistribution)) return false;
  std::vector<Variant> args{Variant(JobName(environmentId_, targetId_, modelId_)), Variant(std::string())};
  if (!CallControl(ctl::JobRun, kCall, args).AsBool()) return false;
  const std::string* status = args[1].Get<std::string>();
  return status != nullptr && *status == "R";
}

platform::DispResult QVmanager::RunReadMSG(bool first, bool BuildColumn, const platform::ObjectPtr& lv) {
  if (!lv)
    return platform::DispResult::Error(DispStatus::Exception, "Object variable or With block variable not set: lv", 2);
  if (!Ready(kConnection)) return platform::DispResult::Value(Variant(false));
  Variant view(std::int32_t{platform::ListView::kReport});
  platform::DispResult shown = platform::PutProperty(*lv, "View", view);
  if (!shown.ok()) {
    shown.argIndex = 2;
    return shown;
  }
  std::vector<Variant> args{Variant(first), Variant(BuildColumn), Variant(lv), Variant("*ALL")};
  ControlResult r = CallControl(ctl::ReadMSG, kCall, args);
  if (!r.ok()) return r.result;
  return platform::DispResult::Value(Variant(r.AsBool()));
}

bool QVmanager::ReadMSG(bool first, bool BuildColumn, const platform::ObjectPtr& lv) {
  const platform::DispResult r = RunReadMSG(first, BuildColumn, lv);
  const bool* value = r.value.Get<bool>();
  return r.ok() && value != nullptr && *value;
}

void QVmanager::SetJournalWait(std::int32_t milliseconds) { gJournalWaitMs = std::max(milliseconds, 0); }
std::int32_t QVmanager::JournalWait() { return gJournalWaitMs.load(); }

QVmanager::JournalKind QVmanager::JournalSource(const char* member) {
  if (!ConnectionOpen()) {
    Refuse(cLoadResString("1904"));
    return JournalKind::None;
  }
  const std::string type = SourceType();
  const bool captureOnOracle = type == "Oracle" && std::string_view(member) == "StartTableJournalisation";
  if ((type != "SQL Server" && type != "Oracle") || captureOnOracle) {
    Refuse(cLoadResString("2506", member, type));
    return JournalKind::None;
  }
  refusalNum_ = 0;
  refusalText_.clear();
  return type == "Oracle" ? JournalKind::Oracle : JournalKind::SqlServer;
}

bool QVmanager::CreateQVJournal(std::string& szJrnPath) {
  const JournalKind kind = JournalSource("CreateQVJournal");
  if (kind == JournalKind::None) return false;
  std::vector<Variant> args{Variant(szJrnPath)};
  const bool ok = CallJournal(kind == JournalKind::Oracle, JournalDatabase(kind), ctl::SQL_CRTJRN,
                              ctl::ORACLE_CRTJRN, args)
                      .AsBool();
  if (const std::string* path = args[1].Get<std::string>()) szJrnPath = *path;
  WaitForServer();
  return ok;
}

bool QVmanager::RemoveQVJournal() {
  const JournalKind kind = JournalSource("RemoveQVJournal");
  if (kind == JournalKind::None) return false;
  std::vector<Variant> args;
  const bool ok =
      CallJournal(kind == JournalKind::Oracle, JournalDatabase(kind), ctl::SQL_RMVJRN, ctl::ORACLE_RMVJRN, args)
          .AsBool();
  WaitForServer();
  return ok;
}

bool QVmanager::DBIsQVJournalised() {
  const JournalKind kind = JournalSource("DBIsQVJournalised");
  std::vector<Variant> args;
  return kind != JournalKind::None && CallJournal(kind == JournalKind::Oracle, JournalDatabase(kind),
                                                  ctl::SQL_dbIsJournalised, ctl::ORACLE_DBIsJournalised, args)
                                          .AsBool();
}

std::string QVmanager::JournalFullPathName() {
  const JournalKind kind = JournalSource("JournalFullPathName");
  if (kind == JournalKind::None) return {};
  std::vector<Variant> args;
  return CallJournal(kind == JournalKind::Oracle, JournalDatabase(kind), ctl::SQL_GetJrnFullPathName,
                     ctl::ORACLE_GetJrnFullPathName, args)
      .AsString();
}

bool QVmanager::StartTableJournalisation(const std::string& szTable) {
  const JournalKind kind = JournalSource("StartTableJournalisation");
  std::vector<Variant> args{Variant(szTable)};
  return kind != JournalKind::None &&
         CallJournal(false, JournalDatabase(kind), ctl::SQL_STRJRNPF, ctl::SQL_STRJRNPF, args).AsBool();
}

bool QVmanager::IsTableJournalised(const std::string& szTable) {
  const JournalKind kind = JournalSource("IsTableJournalised");
  std::vector<Variant> args{Variant(szTable)};
  return kind != JournalKind::None &&
         CallJournal(kind == JournalKind::Oracle, JournalDatabase(kind), ctl::IsSqlJrn, ctl::isOracleJrn, args)
             .AsBool();
}

bool QVmanager::StopTableJournalisation(const std::string& szTable) {
  const JournalKind kind = JournalSource("StopTableJournalisation");
  std::vector<Variant> args{Variant(szTable)};
  return kind != JournalKind::None && CallJournal(kind == JournalKind::Oracle, JournalDatabase(kind),
                                                  ctl::SQL_ENDJRNPF, ctl::ORACLE_DropTblTriggered, args)
                                          .AsBool();
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
             const std::string user = a.String(0);
             if (!m.UserID(user))
               throw DispError(DispStatus::Exception,
                               "UserID: a user identifier has at most " + std::to_string(kMaxUserID) +
                                   " characters; this one has " + std::to_string(RTrim(user).size()),
                               0);
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

          // ---- Configuration
          {"ReadEnvironnement", 0x60030015, kCall, 0,
           [](QVmanager& m, ArgList&) { return Variant(m.ReadEnvironnement()); }},
          {"ReadTarget", 0x60030016, kCall, 0, [](QVmanager& m, ArgList&) { return Variant(m.ReadTarget()); }},
          {"ReadModel", 0x60030017, kCall, 0, [](QVmanager& m, ArgList&) { return Variant(m.ReadModel()); }},
          {"ReadDistribution", 0x60030018, kCall, 0,
           [](QVmanager& m, ArgList&) { return Variant(m.ReadDistribution()); }},

          // ---- The manager's copy of the distribution
          {"DistributionRepriseType", 0x6803000A, kGet, 0,
           [](QVmanager& m, ArgList&) { return Variant(m.DistributionRepriseType()); }},
          {"DistributionRepriseType", 0x6803000A, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.DistributionRepriseType(a.String(0));
             return Variant();
           }},
          {"DistributionRepriseLibrary", 0x68030009, kGet, 0,
           [](QVmanager& m, ArgList&) { return Variant(m.DistributionRepriseLibrary()); }},
          {"DistributionRepriseLibrary", 0x68030009, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             if (!m.DistributionRepriseLibrary(a.String(0)))
               throw DispError(DispStatus::Exception,
                               "DistributionRepriseLibrary: a " + m.SourceType() +
                                   " source stores no receiver library; only a blank one is taken",
                               0);
             return Variant();
           }},
          {"DistributionRepriseReceiver", 0x68030008, kGet, 0,
           [](QVmanager& m, ArgList&) { return Variant(m.DistributionRepriseReceiver()); }},
          {"DistributionRepriseReceiver", 0x68030008, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.DistributionRepriseReceiver(a.String(0));
             return Variant();
           }},
          {"DistributionReprisePoint", 0x68030007, kGet, 0,
           [](QVmanager& m, ArgList&) {
             const std::int64_t point = m.DistributionReprisePoint();
             if (point < std::numeric_limits<std::int32_t>::min() || point > std::numeric_limits<std::int32_t>::max()) {
               const Record gc(layout::QV_GC, m.DistributionRecord());
               throw DispError(DispStatus::Overflow, "Overflow: the recovery point \"" +
                                                         std::string(gc.Get("REPRISEPNT")) + "\" does not fit a Long");
             }
             return Variant(static_cast<std::int32_t>(point));
           }},
          {"DistributionReprisePoint", 0x68030007, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             const std::int32_t point = a.Long(0);
             if (!m.DistributionReprisePoint(point))
               throw DispError(DispStatus::Overflow,
                               "DistributionReprisePoint: a recovery point cannot be negative (" +
                                   std::to_string(point) + ")",
                               0);
             return Variant();
           }},
          {"DistributionScheduled", 0x68030006, kGet, 0,
           [](QVmanager& m, ArgList&) { return Variant(m.DistributionScheduled()); }},
          {"DistributionScheduled", 0x68030006, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.DistributionScheduled(a.Bool(0));
             return Variant();
           }},
          {"DistributionHold", 0x68030005, kGet, 0,
           [](QVmanager& m, ArgList&) { return Variant(m.DistributionHold()); }},
          {"DistributionHold", 0x68030005, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.DistributionHold(a.Bool(0));
             return Variant();
           }},
          {"UpdateDistribution", 0x60030019, kCall, 0,
           [](QVmanager& m, ArgList&) {
             if (!m.distributionRead_)
               throw DispError(DispStatus::Exception,
                               "UpdateDistribution: no distribution was read; call ReadDistribution first");
             return Variant(m.UpdateDistribution());
           }},

          // ---- Engine
          {"SourceJobRun", 0x6003001F, kCall, 0, [](QVmanager& m, ArgList&) { return Variant(m.SourceJobRun()); }},
          {"StopQV", 0x60030020, kCall, 0, [](QVmanager& m, ArgList&) { return Variant(m.StopQV()); }},
          {"StartQV", 0x60030021, kCall, 0, [](QVmanager& m, ArgList&) { return Variant(m.StartQV()); }},
          {"ReadActivity", 0x60030022, kCall, 0,
           [](QVmanager& m, ArgList&) {
             if (!m.activity_)
               throw DispError(DispStatus::Exception, "Object variable or With block variable not set: Activity");
             return Variant(m.ReadActivity());
           }},

          // ---- Messages: ReadMSG(first, BuildColumn, lv)
          {"ReadMSG", 0x60030023, kCall, 3,
           [](QVmanager& m, ArgList& a) {
             const platform::DispResult r = m.RunReadMSG(a.Bool(0), a.Bool(1), a.Object(2));
             if (!r.ok()) Throw(r);
             return r.value;
           }},

          // ---- Journalisation of NT sources
          {"SQL_DBname", 0x68030003, kGet, 0, [](QVmanager& m, ArgList&) { return Variant(m.SQL_DBname()); }},
          {"SQL_DBname", 0x68030003, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.SQL_DBname(a.String(0));
             return Variant();
           }},
          {"ORACLE_SchemaName", 0x68030002, kGet, 0,
           [](QVmanager& m, ArgList&) { return Variant(m.ORACLE_SchemaName()); }},
          {"ORACLE_SchemaName", 0x68030002, kPut, 1,
           [](QVmanager& m, ArgList& a) {
             m.ORACLE_SchemaName(a.String(0));
             return Variant();
           }},
          {"CreateQVJournal", 0x60030024, kCall, 1,
           [](QVmanager& m, ArgList& a) {
             std::string path = a.String(0);
             const bool ok = m.CreateQVJournal(path);
             a.Set(0, Variant(std::move(path)));
             return Variant(ok);
           }},
          {"DBIsQVJournalised", 0x68030001, kGet, 0,
           [](QVmanager& m, ArgList&) { return Variant(m.DBIsQVJournalised()); }},
          {"RemoveQVJournal", 0x60030025, kCall, 0, [](QVmanager& m, ArgList&) { return Variant(m.RemoveQVJournal()); }},
          {"StartTableJournalisation", 0x60030026, kCall, 1,
           [](QVmanager& m, ArgList& a) { return Variant(m.StartTableJournalisation(a.String(0))); }},
          {"IsTableJournalised", 0x60030027, kCall, 1,
           [](QVmanager& m, ArgList& a) { return Variant(m.IsTableJournalised(a.String(0))); }},
          {"StopTableJournalisation", 0x60030028, kCall, 1,
           [](QVmanager& m, ArgList& a) { return Variant(m.StopTableJournalisation(a.String(0))); }},
          {"JournalFullPathName", 0x68030000, kGet, 0,
           [](QVmanager& m, ArgList&) { return Variant(m.JournalFullPathName()); }},
      });
  return table;
}

}  // namespace qv::automation
