// ASCII grid files: the header reader, the cell reader, the range scan and the grid writer.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
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
class GridReader {
 public:
  // bufferSize is for tests that cross buffer boundaries on small files; at least 256 is used.
  // maxLine is for tests too; a limit below the buffer size is only checked per buffer.
  explicit GridReader(const TDataDef& def, std::size_t bufferSize = 1 << 20, long long maxLine = MaxLineLength);
  ~GridReader();
  GridReader(const GridReader&) = delete;
  GridReader& operator=(const GridReader&) = delete;

  void SkipHeader();     // the first six lines, whatever they hold
  // Next value; 0 at the end of the file; FileError "Invalid numeric input", or "Number out of
  // range" for a value beyond a double's range (it would be saved as a text no reader takes).
  double ReadValue();
  // Skips the rest of the current line; false when the file ended before a line break.
  bool ReadLine();
  // True when nothing but white space is left (a reader that must tell the end of the file from
  // a value; ReadValue alone gives 0 there).
  bool AtEnd();
  // One line of text without its LF (a CR stays); false at the end of the file.
  bool ReadTextLine(std::string& line);
  // Byte offset in the file of the next unread byte (where the next row starts after ReadLine).
  long long Offset() const { return consumed_ + static_cast<long long>(pos_); }
  // Continues reading at a byte offset that Offset() gave.
  void Seek(long long offset);

 private:
  bool Refill();  // keeps unread bytes, appends more; false when nothing more came
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
};

// Reads the header of def.FileName into def and sets both indicator values to NODATA_value. A
// corner, cell size or no-data value that is not finite ("inf", "nan", "1e400") is a FileError
// naming the line. Returns dimok: false (after the size message) when the grid has more than 10000 columns or rows.
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
};

// Finds minvalue and maxvalue of def (maxvalue = minvalue + 1 when they are equal) and the few
// unique whole values; advances the gauge once per row.
ScanResult ScanData(TDataDef& def, Shell& shell);

// The six header lines of ref's geometry; nodataText replaces the formatted NODATA_value.
void WriteGridHeader(TextWriter& out, const TDataDef& ref,
                     const std::optional<std::string>& nodataText = std::nullopt);

}  // namespace karvelo
