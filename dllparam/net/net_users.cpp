// Implements the users file of a source server with OpenSSL's PBKDF2.
#include "dllparam/net/net_users.h"

#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace qv::net {

namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";
constexpr std::size_t kSaltSize = 16;
constexpr std::size_t kHashSize = 32;
constexpr std::size_t kMaxName = 128;
constexpr int kMinIterations = 1000;
constexpr int kMaxIterations = 100000000;

std::string Base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

// Decodes base64 of exactly want bytes; false when text is not that.
bool FromBase64(std::string_view text, std::size_t want, std::string& out) {
  if (text.empty() || text.size() % 4 != 0 || text.size() > 4 * ((want + 2) / 3)) return false;
  std::string buf(text.size() / 4 * 3, '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(buf.data()),
                                reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  if (n < 0) return false;
  std::size_t len = static_cast<std::size_t>(n);
  for (std::size_t i = text.size(); i > 0 && text[i - 1] == '='; --i) --len;
  if (len != want) return false;
  buf.resize(len);
  out = std::move(buf);
  return true;
}

std::string Derive(std::string_view password, std::string_view salt, int iterations) {
  std::string out(kHashSize, '\0');
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()),
                        reinterpret_cast<const unsigned char*>(salt.data()), static_cast<int>(salt.size()), iterations,
                        EVP_sha256(), static_cast<int>(kHashSize), reinterpret_cast<unsigned char*>(out.data())) != 1)
    throw std::runtime_error("cannot hash a password");
  return out;
}

void CheckName(std::string_view name) {
  if (name.empty()) throw std::invalid_argument("a user name cannot be empty");
  if (name.size() > kMaxName)
    throw std::invalid_argument("a user name is at most " + std::to_string(kMaxName) + " bytes long");
  for (char c : name)
    if (c == ':' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
      throw std::invalid_argument("a user name cannot hold ':' or a control character");
}

}  // namespace

UserFile UserFile::Load(const std::string& path, bool mayBeMissing) {
  UserFile table;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT && mayBeMissing) return table;
    throw std::runtime_error("cannot read the users file " + path + ": " + std::strerror(errno));
  }
  struct stat st {};
  const bool stated = ::fstat(fd, &st) == 0;
  std::string text;
  char buf[4096];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) text.append(buf, static_cast<std::size_t>(n));
  ::close(fd);
  if (!stated || !S_ISREG(st.st_mode)) throw std::runtime_error("the users file " + path + " is not a regular file");
  if (st.st_mode & (S_IRWXG | S_IRWXO))
    throw std::runtime_error("the users file " + path + " may be read or written by others than its owner (chmod 600 " +
                             path + ")");
  std::istringstream in(text);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    auto bad = [&](const std::string& why) {
      return std::runtime_error("the users file " + path + ", line " + std::to_string(number) + ": " + why);
    };
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) throw bad("not NAME:HASH");
    Entry e;
    e.name = line.substr(0, colon);
    try {
      CheckName(e.name);
    } catch (const std::invalid_argument& x) {
      throw bad(x.what());
    }
    if (table.Find(e.name)) throw bad("user \"" + e.name + "\" listed twice");
    std::vector<std::string> parts;
    std::string rest = line.substr(colon + 1);
    for (std::size_t at = 0;;) {
      const std::size_t dollar = rest.find('$', at);
      parts.push_back(rest.substr(at, dollar == std::string::npos ? std::string::npos : dollar - at));
      if (dollar == std::string::npos) break;
      at = dollar + 1;
    }
    if (parts.size() != 4 || parts[0] != kScheme) throw bad("not " + std::string(kScheme) + "$ITERATIONS$SALT$HASH");
    const std::string& it = parts[1];
    if (it.empty() || it.size() > 9 || it.find_first_not_of("0123456789") != std::string::npos ||
        (e.iterations = std::stoi(it)) < kMinIterations || e.iterations > kMaxIterations)
      throw bad("iterations \"" + it + "\" not a number from " + std::to_string(kMinIterations) + " to " +
                std::to_string(kMaxIterations));
    if (!FromBase64(parts[2], kSaltSize, e.salt)) throw bad("the salt is not 16 bytes in base64");
    if (!FromBase64(parts[3], kHashSize, e.hash)) throw bad("the hash is not 32 bytes in base64");
    table.entries_.push_back(std::move(e));
  }
  return table;
}

const UserFile::Entry* UserFile::Find(std::string_view name) const {
  for (const Entry& e : entries_)
    if (e.name == name) return &e;
  return nullptr;
}

bool UserFile::Verify(std::string_view name, std::string_view password) const {
  const Entry* e = Find(name);
  // An unknown name costs a hash as well, so that timing tells no names.
  static const std::string kDummySalt(kSaltSize, '\x5a');
  const std::string got = Derive(password, e ? e->salt : kDummySalt, e ? e->iterations : kPasswordIterations);
  if (!e) return false;
  return CRYPTO_memcmp(got.data(), e->hash.data(), kHashSize) == 0;
}

std::vector<std::string> UserFile::Names() const {
  std::vector<std::string> names;
  for (const Entry& e : entries_) names.push_back(e.name);
  return names;
}

bool UserFile::Has(std::string_view name) const { return Find(name) != nullptr; }

void UserFile::Set(std::string_view name, std::string_view password, int iterations) {
  CheckName(name);
  if (password.empty()) throw std::invalid_argument("a password cannot be empty");
  if (iterations < kMinIterations || iterations > kMaxIterations)
    throw std::invalid_argument("iterations out of range");
  Entry e;
  e.name = std::string(name);
  e.iterations = iterations;
  e.salt.resize(kSaltSize);
  if (RAND_bytes(reinterpret_cast<unsigned char*>(e.salt.data()), static_cast<int>(kSaltSize)) != 1)
    throw std::runtime_error("no random bytes for a salt");
  e.hash = Derive(password, e.salt, iterations);
  for (Entry& old : entries_) {
    if (old.name == name) {
      old = std::move(e);
      return;
    }
  }
  entries_.push_back(std::move(e));
}

bool UserFile::Remove(std::string_view name) {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.name == name; });
  if (it == entries_.end()) return false;
  entries_.erase(it);
  return true;
}

void UserFile::Save(const std::string& path) const {
  std::string text;
  for (const Entry& e : entries_)
    text += e.name + ":" + std::string(kScheme) + "$" + std::to_string(e.iterations) + "$" + Base64(e.salt) + "$" +
            Base64(e.hash) + "\n";
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());  // mode 0600
  if (fd < 0) throw std::runtime_error("cannot write the users file " + path + ": " + std::strerror(errno));
  bool ok = ::fchmod(fd, S_IRUSR | S_IWUSR) == 0;
  for (std::size_t at = 0; ok && at < text.size();) {
    const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) at += static_cast<std::size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  const int err = errno;
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
    const int why = ok ? errno : err;
    ::unlink(temp.c_str());
    throw std::runtime_error("cannot write the users file " + path + ": " + std::strerror(why));
  }
}

}  // namespace qv::net
