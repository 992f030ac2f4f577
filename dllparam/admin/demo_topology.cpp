// Writes the demonstration topology of a store through the record layouts.
#include <string>

#include "dllparam/embedded/embedded_engine.h"
#include "dllparam/admin/store_admin.h"

namespace qv::embedded {
namespace {

// Returns n as a zero-filled decimal text of width digits.
std::string Num(long n, size_t width) {
  std::string s = std::to_string(n);
  return s.size() >= width ? s : std::string(width - s.size(), '0') + s;
}

// Returns library, file and member as a 30-character object name.
std::string ObjectName(const std::string& library, const std::string& file, const std::string& member) {
  Record r(layout::ObjectName);
  r.Set("LIBRARY", library);
  r.Set("FILE", file);
  r.Set("MEMBER", member);
  return r.image();
}

struct DemoField {
  const char* name;
  const char* description;
  const char* type;  // field type code
  int length;
  int decimals;
  int keyOrder;
};

struct DemoTable {
  const char* env;
  const char* model;
  const char* ficid;
  const char* file;
  const char* description;
  std::initializer_list<DemoField> fields;
};

void PutEnvironment(StoreAdmin& s, const char* env, const char* type, const char* description, bool secured,
                    const std::string& srcType, int x) {
  Record r(layout::QV_EX);
  r.Set("ENVID", env);
  r.Set("ENVTYPE", type);
  r.Set("DESCRIP", description);
  r.Set("HOLD", "0");
  r.Set("SRCID", "SRC");
  r.Set("SRCTYPE", srcType);
  r.Set("TEMPO", "05");
  r.Set("RETRY", "010");
  r.Set("MAXOPEN", "050");
  r.Set("X", Num(x, 10));
  r.Set("Y", Num(40, 10));
  r.Set("SECURE", secured ? "1" : "0");
  s.PutRecord(r);
}

void PutTarget(StoreAdmin& s, const char* env, const char* tgt, const char* description, bool nt,
               const char* address, int x) {
  Record r(layout::QV_CX);
  r.Set("ENVID", env);
  r.Set("TGTID", tgt);
  r.Set("DESCRIP", description);
  r.Set("HOLD", "0");
  r.Set("TGTTYPE", nt ? "1" : "0");
  r.Set("COMTYPE", "0");
  r.Set("TGTADRESS", address);
  r.Set("TGTNAME", tgt);
  r.Set("LOCALNAME", "LOCAL");
  r.Set("FMTDATE", "1");
  r.Set("TGTTEST", "0");
  r.Set("TGTTRACE", "0");
  r.Set("TEMPO", "05");
  r.Set("RETRY", "010");
  r.Set("MAXOPEN", "050");
  r.Set("X", Num(x, 10));
  r.Set("Y", Num(160, 10));
  s.PutRecord(r);
}

void PutModel(StoreAdmin& s, const char* env, const char* grp, const char* description, int x) {
  Record r(layout::QV_GX);
  r.Set("ENVID", env);
  r.Set("GRPID", grp);
  r.Set("DESCRIP", description);
  r.Set("HOLD", "0");
  r.Set("GRPTYPE", "0");
  r.Set("DSN_NAME", "QVDATA");
  r.Set("DSN_UID", "QVDATA");
  r.Set("DSN_PWD", "QVDATA");
  r.Set("FREQUENCY", "000000");
  r.Set("MANDISTRI", "0");
  r.Set("ALLMBRDIST", "0");
  for (const char* option : {"ACCESMODE", "SHAREDOPN", "CONTERROR", "REPAIR", "CTRBEFORE", "CLRPFM", "RGZPFM",
                             "ADDPFM", "RMVMBR", "DLTF"})
    r.Set(option, "0");
  r.Set("X", Num(x, 10));
  r.Set("Y", Num(280, 10));
  s.PutRecord(r);
}

void PutTable(StoreAdmin& s, const DemoTable& t, bool nt) {
  Record r(layout::QV_FX);
  r.Set("ENVID", t.env);
  r.Set("GRPID", t.model);
  r.Set("FICID", t.ficid);
  r.Set("OCCUR", "0");
  r.Set("SRCTBL", nt ? ObjectName("dbo", t.file, "") : ObjectName("DEMOLIB", t.file, "*FIRST"));
  r.Set("DESCRIP", t.description);
  r.Set("NUMSEQ", t.ficid);
  r.Set("TYPE", "PF");
  r.Set("HOLD", "0");
  r.Set("TGTLIB", "DEMOTGT");
  r.Set("TGTFILE", t.file);
  r.Set("TGTMBR", nt ? "" : "*FIRST");
  r.Set("QV_TRANSFORM", "0");
  for (const char* option : {"ACCESMODE", "SHAREDOPN", "CONTERROR", "REPAIR", "CTRBEFORE", "CLRPFM", "RGZPFM",
                             "ADDPFM", "RMVMBR", "DLTF", "CLRBEFORE"})
    r.Set(option, "0");
  for (const char* flag : {"INSTINSERT", "INSTUPDATE", "INSTDELETE"}) r.Set(flag, "1");
  r.Set("X", Num(0, 10));
  r.Set("Y", Num(0, 10));
  int position = 1, length = 0;
  for (const DemoField& f : t.fields) length += f.length;
  r.Set("LENREC", Num(length, 10));
  r.Set("LENRECOUT", Num(length, 10));
  r.Set("NBRFIELDIN", Num(static_cast<long>(t.fields.size()), 5));
  s.PutRecord(r);

  for (const DemoField& f : t.fields) {
    Record z(layout::QV_ZX);
    z.Set("ENVID", t.env);
    z.Set("GRPID", t.model);
    z.Set("FICID", t.ficid);
    z.Set("FIELDINPUT", f.name);
    z.Set("DESCRIP", f.description);
    z.Set("FIELDTYPE", f.type);
    z.Set("MASKDATE", " ");
    z.Set("LEN", Num(f.length, 5));
    z.Set("DECI", Num(f.decimals, 5));
    z.Set("POS_IN", Num(position, 5));
    z.Set("LEN_IN", Num(f.length, 5));
    z.Set("POS_EXT", Num(position, 5));
    z.Set("LEN_EXT", Num(f.length, 5));
    z.Set("ALLOWNULL", "0");
    z.Set("KEYORDER", Num(f.keyOrder, 5));
    s.PutRecord(z);
    position += f.length;
  }
}

void PutDistribution(StoreAdmin& s, const char* env, const char* tgt, const char* grp, const char* targetDb,
                     const std::initializer_list<DemoTable>& tables, int x) {
  Record g(layout::QV_GC);
  g.Set("ENVID", env);
  g.Set("TGTID", tgt);
  g.Set("GRPID", grp);
  g.Set("HOLD", "0");
  g.Set("SCHEDULED", "0");
  g.Set("STOPEND_QV", "0");
  g.Set("TGTBDTYPE", "0");
  g.Set("TARGETDB", targetDb);
  g.Set("ASYNC", "0");
  g.Set("USELIBNAME", "0");
  g.Set("ACTREBUILD", "0");
  g.Set("REPRISETYP", "C");
  g.Set("REPRISEPNT", Num(0, 10));
  g.Set("X", Num(x, 10));
  g.Set("Y", Num(400, 10));
  g.Set("LOADWITHTXTFILE", "0");
  s.PutRecord(g);

  long numfc = 1;
  for (const DemoTable& t : tables) {
    Record f(layout::QV_FC);
    f.Set("ENVID", env);
    f.Set("TGTID", tgt);
    f.Set("GRPID", grp);
    f.Set("FICID", t.ficid);
    f.Set("OCCUR", " ");
    f.Set("NUMSEQ", t.ficid);
    f.Set("NEW", "1");
    f.Set("HOLD", "0");
    f.Set("CLRSPEC", "0");
    f.Set("NUMFC", Num(numfc++, 10));
    f.Set("REPRISEPNT", Num(0, 10));
    f.Set("X", Num(0, 10));
    f.Set("Y", Num(0, 10));
    s.PutRecord(f);
    for (const DemoField& field : t.fields) {
      Record z(layout::QV_ZC);
      z.Set("ENVID", env);
      z.Set("TGTID", tgt);
      z.Set("GRPID", grp);
      z.Set("FICID", t.ficid);
      z.Set("FIELDINPUT", field.name);
      z.Set("FIELDOUT", field.name);
      s.PutRecord(z);
    }
  }
}

void PutUser(StoreAdmin& s, const char* env, const char* user, const char* type, const std::string& password) {
  Record r(layout::QV_UID);
  r.Set("ENVID", env);
  r.Set("USERID", user);
  r.Set("USERTYPE", type);
  r.Set("PASSWORD", password);
  r.Set("LEVELPWD", "0");
  s.PutRecord(r);
}

// Builds an activity block of a job that has run: state, receiver, last
// entry and counters.
std::string DemoActivity(const char* state, long read, long sent) {
  Record a(layout::Activity);
  a.Set("state", state);
  a.Set("Receiver", "RCV0001   QV_USRDATA");
  a.Set("RcvNum", Num(1, 10));
  a.Set("JOSEQN", Num(1234, 10));
  a.Set("JOCODE", "R");
  a.Set("JOENTT", "UP");
  a.Set("JOTMST", "2024-01-15-10.30.00.000000");
  a.Set("JOJOB", "QPADEV0001");
  a.Set("JOUSER", "QVUSER");
  a.Set("JONBR", "012345");
  a.Set("JOPGM", "DEMOPGM");
  a.Set("JOOBJ", "CUSTOMER");
  a.Set("JOLIB", "DEMOLIB");
  a.Set("JOMBR", "CUSTOMER");
  a.Set("JOCTRR", Num(1, 10));
  a.Set("Step", "3");
  a.Set("TimeProcess", "20240115103000");
  for (const char* counter : {"CptRead", "CptSel", "CptSnd", "CptIgnore", "CptAdd", "CptUpd", "CptDel", "CptMbr",
                              "CptRpr", "CptErr"})
    a.Set(counter, Num(0, 10));
  a.Set("CptRead", Num(read, 10));
  a.Set("CptSel", Num(sent, 10));
  a.Set("CptSnd", Num(sent, 10));
  a.Set("CptUpd", Num(sent, 10));
  return a.image();
}

void PutSupervision(StoreAdmin& s, const char* env, const char* tgt, const char* grp, const char* state,
                    const std::string& activity) {
  Record r(layout::QV_SPV);
  r.Set("ENVID", env);
  r.Set("TGTID", tgt);
  r.Set("GRPID", grp);
  r.Set("STATE", state);
  r.Set("HOLD", "0");
  r.Set("RUN", state[0] == 'A' ? "1" : "0");
  r.Set("REPRISETYP", "C");
  r.Set("REPRISEPNT", Num(0, 10));
  r.Set("JOBNBR", Num(12345, 10));
  r.Set("ACTIVITY", activity);
  r.Set("REFRESHDT", "20240115103000");
  s.PutRecord(r);
}

// Writes the records, settings and objects of the demonstration.
void WriteDemo(StoreAdmin& s, const std::string& masterPassword) {
  const bool nt = IsNtKind(s.kind());
  std::string srcType = "0";
  if (s.kind() == SourceKind::SQLServer) srcType = "1";
  if (s.kind() == SourceKind::Oracle) srcType = "2";
  if (s.kind() == SourceKind::ODBC) srcType = "5";

  const DemoTable customers{"PR", "CLI", "0000000001", "CUSTOMER", "Customers",
                            {{"CUSTNO", "Customer number", nt ? "C" : "A", 8, 0, 1},
                             {"NAME", "Customer name", nt ? "V" : "A", 40, 0, 0},
                             {"CITY", "City", nt ? "V" : "A", 30, 0, 0},
                             {"BALANCE", "Balance", nt ? "XN" : "P", 11, 2, 0}}};
  const DemoTable addresses{"PR", "CLI", "0000000002", "ADDRESS", "Delivery addresses",
                            {{"CUSTNO", "Customer number", nt ? "C" : "A", 8, 0, 1},
                             {"ADRNO", "Address number", nt ? "XI" : "S", 5, 0, 2},
                             {"STREET", "Street", nt ? "V" : "A", 40, 0, 0}}};
  const DemoTable orders{"TS", "ORD", "0000000003", "ORDERS", "Orders",
                         {{"ORDERNO", "Order number", nt ? "XI" : "S", 9, 0, 1},
                          {"CUSTNO", "Customer number", nt ? "C" : "A", 8, 0, 0},
                          {"ORDDATE", "Order date", nt ? "XD" : "A", 10, 0, 0},
                          {"AMOUNT", "Amount", nt ? "XN" : "P", 11, 2, 0}}};

  PutEnvironment(s, "PR", "P", "Production", false, srcType, 40);
  PutEnvironment(s, "TS", "T", "Test (secured)", true, srcType, 400);

  PutTarget(s, "PR", "AS1", "Branch AS/400", false, "as1.example.local", 40);
  PutTarget(s, "PR", "NT1", "Reporting server", true, "nt1.example.local", 220);
  PutTarget(s, "TS", "NT2", "Test server", true, "nt2.example.local", 400);

  PutModel(s, "PR", "CLI", "Customers", 40);
  PutModel(s, "TS", "ORD", "Orders", 400);
  PutTable(s, customers, nt);
  PutTable(s, addresses, nt);
  PutTable(s, orders, nt);

  PutDistribution(s, "PR", "AS1", "CLI", "DEMOTGT", {customers, addresses}, 40);
  PutDistribution(s, "PR", "NT1", "CLI", "REPORTING", {customers, addresses}, 220);
  PutDistribution(s, "TS", "NT2", "ORD", "TESTDB", {orders}, 400);

  Record end(layout::QV_END);
  end.Set("ENVID", "PR");
  end.Set("TGTID", "AS1");
  end.Set("GRPID", "CLI");
  end.Set("LIEU", "T");
  end.Set("LINE", Num(1, 5));
  end.Set("INST", "SNDMSG MSG('Customers distributed') TOUSR(QSYSOPR)");
  end.Set("QV_DATETIME", "20240115103000");
  s.PutRecord(end);

  PutUser(s, "**", kDemoMasterUser, "0", masterPassword);
  PutUser(s, "TS", "ALICE", "0", "");
  PutUser(s, "TS", "BOB", "1", "");
  PutUser(s, "TS", "CAROL", "2", "");

  const std::string running = DemoActivity("A", 1500, 1200);
  PutSupervision(s, "PR", "AS1", "CLI", "A", running);
  PutSupervision(s, "PR", "NT1", "CLI", "X", DemoActivity("X", 300, 300));
  s.PutActivity("SPR_AS1CLI", running);
  // The run of PR/NT1/CLI that ended left its restart point and two messages.
  s.PutActivity(RestartSpaceName("SPR_NT1CLI"), DemoActivity("X", 300, 300).substr(1, 40));
  const std::pair<const char*, const char*> ended[] = {
      {"100000", "Distribution PR/NT1/CLI started at entry 934 of receiver RCV0001."},
      {"100030", "Distribution PR/NT1/CLI ended at entry 1234 of receiver RCV0001: 300 entries read, 300 sent."}};
  for (const auto& [time, text] : ended)
    AddMessage(s.db(), StoredMessage{0, 0, "SPR_NT1CLI", kEngineProgram, "1240115", time, text});

  s.DeclareDataSource({"QVDATA", nt ? (s.kind() == SourceKind::Oracle ? "Oracle" : "SQL Server") : "QV ODBC Driver",
                       s.ComputerName(), "", "DEMO", "QVDATA", "QVDATA"});
  if (!nt) {
    s.PutObject({"QSYS", "DEMOLIB", "*LIB", "PROD", "Demonstration data"});
    s.PutObject({"DEMOLIB", "CUSTOMER", "*FILE", "PF", "Customers"});
    s.PutObject({"DEMOLIB", "ADDRESS", "*FILE", "PF", "Delivery addresses"});
    s.PutObject({"DEMOLIB", "ORDERS", "*FILE", "PF", "Orders"});
    s.PutObject({"DEMOLIB", "DEMOJRN", "*JRN", "", "Journal of DEMOLIB"});
  }
}

}  // namespace

void WriteDemoTopology(StoreAdmin& s, const std::string& masterPassword) {
  WithWriteTransaction(s.db(), [&] { WriteDemo(s, masterPassword); });
}

}  // namespace qv::embedded
