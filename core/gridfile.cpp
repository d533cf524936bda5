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
long long LineOfOffset(const std::filesystem::path& path, long long at) {
  std::FILE* f = std::fopen(ReadablePath(path).c_str(), "rb");
  if (!f) return 0;
  long long line = 1, seen = 0;
  char chunk[1 << 16];
  while (seen < at) {
    const std::size_t want = static_cast<std::size_t>(std::min<long long>(sizeof chunk, at - seen));
    const std::size_t got = std::fread(chunk, 1, want, f);
    if (got == 0) break;
    line += std::count(chunk, chunk + got, '\n');
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

bool GridReader::Refill() {
  if (eof_) return false;
  if (pos_ > 0) {
    std::memmove(buf_.data(), buf_.data() + pos_, end_ - pos_);
    consumed_ += static_cast<long long>(pos_);
    end_ -= pos_;
    pos_ = 0;
  }
  const std::size_t got = std::fread(buf_.data() + end_, 1, buf_.size() - end_, file_);
  if (got == 0) {
    if (std::ferror(file_)) ThrowSystemFileError(path_, "cannot read the file");
    eof_ = true;
    return false;
  }
  const char* fresh = buf_.data() + end_;
  if (consumed_ == 0 && end_ == 0 && got >= 3 && std::memcmp(fresh, "\xEF\xBB\xBF", 3) == 0) pos_ = 3;
  end_ += got;
  // One backward search per buffer keeps the reading loops free of any counting.
  if (const void* nl = memrchr(fresh, '\n', got)) {
    lineStart_ = consumed_ + (static_cast<const char*>(nl) - buf_.data()) + 1;
  }
  if (consumed_ + static_cast<long long>(end_) - lineStart_ > maxLine_) {
    ThrowFileError(path_, "line " + std::to_string(LineOfOffset(path_, lineStart_)) + " is longer than " +
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

void GridReader::SkipHeader() {
  if (notgrid_) return;
  for (int i = 0; i < 6; ++i) ReadLine();
}

double GridReader::ReadValue() {
  if (notgrid_) return nodata_;
  for (;;) {
    while (pos_ < end_ && IsSpace(buf_[pos_])) ++pos_;
    if (pos_ < end_) break;
    if (!Refill()) return 0;
  }
  if (end_ - pos_ <= kMaxToken && !eof_) Refill();
  const char* start = buf_.data() + pos_;
  const char* const stop = start + std::min(end_ - pos_, kMaxToken);

  // Plain decimals are read while the token is scanned; anything else goes the long way.
  {
    const PlainDecimal plain = ScanPlainDecimal(start, stop);
    if ((plain.end == stop || IsSpace(*plain.end)) && plain.exact) {
      pos_ += static_cast<std::size_t>(plain.end - start);
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
  if (v && std::isfinite(*v)) return *v;
  ThrowFileError(path_, "line " + std::to_string(LineOfOffset(path_, tokenOffset)) + ": " +
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
    const void* nl = std::memchr(buf_.data() + pos_, '\n', end_ - pos_);
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
    const void* nl = std::memchr(from, '\n', end_ - pos_);
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

namespace {

// Header keys in the order they are tested, with their capital forms.
struct HeaderKey {
  std::string_view key;
  std::string_view capital;
};
constexpr HeaderKey kKeys[] = {{"ncols", "NCOLS"},         {"nrows", "NROWS"},
                               {"xllcorner", "XLLCORNER"}, {"yllcorner", "YLLCORNER"},
                               {"cellsize", "CELLSIZE"},   {"NODATA_value", "NODATA_VALUE"}};

// A header's real value; one that is not finite would make every later step compute with inf or
// nan, and a configuration saved from it could not be loaded back.
double HeaderReal(const std::string& text, std::string_view key, const std::filesystem::path& path, int lineNumber) {
  const double v = ParseRealPrefix(text);
  std::size_t i = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  std::string word = text.substr(i, 3);
  for (char& ch : word) ch = static_cast<char>(ch | 0x20);
  if (std::isfinite(v) && word != "inf" && word != "nan") return v;
  ThrowFileError(path, "line " + std::to_string(lineNumber) + ": " + std::string(key) +
                           " is not a finite number (found " + QuotedFileText(text) + ")");
}

void ApplyHeaderLine(std::string line, TDataDef& def, const std::filesystem::path& path, int lineNumber) {
  line.erase(std::remove(line.begin(), line.end(), ' '), line.end());
  for (std::size_t k = 0; k < std::size(kKeys); ++k) {
    const HeaderKey& hk = kKeys[k];
    if (line.find(hk.key) == std::string::npos && line.find(hk.capital) == std::string::npos) continue;
    // The key may stand anywhere in the line, yet as many characters as the key has are cut from
    // the line's start: a misplaced key yields a value of 0, as the program always did.
    line.erase(0, std::min(line.size(), hk.key.size()));
    switch (k) {
      case 0: def.ncols = ParseIntPrefix(line); break;
      case 1: def.nrows = ParseIntPrefix(line); break;
      case 2: def.xllcorner = HeaderReal(line, hk.key, path, lineNumber); break;
      case 3: def.yllcorner = HeaderReal(line, hk.key, path, lineNumber); break;
      case 4: def.cellsize = HeaderReal(line, hk.key, path, lineNumber); break;
      default: def.NODATA_value = HeaderReal(line, hk.key, path, lineNumber); break;
    }
  }
}

}  // namespace

bool ReadHeader(TDataDef& def, Shell& shell) {
  if (def.GridFileType == TGridFileType::notgrid) return true;
  {
    GridReader reader(def);
    std::string line;
    for (int i = 0; i < 6; ++i) {
      if (!reader.ReadTextLine(line)) line.clear();
      ApplyHeaderLine(line, def, def.FileName, i + 1);
    }
  }
  def.PositiveIndicatorValue = def.NODATA_value;
  def.NegativeIndicatorValue = def.NODATA_value;
  if (def.ncols > MaxGridExtent || def.nrows > MaxGridExtent) {
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
  result.indicatorsEnabled = result.unique.size() <= 3;
  result.minText = FormatStripped5(def.minvalue);
  result.maxText = FormatStripped5(def.maxvalue);
  if (def.maxvalue == def.minvalue) def.maxvalue = def.minvalue + 1;
  return result;
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
