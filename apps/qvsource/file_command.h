// The file command of qvsource: adds a file of an AS/400 library, described
// in a small text file, to the file catalog of an AS/400 store.
#pragma once

#include <string>

namespace CLI {
class App;
}

namespace qv::apps {

struct FileArguments {
  std::string store;        // the store file
  std::string description;  // the description file
};

// Adds "file add STORE DESCRIPTION-FILE" to the program's commands; returns
// the "add" command.
CLI::App* AddFileCommand(CLI::App& app, FileArguments& args);

// Runs "file add". Returns the exit status: 0 done, 1 refused or failed.
int RunFileAdd(const FileArguments& args);

}  // namespace qv::apps
