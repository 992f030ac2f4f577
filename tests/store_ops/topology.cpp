// Writes topologies of models and distributions into embedded stores.
#include "topology.h"

#include "store/record_rules.h"
#include "store/record_layouts.h"

namespace qv::test {

std::string TargetCode(int i) {
  const std::string n = std::to_string(i);
  return "T" + std::string(n.size() < 2 ? 2 - n.size() : 0, '0') + n;
}

Record TopoEnvironment(const std::string& env, bool secured) {
  Record r(layout::QV_EX);
  r.Set("ENVID", env);
  r.Set("ENVTYPE", "P");
  r.Set("DESCRIP", "Production");
  r.Set("HOLD", "0");
  r.Set("X", "0000000000");
  r.Set("Y", "0000000000");
  r.Set("SECURE", secured ? "1" : "0");
  return r;
}

Record TopoTarget(const std::string& env, const std::string& tgt) {
  Record r(layout::QV_CX);
  r.Set("ENVID", env);
  r.Set("TGTID", tgt);
  r.Set("DESCRIP", "Target " + tgt);
  r.Set("HOLD", "0");
  r.Set("TGTTYPE", "0");
  r.Set("X", "0000000000");
  r.Set("Y", "0000000000");
  return r;
}

Record TopoModel(const std::string& env, const std::string& grp, const std::string& manual) {
  Record r(layout::QV_GX);
  r.Set("ENVID", env);
  r.Set("GRPID", grp);
  r.Set("DESCRIP", "Model " + grp);
  r.Set("HOLD", "0");
  r.Set("GRPTYPE", "0");
  r.Set("FREQUENCY", "000000");
  r.Set("MANDISTRI", manual);
  r.Set("ALLMBRDIST", "1");
  r.Set("X", "0000000000");
  r.Set("Y", "0000000000");
  return r;
}

Record TopoTable(const std::string& env, const std::string& grp, int number) {
  Record r(layout::QV_FX);
  r.Set("ENVID", env);
  r.Set("GRPID", grp);
  r.Set("FICID", TableNumberText(number));
  r.Set("SRCTBL", "SRCLIB    FILE" + std::to_string(number));
  r.Set("DESCRIP", "Table " + std::to_string(number) + " of " + grp);
  r.Set("NUMSEQ", TableNumberText(number));
  r.Set("HOLD", "0");
  r.Set("LENREC", "0000000100");
  r.Set("X", "0000000000");
  r.Set("Y", "0000000000");
  r.Set("LENRECOUT", "0000000100");
  r.Set("NBRFIELDIN", "00002");
  return r;
}

Record TopoField(const std::string& env, const std::string& grp, int number, const std::string& name) {
  Record r(layout::QV_ZX);
  r.Set("ENVID", env);
  r.Set("GRPID", grp);
  r.Set("FICID", TableNumberText(number));
  r.Set("FIELDINPUT", name);
  r.Set("DESCRIP", "Field " + name);
  r.Set("FIELDTYPE", "C");
  r.Set("LEN", "00010");
  r.Set("DECI", "00000");
  r.Set("KEYORDER", "00000");
  return r;
}

Record TopoDistribution(const std::string& env, const std::string& tgt, const std::string& grp) {
  Record r(layout::QV_GC);
  r.Set("ENVID", env);
  r.Set("TGTID", tgt);
  r.Set("GRPID", grp);
  r.Set("HOLD", "0");
  r.Set("TGTBDTYPE", "0");
  r.Set("TARGETDB", "TGTLIB");
  r.Set("REPRISETYP", "P");
  r.Set("REPRISERCV", "RCV0001");
  r.Set("REPRISEPNT", "0000000010");
  r.Set("X", "0000000000");
  r.Set("Y", "0000000000");
  return r;
}

Record TopoDistributedTable(const std::string& env, const std::string& tgt, const std::string& grp,
                            int number) {
  Record r = DefaultDistributedTable(TopoTable(env, grp, number), env, tgt, grp);
  PrepareNewDistributedTable(r);
  return r;
}

static void WriteModelRecords(embedded::StoreAdmin& admin, const std::string& env, const std::string& grp,
                       int tables, int targets);

void WriteModel(embedded::StoreAdmin& admin, const std::string& env, const std::string& grp,
                int tables, int targets) {
  embedded::WithWriteTransaction(admin.db(), [&] { WriteModelRecords(admin, env, grp, tables, targets); });
}

static void WriteModelRecords(embedded::StoreAdmin& admin, const std::string& env, const std::string& grp,
                       int tables, int targets) {
  admin.PutRecord(TopoEnvironment(env));
  admin.PutRecord(TopoModel(env, grp));
  for (int t = 1; t <= targets; ++t) {
    const std::string tgt = TargetCode(t);
    admin.PutRecord(TopoTarget(env, tgt));
    admin.PutRecord(TopoDistribution(env, tgt, grp));
    Record end(layout::QV_END);
    end.Set("ENVID", env);
    end.Set("TGTID", tgt);
    end.Set("GRPID", grp);
    end.Set("LIEU", "S");
    end.Set("LINE", "00001");
    end.Set("INST", "CALL PGM(ENDPGM)");
    admin.PutRecord(end);
  }
  for (int i = 1; i <= tables; ++i) {
    admin.PutRecord(TopoTable(env, grp, i));
    admin.PutRecord(TopoField(env, grp, i, "KEYFLD"));
    admin.PutRecord(TopoField(env, grp, i, "DATAFLD"));
    Record tx(layout::QV_TX);
    tx.Set("ENVID", env);
    tx.Set("GRPID", grp);
    tx.Set("FICID", TableNumberText(i));
    tx.Set("LIEU", "S");
    tx.Set("LINE", "00001");
    tx.Set("INST", "MOVE KEYFLD TO KEYFLD");
    admin.PutRecord(tx);
    for (int t = 1; t <= targets; ++t) {
      admin.PutRecord(TopoDistributedTable(env, TargetCode(t), grp, i));
      Record zc(layout::QV_ZC);
      zc.Set("ENVID", env);
      zc.Set("TGTID", TargetCode(t));
      zc.Set("GRPID", grp);
      zc.Set("FICID", TableNumberText(i));
      zc.Set("FIELDINPUT", "KEYFLD");
      zc.Set("FIELDOUT", "TGTKEY");
      admin.PutRecord(zc);
    }
  }
}

}  // namespace qv::test
