// The update-mode logical files that the walks of a cascading delete share
// on AS/400 sources, and the statement handles that the reads of a change
// share on NT sources (used by cascades.cpp and by the unit of a change).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "connection/qvsource.h"

namespace qv {

// Lends the walks of a cascade their update-mode logical files. The
// outermost scope (the unit of a change, or the outermost walk) owns the
// files, and the statement handles that FreshStatement lends within it:
// they are closed, in the order opened, when it ends, however it ends. A
// file or statement that an enclosing walk is reading is not lent again:
// the inner walk opens a handle of its own.
class QVSource::CascadeFiles {
 public:
  explicit CascadeFiles(QVSource& control) : control_(control) { ++control_.cascadeDepth_; }
  ~CascadeFiles() {
    for (const std::size_t i : lent_) control_.cascadeFiles_[i].busy = false;
    if (--control_.cascadeDepth_ > 0) return;
    // A close that throws (a library that reports by exception) must not end
    // the process from a destructor: the handles left are the library's.
    for (CascadeFile& file : control_.cascadeFiles_) {
      try {
        control_.CloseFile(file.handle);
      } catch (...) {
      }
    }
    control_.cascadeFiles_.clear();
  }
  CascadeFiles(const CascadeFiles&) = delete;
  CascadeFiles& operator=(const CascadeFiles&) = delete;

  // Gives a handle of logical opened for update, opening the file when no
  // idle handle of it is kept; false when the open fails.
  bool Open(const char* logical, int32_t& h, const std::string& step) {
    auto& files = control_.cascadeFiles_;
    std::size_t i = 0;
    while (i < files.size() && (files[i].busy || files[i].logical != logical)) ++i;
    if (i == files.size()) {
      if (!control_.OpenFile(logical, DllParam::kModeUpdate, h, step + ":Open " + logical)) return false;
      files.push_back(CascadeFile{logical, h, false});
    }
    // Entries are kept by index: a nested walk that opens another file may
    // move them, and none is removed before the outermost walk ends.
    files[i].busy = true;
    lent_.push_back(i);
    h = files[i].handle;
    return true;
  }

 private:
  QVSource& control_;
  std::vector<std::size_t> lent_;
};

}  // namespace qv
