// ASCII grid files: the header reader, the cell reader, the range scan and the grid writer.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/datadef.h"
#include "core/shell.h"
#include "core/textwriter.h"

namespace karvelo {

// The longest line any reader takes: a grid row of 10000 cells needs a few hundred kB, so a longer
// line is a file without line breaks (/dev/zero, a binary file) that would otherwise be read whole.
inline constexpr long long MaxLineLength = 64LL << 20;

// Reads the cells of one grid file in row order: open, SkipHeader, then per row ncols x ReadValue
// and one ReadLine. A notgrid entry opens nothing and reads as its NODATA_value everywhere.
// Large buffered reads; no copy of the grid is held. A UTF-8 byte-order mark at the start is
// skipped. Every text file of the program (grids, configurations, points) is read through it, so
// a line longer than maxLine is refused here for all of them: "<file>: line N is longer than 64 MiB".
// Lines end at LF (a CR before it is white space), or at a lone CR in a file whose first line
// ends so: the byte that ends the first line ends every line.
class GridReader {
 public:
  // bufferSize is for tests that cross buffer boundaries on small files; at least 256 is used.
  // maxLine is for tests too; a limit below the buffer size is only checked per buffer.
  explicit GridReader(const TDataDef& def, std::size_t bufferSize = 1 << 20, long long maxLine = MaxLineLength);
  ~GridReader();
  GridReader(const GridReader&) = delete;
  GridReader& operator=(const GridReader&) = delete;

  // Skips the header: the lines that begin with a header key (ReadHeader has checked them).
  // From here on the file holds cells: the end of the file before every cell the header
  // announces is refused by ReadValue.
  void SkipHeader();
  // The header's lines as SkipHeader skips them, without their line ends.
  std::vector<std::string> HeaderLines();
  // Next value. FileError "Invalid numeric input", or "Number out of range" for a value beyond a
  // double's range (it would be saved as a text no reader takes). At the end of the file: after
  // SkipHeader a FileError "the header announces N values, the file holds K"; otherwise 0.
  double ReadValue();
  // Skips the rest of the current line; false when the file ended before a line break.
  bool ReadLine();
  // True when nothing but white space is left (a reader that must tell the end of the file from
  // a value).
  bool AtEnd();
  // One line of text without its line break (a CR before an LF stays); false at the end of the file.
  bool ReadTextLine(std::string& line);
  // Byte offset in the file of the next unread byte (where the next row starts after ReadLine).
  long long Offset() const { return consumed_ + static_cast<long long>(pos_); }
  // Continues reading at a byte offset that Offset() gave.
  void Seek(long long offset);

  // Where a grid's reading stands, for a second reader that goes on from there.
  struct Place {
    long long offset = 0;
    long long valuesRead = 0;  // cells read before `offset`
    long long announced = -1;  // ncols x nrows of the header, -1 when it gave none
    char lineBreak = '\n';
  };
  Place PlaceOfCells() const { return {Offset(), valuesRead_, announced_, lineBreak_}; }
  // Reads cells from `place` on, as the reader that gave it would; the offset may be moved on to
  // the start of a later row, with valuesRead counting the cells before it.
  void Resume(const Place& place);

 private:
  bool Refill();  // keeps unread bytes, appends more; false when nothing more came
  // Up to `most` bytes of the next line (not its line break), without taking them; nothing at
  // the end of the file. Valid until the next call.
  std::optional<std::string_view> Peek(std::size_t most);
  // The first word of the next line (blanks and tabs skipped), at most 32 bytes, without taking it.
  std::string_view PeekWord();
  void DetectLineBreak(const char* from, const char* to);
  [[noreturn]] void ThrowTooFewValues() const;
  std::filesystem::path path_;
  bool notgrid_ = false;
  double nodata_ = 0;
  std::FILE* file_ = nullptr;
  std::vector<char> buf_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  bool eof_ = false;
  long long consumed_ = 0;  // file bytes before buf_[0], for error positions
  long long lineStart_ = 0; // file offset of the first byte after the last line break read
  long long maxLine_;
  char lineBreak_ = '\n';
  bool lineBreakKnown_ = false;
  bool cells_ = false;        // the header was skipped: only cells follow
  long long announced_ = -1;  // what the header announced, when it did
  long long valuesRead_ = 0;
};

// Reads the header of def.FileName into def (ParseGridHeader: every key once, in any case and
// order, values whole numbers or finite reals) and sets both indicator values to NODATA_value. A
// header that is not one is a FileError naming the file, the line and what was expected there,
// and def is left as it was. Returns dimok: false (after the size message) when the grid has
// more than 10000 columns or rows.
bool ReadHeader(TDataDef& def, Shell& shell);

// The message of a grid that is too large.
std::string TooManyCellsMessage();

// What a scan shows on tab 1 besides the range it stores in the entry.
enum class ListColour { Normal, Green, Yellow };
struct ScanResult {
  std::vector<std::string> unique;  // the unique-value list, sorted as text, at most 4 entries
  std::string listText;             // "3 items", ">3 (first 3 given)" or empty
  ListColour listColour = ListColour::Normal;
  bool indicatorsEnabled = true;    // presence and absence indicator buttons
  std::string minText;              // lblmin
  std::string maxText;              // lblmax
  bool scanned = false;             // false for a notgrid entry: nothing was read
  // Every value of the grid other than NODATA_value, when the scan found at most four and all
  // of them whole (valuesComplete); a grid with fractions or more values leaves it open.
  std::vector<double> values;
  bool valuesComplete = false;
};

// Finds minvalue and maxvalue of def (maxvalue = minvalue + 1 when they are equal) and the few
// unique whole values; advances the gauge once per row.
ScanResult ScanData(TDataDef& def, Shell& shell);

// Whether some cell of def holds v (one reading of the grid, stopped at the first such cell).
bool GridHoldsValue(const TDataDef& def, double v, Shell& shell);
// "<grid>: no cell holds the value 7, so it cannot mark presences." (or absences)
std::string ValueNotInGridMessage(const std::string& grid, double v, bool presence);

// The six header lines of ref's geometry; nodataText replaces the formatted NODATA_value.
void WriteGridHeader(TextWriter& out, const TDataDef& ref,
                     const std::optional<std::string>& nodataText = std::nullopt);

}  // namespace karvelo
