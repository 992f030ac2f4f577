// Implements "qvsource serve": one store served to many network clients, each
// TCP connection a connection of its own to the store, until SIGTERM or
// SIGINT.
#include "serve.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <iostream>

#include <CLI/CLI.hpp>

#include "dllparam/embedded/embedded_source.h"
#include "dllparam/embedded/store_schema.h"
#include "dllparam/net/net_client.h"
#include "dllparam/net/net_server.h"
#include "dllparam/net/net_tls.h"
#include "platform/encoding.h"

#include "common/command_line.h"

namespace qv::apps {

namespace {

std::atomic<net::SourceServer*> gServer{nullptr};

void OnStopSignal(int) {
  if (net::SourceServer* s = gServer.load()) s->Stop();
}

// Opens one connection to the store the way every session will, so that a
// store that cannot be served is reported before listening.
bool ProbeStore(const std::string& address, std::string& kindText) {
  embedded::EmbeddedSource probe;
  std::string version(DllParam::kServerInfoWidth, ' '), job(DllParam::kServerInfoWidth, ' ');
  int32_t h = 0;
  if (!probe.OpenMConnection(address, version, job, h)) {
    int32_t code = 0, num = 0;
    std::string text(DllParam::kErrorTextBuffer, ' ');
    probe.GetLastError(code, num, text);
    std::cerr << "qvsource serve: cannot serve " << address.substr(5) << ": "
              << Cp1252ToUtf8(std::string(dllparam::CutAtNul(text))) << "\n";
    return false;
  }
  kindText = std::string(dllparam::CutAtNul(version));
  probe.CloseMConnection(h);
  return true;
}

}  // namespace

CLI::App* AddServeCommand(CLI::App& app, ServeArguments& args) {
  CLI::App* serve = app.add_subcommand("serve", "serve a store to network clients");
  serve->footer(std::string("Serves the store at PATH to network clients (default address ") + net::kDefaultListen +
                ";\nport 0 lets the system choose). The address served is printed on stdout.\n"
                "The store is checked first (its pages, tables and format). Every session has TCP\n"
                "keepalive on (a vanished peer is dropped after about 2 minutes) and is closed\n"
                "after --idle-timeout without a request (default " +
                std::to_string(net::kDefaultIdleTimeoutMs / 1000) + " s).\n"
                "Beyond loopback it needs --cert and --key (TLS) and --users, unless --insecure.\n"
                "Stops on SIGTERM or SIGINT; exit status 0 then, 1 when the store or the address\n"
                "cannot be served, 2 for a command line that is wrong.");
  serve->add_option("PATH", args.path, "the store file")->required()->type_name("");
  serve->add_option("--listen", args.listen,
                    std::string("address to listen on (default ") + net::kDefaultListen + ")")
      ->type_name("HOST:PORT")
      ->check([](const std::string& v) {
        return net::ParseHostPort(v, net::kDefaultPort, true) ? std::string() : std::string("needs HOST:PORT");
      });
  serve->add_option("--max-sessions", args.maxSessions,
                    "clients served at once, 1 to 4096 (default " +
                        std::to_string(net::ServerOptions{}.maxSessions) + ")")
      ->type_name("N")
      ->transform(DecimalInteger())
      ->check(CLI::Range(1, 4096));
  serve->add_option("--max-per-address", args.maxPerAddress,
                    "clients served at once from one address, 0 for no limit (default " +
                        std::to_string(net::kDefaultMaxPerAddress) + ")")
      ->type_name("N")
      ->transform(DecimalInteger())
      ->check(CLI::Range(0, 4096));
  serve->add_option("--users", args.usersFile, "users file: every client logs in (see qvsource user)")
      ->type_name("FILE");
  serve->add_option("--cert", args.certFile, "PEM certificate chain: every client speaks TLS")->type_name("FILE");
  serve->add_option("--key", args.keyFile, "PEM private key of --cert")->type_name("FILE");
  serve->add_flag("--insecure", args.insecure,
                  "serve an address beyond loopback without TLS or without --users (a lab)");
  serve->add_option_function<std::string>(
            "--idle-timeout",
            [&args](const std::string& v) { args.idleTimeoutMs = v == "0" ? 0 : *net::ParseTimeoutSeconds(v.c_str()); },
            "seconds a client may stay idle before it is dropped, 0 for never (default " +
                std::to_string(net::kDefaultIdleTimeoutMs / 1000) + ")")
      ->type_name("SECONDS")
      ->check([](const std::string& v) {
        return v == "0" || net::ParseTimeoutSeconds(v.c_str()) ? std::string()
                                                               : std::string("needs a number of seconds, or 0");
      });
  return serve;
}

int RunServe(const ServeArguments& args) {
  net::ServerOptions options;
  if (!args.listen.empty()) options.listen = args.listen;
  if (args.maxSessions > 0) options.maxSessions = static_cast<std::size_t>(args.maxSessions);
  if (args.maxPerAddress >= 0) options.maxPerAddress = static_cast<std::size_t>(args.maxPerAddress);
  if (args.idleTimeoutMs >= 0) options.idleTimeoutMs = args.idleTimeoutMs;
  options.usersFile = args.usersFile;
  options.certFile = args.certFile;
  options.keyFile = args.keyFile;
  options.insecure = args.insecure;

  std::error_code ec;
  if (!std::filesystem::exists(args.path, ec) && !ec) {
    std::cerr << "qvsource serve: no store at " << args.path << "\n";
    return 1;
  }
  try {
    embedded::CheckStoreFile(args.path);
  } catch (const embedded::StoreError& e) {
    std::cerr << "qvsource serve: cannot serve " << args.path << ": " << e.what() << "\n";
    return 1;
  }
  options.storeAddress = "file:" + std::filesystem::absolute(args.path).string();
  std::string version;
  if (!ProbeStore(options.storeAddress, version)) return 1;

  options.serverName = "qvsource serve " + version;
  net::SourceServer server(options, [] { return std::make_unique<embedded::EmbeddedSource>(); });
  std::string error;
  if (!server.Start(&error)) {
    std::cerr << "qvsource serve: " << error << "\n";
    return 1;
  }

  // Stops on SIGTERM and SIGINT; a client that goes away never raises SIGPIPE.
  gServer.store(&server);
  struct sigaction stop {};
  stop.sa_handler = OnStopSignal;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);
  signal(SIGPIPE, SIG_IGN);

  std::cout << "serving " << args.path << " on " << server.ListenAddress() << std::endl;
  std::cerr << "qvsource serve: serving " << args.path << " on " << server.ListenAddress() << " (at most "
            << options.maxSessions << " sessions" << (args.usersFile.empty() ? ", no login" : ", login")
            << (args.certFile.empty() ? ", no TLS" : ", TLS") << ")" << std::endl;
  if (!args.certFile.empty()) {
    try {
      std::cerr << "qvsource serve: certificate SHA-256 " << net::CertificateFingerprint(args.certFile) << std::endl;
    } catch (const std::exception&) {
      // Start() has read the certificate already.
    }
  }
  server.Run();
  gServer.store(nullptr);
  std::cerr << "qvsource serve: stopped after " << server.SessionsServed() << " sessions; " << args.path
            << " closed" << std::endl;
  return 0;
}

}  // namespace qv::apps
