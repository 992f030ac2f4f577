// Source connection: opening and closing the source and its store, the three
// library connections, the idle check and the pings.
#include "connection/qvsource.h"
#include "connection/remote_commands.h"
#include "platform/clock.h"
#include "platform/controls.h"
#include "presentation/messages.h"
#include "presentation/strutil.h"
#include "store/records.h"

#include <utility>

namespace qv {
namespace {

std::string Msg(const char* id, const std::string& p1 = "") { return cLoadResString(id, p1); }

}  // namespace

QVSource::QVSource(std::unique_ptr<DllParam> library) : lib_(std::move(library)) {}

QVSource::~QVSource() {
  if (conn_[kS].open) {
    try {
      CloseConnection();
    } catch (...) {
      // A destructor never throws; the library closes what is left with it.
    }
  }
}

double QVSource::Now() { return platform::CurrentClock().Now(); }

int QVSource::Index(ConnKind kind) {
  switch (kind) {
    case ConnKind::Source: return kS;
    case ConnKind::Replication: return kR;
    case ConnKind::TargetServer: return kC;
  }
  return kS;
}

void QVSource::SourceType(const std::string& value) {
  const std::string v = UCase(Trim(value));
  if (v == "ORACLE") sourceType_ = "Oracle";
  else if (v == "SQL SERVER") sourceType_ = "SQL Server";
  else if (v == "ODBC") sourceType_ = "ODBC";
  else sourceType_ = "AS400";
}

std::string QVSource::EngineKind() const {
  if (sourceType_ == "SQL Server") return DllParam::kKindSqlServer;
  if (sourceType_ == "Oracle") return DllParam::kKindOracle;
  return DllParam::kKindOdbc;
}

std::string QVSource::LabelSeparator() const {
  std::string sep = " ";
  sep.push_back(static_cast<char>(std::stoi(cLoadResString("15").empty() ? "150" : cLoadResString("15"))));
  sep.push_back(' ');
  return sep;
}

void QVSource::LastSendIP() { conn_[Index(static_cast<ConnKind>(lastKind_))].lastUse = Now(); }

void QVSource::gsQVParamSwitchMConnection(int32_t handle, ConnKind kind) {
  lastKind_ = static_cast<char>(kind);
  if (handle != currentHandle_ && handle > 0) {
    LastSendIP();
    lib_->SwitchMConnection(handle);
    currentHandle_ = handle;
  }
}

DllParam& QVSource::Via(ConnKind kind) {
  gsQVParamSwitchMConnection(conn_[Index(kind)].handle, kind);
  LastSendIP();
  return *lib_;
}

void QVSource::ShowStatus(platform::TextBox* text, platform::Label* caption,
                          const std::string& message) {
  if (text == nullptr) return;
  text->Text = message;
  if (caption != nullptr) caption->Caption = text->Text;
}

bool QVSource::RunClCommand(const std::string& command) {
  RemoteCommand c = ClCommand(command);
  if (Src().Execute(c.code, c.ctl, c.data) == 0) {
    QVParamError();
    return false;
  }
  return true;
}

bool QVSource::OpenLibraryConnection(const std::string& address, Connection& c) {
  std::string version(DllParam::kServerInfoWidth, ' '), job(DllParam::kServerInfoWidth, ' ');
  int32_t h = 0;
  LastSendIP();
  if (lib_->OpenMConnection(address, version, job, h) == 0) {
    QVParamError();
    return false;
  }
  c.handle = h;
  c.lastUse = Now();
  currentHandle_ = h;
  return true;
}

// ---- OpenConnection ---------------------------------------------------------------

bool QVSource::OpenConnection(const std::string& address, platform::TextBox* statusText,
                              platform::Label* statusCaption) {
  return Guard("OpenConnection", [&] {
    Connection& s = conn_[kS];
    s.address = UCase(Trim(address));
    if (s.open) {
      ShowStatus(statusText, statusCaption, Msg("2004"));
    } else {
      ShowStatus(statusText, statusCaption, Msg("2005"));
      if (s.address.empty()) {
        Refuse(Msg("2007") + "\r\n" + Msg("2142"));
        ShowStatus(statusText, statusCaption, Msg("2007"));
        return false;
      }
      if (!OpenLibraryConnection(s.address, s)) {
        errorText_ += "\r\n" + Msg("2142");
        ShowStatus(statusText, statusCaption, Msg("2007"));
        return false;
      }
      s.open = true;
      gsQVParamSwitchMConnection(s.handle, ConnKind::Source);
      ShowStatus(statusText, statusCaption, Msg("2006"));
    }
    if (OpenSourceSession(statusText, statusCaption)) {
      SelectKeptEnvironment();
      return true;
    }
    // Any later step failed: the error state is set; close what was opened.
    const std::string step = errorStep_;
    s.open = false;
    CloseConnectionOnly(kS);
    CloseConnection();
    errorStep_ = step;
    if (statusText != nullptr) {
      std::string file;
      const auto open = step.find(":Open ");
      if (open != std::string::npos) file = step.substr(open + 6);
      ShowStatus(statusText, statusCaption, Msg("2008", file));
    }
    return false;
  });
}

bool QVSource::OpenSourceSession(platform::TextBox*, platform::Label*) {
  // Lets the statement reads of steps 2 to 5 share one handle and closes it
  // after them, or when a step fails.
  struct SharedStatement {
    QVSource& q;
    explicit SharedStatement(QVSource& source) : q(source) { q.shareStatement_ = true; }
    ~SharedStatement() { End(); }
    void End() {
      if (!q.shareStatement_) return;
      q.shareStatement_ = false;
      q.ReleaseStatement(std::exchange(q.sharedStatement_, -1));
    }
  } shared(*this);
  // 2. Start-up commands or database login.
  if (IsAS400()) {
    if (!RunClCommand("CHGJOB RUNPTY(20)")) return false;
    if (!RunClCommand("ADDLIBLE QV_USRDATA")) return false;
  } else if (!LoginNT()) {
    return false;
  }
  // 3. File prefix.
  if (sourceType_ == "AS400") prefix_ = "QV_USRDATA/";
  else if (sourceType_ == "SQL Server") prefix_ = "QV_USRDATA..";
  else if (sourceType_ == "Oracle") prefix_ = "QV_USRDATA.";
  else prefix_ = "";
  // 4. The store's version record.
  if (!ReadVersion()) return false;
  // 5. The global user.
  Step("OpenConnection:Open QV_UID");
  if (!OpenFile("QV_UID", DllParam::kModeRead, files_.QV_UID_RO, "OpenConnection:Open QV_UID"))
    return false;
  int32_t type = 0;
  const std::string step = "OpenConnection";
  if (!CheckUser(type, "**")) {
    return false;
  }
  errorStep_ = step;
  globalUserType_ = type;
  shared.End();
  // 6. The store's files.
  if (!OpenStore()) return false;
  // 7. AS/400: announce the user to the server program.
  if (IsAS400()) {
    Step("OpenConnection:SYSCRTUSR_");
    RemoteCommand c = FrameCommand(cmd::kCreateUser, 4096, "04096");
    if (Src().Execute(c.code, c.ctl, c.data) == 0) {
      QVParamError();
      return false;
    }
    Step("OpenConnection");
  }
  return true;
}

bool QVSource::ReadVersion() {
  Step("OpenConnection:Read QV_VER");
  int32_t h = -1;
  if (!OpenFile("QV_VER", DllParam::kModeRead, h, "OpenConnection:Read QV_VER")) return false;
  std::string rec(layout::QV_VER.length, ' ');
  int32_t len = 0;
  int32_t ok = 0;
  if (IsAS400()) {
    ok = Src().Rreadf(h, rec, len, DllParam::kReadNoLock);
  } else {
    lastStatement_ = "SELECT * FROM " + prefix_ + "QV_VER ";
    ok = Src().Sread(h, rec, len, lastStatement_, DllParam::kFirstRow);
  }
  if (ok == 0) QVParamError();
  CloseFile(h);
  if (ok == 0) return false;
  for (char& c : rec)
    if (c == '\0') c = ' ';
  const Record version(layout::QV_VER, rec);
  versionFlag_ = version.Get("VERFLAG") != "*";
  const std::string_view kind = version.Get("SRCTYPE");
  srcType_ = (kind == " " || kind == "0") ? "AS" : kind == "1" ? "NT" : "";
  ver_ = std::string(version.Get("VERSION"));
  if (IsAS400() && srcType_ != "AS") {
    Refuse(Msg("2009"));
    return false;
  }
  if (!IsAS400() && srcType_ != "NT") {
    Refuse(Msg("2134"));
    return false;
  }
  return true;
}

bool QVSource::OpenStore() {
  struct Entry {
    const char* name;
    const char* step;
    const char* mode;
    int32_t StoreFiles::*handle;
  };
  const char* rw = DllParam::kModeUpdate;
  const char* ro = DllParam::kModeRead;
  static const Entry kFiles[] = {
      {"QV_UID", "QV_UID", rw, &StoreFiles::QV_UID},
      {"QV_EX", "QV_EX", rw, &StoreFiles::QV_EX},
      {"QV_EX", "QV_EX_ReadOnly", rw, &StoreFiles::QV_EX_ReadOnly},
      {"QV_CX", "QV_CX", rw, &StoreFiles::QV_CX},
      {"QV_CX_XY", "QV_CX_XY", rw, &StoreFiles::QV_CX_XY},
      {"QV_GX", "QV_GX", rw, &StoreFiles::QV_GX},
      {"QV_GX_GC_1", "QV_GX_GC_1", ro, &StoreFiles::QV_GX_GC_1},
      {"QV_FX", "QV_FX", rw, &StoreFiles::QV_FX},
      {"QV_ZX", "QV_ZX", rw, &StoreFiles::QV_ZX},
      {"QV_TX", "QV_TX", rw, &StoreFiles::QV_TX},
      {"QV_GC", "QV_GC", rw, &StoreFiles::QV_GC},
      {"QV_GC_XY", "QV_GC_XY", rw, &StoreFiles::QV_GC_XY},
      {"QV_FC", "QV_FC", rw, &StoreFiles::QV_FC},
      {"QV_FC_FXU", "QV_FC_FXU", ro, &StoreFiles::QV_FC_FXU},
      {"QV_ZC", "QV_ZC", rw, &StoreFiles::QV_ZC},
      {"QV_END", "QV_END", rw, &StoreFiles::QV_END},
  };
  for (const Entry& e : kFiles) {
    int32_t& h = files_.*(e.handle);
    if (h >= 0) continue;  // still open from an earlier OpenConnection
    if (!OpenFile(e.name, e.mode, h, std::string("OpenConnection:Open ") + e.step)) return false;
  }
  Step("OpenConnection");
  return true;
}

void QVSource::CloseStoreFiles() {
  int32_t* all[] = {&files_.QV_UID_RO, &files_.QV_UID,    &files_.QV_EX,      &files_.QV_EX_ReadOnly,
                    &files_.QV_CX,     &files_.QV_CX_XY,  &files_.QV_GX,      &files_.QV_GX_GC_1,
                    &files_.QV_FX,     &files_.QV_ZX,     &files_.QV_TX,      &files_.QV_GC,
                    &files_.QV_GC_XY,  &files_.QV_FC,     &files_.QV_FC_FXU,  &files_.QV_ZC,
                    &files_.QV_END};
  for (int32_t* h : all) {
    if (*h >= 0 && conn_[kS].handle > 0) {
      LastSendIP();
      lib_->SwitchMConnection(conn_[kS].handle);
      currentHandle_ = conn_[kS].handle;
      lib_->Rclose(*h);
    }
    *h = DllParam::kClosedHandle;
  }
}

// ---- Closing --------------------------------------------------------------------

void QVSource::CloseConnectionOnly(int idx) {
  Connection& c = conn_[idx];
  if (c.handle > 0) {
    lastKind_ = static_cast<char>(idx == kS ? 'S' : idx == kR ? 'R' : 'C');
    LastSendIP();
    lib_->CloseMConnection(c.handle);
    if (currentHandle_ == c.handle) currentHandle_ = 0;
  }
  c.handle = 0;
  c.open = false;
  c.odbc = false;
  c.odbcString.clear();
}

bool QVSource::CloseConnection() {
  if (conn_[kR].open || conn_[kR].handle > 0) CloseConnectionOnly(kR);
  CloseStoreFiles();
  CloseConnectionOnly(kS);
  CloseQVsrv();
  sel_ = Selection{};
  envUnchecked_ = false;
  return true;
}

// ---- Target server and replication connections -----------------------------------

bool QVSource::OpenQVsrv(const std::string& address, const std::string& flag) {
  return Guard("OpenQVsrv", [&] {
    Connection& c = conn_[kC];
    const std::string a = UCase(Trim(address));
    if (c.open) {
      if (c.address == a) return true;
      CloseQVsrv();
    }
    c.address = a;
    if (!OpenLibraryConnection(a, c)) {
      errorText_ += Msg("1903");
      return false;
    }
    c.open = true;
    gsQVParamSwitchMConnection(c.handle, ConnKind::TargetServer);
    if (flag == "0") {
      RemoteCommand cmd = FrameCommand(cmd::kCreateUser, 4096, "04096");
      if (Via(ConnKind::TargetServer).Execute(cmd.code, cmd.ctl, cmd.data) == 0) {
        QVParamError();
        return false;
      }
    }
    return true;
  });
}

void QVSource::CloseQVsrv() {
  Connection& c = conn_[kC];
  if (c.odbc) DeconnectQVsrv();
  c.open = false;
  if (c.handle > 0) CloseConnectionOnly(kC);
  c.handle = 0;
}

void QVSource::DeconnectQVsrv() {
  conn_[kC].odbc = false;
  conn_[kC].odbcString.clear();
}

bool QVSource::ConnectQVsrv(const std::string& flag, const std::string& dsn) {
  return Guard("ConnectQVsrv", [&] {
    Connection& c = conn_[kC];
    DllParam& lib = Via(ConnKind::TargetServer);
    const std::string d = Trim(dsn);
    if (c.odbc) {
      if (c.odbcString == d) return true;
      DeconnectQVsrv();
    }
    c.odbcString = d;
    if (flag == "1") {
      std::string out(DllParam::kDsnMessageBuffer, ' ');
      if (lib.ConnectDSN(dsn, " ", " ", out) == 0) {
        Step("ConnectQVsrv");
        Refuse(std::string(dllparam::CutAtNul(out)));
        return false;
      }
    }
    c.odbc = true;
    return true;
  });
}

bool QVSource::ConnectSourceRepli(const std::string& dsn, const std::string& uid,
                                  const std::string& pwd) {
  return Guard("ConnectSourceRepli", [&] {
    Connection& r = conn_[kR];
    if (!r.open) {
      if (!OpenLibraryConnection(conn_[kS].address, r)) {
        errorText_ += Msg("1903");
        return false;
      }
      r.odbc = false;
    }
    r.open = true;
    DllParam& lib = Via(ConnKind::Replication);
    const std::string wanted = UCase(Trim(dsn)) + UCase(Trim(uid)) + UCase(Trim(pwd));
    if (r.odbc && r.odbcString != wanted) {
      std::string out(DllParam::kDsnMessageBuffer, ' ');
      lib.CloseConnectionDSN(r.odbcString, out);
      r.odbc = false;
    }
    if (!r.odbc) {
      std::string out(DllParam::kDsnMessageBuffer, ' ');
      const std::string connect =
          "DSN=" + Trim(dsn) + ";UID=" + Trim(uid) + ";PWD=" + Trim(pwd) + ";";
      if (lib.ConnectDSN(connect, uid, pwd, out) == 0) {
        Step("ConnectSourceRepli/ConnectDSN");
        Refuse(BufferText(out));
        return false;
      }
      r.odbcString = wanted;
      r.odbc = true;
    }
    return true;
  });
}

// ---- Liveness ---------------------------------------------------------------------

bool QVSource::PingPong() {
  return Guard("PingPong", [&] { return conn_[kS].handle > 0 && Src().PingPong() != 0; });
}

bool QVSource::CtlTimeOut(std::string& kind, std::string& address) {
  return Guard("CtlTimeOut", [&] {
    bool result = true;
    const char previous = lastKind_;
    for (int idx : {kS, kR, kC}) {
      Connection& c = conn_[idx];
      if (!c.open) continue;
      if (Now() - c.lastUse <= kIdleSeconds) continue;
      const ConnKind k = idx == kS ? ConnKind::Source
                         : idx == kR ? ConnKind::Replication
                                     : ConnKind::TargetServer;
      if (Via(k).PingPong() != 0) continue;
      result = false;
      kind = std::string(1, static_cast<char>(k));
      address = idx == kR ? conn_[kS].address : c.address;
      if (idx == kC) CloseQVsrv();
      else CloseConnection();
    }
    if (result) {
      const ConnKind k = static_cast<ConnKind>(previous);
      gsQVParamSwitchMConnection(conn_[Index(k)].handle, k);
    }
    return result;
  });
}

}  // namespace qv
