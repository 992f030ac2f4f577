// A fresh embedded store for tests: a store file of a kind in a temporary
// folder of its own, removed with everything in it when the object goes.
//
//   test::EmbeddedStore store(embedded::SourceKind::SQLServer, /*demo=*/true);
//   auto lib = MakeSourceLibrary();
//   lib->OpenMConnection(store.address(), ...);
//   store.Admin().PutRecord(...);
#pragma once

#include <string>

#include "dllparam/admin/store_admin.h"
#include "dllparam/embedded/store_schema.h"

namespace qv::test {

class EmbeddedStore {
 public:
  // Creates the store; with demo, writes the demonstration topology whose
  // master user QVADMIN has masterPassword. Throws on failure.
  explicit EmbeddedStore(embedded::SourceKind kind, bool demo = false,
                         const std::string& masterPassword = "demo");
  ~EmbeddedStore();
  EmbeddedStore(const EmbeddedStore&) = delete;
  EmbeddedStore& operator=(const EmbeddedStore&) = delete;

  embedded::SourceKind kind() const { return kind_; }
  // The store file and the folder that holds it.
  const std::string& path() const { return path_; }
  const std::string& folder() const { return folder_; }
  // The address the library opens: "file:" + path, upper-cased as the
  // control passes addresses on.
  std::string address() const;
  // Opens the store for management (settings, records, procedure answers).
  embedded::StoreAdmin Admin() const;

 private:
  embedded::SourceKind kind_;
  std::string folder_;
  std::string path_;
};

}  // namespace qv::test
