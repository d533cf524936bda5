// Writing the binary map row by row as the map is read: memory of one batch of rows.
#include "validation/binarymap.h"

#include <optional>
#include <vector>

#include "core/gridfile.h"
#include "core/gridheader.h"
#include "core/gridrows.h"
#include "core/numfmt.h"
#include "core/projection.h"
#include "core/textwriter.h"
#include "validation/lookup.h"

namespace karvelo {

std::string BinaryMapFileName(const std::string& mapFileName) {
  return "Binary of " + std::filesystem::path(mapFileName).stem().string() + ".asc";
}

void WriteBinaryMap(const TDataDef& map, double threshold, const std::filesystem::path& out, Shell& shell) {
  std::vector<std::string> header;
  std::optional<std::string> nodataText;
  {
    GridReader reader(map);
    header = reader.HeaderLines();
  }
  for (const std::string& line : header) {
    const auto h = ParseHeaderLine(line);
    if (h && h->key == HeaderKey::nodata) nodataText = Trimmed(h->value);
  }
  const std::string nodata = nodataText ? *nodataText : FormatShortest(map.NODATA_value);
  TextWriter file(out);
  if (nodataText) {
    for (const std::string& line : header) file.WriteLine(line);
  } else {
    // A map without a no-data line: the written one says what its empty cells hold.
    WriteGridHeader(file, map, nodata);
  }
  GridRows rows(map, shell.run().Pool());
  std::string line;
  for (int r = 0; r < map.nrows; ++r) {
    shell.run().ThrowIfCancelled();
    const double* values = rows.Next();
    line.clear();
    for (int c = 0; c < map.ncols; ++c) {
      if (c > 0) line += ' ';
      const double v = NoDataBand(values[c], map.NODATA_value);
      if (v == map.NODATA_value) {
        line += nodata;
      } else {
        line += v >= threshold ? '1' : '0';
      }
    }
    file.WriteLine(line);
  }
  file.Close();
  CopyProjection(map, out);
}

}  // namespace karvelo
