// The users file of a source server: who may log in, each user with a slow
// salted hash of the password, never the password itself. One line per user:
//
//   NAME:pbkdf2-sha256$ITERATIONS$SALT$HASH
//
// SALT (16 random bytes) and HASH (32 bytes of PBKDF2-HMAC-SHA256) in base64.
// Blank lines and lines starting with '#' are kept out. Names are compared
// exactly as the client sends them. The file is written with mode 0600 and
// refused when group or others may read or write it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv::net {

// Iterations of PBKDF2 given to a new password.
inline constexpr int kPasswordIterations = 210000;

class UserFile {
 public:
  // Reads path. Throws std::runtime_error for a file that is missing (unless
  // mayBeMissing: then the table is empty), readable or writable by group or
  // others, or holding a malformed line (the text names its number).
  static UserFile Load(const std::string& path, bool mayBeMissing = false);

  // Tells whether name logs in with password. Takes as long for an unknown
  // name as for a known one, and compares the hashes in constant time.
  bool Verify(std::string_view name, std::string_view password) const;

  // Returns the names, in the file's order.
  std::vector<std::string> Names() const;
  bool Has(std::string_view name) const;
  // Gives name (added when new) a hash of password with a fresh salt. Throws
  // std::invalid_argument for a name that is empty, longer than 128 bytes,
  // or holds a ':' or a control character, and for an empty password.
  void Set(std::string_view name, std::string_view password, int iterations = kPasswordIterations);
  // Removes name; false when it was not there.
  bool Remove(std::string_view name);

  // Writes the table to path (a new file replaces the old in one step), mode
  // 0600. Throws std::runtime_error when it cannot.
  void Save(const std::string& path) const;

 private:
  struct Entry {
    std::string name;
    int iterations = 0;
    std::string salt;  // raw bytes
    std::string hash;  // raw bytes
  };
  const Entry* Find(std::string_view name) const;
  std::vector<Entry> entries_;
};

}  // namespace qv::net
