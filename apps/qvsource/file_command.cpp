// Adds a described file to the file catalog of an AS/400 store.
#include "file_command.h"

#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "common/input_file.h"
#include "dllparam/admin/store_admin.h"
#include "dllparam/embedded/embedded_catalog.h"
#include "platform/encoding.h"

namespace qv::apps {

namespace {

constexpr const char* kDescription = R"(The description file holds one item a line (blank lines and lines starting
with # are skipped):
  file LIBRARY/FILE [PF|LF] [TEXT...]
  format NAME                     one line per record format, in order
  key FIELD                       one line per key field, in key order;
                                  no key line: arrival sequence
  field NAME TYPE BYTES DIGITS DECIMALS [varying] [TEXT...]
TYPE is a letter: A character (J, E, O its DBCS forms), B binary, P packed,
S zoned, F float, L date, T time, Z timestamp, H hexadecimal, G graphic.
A file already in the catalog is replaced.)";

}  // namespace

CLI::App* AddFileCommand(CLI::App& app, FileArguments& args) {
  CLI::App* file = app.add_subcommand("file", "manage the file catalog of an AS/400 store");
  file->require_subcommand(1);
  CLI::App* add = file->add_subcommand("add", "add a described file to the file catalog of an AS/400 store");
  add->footer(kDescription);
  add->add_option("STORE", args.store, "the store file")->required()->type_name("");
  add->add_option("DESCRIPTION-FILE", args.description, "the description of the file")->required()->type_name("");
  return add;
}

int RunFileAdd(const FileArguments& args) {
  try {
    std::string text;
    try {
      text = ReadInputFile(args.description);
    } catch (const std::exception& e) {
      std::cerr << "qvsource: " << e.what() << "\n";
      return 1;
    }
    const embedded::CatalogFile file = embedded::ParseCatalogDescription(Utf8ToCp1252(text));
    embedded::StoreAdmin store(args.store);
    if (store.kind() != embedded::SourceKind::AS400) {
      std::cerr << "qvsource: " << args.store << " is not an AS/400 store; only AS/400 stores have a file catalog\n";
      return 1;
    }
    embedded::PutCatalogFile(store.db(), file);
    std::cout << "added " << Cp1252ToUtf8(file.library + "/" + file.name) << " (" << file.fields.size()
              << " fields) to " << args.store << "\n";
  } catch (const std::exception& e) {
    std::cerr << "qvsource: " << args.description << ": " << Cp1252ToUtf8(e.what()) << "\n";
    return 1;
  }
  return 0;
}

}  // namespace qv::apps
