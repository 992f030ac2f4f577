// Implements the temporary embedded store of the tests.
#include "support/embedded_store.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "presentation/strutil.h"
#include "support/scratch.h"

namespace qv::test {

EmbeddedStore::EmbeddedStore(embedded::SourceKind kind, bool demo, const std::string& masterPassword)
    : kind_(kind) {
  folder_ = MakeTempFolder("qvstore");
  path_ = folder_ + "/source.qvs";
  embedded::CreateStoreOptions options;
  options.kind = kind;
  embedded::CreateStore(path_, options);
  if (demo) {
    embedded::StoreAdmin admin(path_);
    embedded::WriteDemoTopology(admin, masterPassword);
  }
}

EmbeddedStore::~EmbeddedStore() {
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

std::string EmbeddedStore::address() const { return UCase("file:" + path_); }

embedded::StoreAdmin EmbeddedStore::Admin() const { return embedded::StoreAdmin(path_); }

}  // namespace qv::test
