// Writes a topology of models, tables and distributions into an embedded
// store for the store operation tests and benchmarks.
#pragma once

#include <string>

#include "dllparam/admin/store_admin.h"
#include "store/records.h"

namespace qv::test {

// Returns the records of the topology, by their parts.
Record TopoEnvironment(const std::string& env, bool secured = false);
Record TopoTarget(const std::string& env, const std::string& tgt);
Record TopoModel(const std::string& env, const std::string& grp, const std::string& manual = "0");
Record TopoTable(const std::string& env, const std::string& grp, int number);
Record TopoField(const std::string& env, const std::string& grp, int number, const std::string& name);
Record TopoDistribution(const std::string& env, const std::string& tgt, const std::string& grp);
Record TopoDistributedTable(const std::string& env, const std::string& tgt, const std::string& grp,
                            int number);

// Writes model grp of env with tables 1..tables (two fields and a program
// line each) distributed to targets "T01".."Tnn" (each distributed table with
// a field mapping, each distribution with an end-script line). Targets are
// written when missing; the environment too.
void WriteModel(embedded::StoreAdmin& admin, const std::string& env, const std::string& grp,
                int tables, int targets);

// Returns the target code of the i-th target (1-based): "T01", "T02", ...
std::string TargetCode(int i);

}  // namespace qv::test
