// qvmgr console: the source from the global options, a store file or a
// fresh demo store, served on the address of --listen.
#include "qvmgr/console/console.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>

#include "dllparam/admin/store_admin.h"
#include "dllparam/embedded/embedded_catalog.h"
#include "qvmgr/console/console_server.h"
#include "qvmgr/demo.h"
#include "qvmgr/options.h"
#include "qvmgr/variant_json.h"

namespace qv::cli {

namespace fs = std::filesystem;

void ParseListen(const std::string& listen, std::string& host, int& port) {
  const std::size_t colon = listen.rfind(':');
  if (colon == std::string::npos) throw UsageError("--listen takes HOST:PORT, not " + listen);
  host = listen.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  const std::string digits = listen.substr(colon + 1);
  if (host.empty() || digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(digits) > 65535)
    throw UsageError("--listen takes HOST:PORT with a port from 0 to 65535, not " + listen);
  port = std::stoi(digits);
}

bool IsLoopback(const std::string& host) {
  if (host == "localhost" || host == "::1") return true;
  // An address 127.N.N.N, each N a number up to 255.
  if (host.rfind("127.", 0) != 0) return false;
  int parts = 0;
  for (std::size_t at = 0; at <= host.size(); ++parts) {
    const std::size_t dot = std::min(host.find('.', at), host.size());
    const std::string part = host.substr(at, dot - at);
    if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(part) > 255)
      return false;
    at = dot + 1;
  }
  return parts == 4;
}

void WriteDemoCatalog(const std::string& path) {
  embedded::StoreAdmin admin(path);
  embedded::CatalogFile orders;
  orders.library = "DEMOLIB";
  orders.name = "ORDERS";
  orders.text = "Orders";
  orders.keys = {"ORDNO"};
  orders.fields = {{"ORDNO", 'P', 4, 7, 0, "Order number", false},
                   {"CUSTNO", 'P', 4, 7, 0, "Customer number", false},
                   {"AMOUNT", 'P', 5, 9, 2, "Amount", false}};
  embedded::PutCatalogFile(admin.db(), orders);
  embedded::CatalogFile address;
  address.library = "DEMOLIB";
  address.name = "ADDRESS";
  address.text = "Delivery addresses";
  address.keys = {"CUSTNO", "ADDRNO"};
  address.fields = {{"CUSTNO", 'P', 4, 7, 0, "Customer number", false},
                    {"ADDRNO", 'S', 3, 3, 0, "Address number", false},
                    {"CITY", 'A', 30, 0, 0, "City", false}};
  embedded::PutCatalogFile(admin.db(), address);
}

int Console(Context& ctx, const ConsoleOptions& options) {
  std::string host;
  int port = 0;
  ParseListen(options.listen, host, port);
  const GlobalOptions& o = ctx.options;
  ConsoleConfig config;
  config.env = To1252Exact(o.env, "--env");
  config.user = o.user;
  config.instance = To1252Exact(o.instance, "--instance");
  if (!o.type.empty()) config.type = CanonicalSourceType(o.type);
  std::string source = o.source;
  if (options.demo) {
    std::string dir = options.dir;
    std::error_code ec;
    if (dir.empty()) {
      std::string pattern = (fs::temp_directory_path(ec) / "qvmgr-console-XXXXXX").string();
      if (::mkdtemp(pattern.data()) == nullptr) {
        std::cerr << "qvmgr console: cannot make a temporary folder\n";
        return 1;
      }
      dir = pattern;
    }
    fs::create_directories(dir, ec);
    const std::string path = (fs::absolute(fs::path(dir), ec) / "demo-as400.qvs").lexically_normal().string();
    const char* password = std::getenv("QV_PASSWORD");
    try {
      WriteDemoStore(path, embedded::SourceKind::AS400, password != nullptr ? password : "demo");
      WriteDemoCatalog(path);
    } catch (const std::exception& e) {
      std::cerr << "qvmgr console: cannot create the demo store " << path << ": " << e.what() << "\n";
      return 1;
    }
    source = "file:" + path;
    config.type = "AS400";
    if (config.env.empty()) config.env = "PR";
    if (config.user.empty()) config.user = "QVADMIN";
    std::cout << "Demo store " << path << ": log in as QVADMIN with the password "
              << (password != nullptr ? "given in QV_PASSWORD" : "demo") << "\n";
  } else if (!options.store.empty()) {
    source = "file:" + options.store;
  }
  if (source.empty()) throw UsageError("console needs --source ADDRESS, a store file or --demo");
  config.address = To1252Exact(source, "--source");
  config.label = source;

  ConsoleServer server(config);
  const int bound = server.Bind(host, port);
  if (bound < 0) {
    std::cerr << "qvmgr console: cannot listen on " << options.listen << "\n";
    return 1;
  }
  if (!IsLoopback(host))
    std::cerr << "qvmgr console: warning: listening on " << host
              << ", which other machines may reach; the console speaks plain HTTP\n";
  const std::string shown = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  std::cout << "QVmgr console on http://" << shown << ":" << bound << "/ for " << source
            << " (Ctrl-C stops it)" << std::endl;
  InterruptScope interrupts;
  std::thread serving([&] { server.Run(); });
  while (SleepUnlessInterrupted(1)) {
  }
  server.Stop();
  serving.join();
  return 0;
}

}  // namespace qv::cli
