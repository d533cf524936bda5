// The gain table and success-rate curve: thresholds by selection, shares by one counting pass.
#include "validation/gain.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "core/datadef.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "core/textwriter.h"
#include "validation/lookup.h"

namespace karvelo {

namespace {

const Rgb kWhite{255, 255, 255};
const Rgb kBlack{0, 0, 0};
const Rgb kGrey{160, 160, 160};

// For each threshold (ascending), how many values are >= it.
std::vector<long long> CountAtOrAbove(const std::vector<double>& values, const std::vector<double>& ascending) {
  std::vector<long long> hits(ascending.size() + 1, 0);
  for (double v : values) ++hits[static_cast<std::size_t>(std::upper_bound(ascending.begin(), ascending.end(), v) - ascending.begin())];
  std::vector<long long> counts(ascending.size(), 0);
  long long above = 0;
  for (std::size_t i = ascending.size(); i-- > 0;) {
    above += hits[i + 1];
    counts[i] = above;
  }
  return counts;
}

}  // namespace

int GainPixelX(double share) { return RoundToInt(40 + share * 250); }
int GainPixelY(double share) { return RoundToInt(270 - share * 250); }

std::vector<GainRow> ComputeGain(std::vector<double>& cellValues, const std::vector<double>& findValues) {
  std::vector<GainRow> rows;
  const std::size_t n = cellValues.size();
  if (n == 0) return rows;
  double lo = cellValues[0], hi = cellValues[0];
  for (double& v : cellValues) {
    v += 0.0;  // -0.0 and 0.0 are one value
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  // Cells go into buckets by value (a monotone map, so a higher bucket never holds a lower value);
  // a threshold is then found by counting buckets from the top and ordering only its own bucket.
  constexpr std::size_t kBuckets = 1 << 16;
  // A range without a finite width puts every cell into one bucket, which is then simply sorted.
  const double scale = hi > lo && std::isfinite(hi - lo) ? static_cast<double>(kBuckets) / (hi - lo) : 0.0;
  auto bucketOf = [&](double v) {
    const double x = (v - lo) * scale;
    if (!(x >= 0)) return std::size_t{0};
    return x >= static_cast<double>(kBuckets - 1) ? kBuckets - 1 : static_cast<std::size_t>(x);
  };
  std::vector<std::uint32_t> count(kBuckets, 0);
  for (double v : cellValues) ++count[bucketOf(v)];
  // For each area share, the bucket that holds its rank and how many cells lie in higher buckets.
  struct Target {
    std::size_t rank, bucket, above;
  };
  std::array<Target, kGainRows> targets{};
  std::vector<std::int32_t> slot(kBuckets, -1);
  std::vector<std::vector<double>> members;
  {
    std::size_t above = 0, b = kBuckets;
    for (int k = 1; k <= kGainRows; ++k) {
      const std::size_t rank = (static_cast<std::size_t>(k) * n + kGainRows - 1) / kGainRows;
      while (above + (b < kBuckets ? count[b] : 0) < rank) {
        if (b < kBuckets) above += count[b];
        --b;
      }
      targets[static_cast<std::size_t>(k - 1)] = {rank, b, above};
      if (slot[b] < 0) {
        slot[b] = static_cast<std::int32_t>(members.size());
        members.emplace_back();
        members.back().reserve(count[b]);
      }
    }
  }
  for (double v : cellValues) {
    const std::int32_t s = slot[bucketOf(v)];
    if (s >= 0) members[static_cast<std::size_t>(s)].push_back(v);
  }
  for (auto& m : members) std::sort(m.begin(), m.end(), std::greater<>());
  std::vector<double> ascending;
  std::vector<long long> cells;
  for (std::size_t i = kGainRows; i-- > 0;) {
    const Target& t = targets[i];
    const std::vector<double>& m = members[static_cast<std::size_t>(slot[t.bucket])];
    const double threshold = m[t.rank - t.above - 1];
    ascending.push_back(threshold);
    // The cells of higher buckets, and those of this bucket down to the last one equal to it.
    const auto within = std::upper_bound(m.begin(), m.end(), threshold, std::greater<>()) - m.begin();
    cells.push_back(static_cast<long long>(t.above) + static_cast<long long>(within));
  }
  const std::vector<long long> finds = CountAtOrAbove(findValues, ascending);
  for (int k = 1; k <= kGainRows; ++k) {
    const auto i = static_cast<std::size_t>(kGainRows - k);
    GainRow row;
    row.areaPercent = 5 * k;
    row.threshold = ascending[i];
    row.areaTaken = static_cast<double>(cells[i]) / static_cast<double>(n);
    row.findsShare = findValues.empty() ? 0 : static_cast<double>(finds[i]) / static_cast<double>(findValues.size());
    if (row.findsShare > 0) row.gain = 1 - row.areaTaken / row.findsShare;
    rows.push_back(row);
  }
  return rows;
}

std::string GainTitle(const std::string& mapFileName) {
  return "Gain of " + std::filesystem::path(mapFileName).filename().string();
}

std::vector<std::string> GainTableLines(const std::vector<GainRow>& rows) {
  std::vector<std::string> lines = {"Area%;Threshold;AreaTaken%;Finds%;Gain"};
  for (const GainRow& r : rows) {
    lines.push_back(FormatFixed(r.areaPercent, 2) + ";" + FormatFixed(r.threshold, 8) + ";" + FormatFixed(100 * r.areaTaken, 2) +
                    ";" + FormatFixed(100 * r.findsShare, 2) + ";" + (r.gain ? FormatFixed(*r.gain, 4) : "-"));
  }
  return lines;
}

std::string GainLine(const GainRow& r) {
  return "Gain at " + std::to_string(r.areaPercent) + "% of the area: finds " + FormatFixed(100 * r.findsShare, 2) +
         "%, gain " + (r.gain ? FormatFixed(*r.gain, 4) : "-");
}

std::string GainShortLine(const GainRow& r) {
  return "at " + std::to_string(r.areaPercent) + "% of the area: " + (r.gain ? FormatFixed(*r.gain, 4) : "-");
}

void DrawGain(const std::vector<GainRow>& rows, const std::string& title, Canvas& pic) {
  pic.FillRect(0, 0, pic.Width(), pic.Height(), kWhite);
  pic.Outline(GainPixelX(0), GainPixelY(1), GainPixelX(1), GainPixelY(0), kBlack, 2);
  pic.Text(std::max(0, 165 - 4 * static_cast<int>(title.size())), 1, title, kBlack, kWhite);
  static const char* labels[] = {"0", "20", "40", "60", "80", "100"};
  for (int i = 0; i <= 5; ++i) {
    const int y = GainPixelY(i * 0.2), x = GainPixelX(i * 0.2);
    pic.Line(GainPixelX(0) - 5, y, GainPixelX(0), y, kBlack, 1);
    pic.Text(12, y - 7, labels[i], kBlack, kWhite);
    pic.Line(x, GainPixelY(0), x, GainPixelY(0) + 5, kBlack, 1);
    const int half = pic.TextWidth(labels[i]) / 2;
    pic.Text(std::min(x - half, pic.Width() - 2 * half - 1), GainPixelY(0) + 6, labels[i], kBlack, kWhite);
  }
  pic.Text(1, 1, "finds %", kBlack, kWhite);
  pic.Text(130, 286, "area %", kBlack, kWhite);
  pic.Line(GainPixelX(0), GainPixelY(0), GainPixelX(1), GainPixelY(1), kGrey, 1);
  std::vector<int> curve = {GainPixelX(0), GainPixelY(0)};
  for (const GainRow& r : rows) {
    curve.push_back(GainPixelX(r.areaTaken));
    curve.push_back(GainPixelY(r.findsShare));
  }
  pic.Polyline(curve, kBlack, 2);
}

std::vector<GainRow> EvaluateGain(const std::filesystem::path& mapFile, double findCode, Canvas& picture, Shell& shell) {
  shell.status2("... calculating gain ...");
  TDataDef map;
  map.FileName = mapFile.string();
  // The lookup has read this header and said what was wrong with it; a map it refused has no gain.
  SilentShell quiet;
  if (!ReadHeader(map, quiet)) return {};
  // Every cell of the map in row order; a file that ends early has no value in the cells left.
  std::vector<double> cells;
  cells.reserve(static_cast<std::size_t>(std::max(0, map.nrows)) * static_cast<std::size_t>(std::max(0, map.ncols)));
  {
    GridReader grid(map);
    grid.SkipHeader();
    bool ended = false;
    for (int r = 1; r <= map.nrows; ++r) {
      ended = ended || grid.AtEnd();
      for (int c = 1; c <= map.ncols; ++c) cells.push_back(ended ? map.NODATA_value : NoDataBand(grid.ReadValue(), map.NODATA_value));
      if (!ended) grid.ReadLine();
    }
  }
  // The finds' values from their cells, as exact as the map holds them.
  std::vector<double> finds;
  {
    TDataDef complete;
    complete.FileName = shell.run().Output("ValDataComplete.txt").string();
    GridReader records(complete);
    while (!records.AtEnd()) {
      const double x = records.ReadValue(), y = records.ReadValue(), code = records.ReadValue();
      records.ReadLine();
      if (code != findCode) continue;
      const GridCell cell = CellOf(map, x, y);
      if (cell.row < 1 || cell.row > map.nrows || cell.col < 1 || cell.col > map.ncols) continue;
      const double v = cells[static_cast<std::size_t>(cell.row - 1) * static_cast<std::size_t>(map.ncols) + static_cast<std::size_t>(cell.col - 1)];
      if (v != map.NODATA_value) finds.push_back(v);
    }
  }
  cells.erase(std::remove(cells.begin(), cells.end(), map.NODATA_value), cells.end());
  const std::vector<GainRow> rows = ComputeGain(cells, finds);
  if (rows.empty()) return rows;
  const std::string title = GainTitle(mapFile.string());
  TextWriter out(shell.run().Output(title + ".txt"));
  for (const std::string& line : GainTableLines(rows)) out.WriteLine(line);
  out.Close();
  DrawGain(rows, title, picture);
  picture.SaveBmp(shell.run().Output(title + ".bmp"));
  shell.log("Gain table for " + mapFile.string() + " written to: <" + title + ".txt>, curve to: <" + title + ".bmp>");
  shell.status2("(idle)");
  return rows;
}

}  // namespace karvelo
