// A control opened on a store file through the counting library, for the
// benchmarks that count library calls: the job lists are answered by the
// counting library (no distribution runs) and the counts start at zero once
// the connection is open and the environment selected.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "connection/qvsource.h"
#include "counting_library.h"
#include "dllparam/source_library.h"

namespace qv::bench {

struct OpenedControl {
  OpenedControl(const std::string& path, const char* type = "AS400", const char* instance = "") {
    auto lib = std::make_unique<test::CountingLibrary>(MakeSourceLibrary());
    lib->answerJobLists = true;
    counting = lib.get();
    control = std::make_unique<QVSource>(std::move(lib));
    control->SourceType(type);
    control->InstanceName(instance);
    if (!control->OpenConnection("file:" + path)) {
      std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), control->ErrorText().c_str());
      std::exit(1);
    }
    control->env("E1");
    counting->Reset();
  }
  ~OpenedControl() { control->CloseConnection(); }
  OpenedControl(const OpenedControl&) = delete;
  OpenedControl& operator=(const OpenedControl&) = delete;

  std::unique_ptr<QVSource> control;
  test::CountingLibrary* counting = nullptr;
};

}  // namespace qv::bench
