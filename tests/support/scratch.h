// Temporary folders and files the tests make: a folder removed with its
// owner, and a self-signed certificate made by the openssl program.
#pragma once

#include <string>

namespace qv::test {

// Creates a new folder under the system's temporary folder, named stem plus
// a unique suffix, and returns its path. Throws std::runtime_error when it
// cannot.
std::string MakeTempFolder(const std::string& stem);

// A folder of its own for the files of one test, removed with it.
class Scratch {
 public:
  explicit Scratch(const std::string& stem = "qv-test") : path_(MakeTempFolder(stem)) {}
  ~Scratch();
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Returns the whole content of the file at path ("" when it cannot be read).
std::string ReadWholeFile(const std::string& path);

// A self-signed certificate and its key in PEM files, with the SHA-256
// fingerprint as the openssl program prints it ("AB:CD:...").
struct TestCert {
  std::string cert, key, fingerprint;
};

// Makes the certificate `name`.pem and key `name`.key in folder for the
// subject alternative names given. Throws std::runtime_error when the
// openssl program fails, which fails the test that asked.
TestCert MakeTestCert(const std::string& folder, const std::string& name,
                      const std::string& names = "IP:127.0.0.1,DNS:localhost");

}  // namespace qv::test
