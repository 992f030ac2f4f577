// qvmgr automation: a late-bound automation host for scripts in any language.
// It reads one JSON request a line and answers one JSON line each:
//
//   {"create": "QVmgr_dll.QVmanager", "as": "m"}
//       -> {"ok": true, "object": "m", "class": "QVmanager"}
//   {"object": "m", "member": "SourceAdress", "kind": "put", "args": ["file:/tmp/s.qvs"]}
//   {"object": "m", "dispid": 1610809372, "kind": "method", "args": []}
//       -> {"ok": true, "result": true, "type": "Boolean", "args": []}
//   {"object": "m", "member": "Activity", "kind": "get", "as": "act"}
//       -> {"ok": true, "result": {"object": "act", "class": "Activity"}, ...}
//   {"create": "ListView", "as": "lv"}      a list view to pass as {"object": "lv"}
//   {"read": "lv"}                          -> {"ok": true, "object": "lv", "value": {...}}
//   {"release": "m"}                        drops the object (a manager closes its connection)
//
// "kind" is "method" (the default), "get", "put" or "putref"; a put's value
// is its last argument. "args" after the call hold what the member wrote into
// them (by-reference results). An "id" given with a request comes back with
// its answer. A request that fails gets {"ok": false, "error": {"status",
// "code", "text", "arg"}, "line": N} and the session goes on. Blank lines and
// lines starting with "#" are skipped. Values are converted as
// qvmgr/variant_json.h says; text is UTF-8 here and Windows-1252 inside.
//
// Classes other than the list view, tree view and list box of the host are
// created by ProgID through the class registry. When a ProgID of QVmgr_dll
// is not registered yet, the host first registers the library it ships with.
#pragma once

#include <iosfwd>

namespace qv::cli {

// Runs the session until the end of input. Returns 0.
int RunAutomationHost(std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace qv::cli
