// Validation data: screening a points file, guessing its columns and codes, importing and sorting it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/shell.h"
#include "core/textgrid.h"
#include "validation/valrecords.h"

namespace karvelo {

// What the screening found and the user may change before the import.
struct ValidationFile {
  std::filesystem::path path;
  int ValColumnCount = 0;  // largest number of fields on one line
  int ValColX = 0, ValColY = 0, ValColVal = 0;
  int ValHeaderLines = 0;  // the lines before the first record that hold other characters than numbers
  int ValLineCount = 0;
  long long recordLines = 0, recordBytes = 0;  // the lines read as records and their length
  long long headerBytes = 0;                   // what the header lines take, as rows of three words
  // Lines after the first record that are no record (text, blank): skipped, the first few listed.
  long long skippedCount = 0;
  std::vector<long long> skippedLines;
  std::vector<std::string> codes;  // the code lists' items, in file order
  int findsIndex = 0;              // cmbbxFINDS's selection
  int nonFindsIndex = 0;           // cmbbxNONFINDS's selection
};

// Appends a blank and turns every ";", "," and tab into a blank.
std::string PrepareLine(std::string line);

// Takes the next field off the front of regel into woord (empty when none is left).
void LeesDelWoord(std::string& regel, std::string& woord);

// The fields LeesDelWoord takes off a line, one after the other, found by moving a position
// instead of erasing the front of the line: erasing costs the line's length per field, which made
// a line of many fields (a whole file whose lines end in CR alone) take minutes.
class FieldReader {
 public:
  explicit FieldReader(const std::string& regel) : line_(regel) {}
  // The word LeesDelWoord would give next (it may be empty: a field of control characters only);
  // false, with woord empty, when only blanks are left.
  bool Next(std::string& woord);

 private:
  const std::string& line_;
  std::size_t pos_ = 0;
};

// Counts fields, header lines, records and skipped lines and guesses the X, Y and code columns
// from the header words; a column no word names keeps its previous value. Then fills the code
// lists. Throws FileError for numbers written with a decimal comma.
void ScreenValData(ValidationFile& file, Shell& shell);

// Fills the code lists from column colVal of the records: FINDS proposes the first code in file
// order, NON-FINDS the second distinct one.
void CheckColValData(ValidationFile& file, int colVal, Shell& shell);

// The code of finds proposed where nobody chooses one: 1 when the codes are just 0 and 1,
// whichever comes first in the file, else the first code in file order ("choose" without any).
std::string ProposedFindsCode(const ValidationFile& file);

// "3 lines were not read as records: lines 17, 18, 40"; nothing when every line was read.
std::optional<std::string> SkippedLinesNote(const ValidationFile& file);

// Opening a file: screening, then the columns as the spin editors show them (limited to
// 1..ValColumnCount) and the code lists of the code column shown. Logs the two opening lines.
void OpenValidationFile(ValidationFile& file, const std::filesystem::path& path, Shell& shell);

// Imports the header rows and the records, then sorts the records by Y descending and X
// ascending, keeping file order among equals; records whose X or Y is no number go last. Logs
// the note on skipped lines.
void LoadValData(const ValidationFile& file, ValidationRecords& records, Shell& shell);


// All lines of a text file (LF or CR LF). Throws FileError, also when the lines would take more
// than MaxPointsFileMiB of memory (a file of empty lines takes 32 bytes for each byte).
std::vector<std::string> ReadAllLines(const std::filesystem::path& path);

// Room for some 15 million points; a million take about 65 MiB.
inline constexpr long long MaxPointsFileMiB = 1024;

}  // namespace karvelo
