// Fuzz target of the ASCII grid reader: any bytes as a grid file, through ReadHeader and ScanData.
#include <cmath>
#include <cstring>

#include "core/errors.h"
#include "core/gridfile.h"
#include "fuzz_support.h"

namespace {

using karvelo::FileError;
using karvelo::GridReader;
using karvelo::TDataDef;

struct Outcome {
  std::vector<double> values;
  std::string error;
};

// Reads the cells in the readers' calling order with a buffer of the given size. A value that
// straddles a refill must read the same as one that does not, so two buffer sizes must agree.
Outcome ReadCells(const TDataDef& def, std::size_t bufferSize, long long most) {
  Outcome out;
  try {
    GridReader reader(def, bufferSize);
    reader.SkipHeader();
    for (int r = 1; r <= def.nrows && most > 0; ++r) {
      for (int c = 1; c <= def.ncols && most > 0; ++c, --most) out.values.push_back(reader.ReadValue());
      reader.ReadLine();
    }
  } catch (const FileError& e) {
    out.error = e.what();
  }
  return out;
}

bool SameValues(const std::vector<double>& a, const std::vector<double>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto path = karvelo::fuzz::InputFile("input.asc", data, size);
  karvelo::fuzz::QuietShell shell;
  TDataDef def;
  def.FileName = path.string();
  try {
    if (!karvelo::ReadHeader(def, shell)) return 0;
    const karvelo::ScanResult scan = karvelo::ScanData(def, shell);
    if (scan.unique.size() > 4) std::abort();
  } catch (const FileError&) {
    // A clear refusal is a correct answer to bad bytes.
  }
  const Outcome big = ReadCells(def, 1 << 20, 20000);
  const Outcome small = ReadCells(def, 256, 20000);
  if (big.error != small.error || !SameValues(big.values, small.values)) std::abort();
  return 0;
}
