// The fake-backed control of the store operation tests.
#include "store_fake.h"

namespace qv::test {

std::vector<std::string> OpenedFake::Trace() const {
  std::vector<std::string> out;
  for (const FakeCall& call : source.fake->Calls()) {
    if (call.op == "SwitchMConnection") continue;
    std::string line = call.op;
    if (call.op == "Execute") {
      FakeCommand c{call.Arg(0), call.Arg(1), call.Arg(2)};
      line += " " + call.Arg(0) + " " + c.Request();
    } else if (call.op == "SetConnectOption") {
      line += " " + call.Arg(0);
    } else if (call.op == "Saction" || call.op == "Sread") {
      line += " " + call.sql;
    } else if (call.op == "SJobList" || call.op == "DeleteFile") {
      line += " " + call.Arg(0);
    } else {
      std::string file = call.file;
      if (file.rfind("QV_USRDATA/", 0) == 0) file = file.substr(11);
      if (!file.empty()) line += " " + file;
      if (call.op == "Rreadk" || call.op == "Rreadblock") line += " [" + call.key + "]";
    }
    if (call.result == 0) line += " -> 0";
    out.push_back(line);
  }
  return out;
}

std::string Ex(const std::string& env, const std::string& type, const std::string& desc,
               const std::string& secure) {
  Record r(layout::QV_EX);
  r.Set("ENVID", env);
  r.Set("ENVTYPE", type);
  r.Set("DESCRIP", desc);
  r.Set("HOLD", "0");
  r.Set("X", "0000000000");
  r.Set("Y", "0000000000");
  r.Set("SECURE", secure);
  return r.image();
}

std::string Cx(const std::string& env, const std::string& tgt, const std::string& type,
               const std::string& desc) {
  Record r(layout::QV_CX);
  r.Set("ENVID", env);
  r.Set("TGTID", tgt);
  r.Set("DESCRIP", desc);
  r.Set("HOLD", "0");
  r.Set("TGTTYPE", type);
  r.Set("X", "0000000000");
  r.Set("Y", "0000000000");
  return r.image();
}

std::string Gx(const std::string& env, const std::string& grp) {
  Record r(layout::QV_GX);
  r.Set("ENVID", env);
  r.Set("GRPID", grp);
  r.Set("GRPTYPE", "0");
  return r.image();
}

std::string Fx(const std::string& env, const std::string& grp, const std::string& fic) {
  Record r(layout::QV_FX);
  r.Set("ENVID", env);
  r.Set("GRPID", grp);
  r.Set("FICID", fic);
  return r.image();
}

std::string Key(const Layout& layout, std::initializer_list<std::string_view> values) {
  return BuildKey(layout, values);
}

}  // namespace qv::test
