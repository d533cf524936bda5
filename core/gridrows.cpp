// Parallel parsing of a grid's rows, cut at line ends, handed out in file order.
#include "core/gridrows.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/plaindecimal.h"
#include "core/numfmt.h"

namespace karvelo {

namespace {

constexpr std::size_t kMaxToken = 64;  // the plain reader's longest token

constexpr auto kSpaceTable = [] {
  std::array<bool, 256> t{};
  for (unsigned char c : {' ', '\n', '\r', '\t', '\v', '\f'}) t[c] = true;
  return t;
}();
inline bool IsSpace(char c) { return kSpaceTable[static_cast<unsigned char>(c)]; }

// One token to its value as the plain reader reads it: plain decimals of up to 15 digits exactly
// by one division, anything else through ParseReal. False for a token the plain reader refuses or
// reads differently (longer than it takes at once).
inline bool ParseToken(const char* start, std::size_t len, double& out) {
  if (len > kMaxToken) return false;
  const PlainDecimal plain = ScanPlainDecimal(start, start + len);
  if (plain.end == start + len && plain.exact) {
    out = plain.value;
    return true;
  }
  const auto parsed = ParseReal(std::string_view(start, len));
  if (!parsed || !std::isfinite(*parsed)) return false;
  out = *parsed;
  return true;
}

// The first ncols values of one line (no line break inside [p, end)); false when the line is not a
// plain row.
bool ParseLine(const char* p, const char* end, std::size_t ncols, double* out) {
  for (std::size_t c = 0; c < ncols; ++c) {
    while (p < end && IsSpace(*p)) ++p;
    if (p == end) return false;
    const char* token = p;
    while (p < end && !IsSpace(*p)) ++p;
    if (!ParseToken(token, static_cast<std::size_t>(p - token), out[c])) return false;
  }
  return true;
}

}  // namespace

GridRows::GridRows(const TDataDef& def, ThreadPool& pool, std::size_t valueBudget, std::size_t textBytes)
    : def_(def), pool_(pool), ncols_(static_cast<std::size_t>(std::max(def.ncols, 0))), rowsLeft_(std::max(def.nrows, 0)) {
  batchRows_ = std::max<std::size_t>(1, valueBudget / (sizeof(double) * std::max<std::size_t>(ncols_, 1)));
  if (def.GridFileType == TGridFileType::notgrid) {
    row_.assign(ncols_, def.NODATA_value);
    return;
  }
  {
    GridReader header(def, 1 << 12);
    header.SkipHeader();
    cells_ = header.PlaceOfCells();
  }
  const long long start = cells_.offset;
  file_ = std::fopen(ReadablePath(def.FileName).c_str(), "rb");
  if (!file_) ThrowSystemFileError(def.FileName, "cannot open the file");
  if (std::fseek(file_, static_cast<long>(start), SEEK_SET) != 0) ThrowSystemFileError(def.FileName, "cannot read the file");
  textBase_ = start;
  text_.resize(std::max<std::size_t>(textBytes, 256));
}

GridRows::~GridRows() {
  if (file_) std::fclose(file_);
}

bool GridRows::FillText(std::size_t keepFrom) {
  if (eof_) return false;
  if (keepFrom > 0) {
    std::memmove(text_.data(), text_.data() + keepFrom, textEnd_ - keepFrom);
    textEnd_ -= keepFrom;
    textBase_ += static_cast<long long>(keepFrom);
    rowStart_ -= keepFrom;
  }
  if (textEnd_ == text_.size()) text_.resize(text_.size() * 2);
  const std::size_t got = std::fread(text_.data() + textEnd_, 1, text_.size() - textEnd_, file_);
  if (got == 0) {
    if (std::ferror(file_)) ThrowSystemFileError(def_.FileName, "cannot read the file");
    eof_ = true;
    return false;
  }
  textEnd_ += got;
  return true;
}

void GridRows::LoadBatch() {
  lines_.clear();
  next_ = 0;
  if (!eof_ && textEnd_ - rowStart_ < text_.size() / 2) FillText(rowStart_);
  const std::size_t want = std::min<std::size_t>(batchRows_, static_cast<std::size_t>(rowsLeft_));
  std::size_t pos = rowStart_;
  while (lines_.size() < want) {
    const void* nl = std::memchr(text_.data() + pos, cells_.lineBreak, textEnd_ - pos);
    if (nl) {
      const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(nl) - text_.data());
      lines_.push_back({pos, end, true});
      pos = end + 1;
    } else if (eof_) {
      // The last line; a row past the end of the file is the plain reader's to refuse.
      lines_.push_back({pos, textEnd_, pos < textEnd_});
      pos = textEnd_;
    } else if (!lines_.empty()) {
      break;  // parse what is here; the rest comes with the next batch
    } else if (static_cast<long long>(textEnd_ - pos) > MaxLineLength) {
      lines_.push_back({pos, pos, false});  // the plain reader reports the long line
    } else {
      FillText(pos);
      pos = rowStart_;
    }
  }
  rowStart_ = pos;
  rowsLeft_ -= static_cast<int>(lines_.size());
  values_.resize(lines_.size() * ncols_);

  const std::size_t n = lines_.size();
  const std::size_t tasks = std::min<std::size_t>(n, pool_.Threads() * 4);
  pool_.Run(tasks, [&](std::size_t t) {
    for (std::size_t i = n * t / tasks; i < n * (t + 1) / tasks; ++i) {
      Line& line = lines_[i];
      if (!line.ok) continue;
      line.ok = ParseLine(text_.data() + line.begin, text_.data() + line.end, ncols_, values_.data() + i * ncols_);
    }
  });
}

const double* GridRows::NextPlain() {
  for (std::size_t c = 0; c < ncols_; ++c) row_[c] = plain_->ReadValue();
  plain_->ReadLine();
  return row_.data();
}

const double* GridRows::Next() {
  if (!file_) return row_.data();
  if (plain_) return NextPlain();
  if (next_ == lines_.size()) LoadBatch();
  const std::size_t i = next_++;
  const long long rowsBefore = rowsGiven_++;
  if (i < lines_.size() && lines_[i].ok) return values_.data() + i * ncols_;
  // From here on the plain reader reads, from this row's first byte.
  GridReader::Place place = cells_;
  place.offset = textBase_ + static_cast<long long>(i < lines_.size() ? lines_[i].begin : rowStart_);
  place.valuesRead = rowsBefore * static_cast<long long>(ncols_);
  plain_ = std::make_unique<GridReader>(def_);
  plain_->Resume(place);
  row_.assign(ncols_, 0.0);
  values_ = {};
  text_ = {};
  return NextPlain();
}

}  // namespace karvelo
