// Recognising and strictly reading the key lines of an ASCII grid header.
#include "core/gridheader.h"

#include <array>
#include <cmath>
#include <limits>

#include "core/errors.h"
#include "core/limits.h"
#include "core/numfmt.h"
#include "core/textsafe.h"

namespace karvelo {

namespace {

constexpr std::array<std::string_view, 10> kKeyNames = {"ncols",     "nrows",     "xllcorner", "yllcorner", "xllcenter",
                                                        "yllcenter", "cellsize",  "dx",        "dy",        "NODATA_value"};

std::string_view NameOf(HeaderKey k) { return kKeyNames[static_cast<std::size_t>(k)]; }

bool SameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// "inf", "nan", "infinity" with any sign and case: what other programs write for values that
// are no finite number.
bool IsNonFiniteWord(std::string_view text) {
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) text.remove_prefix(1);
  return SameLetters(text, "inf") || SameLetters(text, "nan") || SameLetters(text, "infinity");
}

// The six things a header gives; dx and dy together stand for the cell size.
enum Part { kCols, kRows, kX, kY, kCell, kNoData, kParts };

Part PartOf(HeaderKey k) {
  switch (k) {
    case HeaderKey::ncols: return kCols;
    case HeaderKey::nrows: return kRows;
    case HeaderKey::xllcorner:
    case HeaderKey::xllcenter: return kX;
    case HeaderKey::yllcorner:
    case HeaderKey::yllcenter: return kY;
    case HeaderKey::cellsize:
    case HeaderKey::dx:
    case HeaderKey::dy: return kCell;
    case HeaderKey::nodata: break;
  }
  return kNoData;
}

constexpr std::array<std::string_view, kParts> kPartNames = {"the number of columns", "the number of rows", "the X position",
                                                            "the Y position",        "the cell size",      "the no-data value"};

// Two keys that cannot stand in one header: the same key, or two ways of giving one thing (dx
// and dy are two halves of the cell size, so they go together).
bool Clash(HeaderKey a, HeaderKey b) {
  if (PartOf(a) != PartOf(b)) return false;
  return !((a == HeaderKey::dx && b == HeaderKey::dy) || (a == HeaderKey::dy && b == HeaderKey::dx));
}

struct Given {
  HeaderKey key;
  int line;
  double value;
};

class HeaderParser {
 public:
  explicit HeaderParser(const std::filesystem::path& path) : path_(path) {}

  void Take(const HeaderLine& h, int line) {
    for (const Given& g : given_) {
      if (Clash(g.key, h.key)) {
        Fail(line, "the header gives " + std::string(kPartNames[PartOf(h.key)]) + " twice (" + std::string(NameOf(g.key)) +
                       " on line " + std::to_string(g.line) + ", " + std::string(NameOf(h.key)) + " on line " +
                       std::to_string(line) + ")");
      }
    }
    given_.push_back({h.key, line, Value(h, line)});
  }

  // The keys still missing, named as the header would carry them.
  std::vector<std::string_view> Missing() const {
    std::vector<std::string_view> missing;
    const HeaderKey wanted[] = {HeaderKey::ncols, HeaderKey::nrows, HeaderKey::xllcorner, HeaderKey::yllcorner};
    for (HeaderKey k : wanted) {
      if (!Find(PartOf(k))) missing.push_back(NameOf(k));
    }
    if (!Find(HeaderKey::cellsize) && !(Find(HeaderKey::dx) && Find(HeaderKey::dy))) {
      missing.push_back(Find(HeaderKey::dx) ? "dy" : Find(HeaderKey::dy) ? "dx" : "cellsize");
    }
    if (!Find(kNoData)) missing.push_back("NODATA_value");
    return missing;
  }

  GridHeader Result() const {
    GridHeader h;
    const Given& cols = *Find(kCols);
    const Given& rows = *Find(kRows);
    h.tooLarge = cols.value > MaxGridExtent || rows.value > MaxGridExtent;
    h.ncols = Saturated(cols.value);
    h.nrows = Saturated(rows.value);
    const Given* cell = Find(HeaderKey::cellsize);
    if (!cell) {
      const Given& dx = *Find(HeaderKey::dx);
      const Given& dy = *Find(HeaderKey::dy);
      if (dx.value != dy.value) {
        Fail(std::max(dx.line, dy.line), "dx " + FormatShortest(dx.value) + " and dy " + FormatShortest(dy.value) +
                                             " differ, but the cells of a grid must be square; resample the grid onto square cells first");
      }
      cell = dx.line > dy.line ? &dx : &dy;
    }
    h.cellsize = cell->value;
    // A centre lies half a cell inside the corner.
    const Given& x = *Find(kX);
    const Given& y = *Find(kY);
    h.xllcorner = x.key == HeaderKey::xllcenter ? x.value - h.cellsize / 2 : x.value;
    h.yllcorner = y.key == HeaderKey::yllcenter ? y.value - h.cellsize / 2 : y.value;
    h.NODATA_value = Find(kNoData)->value;
    if (!h.tooLarge && !(std::isfinite(h.xllcorner + cols.value * h.cellsize) && std::isfinite(h.yllcorner + rows.value * h.cellsize))) {
      Fail(cell->line, std::string(NameOf(cell->key)) + " " + FormatShortest(h.cellsize) +
                           " puts the grid's far corner beyond the range of numbers");
    }
    return h;
  }

  [[noreturn]] void Fail(int line, const std::string& what) const {
    ThrowFileError(path_, "line " + std::to_string(line) + ": " + what);
  }

 private:
  static std::int32_t Saturated(double v) {
    return v > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int32_t>(v);
  }

  const Given* Find(Part part) const {
    for (const Given& g : given_) {
      if (PartOf(g.key) == part) return &g;
    }
    return nullptr;
  }
  const Given* Find(HeaderKey key) const {
    for (const Given& g : given_) {
      if (g.key == key) return &g;
    }
    return nullptr;
  }

  double Value(const HeaderLine& h, int line) const {
    const std::string name(NameOf(h.key));
    const std::string found = " (found " + QuotedFileText(h.value) + ")";
    if (h.value.empty()) Fail(line, name + " has no value");
    if (h.key == HeaderKey::ncols || h.key == HeaderKey::nrows) {
      const auto v = WholeHeaderNumber(h.value);
      if (!v) Fail(line, name + " is not a whole number" + found);
      if (*v < 1) Fail(line, name + " must be at least 1" + found);
      return *v;
    }
    // A value that is not finite would make every later step compute with inf or nan, and a
    // configuration saved from it could not be loaded back.
    const auto v = ParseReal(h.value);
    if (IsNonFiniteWord(h.value) || (v && !std::isfinite(*v))) Fail(line, name + " is not a finite number" + found);
    if (!v) Fail(line, name + " is not a number" + found);
    if (PartOf(h.key) == kCell && !(*v > 0)) Fail(line, name + " must be above 0" + found);
    return *v;
  }

  const std::filesystem::path& path_;
  std::vector<Given> given_;
};

std::string JoinedNames(const std::vector<std::string_view>& names) {
  std::string text;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) text += i + 1 == names.size() ? " and " : ", ";
    text += names[i];
  }
  return text;
}

}  // namespace

std::optional<HeaderKey> HeaderKeyOf(std::string_view word) {
  for (std::size_t k = 0; k < kKeyNames.size(); ++k) {
    if (SameLetters(word, kKeyNames[k])) return static_cast<HeaderKey>(k);
  }
  return std::nullopt;
}

std::optional<HeaderLine> ParseHeaderLine(std::string_view line) {
  std::size_t b = 0;
  while (b < line.size() && IsBlank(line[b])) ++b;
  std::size_t e = b;
  while (e < line.size() && !IsBlank(line[e])) ++e;
  const auto key = HeaderKeyOf(line.substr(b, e - b));
  if (!key) return std::nullopt;
  std::string_view value = line.substr(e);
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  while (!value.empty() && IsBlank(value.back())) value.remove_suffix(1);
  return HeaderLine{*key, value};
}

std::optional<double> WholeHeaderNumber(std::string_view text) {
  const auto v = ParseReal(text);
  if (!v || !std::isfinite(*v) || *v != std::trunc(*v)) return std::nullopt;
  return *v;
}

GridHeader ParseGridHeader(const std::vector<std::string>& keyLines, const std::optional<std::string>& next,
                           const std::filesystem::path& path) {
  HeaderParser parser(path);
  for (std::size_t i = 0; i < keyLines.size(); ++i) {
    const auto h = ParseHeaderLine(keyLines[i]);
    if (!h) break;  // not a key line after all: the header ends before it
    parser.Take(*h, static_cast<int>(i + 1));
  }
  const std::vector<std::string_view> missing = parser.Missing();
  if (!missing.empty()) {
    parser.Fail(static_cast<int>(keyLines.size() + 1), "the header has no " + JoinedNames(missing) +
                                                           (next ? " (found " + QuotedFileText(*next) + ")" : " (the file ends here)"));
  }
  return parser.Result();
}

}  // namespace karvelo
