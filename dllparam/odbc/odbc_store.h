// Creation of the configuration store of a plain ODBC source in a real
// database: the configuration tables, declared from the record layouts with
// CHAR(n) columns and their keys, filled as a new embedded store of the plain
// ODBC kind is (the version record; with demo, the demonstration topology).
#pragma once

#include <string>

#include "dllparam/admin/store_admin.h"

namespace qv::odbc {

struct OdbcStoreOptions {
  bool demo = false;
  std::string masterPassword = "demo";  // of the demo's master user
  bool force = false;                   // drop the store tables the database already has
  embedded::CreateStoreOptions store;   // version and the rest of a new store
};

// Creates the store in the database that connect (an ODBC connection string,
// or an address "odbc:...") names, in one unit of work: it appears complete
// or not at all. Refuses a database that already has QV_VER unless
// options.force. Throws std::runtime_error with the database's text.
void CreateOdbcStore(const std::string& connect, const OdbcStoreOptions& options);

}  // namespace qv::odbc
