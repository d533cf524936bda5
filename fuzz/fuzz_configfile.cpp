// Fuzz target of the configuration file reader: any bytes as a configuration file.
#include <cstdlib>

#include "config/configfile.h"
#include "config/configtable.h"
#include "core/errors.h"
#include "core/runtables.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto path = karvelo::fuzz::InputFile("config.txt", data, size);
  karvelo::fuzz::QuietShell shell;
  std::vector<karvelo::TDataDef> defs;
  try {
    defs = karvelo::ReadConfigurationFile(path, shell);
  } catch (const karvelo::FileError&) {
    return 0;
  }
  if (defs.empty() || defs.size() > karvelo::MaxDataFiles) std::abort();

  // What was loaded is shown in the table and may be saved again; the saved file must load.
  karvelo::RunTables tables;
  karvelo::LayOutRunTables(tables);
  std::string text;
  for (std::size_t i = 0; i < defs.size(); ++i) {
    tables.DataConfiguration.SetRowCount(static_cast<int>(i) + 2);
    karvelo::FillRow(tables.DataConfiguration, static_cast<int>(i) + 2, defs[i]);
    for (const std::string& line : karvelo::ConfigurationBlock(defs[i])) text += line + "\r\n";
  }
  const auto again = karvelo::fuzz::InputFile("saved.txt", reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  try {
    const auto reread = karvelo::ReadConfigurationFile(again, shell);
    if (reread.size() != defs.size()) std::abort();
    for (std::size_t i = 0; i < defs.size(); ++i) {
      if (reread[i].NrClasses != defs[i].NrClasses || reread[i].ncols != defs[i].ncols ||
          reread[i].nrows != defs[i].nrows || reread[i].GridFileType != defs[i].GridFileType) {
        std::abort();
      }
    }
  } catch (const karvelo::FileError& e) {
    std::fprintf(stderr, "a loaded configuration saved as a file that does not load: %s\n", e.what());
    std::abort();
  }
  return 0;
}
