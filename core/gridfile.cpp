// Reading ASCII grid headers and cells, scanning a grid's range, writing grid headers.
#include "core/gridfile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string_view>

#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/filecheck.h"
#include "core/gridheader.h"
#include "core/gridrows.h"
#include "core/limits.h"
#include "core/numfmt.h"
#include "core/plaindecimal.h"
#include "core/textsafe.h"

namespace karvelo {

namespace {

constexpr std::size_t kMaxToken = 64;

// Blank, tab, line breaks, vertical tab and form feed, as one table lookup.
constexpr auto kSpaceTable = [] {
  std::array<bool, 256> t{};
  for (unsigned char c : {' ', '\n', '\r', '\t', '\v', '\f'}) t[c] = true;
  return t;
}();
inline bool IsSpace(char c) { return kSpaceTable[static_cast<unsigned char>(c)]; }

// Counts the line number (1-based) of byte offset `at` in the file, for error messages only.
long long LineOfOffset(const std::filesystem::path& path, long long at, char lineBreak) {
  std::FILE* f = std::fopen(ReadablePath(path).c_str(), "rb");
  if (!f) return 0;
  long long line = 1, seen = 0;
  char chunk[1 << 16];
  while (seen < at) {
    const std::size_t want = static_cast<std::size_t>(std::min<long long>(sizeof chunk, at - seen));
    const std::size_t got = std::fread(chunk, 1, want, f);
    if (got == 0) break;
    line += std::count(chunk, chunk + got, lineBreak);
    seen += static_cast<long long>(got);
  }
  std::fclose(f);
  return line;
}

}  // namespace

GridReader::GridReader(const TDataDef& def, std::size_t bufferSize, long long maxLine)
    : path_(def.FileName), notgrid_(def.GridFileType == TGridFileType::notgrid), nodata_(def.NODATA_value),
      maxLine_(maxLine) {
  if (notgrid_) return;
  // A result this step has written but not yet put in place is read where it is.
  const std::filesystem::path readable = ReadablePath(path_);
  // Opening a FIFO would wait for a writer that may never come.
  RequireRegularFile(readable);
  file_ = std::fopen(readable.c_str(), "rb");
  if (!file_) ThrowSystemFileError(path_, "cannot open the file");
  buf_.resize(std::max<std::size_t>(bufferSize, 256));
}

GridReader::~GridReader() {
  if (file_) std::fclose(file_);
}

void GridReader::DetectLineBreak(const char* from, const char* to) {
  const void* lf = std::memchr(from, '\n', static_cast<std::size_t>(to - from));
  const char* stop = lf ? static_cast<const char*>(lf) : to;
  const void* cr = std::memchr(from, '\r', static_cast<std::size_t>(stop - from));
  if (cr) {
    // A CR before the first LF: a CR LF file, unless another byte follows it (or none does).
    const char* c = static_cast<const char*>(cr);
    lineBreak_ = c + 1 < to && c[1] == '\n' ? '\n' : '\r';
    lineBreakKnown_ = true;
  } else if (lf) {
    lineBreakKnown_ = true;
  }
}

bool GridReader::Refill() {
  if (eof_) return false;
  if (pos_ > 0) {
    std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
    consumed_ += static_cast<long long>(pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  // Until the file's line break is known, one byte stays free for the byte after a CR.
  const std::size_t room = buf_.size() - end_ - (lineBreakKnown_ ? 0 : 1);
  std::size_t got = std::fread(buf_.data() + end_, 1, room, file_);
  if (got == 0) {
    if (std::ferror(file_)) ThrowSystemFileError(path_, "cannot read the file");
    eof_ = true;
    return false;
  }
  const char* fresh = buf_.data() + end_;
  if (consumed_ == 0 && end_ == 0 && got >= 3 && std::memcmp(fresh, "\xEF\xBB\xBF", 3) == 0) pos_ = 3;
  if (!lineBreakKnown_) {
    if (fresh[got - 1] == '\r') got += std::fread(buf_.data() + end_ + got, 1, 1, file_);
    DetectLineBreak(fresh, fresh + got);
  }
  end_ += got;
  // One backward search per buffer keeps the reading loops free of any counting.
  if (const void* nl = memrchr(fresh, lineBreak_, got)) {
    lineStart_ = consumed_ + (static_cast<const char*>(nl) - buf_.data()) + 1;
  }
  if (consumed_ + static_cast<long long>(end_) - lineStart_ > maxLine_) {
    ThrowFileError(path_, "line " + std::to_string(LineOfOffset(path_, lineStart_, lineBreak_)) + " is longer than " +
                              std::to_string(maxLine_ >> 20) + " MiB");
  }
  return true;
}

void GridReader::Seek(long long offset) {
  if (notgrid_) return;
  if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) ThrowSystemFileError(path_, "cannot read the file");
  pos_ = end_ = 0;
  eof_ = false;
  consumed_ = offset;
  lineStart_ = offset;  // a row's start is a line's start
}

void GridReader::Resume(const Place& place) {
  Seek(place.offset);
  lineBreak_ = place.lineBreak;
  lineBreakKnown_ = true;
  cells_ = true;
  announced_ = place.announced;
  valuesRead_ = place.valuesRead;
}

std::optional<std::string_view> GridReader::Peek(std::size_t most) {
  if (notgrid_) return std::nullopt;
  if (end_ - pos_ < most && !eof_) Refill();
  if (pos_ >= end_) return std::nullopt;
  const std::size_t n = std::min(most, end_ - pos_);
  const char* from = buf_.data() + pos_;
  const void* nl = std::memchr(from, lineBreak_, n);
  std::size_t len = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - from) : n;
  if (len > 0 && lineBreak_ == '\n' && from[len - 1] == '\r') --len;
  return std::string_view(from, len);
}

std::string_view GridReader::PeekWord() {
  const std::optional<std::string_view> line = Peek(64);
  if (!line) return {};
  std::size_t b = 0;
  while (b < line->size() && ((*line)[b] == ' ' || (*line)[b] == '\t')) ++b;
  std::size_t e = b;
  while (e < line->size() && e - b < 32 && !IsSpace((*line)[e])) ++e;
  return line->substr(b, e - b);
}

std::vector<std::string> GridReader::HeaderLines() {
  std::vector<std::string> lines;
  if (notgrid_) return lines;
  std::optional<double> ncols, nrows;
  std::string line;
  while (static_cast<int>(lines.size()) < MaxHeaderLines && HeaderKeyOf(PeekWord()) && ReadTextLine(line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (const auto h = ParseHeaderLine(line)) {
      if (h->key == HeaderKey::ncols) ncols = WholeHeaderNumber(h->value);
      if (h->key == HeaderKey::nrows) nrows = WholeHeaderNumber(h->value);
    }
    lines.push_back(line);
  }
  cells_ = true;
  valuesRead_ = 0;
  announced_ = ncols && nrows && *ncols >= 0 && *nrows >= 0 && *ncols * *nrows < 9e18
                   ? static_cast<long long>(*ncols * *nrows) : -1;
  return lines;
}

void GridReader::SkipHeader() {
  if (notgrid_) return;
  HeaderLines();
}

void GridReader::ThrowTooFewValues() const {
  if (announced_ >= 0) {
    ThrowFileError(path_, "the header announces " + std::to_string(announced_) + " values, the file holds " +
                              std::to_string(valuesRead_));
  }
  ThrowFileError(path_, "the file ends after " + std::to_string(valuesRead_) + " values, before the grid's last cell");
}

double GridReader::ReadValue() {
  if (notgrid_) return nodata_;
  for (;;) {
    while (pos_ < end_ && IsSpace(buf_[pos_])) ++pos_;
    if (pos_ < end_) break;
    if (!Refill()) {
      // Cells that are not there would be read as values nobody wrote (0: absences, a class).
      if (cells_) ThrowTooFewValues();
      return 0;
    }
  }
  if (end_ - pos_ <= kMaxToken && !eof_) Refill();
  const char* start = buf_.data() + pos_;
  const char* const stop = start + std::min(end_ - pos_, kMaxToken);

  // Plain decimals are read while the token is scanned; anything else goes the long way.
  {
    const PlainDecimal plain = ScanPlainDecimal(start, stop);
    if ((plain.end == stop || IsSpace(*plain.end)) && plain.exact) {
      pos_ += static_cast<std::size_t>(plain.end - start);
      ++valuesRead_;
      return plain.value;
    }
  }
  std::size_t len = 0;
  const std::size_t limit = static_cast<std::size_t>(stop - start);
  while (len < limit && !IsSpace(start[len])) ++len;
  const long long tokenOffset = consumed_ + static_cast<long long>(pos_);
  pos_ += len;
  const std::string_view token(start, len);
  const auto v = ParseReal(token);
  if (v && std::isfinite(*v)) {
    ++valuesRead_;
    return *v;
  }
  ThrowFileError(path_, "line " + std::to_string(LineOfOffset(path_, tokenOffset, lineBreak_)) + ": " +
                            (v ? "Number out of range" : "Invalid numeric input") + " (found " + QuotedFileText(token) + ")");
}

bool GridReader::AtEnd() {
  if (notgrid_) return true;
  for (;;) {
    while (pos_ < end_ && IsSpace(buf_[pos_])) ++pos_;
    if (pos_ < end_) return false;
    if (!Refill()) return true;
  }
}

bool GridReader::ReadLine() {
  if (notgrid_) return false;
  for (;;) {
    const void* nl = std::memchr(buf_.data() + pos_, lineBreak_, end_ - pos_);
    if (nl) {
      pos_ = static_cast<std::size_t>(static_cast<const char*>(nl) - buf_.data()) + 1;
      return true;
    }
    pos_ = end_;
    if (!Refill()) return false;
  }
}

bool GridReader::ReadTextLine(std::string& line) {
  line.clear();
  if (notgrid_) return false;
  if (pos_ >= end_ && !Refill()) return false;
  for (;;) {
    const char* from = buf_.data() + pos_;
    const void* nl = std::memchr(from, lineBreak_, end_ - pos_);
    if (nl) {
      const std::size_t n = static_cast<std::size_t>(static_cast<const char*>(nl) - from);
      line.append(from, n);
      pos_ += n + 1;
      return true;
    }
    line.append(from, end_ - pos_);
    pos_ = end_;
    if (!Refill()) return true;
  }
}

std::string TooManyCellsMessage() {
  return "Too many grid cells (" + std::to_string(MaxGridExtent) + "x" + std::to_string(MaxGridExtent) +
         " cells allowed).\nClip a smaller area and restart.";
}

bool ReadHeader(TDataDef& def, Shell& shell) {
  if (def.GridFileType == TGridFileType::notgrid) return true;
  GridHeader header;
  {
    GridReader reader(def);
    const std::vector<std::string> lines = reader.HeaderLines();
    // The line after the header, which a message quotes when a key is missing. Read as every
    // line is, so that a file without line breaks is refused at the line limit, at once.
    std::optional<std::string> next;
    std::string line;
    if (reader.ReadTextLine(line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      next = std::move(line);
    }
    header = ParseGridHeader(lines, next, def.FileName);
  }
  def.ncols = header.ncols;
  def.nrows = header.nrows;
  def.xllcorner = header.xllcorner;
  def.yllcorner = header.yllcorner;
  def.cellsize = header.cellsize;
  def.NODATA_value = header.NODATA_value;
  def.PositiveIndicatorValue = def.NODATA_value;
  def.NegativeIndicatorValue = def.NODATA_value;
  if (header.tooLarge) {
    shell.message(TooManyCellsMessage());
    return false;
  }
  return true;
}

namespace {

// The unique whole values of a scan, kept as numbers beside their texts so that a cell is
// compared without forming its text.
class UniqueCollector {
 public:
  bool collecting = true;
  std::vector<long long> values;
  ScanResult* result;

  explicit UniqueCollector(ScanResult* r) : result(r) {}

  void Offer(double v, double nodata) {
    if (v != std::trunc(v) || std::fabs(v) >= 9223372036854775808.0) {
      collecting = false;  // not whole, or beyond a 64-bit integer's range
      return;
    }
    if (v == nodata) return;
    const long long iv = static_cast<long long>(v);
    for (long long known : values) {
      if (known == iv) return;
    }
    if (values.size() <= 3) {
      values.push_back(iv);
      std::string text = std::to_string(iv);
      auto& list = result->unique;
      list.insert(std::upper_bound(list.begin(), list.end(), text), text);
      result->listText = std::to_string(list.size()) + " items";
      result->listColour = ListColour::Green;
    } else {
      result->listText = ">3 (first 3 given)";
      result->listColour = ListColour::Yellow;
      collecting = false;
    }
  }
};

}  // namespace

ScanResult ScanData(TDataDef& def, Shell& shell) {
  ScanResult result;
  def.minvalue = 1000000000;
  def.maxvalue = -1000000000;
  if (def.GridFileType == TGridFileType::notgrid) return result;

  GridRows rows(def, shell.run().Pool());
  shell.gaugeRange(0, def.nrows);
  UniqueCollector unique(&result);
  const double nodata = def.NODATA_value;
  double lo = def.minvalue, hi = def.maxvalue;
  for (int r = 1; r <= def.nrows; ++r) {
    const double* row = rows.Next();
    for (int c = 0; c < def.ncols; ++c) {
      const double v = row[c];
      if (v < lo && v != nodata) lo = v;
      if (v > hi && v != nodata) hi = v;
      if (unique.collecting) unique.Offer(v, nodata);
    }
    shell.row(r);
  }
  def.minvalue = lo;
  def.maxvalue = hi;
  result.scanned = true;
  result.valuesComplete = unique.collecting;
  for (long long v : unique.values) result.values.push_back(static_cast<double>(v));
  result.indicatorsEnabled = result.unique.size() <= 3;
  result.minText = FormatStripped5(def.minvalue);
  result.maxText = FormatStripped5(def.maxvalue);
  if (def.maxvalue == def.minvalue) def.maxvalue = def.minvalue + 1;
  return result;
}

bool GridHoldsValue(const TDataDef& def, double v, Shell& shell) {
  if (def.GridFileType == TGridFileType::notgrid) return false;
  GridRows rows(def, shell.run().Pool());
  shell.gaugeRange(0, def.nrows);
  for (int r = 1; r <= def.nrows; ++r) {
    const double* row = rows.Next();
    if (std::find(row, row + def.ncols, v) != row + def.ncols) return true;
    shell.row(r);
  }
  return false;
}

std::string ValueNotInGridMessage(const std::string& grid, double v, bool presence) {
  return grid + ": no cell holds the value " + FormatShortest(v) + ", so it cannot mark " +
         (presence ? "presences." : "absences.");
}

void WriteGridHeader(TextWriter& out, const TDataDef& ref, const std::optional<std::string>& nodataText) {
  out.WriteLine("ncols         " + std::to_string(ref.ncols));
  out.WriteLine("nrows         " + std::to_string(ref.nrows));
  out.WriteLine("xllcorner     " + FormatGeoref(ref.xllcorner));
  out.WriteLine("yllcorner     " + FormatGeoref(ref.yllcorner));
  out.WriteLine("cellsize      " + FormatGeoref(ref.cellsize));
  out.WriteLine("NODATA_value  " + (nodataText ? *nodataText : FormatGridNumber(ref.NODATA_value, 2)));
}

}  // namespace karvelo
