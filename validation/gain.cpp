// The gain table and success-rate curve: thresholds by selection, shares by one counting pass.
#include "validation/gain.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "core/datadef.h"
#include "core/gridfile.h"
#include "core/gridrows.h"
#include "core/numfmt.h"
#include "core/textwriter.h"
#include "validation/lookup.h"
#include "validation/mappass.h"

namespace karvelo {

namespace {

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

// The 20 rows from the thresholds (ascending: 100% first) and the cells at or above each.
std::vector<GainRow> RowsOf(std::size_t n, const std::vector<double>& ascending, const std::vector<long long>& cells,
                            const std::vector<double>& findValues) {
  std::vector<GainRow> rows;
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

// The rank of area share k (1..20) among n cells by descending value: ceil(k x n / 20).
std::size_t RankOf(int k, std::size_t n) { return (static_cast<std::size_t>(k) * n + kGainRows - 1) / kGainRows; }

// A key whose unsigned order is the order of the values (no NaN): -0.0 and 0.0 get one key.
std::uint64_t OrderKey(double v) {
  const std::uint64_t b = std::bit_cast<std::uint64_t>(v + 0.0);
  return (b >> 63) ? ~b : b | (std::uint64_t{1} << 63);
}
double ValueOfKey(std::uint64_t key) {
  return std::bit_cast<double>((key >> 63) ? key & ~(std::uint64_t{1} << 63) : ~key);
}

// Every cell of the map in row order, as the gain reads it: a file that ends early has no value in
// the cells left. Returns whether the file held every row. `whole` says a pass before found it so:
// then the rows are parsed on every core (they read as the plain reader reads a whole file).
template <class Visit>
bool ForEachMapCell(const TDataDef& map, Shell& shell, bool whole, Visit visit) {
  if (whole) {
    GridRows rows(map, shell.run().Pool());
    for (int r = 1; r <= map.nrows; ++r) {
      shell.run().ThrowIfCancelled();
      const double* values = rows.Next();
      for (int c = 0; c < map.ncols; ++c) visit(NoDataBand(values[c], map.NODATA_value));
    }
    return true;
  }
  GridReader grid(map);
  grid.SkipHeader();
  bool ended = false;
  for (int r = 1; r <= map.nrows; ++r) {
    shell.run().ThrowIfCancelled();
    ended = ended || grid.AtEnd();
    for (int c = 1; c <= map.ncols; ++c) visit(ended ? map.NODATA_value : NoDataBand(grid.ReadValue(), map.NODATA_value));
    if (!ended) grid.ReadLine();
  }
  return !ended;
}

}  // namespace

std::vector<GainRow> GainOfMapFile(const TDataDef& map, const std::vector<std::size_t>& findCells, Shell& shell,
                                   std::size_t memberBudget) {
  const double nodata = map.NODATA_value;
  // Pass 1: the number of cells with a value, the finds' values, and a histogram of the top 16 bits
  // of every value's order key. Later passes narrow each threshold's key by 16 bits more, or, once
  // few cells share its prefix, keep those cells and order them; memory stays that of the
  // histograms and a bounded number of values, whatever the map's size.
  std::vector<std::size_t> wanted = findCells;
  std::sort(wanted.begin(), wanted.end());
  std::vector<double> finds;
  std::size_t n = 0, index = 0, nextFind = 0;
  // The first histogram is finer than the later ones (22 bits: sign, exponent and 10 bits of the
  // mantissa), so that a probability map's thresholds usually fall into prefixes few enough cells
  // share to be gathered in the second pass. Counts fit 32 bits: a map has at most 10^8 cells.
  constexpr int kFirstBits = 22;
  std::vector<std::uint32_t> top(std::size_t{1} << kFirstBits, 0);
  const bool whole = ForEachMapCell(map, shell, false, [&](double v) {
    for (; nextFind < wanted.size() && wanted[nextFind] == index; ++nextFind) {
      if (v != nodata) finds.push_back(v);
    }
    ++index;
    if (v == nodata) return;
    ++n;
    ++top[OrderKey(v) >> (64 - kFirstBits)];
  });
  if (n == 0) return {};

  // One threshold per area share: the key prefix that holds its rank, and the cells above it.
  struct Target {
    std::size_t rank, above = 0, count = 0;
    std::uint64_t prefix = 0;
    int bits = 0;
    bool done = false;
    double threshold = 0;
    long long cells = 0;
  };
  std::vector<Target> targets;
  for (int k = 1; k <= kGainRows; ++k) targets.push_back({RankOf(k, n)});
  // Where the target's rank falls in a histogram of the next bits below its prefix.
  auto narrow = [](Target& t, const auto& hist, int width) {
    std::size_t b = hist.size();
    while (b-- > 0 && t.above + hist[b] < t.rank) t.above += hist[b];
    t.prefix = (t.prefix << width) | b;
    t.bits += width;
    t.count = hist[b];
    if (t.bits == 64) {  // one key: every cell under it holds the threshold
      t.done = true;
      t.threshold = ValueOfKey(t.prefix);
      t.cells = static_cast<long long>(t.above + t.count);
    }
  };
  for (Target& t : targets) narrow(t, top, kFirstBits);
  top = {};

  while (std::any_of(targets.begin(), targets.end(), [](const Target& t) { return !t.done; })) {
    // The prefixes still open, each either histogrammed again or gathered.
    struct Group {
      std::uint64_t prefix;
      int bits;
      std::size_t count;
      bool gather;
      int width = 0;  // the bits the next histogram resolves
      std::uint64_t lowest = UINT64_MAX, highest = 0;  // the keys met under the prefix
      std::vector<std::uint64_t> hist;
      std::vector<double> members;
    };
    std::vector<Group> groups;
    for (const Target& t : targets) {
      if (t.done) continue;
      const bool known = std::any_of(groups.begin(), groups.end(), [&](const Group& g) { return g.prefix == t.prefix && g.bits == t.bits; });
      if (!known) groups.push_back({t.prefix, t.bits, t.count, false, 0, UINT64_MAX, 0, {}, {}});
    }
    // Most cells lie under no open prefix: the first bits of the key rule them out at once.
    std::vector<bool> open(std::size_t{1} << kFirstBits, false);
    for (Group& g : groups) {
      open[g.prefix >> (g.bits - kFirstBits)] = true;
      g.gather = g.count <= std::max<std::size_t>(memberBudget / groups.size(), 1);
      if (g.gather) {
        g.members.reserve(g.count);
      } else {
        g.width = std::min(16, 64 - g.bits);
        g.hist.assign(std::size_t{1} << g.width, 0);
      }
    }
    ForEachMapCell(map, shell, whole, [&](double v) {
      if (v == nodata) return;
      const std::uint64_t key = OrderKey(v);
      if (!open[key >> (64 - kFirstBits)]) return;
      for (Group& g : groups) {
        if ((key >> (64 - g.bits)) != g.prefix) continue;
        g.lowest = std::min(g.lowest, key);
        g.highest = std::max(g.highest, key);
        if (g.gather) {
          g.members.push_back(v + 0.0);
        } else {
          ++g.hist[(key >> (64 - g.bits - g.width)) & ((std::uint64_t{1} << g.width) - 1)];
        }
      }
    });
    for (Group& g : groups) {
      if (g.gather) std::sort(g.members.begin(), g.members.end(), std::greater<>());
      for (Target& t : targets) {
        if (t.done || t.prefix != g.prefix || t.bits != g.bits) continue;
        if (!g.gather && g.lowest == g.highest) {
          // One value under the prefix (a map of few distinct values): that value is the threshold.
          t.threshold = ValueOfKey(g.lowest);
          t.cells = static_cast<long long>(t.above + t.count);
          t.done = true;
          continue;
        }
        if (!g.gather) {
          narrow(t, g.hist, g.width);
          continue;
        }
        const std::vector<double>& m = g.members;
        t.threshold = m[t.rank - t.above - 1];
        // The cells under higher prefixes, and those of this one down to the last equal to it.
        const auto within = std::upper_bound(m.begin(), m.end(), t.threshold, std::greater<>()) - m.begin();
        t.cells = static_cast<long long>(t.above) + static_cast<long long>(within);
        t.done = true;
      }
    }
  }
  std::vector<double> ascending;
  std::vector<long long> cells;
  for (std::size_t i = kGainRows; i-- > 0;) {
    ascending.push_back(targets[i].threshold);
    cells.push_back(targets[i].cells);
  }
  return RowsOf(n, ascending, cells, finds);
}

std::vector<GainRow> GainOfValues(std::vector<double> values, const std::vector<double>& findValues) {
  const std::size_t n = values.size();
  if (n == 0) return {};
  std::sort(values.begin(), values.end(), std::greater<>());
  std::vector<double> ascending;
  for (int k = kGainRows; k >= 1; --k) ascending.push_back(values[RankOf(k, n) - 1]);
  return RowsOf(n, ascending, CountAtOrAbove(values, ascending), findValues);
}

std::vector<GainRow> GainOfCounts(const MapValueCounts& counts, const std::vector<double>& findValues) {
  if (counts.total <= 0) return {};
  const auto n = static_cast<std::size_t>(counts.total);
  std::vector<double> ascending;
  std::vector<long long> cells;
  for (int k = kGainRows; k >= 1; --k) {
    // The highest value with at least rank cells at or above it: atOrAbove falls as the values rise.
    const auto rank = static_cast<long long>(RankOf(k, n));
    const auto past = std::partition_point(counts.atOrAbove.begin(), counts.atOrAbove.end(), [&](long long c) { return c >= rank; });
    const auto i = static_cast<std::size_t>(past - counts.atOrAbove.begin()) - 1;
    ascending.push_back(counts.value[i]);
    cells.push_back(counts.atOrAbove[i]);
  }
  return RowsOf(n, ascending, cells, findValues);
}

int GainPixelX(double share) { return RoundToInt(40 + share * 250); }
int GainPixelY(double share) { return RoundToInt(270 - share * 250); }

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

std::vector<GainRow> EvaluateGain(const std::filesystem::path& mapFile, double findCode, const ValidationRecords& records,
                                  Canvas& picture, Shell& shell) {
  shell.status2("... calculating gain ...");
  TDataDef map;
  map.FileName = mapFile.string();
  // The lookup has read this header and said what was wrong with it; a map it refused has no gain.
  SilentShell quiet;
  if (!ReadHeader(map, quiet)) return {};
  std::vector<GainRow> rows;
  if (const MapDigest* digest = DigestFor(records, map)) {
    // The lookup read this map as it is now: its counts and the finds' values it kept.
    std::vector<double> findValues;
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (records.Code(i) == findCode) findValues.push_back(digest->values[i]);
    }
    rows = GainOfCounts(digest->counts, findValues);
  } else {
    // The finds' cells, from the records the lookup kept.
    std::vector<std::size_t> findCells;
    for (std::size_t i = 0; i < records.size(); ++i) {
      if (records.Code(i) != findCode) continue;
      const GridCell cell = CellOf(map, records.X(i), records.Y(i));
      if (cell.row < 1 || cell.row > map.nrows || cell.col < 1 || cell.col > map.ncols) continue;
      findCells.push_back(static_cast<std::size_t>(cell.row - 1) * static_cast<std::size_t>(map.ncols) + static_cast<std::size_t>(cell.col - 1));
    }
    rows = GainOfMapFile(map, findCells, shell);
  }
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
