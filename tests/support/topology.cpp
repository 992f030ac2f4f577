// Builds the sample records and writes the topologies of the tests.
#include "topology.h"

#include "store/record_rules.h"
#include "store/record_layouts.h"

namespace qv::test {

using namespace layout;

Record Make(const Layout& layout, std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  Record r(layout);
  for (const auto& [field, value] : values) r.Set(field, value);
  return r;
}

std::string Ex(const std::string& env, const std::string& type, const std::string& desc, const std::string& secure) {
  return Make(QV_EX, {{"ENVID", env}, {"ENVTYPE", type}, {"DESCRIP", desc}, {"HOLD", "0"}, {"X", "0000000000"},
                      {"Y", "0000000000"}, {"SECURE", secure}})
      .image();
}

std::string Cx(const std::string& env, const std::string& tgt, const std::string& type, const std::string& desc) {
  return Make(QV_CX, {{"ENVID", env}, {"TGTID", tgt}, {"DESCRIP", desc}, {"HOLD", "0"}, {"TGTTYPE", type},
                      {"X", "0000000000"}, {"Y", "0000000000"}})
      .image();
}

std::string User(const std::string& env, const std::string& id, const std::string& type,
                 const std::string& password) {
  return Make(QV_UID, {{"ENVID", env}, {"USERID", id}, {"USERTYPE", type}, {"PASSWORD", password}}).image();
}

std::string Gx(const std::string& env, const std::string& grp) {
  return Make(QV_GX, {{"ENVID", env}, {"GRPID", grp}, {"GRPTYPE", "0"}}).image();
}

std::string Fx(const std::string& env, const std::string& grp, const std::string& fic) {
  return Make(QV_FX, {{"ENVID", env}, {"GRPID", grp}, {"FICID", fic}}).image();
}

std::string TargetCode(int i) {
  return (i < 10 ? "T0" : "T") + std::to_string(i);
}

Record TopoTarget(const std::string& env, const std::string& tgt) {
  return Record(QV_CX, Cx(env, tgt, "0", "Target " + tgt));
}

Record TopoModel(const std::string& env, const std::string& grp, const std::string& manual) {
  return Make(QV_GX, {{"ENVID", env}, {"GRPID", grp}, {"DESCRIP", "Model " + grp}, {"HOLD", "0"}, {"GRPTYPE", "0"},
                      {"FREQUENCY", "000000"}, {"MANDISTRI", manual}, {"ALLMBRDIST", "1"}, {"X", "0000000000"},
                      {"Y", "0000000000"}});
}

Record TopoTable(const std::string& env, const std::string& grp, int number) {
  const std::string n = std::to_string(number);
  return Make(QV_FX, {{"ENVID", env}, {"GRPID", grp}, {"FICID", TableNumberText(number)},
                      {"SRCTBL", "SRCLIB    FILE" + n}, {"DESCRIP", "Table " + n + " of " + grp},
                      {"NUMSEQ", TableNumberText(number)}, {"HOLD", "0"}, {"LENREC", "0000000100"},
                      {"X", "0000000000"}, {"Y", "0000000000"}, {"LENRECOUT", "0000000100"}, {"NBRFIELDIN", "00002"}});
}

Record TopoField(const std::string& env, const std::string& grp, int number, const std::string& name) {
  return Make(QV_ZX, {{"ENVID", env}, {"GRPID", grp}, {"FICID", TableNumberText(number)}, {"FIELDINPUT", name},
                      {"DESCRIP", "Field " + name}, {"FIELDTYPE", "C"}, {"LEN", "00010"}, {"DECI", "00000"},
                      {"KEYORDER", "00000"}});
}

Record TopoDistribution(const std::string& env, const std::string& tgt, const std::string& grp) {
  return Make(QV_GC, {{"ENVID", env}, {"TGTID", tgt}, {"GRPID", grp}, {"HOLD", "0"}, {"TGTBDTYPE", "0"},
                      {"TARGETDB", "TGTLIB"}, {"REPRISETYP", "P"}, {"REPRISERCV", "RCV0001"},
                      {"REPRISEPNT", "0000000010"}, {"X", "0000000000"}, {"Y", "0000000000"}});
}

Record TopoDistributedTable(const std::string& env, const std::string& tgt, const std::string& grp, int number) {
  Record r = DefaultDistributedTable(TopoTable(env, grp, number), env, tgt, grp);
  PrepareNewDistributedTable(r);
  return r;
}

void WriteModel(embedded::StoreAdmin& admin, const std::string& env, const std::string& grp, int tables,
                int targets) {
  embedded::WithWriteTransaction(admin.db(), [&] {
    admin.PutRecord(Record(QV_EX, Ex(env, "P", "Production")));
    admin.PutRecord(TopoModel(env, grp));
    for (int t = 1; t <= targets; ++t) {
      const std::string tgt = TargetCode(t);
      admin.PutRecord(TopoTarget(env, tgt));
      admin.PutRecord(TopoDistribution(env, tgt, grp));
      admin.PutRecord(Make(QV_END, {{"ENVID", env}, {"TGTID", tgt}, {"GRPID", grp}, {"LIEU", "S"},
                                    {"LINE", "00001"}, {"INST", "CALL PGM(ENDPGM)"}}));
    }
    for (int i = 1; i <= tables; ++i) {
      const std::string fic = TableNumberText(i);
      admin.PutRecord(TopoTable(env, grp, i));
      admin.PutRecord(TopoField(env, grp, i, "KEYFLD"));
      admin.PutRecord(TopoField(env, grp, i, "DATAFLD"));
      admin.PutRecord(Make(QV_TX, {{"ENVID", env}, {"GRPID", grp}, {"FICID", fic}, {"LIEU", "S"},
                                   {"LINE", "00001"}, {"INST", "MOVE KEYFLD TO KEYFLD"}}));
      for (int t = 1; t <= targets; ++t) {
        admin.PutRecord(TopoDistributedTable(env, TargetCode(t), grp, i));
        admin.PutRecord(Make(QV_ZC, {{"ENVID", env}, {"TGTID", TargetCode(t)}, {"GRPID", grp}, {"FICID", fic},
                                     {"FIELDINPUT", "KEYFLD"}, {"FIELDOUT", "TGTKEY"}}));
      }
    }
  });
}

void WriteTopology(embedded::StoreAdmin& admin, const std::string& env) {
  const char* targets[] = {"T1", "T2", "T3"};
  const char* tables[] = {"0000000001", "0000000002"};
  admin.PutRecord(Make(QV_EX, {{"ENVID", env}, {"ENVTYPE", "P"}, {"DESCRIP", "env " + env}, {"SECURE", "0"}}));
  admin.PutRecord(Make(QV_UID, {{"ENVID", env}, {"USERID", "ANN"}, {"USERTYPE", "0"}}));
  admin.PutRecord(Make(QV_UID, {{"ENVID", env}, {"USERID", "BOB"}, {"USERTYPE", "2"}}));
  for (const char* t : targets) admin.PutRecord(Record(QV_CX, Cx(env, t)));
  admin.PutRecord(Make(QV_GX, {{"ENVID", env}, {"GRPID", "M1"}, {"GRPTYPE", "0"}, {"MANDISTRI", "0"}}));
  for (const char* f : tables) {
    admin.PutRecord(Make(QV_FX, {{"ENVID", env}, {"GRPID", "M1"}, {"FICID", f}, {"HOLD", "0"}}));
    for (const char* field : {"CUSTNO", "NAME"})
      admin.PutRecord(Make(QV_ZX, {{"ENVID", env}, {"GRPID", "M1"}, {"FICID", f}, {"FIELDINPUT", field}}));
    for (const char* place : {"S", "T"})
      admin.PutRecord(Make(QV_TX, {{"ENVID", env}, {"GRPID", "M1"}, {"FICID", f}, {"LIEU", place},
                                   {"LINE", "00001"}, {"INST", "MOVE A B"}}));
  }
  for (const char* t : targets) {
    admin.PutRecord(Make(QV_GC, {{"ENVID", env}, {"TGTID", t}, {"GRPID", "M1"}, {"HOLD", "0"}}));
    for (const char* place : {"S", "T"})
      admin.PutRecord(Make(QV_END, {{"ENVID", env}, {"TGTID", t}, {"GRPID", "M1"}, {"LIEU", place},
                                    {"LINE", "00001"}, {"INST", "CALL END"}}));
    for (const char* f : tables) {
      admin.PutRecord(Make(QV_FC, {{"ENVID", env}, {"TGTID", t}, {"GRPID", "M1"}, {"FICID", f}, {"HOLD", "0"}}));
      admin.PutRecord(Make(QV_ZC, {{"ENVID", env}, {"TGTID", t}, {"GRPID", "M1"}, {"FICID", f},
                                   {"FIELDINPUT", "CUSTNO"}, {"FIELDOUT", "CUSTNO"}}));
    }
  }
}

void PutDistribution(embedded::StoreAdmin& admin, const std::string& env, const std::string& tgt,
                     const std::string& grp, const std::string& hold, const std::string& repriseType,
                     const std::string& receiver, const std::string& point, const std::vector<std::string>& files) {
  admin.PutRecord(Make(QV_GC, {{"ENVID", env}, {"TGTID", tgt}, {"GRPID", grp}, {"HOLD", hold}, {"SCHEDULED", "0"},
                               {"REPRISETYP", repriseType}, {"REPRISERCV", receiver},
                               {"REPRISELIB", receiver.empty() ? "" : "JRNLIB"}, {"REPRISEPNT", point}}));
  int n = 0;
  for (const std::string& file : files) {
    const std::string fic = TableNumberText(++n);
    admin.PutRecord(Make(QV_FX, {{"ENVID", env}, {"GRPID", grp}, {"FICID", fic},
                                 {"SRCTBL", FitText("DEMOLIB", 10) + FitText(file, 10) + FitText(file, 10)},
                                 {"HOLD", "0"}}));
    admin.PutRecord(Make(QV_FC, {{"ENVID", env}, {"TGTID", tgt}, {"GRPID", grp}, {"FICID", fic}, {"HOLD", "0"}}));
  }
}

}  // namespace qv::test
