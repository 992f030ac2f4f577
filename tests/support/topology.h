// The one set of sample records of the tests and benchmarks, and the
// topologies they write into embedded stores.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dllparam/admin/store_admin.h"
#include "store/records.h"

namespace qv::test {

// Builds a record of a layout from field=value pairs, the rest blank.
Record Make(const Layout& layout, std::initializer_list<std::pair<std::string_view, std::string_view>> values);

// Returns the images of an environment, a target, a model and a model table
// (hold off, positions zero).
std::string Ex(const std::string& env, const std::string& type = "P", const std::string& desc = "",
               const std::string& secure = "0");
std::string Cx(const std::string& env, const std::string& tgt, const std::string& type = "0",
               const std::string& desc = "");
std::string Gx(const std::string& env, const std::string& grp);
std::string Fx(const std::string& env, const std::string& grp, const std::string& fic);
// Returns the image of a user of env ("**" for a global user).
std::string User(const std::string& env, const std::string& id, const std::string& type,
                 const std::string& password = "");

// Returns the records of the generated topology, by their parts.
Record TopoTarget(const std::string& env, const std::string& tgt);
Record TopoModel(const std::string& env, const std::string& grp, const std::string& manual = "0");
Record TopoTable(const std::string& env, const std::string& grp, int number);
Record TopoField(const std::string& env, const std::string& grp, int number, const std::string& name);
Record TopoDistribution(const std::string& env, const std::string& tgt, const std::string& grp);
Record TopoDistributedTable(const std::string& env, const std::string& tgt, const std::string& grp, int number);

// Writes model grp of env with tables 1..tables (two fields and a program
// line each) distributed to targets "T01".."Tnn" (each distributed table with
// a field mapping, each distribution with an end-script line). Targets are
// written when missing; the environment too.
void WriteModel(embedded::StoreAdmin& admin, const std::string& env, const std::string& grp, int tables,
                int targets);

// Returns the target code of the i-th target (1-based): "T01", "T02", ...
std::string TargetCode(int i);

// Writes env with users ANN (type 0) and BOB (type 2), targets T1, T2, T3,
// model M1 with tables 0000000001 and 0000000002 (two fields and program
// lines of places S and T each), M1 distributed to every target (distributed
// tables with one mapping each, end-script lines of places S and T).
void WriteTopology(embedded::StoreAdmin& admin, const std::string& env);

// Writes distribution env/tgt/grp with its hold flag and recovery point and,
// for each file given, a model table of DEMOLIB distributed with it.
void PutDistribution(embedded::StoreAdmin& admin, const std::string& env, const std::string& tgt,
                     const std::string& grp, const std::string& hold = "0", const std::string& repriseType = "C",
                     const std::string& receiver = "", const std::string& point = "0000000000",
                     const std::vector<std::string>& files = {});

}  // namespace qv::test
