// Implements "qvsource serve": one store served to many network clients, each
// TCP connection a connection of its own to the store, until SIGTERM or
// SIGINT.
#include "serve.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <iostream>
#include <optional>

#include "dllparam/embedded/embedded_source.h"
#include "dllparam/net/net_client.h"
#include "dllparam/net/net_server.h"
#include "presentation/encoding.h"

namespace qv::apps {

const char* const kServeUsage =
    "  qvsource serve PATH [--listen HOST:PORT] [--max-sessions N] [--idle-timeout SECONDS]\n";

namespace {

std::atomic<net::SourceServer*> gServer{nullptr};

void OnStopSignal(int) {
  if (net::SourceServer* s = gServer.load()) s->Stop();
}

int Usage(const std::string& problem) {
  std::cerr << "qvsource serve: " << problem << "\nusage:\n" << kServeUsage
            << "\nServes the store at PATH to network clients (default address " << net::kDefaultListen
            << ";\nport 0 lets the system choose). The address served is printed on stdout.\n"
               "Stops on SIGTERM or SIGINT.\n";
  return 2;
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

int RunServe(const std::vector<std::string>& args) {
  std::optional<std::string> path;
  net::ServerOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    if (a == "--listen") {
      auto v = value();
      if (!v || !net::ParseHostPort(*v, net::kDefaultPort, true)) return Usage("--listen needs HOST:PORT");
      options.listen = *v;
    } else if (a == "--max-sessions") {
      auto v = value();
      int n = 0;
      try {
        n = v ? std::stoi(*v) : 0;
      } catch (const std::exception&) {
        n = 0;
      }
      if (n < 1 || n > 4096) return Usage("--max-sessions needs a number from 1 to 4096");
      options.maxSessions = static_cast<std::size_t>(n);
    } else if (a == "--idle-timeout") {
      auto v = value();
      auto ms = v ? net::ParseTimeoutSeconds(v->c_str()) : std::nullopt;
      if (!ms) return Usage("--idle-timeout needs a number of seconds");
      options.idleTimeoutMs = *ms;
    } else if (a == "--help" || a == "-h") {
      std::cout << "usage:\n" << kServeUsage;
      return 0;
    } else if (a.rfind("--", 0) == 0) {
      return Usage("unknown option " + a);
    } else if (!path) {
      path = a;
    } else {
      return Usage("more than one path");
    }
  }
  if (!path) return Usage("serve needs a PATH");

  std::error_code ec;
  if (!std::filesystem::is_regular_file(*path, ec)) {
    std::cerr << "qvsource serve: no store at " << *path << "\n";
    return 1;
  }
  options.storeAddress = "file:" + std::filesystem::absolute(*path).string();
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

  std::cout << "serving " << *path << " on " << server.ListenAddress() << std::endl;
  std::cerr << "qvsource serve: serving " << *path << " on " << server.ListenAddress() << " (at most "
            << options.maxSessions << " sessions)" << std::endl;
  server.Run();
  gServer.store(nullptr);
  std::cerr << "qvsource serve: stopped after " << server.SessionsServed() << " sessions; " << *path
            << " closed" << std::endl;
  return 0;
}

}  // namespace qv::apps
