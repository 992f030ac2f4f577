// Implements "qvsource table add": reads a table description and creates the
// table in the store's source database.
#include "table_command.h"

#include <iostream>
#include <string>

#include <CLI/CLI.hpp>

#include "common/input_file.h"
#include "dllparam/admin/source_tables.h"
#include "platform/encoding.h"

namespace qv::apps {

namespace {

constexpr const char* kFormat = R"(DESCRIPTION is a file ("-" reads stdin) such as:
  # orders of the sales database
  table SALES.ORDERS
  CODE     CHAR(10)       key
  LINE     INT            key
  AMOUNT   DECIMAL(10,2)  notnull
  NOTE     TEXT           maxlen=500
The first line names the database (the schema on Oracle) and the table; then
one column per line: name, SQL type, and any of key (primary key, in line
order), notnull, maxlen=N (TEXT and LONGVARCHAR: the length QV_MX gives it).
The store must be an NT store (ODBC, SQLSERVER or ORACLE).)";

}  // namespace

CLI::App* AddTableCommand(CLI::App& app, TableArguments& args) {
  CLI::App* table = app.add_subcommand("table", "manage the source tables of an NT store");
  table->require_subcommand(1);
  CLI::App* add = table->add_subcommand("add", "create a source table from a description");
  add->footer(kFormat);
  add->add_option("STORE", args.store, "the store file")->required()->type_name("");
  add->add_option("DESCRIPTION", args.description, "the table description, or - for stdin")
      ->required()
      ->type_name("");
  return add;
}

int RunTableAdd(const TableArguments& args) {
  try {
    const std::string text = ReadInputFile(args.description);
    embedded::SourceTable table = embedded::ParseSourceTable(Utf8ToCp1252(text));
    embedded::StoreAdmin store(args.store);
    embedded::AddSourceTable(store, table);
    std::cout << "added table " << Cp1252ToUtf8(table.database + "." + table.table) << " ("
              << table.columns.size() << " columns) to " << args.store << "\n";
  } catch (const std::exception& e) {
    std::cerr << "qvsource: " << Cp1252ToUtf8(e.what()) << "\n";
    return 1;
  }
  return 0;
}

}  // namespace qv::apps
