// Reads the text a command takes from a file, or from standard input for "-".
#pragma once

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>

namespace qv::apps {

// Returns the whole content of path ("-": standard input). Throws
// std::runtime_error "cannot read PATH: REASON" with the system's reason.
inline std::string ReadInputFile(const std::string& path) {
  if (path == "-") return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  auto fail = [&](int reason) {
    throw std::runtime_error("cannot read " + path + ": " +
                             (reason != 0 ? std::strerror(reason) : "the file could not be read"));
  };
  // A folder opens as a stream that reads nothing.
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) fail(EISDIR);
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(errno);
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) fail(errno);
  return text.str();
}

}  // namespace qv::apps
