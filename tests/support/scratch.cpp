// Makes the temporary folders and certificates of the tests.
#include "support/scratch.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace qv::test {

std::string MakeTempFolder(const std::string& stem) {
  std::string pattern = (std::filesystem::temp_directory_path() / (stem + "-XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder " + pattern);
  return pattern;
}

Scratch::~Scratch() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TestCert MakeTestCert(const std::string& folder, const std::string& name, const std::string& names) {
  TestCert c{folder + "/" + name + ".pem", folder + "/" + name + ".key", {}};
  const std::string command = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
                              "-subj /CN=" + name + " -addext subjectAltName=" + names + " -keyout " + c.key +
                              " -out " + c.cert + " 2>/dev/null && openssl x509 -in " + c.cert +
                              " -noout -fingerprint -sha256";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
  if (!pipe) throw std::runtime_error("cannot run the openssl program");
  std::string line;
  char buf[256];
  while (std::fgets(buf, sizeof buf, pipe.get())) line += buf;
  const std::size_t eq = line.find('=');
  if (::pclose(pipe.release()) != 0 || eq == std::string::npos)
    throw std::runtime_error("openssl could not make the certificate " + c.cert);
  c.fingerprint = line.substr(eq + 1);
  c.fingerprint.erase(c.fingerprint.find_last_not_of("\r\n") + 1);
  return c;
}

}  // namespace qv::test
