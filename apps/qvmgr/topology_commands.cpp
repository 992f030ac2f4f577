// Build, change and tear down a topology through the control's store
// operations.
#include "qvmgr/topology_commands.h"

#include <unistd.h>

#include <iostream>
#include <utility>
#include <vector>

#include "platform/controls.h"
#include "presentation/strutil.h"
#include "qvmgr/options.h"
#include "qvmgr/output.h"
#include "qvmgr/variant_json.h"
#include "qvmgr/views.h"
#include "store/record_layouts.h"
#include "store/records.h"

namespace qv::cli {
namespace {

constexpr const char* kZeros = "0000000000";

// A value given for a field, checked against its width.
struct Checked {
  bool ok = true;
  std::string value;  // Windows-1252
};

class TopologyRun {
 public:
  TopologyRun(Context& ctx, std::string object, std::string action, const TopologyValues& values)
      : v_(ctx, action.empty() ? object : object + " " + action), object_(std::move(object)), action_(std::move(action)), values_(values) {}

  int Run() {
    Require();
    if (!v_.Open(object_ == "env" && action_ == "add")) return 1;
    if (object_ == "env") return Env();
    if (object_ == "target") return Target();
    if (object_ == "model") return Model();
    if (object_ == "table") return Table();
    return Dist();
  }

  int Map() {
    if (v_.target().empty() || v_.model().empty() || values_.table.empty() || values_.field.empty() || !values_.to)
      throw UsageError("map needs --target, --model, --table, --field and --to (\"\" removes the mapping)");
    if (!v_.Open()) return 1;
    const std::string fic = TableCode(values_.table, "--table");
    const std::string field = UCase(Trim(To1252(values_.field, "--field")));
    const std::string to = UCase(Trim(To1252(*values_.to, "--to")));
    if (field.size() > 30 || to.size() > 30) return Refuse("a field name holds at most 30 characters");
    std::string zx;
    if (!c().DetailZX(zx, v_.model(), fic, field)) return Fail();
    if (!c().ChangeZC(v_.model(), v_.target(), fic, field, to)) return Fail();
    return Done(to.empty() ? "Removed the mapping of " + field : "Mapped " + field + " to " + to);
  }

 private:
  QVSource& c() { return v_.control(); }
  std::string Item() const {
    if (object_ == "env") return "environment " + v_.env();
    if (object_ == "target") return "target " + v_.target();
    if (object_ == "model") return "model " + v_.model();
    if (object_ == "table") return "table " + table_ + " of the model " + v_.model();
    return "distribution " + v_.env() + "/" + v_.target() + "/" + v_.model();
  }
  std::string Verb() const { return action_.empty() ? object_ : action_; }
  int Fail() { return v_.Fail("cannot " + Verb() + " the " + Utf8(Item())); }
  int Refuse(const std::string& reason) { return v_.Refuse("cannot " + Verb() + " the " + Utf8(Item()), reason); }
  int Done(const std::string& text) {
    return v_.out().Success(v_.command(), Json{{"environment", Utf8(v_.env())}, {"item", Utf8(Item())}},
                            Utf8(text) + "\n");
  }

  static std::string To1252(const std::string& typed, const char* option) {
    try {
      return To1252Exact(typed, option);
    } catch (const ArgumentError& e) {
      throw UsageError(e.what());
    }
  }

  void Require() {
    auto need = [&](bool present, const char* option) {
      if (!present) throw UsageError(v_.command() + " needs " + option);
    };
    if (object_ == "target" || object_ == "dist") need(!v_.target().empty(), "--target");
    if (object_ == "model" || object_ == "table" || object_ == "dist") need(!v_.model().empty(), "--model");
    if (object_ == "table") {
      need(!values_.table.empty(), "--table");
      table_ = TableCode(values_.table, "--table");
    }
  }

  // Sets field of rec from an option given, refusing a text longer than the
  // field. Returns false (reported) when refused.
  bool SetText(Record& rec, const char* field, const std::optional<std::string>& typed, const std::string& option,
               bool upper = false) {
    if (!typed) return true;
    std::string value = Trim(To1252(*typed, option.c_str()));
    if (upper) value = UCase(value);
    const std::size_t width = rec.layout()[field].width;
    if (value.size() > width) {
      Refuse("the " + option.substr(2) + " holds " + std::to_string(value.size()) +
             " characters; at most " + std::to_string(width) + " fit");
      return false;
    }
    rec.Set(field, value);
    return true;
  }
  bool SetFlag(Record& rec, const char* field, const std::optional<std::string>& typed, const char* option) {
    if (!typed) return true;
    rec.Set(field, OnOff(*typed, option) ? "1" : "0");
    return true;
  }

  // Asks on a terminal before a delete; scripts give --yes.
  bool Confirmed() {
    if (values_.yes) return true;
    if (!::isatty(STDIN_FILENO)) {
      Refuse("a delete needs --yes when qvmgr cannot ask on a terminal");
      return false;
    }
    std::cerr << "Delete the " << Utf8(Item()) << " and everything below it? [y/N] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    if (answer == "y" || answer == "Y" || answer == "yes") return true;
    Refuse("not confirmed");
    return false;
  }

  // Returns the distributions (target, model) of the environment.
  bool Distributions(std::vector<std::pair<std::string, std::string>>& out) {
    platform::ListView targets;
    if (!c().LoadCibleInList(targets)) return false;
    for (const platform::ListItem* t : targets.DisplayOrder()) {
      platform::ListView dists;
      if (!c().LoadGCInList(dists, t->text)) return false;
      for (const platform::ListItem* d : dists.DisplayOrder()) out.emplace_back(t->text, d->text);
    }
    return true;
  }

  // Refuses, naming it, when one of the distributions that keep runs.
  // Returns 0 to go on, else the exit status.
  template <class Keep>
  int RunningCheck(Keep keep) {
    std::vector<std::pair<std::string, std::string>> dists;
    if (!Distributions(dists)) return Fail();
    for (const auto& [tgt, grp] : dists) {
      if (!keep(tgt, grp)) continue;
      std::string status;
      if (!c().JobRun(JobName(v_.env(), tgt, grp), status)) return Fail();
      if (status == "R")
        return Refuse("the distribution " + v_.env() + "/" + tgt + "/" + grp + " is running; stop it first");
    }
    return 0;
  }

  int Env() {
    if (action_ == "add") {
      if (c().EnvironmentExist(v_.env())) return Refuse("the environment " + v_.env() + " exists already");
      Record ex(layout::QV_EX);
      ex.Set("ENVID", v_.env());
      ex.Set("ENVTYPE", "P");
      ex.Set("HOLD", "0");
      ex.Set("SRCID", "SRC");
      ex.Set("SRCTYPE", "A");
      ex.Set("TEMPO", "05");
      ex.Set("RETRY", "010");
      ex.Set("MAXOPEN", "050");
      ex.Set("X", kZeros);
      ex.Set("Y", kZeros);
      ex.Set("SECURE", "0");
      if (!SetText(ex, "DESCRIP", values_.description, "--description") ||
          !SetText(ex, "ENVTYPE", values_.type, "--" + object_ + "-type", true) || !SetFlag(ex, "SECURE", values_.secure, "--secure"))
        return 1;
      std::string image = ex.image();
      if (!c().AddEnvironment(image)) return Fail();
      return Done("Added the environment " + v_.env());
    }
    if (action_ == "change") {
      std::string image;
      if (!c().DetailEnvironment(image, v_.env())) return Fail();
      Record ex(layout::QV_EX, image);
      if (!SetText(ex, "DESCRIP", values_.description, "--description") ||
          !SetText(ex, "ENVTYPE", values_.type, "--" + object_ + "-type", true) || !SetFlag(ex, "SECURE", values_.secure, "--secure"))
        return 1;
      image = ex.image();
      if (!c().ChangeEnvironment(image, v_.env())) return Fail();
      return Done("Changed the environment " + v_.env());
    }
    if (action_ == "delete") {
      if (int status = RunningCheck([](const std::string&, const std::string&) { return true; })) return status;
      if (!Confirmed()) return 1;
      if (!c().DeleteEnvironment(v_.env())) return Fail();
      return Done("Deleted the environment " + v_.env());
    }
    throw UsageError("env takes add, change or delete");
  }

  int Target() {
    if (action_ == "add" || action_ == "change") {
      Record cx(layout::QV_CX);
      if (action_ == "add") {
        if (c().CibleExist(v_.target())) return Refuse("the target " + v_.target() + " exists already");
        for (const auto& [field, value] : {std::pair{"HOLD", "0"}, {"TGTTYPE", "0"}, {"COMTYPE", "0"},
                                            {"FMTDATE", "1"}, {"TGTTEST", "0"}, {"TGTTRACE", "0"}, {"TEMPO", "05"},
                                            {"RETRY", "010"}, {"MAXOPEN", "050"}, {"X", kZeros}, {"Y", kZeros}})
          cx.Set(field, value);
        cx.Set("ENVID", v_.env());
        cx.Set("TGTID", v_.target());
        cx.Set("TGTNAME", v_.target());
      } else {
        std::string image;
        if (!c().DetailCible(image, v_.target())) return Fail();
        cx.Assign(image);
      }
      if (values_.type) {
        const std::string t = UCase(Trim(*values_.type));
        if (t != "NT" && t != "AS400" && t != "AS/400") throw UsageError("--target-type is as400 or nt, not " + *values_.type);
        cx.Set("TGTTYPE", t == "NT" ? "1" : "0");
      }
      if (!SetText(cx, "DESCRIP", values_.description, "--description") ||
          !SetText(cx, "TGTADRESS", values_.address, "--address") || !SetText(cx, "TGTNAME", values_.name, "--name"))
        return 1;
      std::string image = cx.image();
      if (action_ == "add" ? !c().AddCible(image) : !c().ChangeCible(image, v_.target())) return Fail();
      return Done((action_ == "add" ? "Added the target " : "Changed the target ") + v_.target());
    }
    if (action_ == "delete") {
      if (!c().CibleExist(v_.target())) return Refuse("the target " + v_.target() + " does not exist");
      if (int status = RunningCheck([&](const std::string& t, const std::string&) { return t == v_.target(); }))
        return status;
      if (!Confirmed()) return 1;
      if (!c().DeleteCible(v_.target())) return Fail();
      return Done("Deleted the target " + v_.target());
    }
    if (action_ == "hold" || action_ == "release") {
      if (!(action_ == "hold" ? c().HoldCible(v_.target()) : c().ReleaseCible(v_.target()))) return Fail();
      return Done((action_ == "hold" ? "Held the target " : "Released the target ") + v_.target());
    }
    throw UsageError("target takes add, change, delete, hold or release");
  }

  int Model() {
    if (action_ == "add" || action_ == "change") {
      Record gx(layout::QV_GX);
      if (action_ == "add") {
        if (c().GroupExist(v_.model())) return Refuse("the model " + v_.model() + " exists already");
        for (const auto& [field, value] : {std::pair{"HOLD", "0"}, {"GRPTYPE", "0"}, {"FREQUENCY", "000000"},
                                            {"MANDISTRI", "0"}, {"ALLMBRDIST", "0"}, {"X", kZeros}, {"Y", kZeros}})
          gx.Set(field, value);
        gx.Set("ENVID", v_.env());
        gx.Set("GRPID", v_.model());
      } else {
        std::string image;
        if (!c().DetailGroup(image, v_.model())) return Fail();
        gx.Assign(image);
      }
      if (!SetText(gx, "DESCRIP", values_.description, "--description") ||
          !SetText(gx, "GRPTYPE", values_.type, "--" + object_ + "-type", true) ||
          !SetFlag(gx, "MANDISTRI", values_.manual, "--manual") ||
          !SetFlag(gx, "ALLMBRDIST", values_.allMembers, "--all-members"))
        return 1;
      std::string image = gx.image();
      if (action_ == "add" ? !c().AddGroup(image) : !c().ChangeGroup(image, v_.model())) return Fail();
      return Done((action_ == "add" ? "Added the model " : "Changed the model ") + v_.model());
    }
    if (action_ == "delete") {
      if (!c().GroupExist(v_.model())) return Refuse("the model " + v_.model() + " does not exist");
      if (int status = RunningCheck([&](const std::string&, const std::string& g) { return g == v_.model(); }))
        return status;
      if (!Confirmed()) return 1;
      if (!c().DeleteGroup(v_.model())) return Fail();
      return Done("Deleted the model " + v_.model());
    }
    throw UsageError("model takes add, change or delete");
  }

  int Table() {
    std::string image, all, manual;
    if (!c().DetailFile(image, v_.model(), table_, all, manual)) return Fail();
    if (action_ == "change") {
      Record fx(layout::QV_FX, image);
      if (!SetText(fx, "DESCRIP", values_.description, "--description")) return 1;
      image = fx.image();
      if (!c().ChangeFile(image, v_.model(), table_)) return Fail();
      return Done("Changed the table " + table_);
    }
    if (action_ == "delete") {
      if (int status = RunningCheck([&](const std::string&, const std::string& g) { return g == v_.model(); }))
        return status;
      if (!Confirmed()) return 1;
      if (!c().DeleteFile(v_.model(), table_)) return Fail();
      return Done("Deleted the table " + table_);
    }
    if (action_ == "hold" || action_ == "release") {
      if (!(action_ == "hold" ? c().HoldTable(v_.model(), table_) : c().ReleaseTable(v_.model(), table_)))
        return Fail();
      return Done((action_ == "hold" ? "Held the table " : "Released the table ") + table_);
    }
    throw UsageError("table takes add, change, delete, hold or release");
  }

  int Dist() {
    const std::string label = v_.env() + "/" + v_.target() + "/" + v_.model();
    if (action_ == "add") {
      if (c().GCExist(v_.target(), v_.model())) return Refuse("the distribution " + label + " exists already");
      if (!c().CibleExist(v_.target())) return Refuse("the target " + v_.target() + " does not exist");
      if (!c().GroupExist(v_.model())) return Refuse("the model " + v_.model() + " does not exist");
      Record gc(layout::QV_GC);
      for (const auto& [field, value] : {std::pair{"HOLD", "0"}, {"SCHEDULED", "0"}, {"STOPEND_QV", "0"},
                                          {"TGTBDTYPE", "0"}, {"REPRISETYP", "C"}, {"REPRISEPNT", kZeros},
                                          {"X", kZeros}, {"Y", kZeros}})
        gc.Set(field, value);
      gc.Set("ENVID", v_.env());
      gc.Set("TGTID", v_.target());
      gc.Set("GRPID", v_.model());
      std::string image = gc.image();
      if (!c().AddGC(image)) return Fail();
      return Done("Added the distribution " + label);
    }
    if (action_ == "delete") {
      if (!c().GCExist(v_.target(), v_.model())) return Refuse("the distribution " + label + " does not exist");
      if (int status = RunningCheck([&](const std::string& t, const std::string& g) {
            return t == v_.target() && g == v_.model();
          }))
        return status;
      if (!Confirmed()) return 1;
      if (!c().DeleteGC(v_.target(), v_.model())) return Fail();
      return Done("Deleted the distribution " + label);
    }
    if (action_ == "hold" || action_ == "release") {
      if (!(action_ == "hold" ? c().HoldGC(v_.env(), v_.target(), v_.model())
                              : c().ReleaseGC(v_.env(), v_.target(), v_.model())))
        return Fail();
      return Done((action_ == "hold" ? "Held the distribution " : "Released the distribution ") + label);
    }
    throw UsageError("dist takes add, delete, hold or release (and set, show)");
  }

  ViewSession v_;
  std::string object_, action_;
  const TopologyValues& values_;
  std::string table_;
};

}  // namespace

int TopologyCommand(Context& ctx, const std::string& object, const std::string& action, const TopologyValues& values) {
  TopologyRun run(ctx, object, action, values);
  return run.Run();
}

int MapField(Context& ctx, const TopologyValues& values) {
  TopologyRun run(ctx, "map", "", values);
  return run.Map();
}

}  // namespace qv::cli
