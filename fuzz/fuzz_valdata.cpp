// Fuzz target of the validation file: any bytes screened as a points file, then imported and sorted.
#include <cstdlib>

#include "core/errors.h"
#include "core/textgrid.h"
#include "fuzz_support.h"
#include "validation/lookup.h"
#include "validation/valdata.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto path = karvelo::fuzz::InputFile("points.txt", data, size);
  karvelo::fuzz::QuietShell shell;
  karvelo::ValidationFile file;
  karvelo::TextGrid table;
  karvelo::ValidationRecords records;
  try {
    karvelo::OpenValidationFile(file, path, shell);
    // The spin editors only offer columns 1..ValColumnCount.
    if (file.ValColumnCount > 0 &&
        (file.ValColX < 1 || file.ValColX > file.ValColumnCount || file.ValColY < 1 ||
         file.ValColY > file.ValColumnCount || file.ValColVal < 1 || file.ValColVal > file.ValColumnCount)) {
      std::abort();
    }
    karvelo::LoadValData(file, records, shell);
    karvelo::FillValDataTable(records, table);
  } catch (const karvelo::FileError&) {
    return 0;
  }
  // One row per line of the file, and one empty row after the header rows when no record follows.
  if (table.RowCount() < 1 || table.RowCount() > file.ValLineCount + 1) std::abort();
  return 0;
}
