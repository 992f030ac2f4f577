// The commands of qvmgr that build, change and tear down a topology through
// the control's store operations: environments, targets, models, tables,
// distributions and field mappings. Each checks what it is given before it
// asks anything of the source (lengths, existence, running distributions),
// so that a refused command changes nothing.
#pragma once

#include <optional>
#include <string>

#include "qvmgr/commands.h"

namespace qv::cli {

// What a command sets, as typed (UTF-8); unset members keep their value.
struct TopologyValues {
  std::optional<std::string> description;
  std::optional<std::string> type;     // env: its type letter; target: as400|nt; model: its type
  std::optional<std::string> address;  // target: network address
  std::optional<std::string> name;     // target: system name
  std::optional<std::string> secure;   // env: on|off
  std::optional<std::string> manual;   // model: on|off, distributed by hand
  std::optional<std::string> allMembers;  // model: on|off
  std::string table;   // table, map: number or FICID
  std::string field;   // map: the source field
  std::optional<std::string> to;  // map: the target field ("" removes the mapping)
  bool yes = false;    // delete without asking
};

// object: env, target, model, table or dist; action: add, change, delete,
// hold or release.
int TopologyCommand(Context& ctx, const std::string& object, const std::string& action, const TopologyValues& values);
int MapField(Context& ctx, const TopologyValues& values);

}  // namespace qv::cli
