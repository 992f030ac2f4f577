// Reads and rewrites the class registry file of the host.
#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/ascii.h"
#include "platform/server.h"

namespace qv::platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kHeader = "# qvmgr class registry: ProgID <TAB> class id <TAB> library path";

std::string Errno() { return std::strerror(errno); }

// One line of the file: an entry, or a line kept verbatim.
struct Line {
  std::string text;
  std::optional<RegistryEntry> entry;
};

std::optional<RegistryEntry> ParseLine(const std::string& line, std::string& why) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (;;) {
    std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  if (fields.size() != 3) {
    why = "expected 3 fields split by tabs, found " + std::to_string(fields.size());
    return std::nullopt;
  }
  RegistryEntry e{fields[0], fields[1], fields[2]};
  if (e.progId.empty() || e.libraryPath.empty()) {
    why = "empty field";
    return std::nullopt;
  }
  if (!IsClassId(e.classId)) {
    why = "malformed class id \"" + e.classId + "\"";
    return std::nullopt;
  }
  return e;
}

Status ReadLines(const std::string& path, std::vector<Line>& lines, std::vector<std::string>* bad) {
  std::error_code ec;
  if (!fs::exists(path, ec)) {
    if (ec) return Status::Fail("cannot read the class registry " + path + ": " + ec.message());
    return Status::Ok();  // no file yet: no entries
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return Status::Fail("cannot read the class registry " + path + ": " + Errno());
  std::string text;
  int number = 0;
  while (std::getline(in, text)) {
    ++number;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    Line line{text, std::nullopt};
    bool comment = text.empty() || text.front() == '#';
    if (!comment) {
      std::string why;
      line.entry = ParseLine(text, why);
      if (!line.entry && bad != nullptr) bad->push_back("line " + std::to_string(number) + ": " + why);
    }
    lines.push_back(std::move(line));
  }
  if (in.bad()) return Status::Fail("cannot read the class registry " + path + ": " + Errno());
  return Status::Ok();
}

Status CheckEntry(const RegistryEntry& e) {
  auto bad = [&](const std::string& why) {
    return Status::Fail("cannot register \"" + e.progId + "\": " + why);
  };
  for (const std::string* f : {&e.progId, &e.classId, &e.libraryPath}) {
    if (f->empty()) return bad("empty field");
    if (f->find_first_of("\t\r\n") != std::string::npos) return bad("tab or line break in a field");
  }
  if (e.progId.find(' ') != std::string::npos) return bad("blank in the ProgID");
  if (e.progId.front() == '#') return bad("ProgID starts with #");
  if (!IsClassId(e.classId)) return bad("malformed class id \"" + e.classId + "\"");
  return Status::Ok();
}

// Holds the writers' lock of a registry file while alive.
class WriterLock {
 public:
  explicit WriterLock(const std::string& path) {
    fd_ = ::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) {
      error_ = "cannot lock the class registry " + path + ": " + Errno();
      return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        error_ = "cannot lock the class registry " + path + ": " + Errno();
        return;
      }
    }
  }
  ~WriterLock() {
    if (fd_ >= 0) ::close(fd_);  // closing drops the lock
  }
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  std::string error_;
};

Status WriteLines(const std::string& path, const std::vector<Line>& lines) {
  std::string tmp = path + ".tmp." + std::to_string(::getpid());
  std::string body;
  bool hasHeader = !lines.empty() && lines.front().text == kHeader;
  if (!hasHeader) body += std::string(kHeader) + "\n";
  for (const Line& l : lines) body += l.text + "\n";
  // Creates the file for its owner alone (0600): the programs of no other user may read or change it.
  int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return Status::Fail("cannot write the class registry " + tmp + ": " + Errno());
  const char* p = body.data();
  std::size_t left = body.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      std::string err = Errno();
      ::close(fd);
      ::unlink(tmp.c_str());
      return Status::Fail("cannot write the class registry " + tmp + ": " + err);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    std::string err = Errno();
    ::unlink(tmp.c_str());
    return Status::Fail("cannot write the class registry " + tmp + ": " + err);
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    std::string err = Errno();
    ::unlink(tmp.c_str());
    return Status::Fail("cannot replace the class registry " + path + ": " + err);
  }
  return Status::Ok();
}

// Runs `change` on the lines of the file under the writers' lock and writes
// the result back.
template <class F>
Status Rewrite(const std::string& path, F change) {
  std::error_code ec;
  fs::path parent = fs::path(path).parent_path();
  if (!parent.empty()) {
    fs::create_directories(parent, ec);
    if (ec) return Status::Fail("cannot create " + parent.string() + ": " + ec.message());
  }
  WriterLock lock(path);
  if (!lock.error().empty()) return Status::Fail(lock.error());
  std::vector<Line> lines;
  Status read = ReadLines(path, lines, nullptr);
  if (!read.ok()) return read;
  change(lines);
  return WriteLines(path, lines);
}

bool SameEntry(const RegistryEntry& a, const RegistryEntry& b) {
  return EqualsNoCase(a.progId, b.progId) && EqualsNoCase(a.classId, b.classId);
}

}  // namespace

std::string RegistryPath() {
  if (const char* p = std::getenv("QV_REGISTRY"); p != nullptr && *p != '\0') return p;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x != nullptr && *x != '\0')
    return (fs::path(x) / "qvmgr" / "registry").string();
  const char* home = std::getenv("HOME");
  return (fs::path(home != nullptr ? home : ".") / ".config" / "qvmgr" / "registry").string();
}

Status ReadRegistry(const std::string& path, RegistryContents& out) {
  out = RegistryContents{};
  std::vector<Line> lines;
  Status s = ReadLines(path, lines, &out.badLines);
  for (const Line& l : lines) {
    if (l.entry) out.entries.push_back(*l.entry);
  }
  return s;
}

Status RegisterEntries(const std::vector<RegistryEntry>& entries, const std::string& path) {
  for (const RegistryEntry& e : entries) {
    if (Status s = CheckEntry(e); !s.ok()) return s;
  }
  return Rewrite(path, [&](std::vector<Line>& lines) {
    for (const RegistryEntry& e : entries) {
      std::erase_if(lines, [&](const Line& l) {
        return l.entry && (EqualsNoCase(l.entry->progId, e.progId) ||
                           EqualsNoCase(l.entry->classId, e.classId));
      });
      lines.push_back(Line{e.progId + "\t" + e.classId + "\t" + e.libraryPath, e});
    }
  });
}

Status UnregisterEntries(const std::vector<RegistryEntry>& entries, const std::string& path) {
  std::error_code ec;
  if (!fs::exists(path, ec) && !ec) return Status::Ok();
  return Rewrite(path, [&](std::vector<Line>& lines) {
    std::erase_if(lines, [&](const Line& l) {
      if (!l.entry) return false;
      for (const RegistryEntry& e : entries) {
        if (SameEntry(*l.entry, e)) return true;
      }
      return false;
    });
  });
}

std::optional<RegistryEntry> LookupProgId(std::string_view progId, std::string& error,
                                          const std::string& path) {
  RegistryContents contents;
  if (Status s = ReadRegistry(path, contents); !s.ok()) {
    error = s.error;
    return std::nullopt;
  }
  for (const RegistryEntry& e : contents.entries) {
    if (EqualsNoCase(e.progId, progId)) return e;
  }
  error = "ProgID \"" + std::string(progId) + "\" is not registered in " + path;
  return std::nullopt;
}

}  // namespace qv::platform
