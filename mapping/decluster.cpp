// Nearest-observation declustering without scanning empty rings cell by cell.
#include "mapping/decluster.h"

#include <algorithm>
#include <cstring>
#include <cmath>
#include <filesystem>
#include <vector>

#include "audit/workfiles.h"
#include "core/outputnames.h"
#include "core/rowblocks.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "core/projection.h"
#include "core/textwriter.h"

namespace karvelo {

namespace {

// Observations of the grid as sorted lists per row (their columns) and per column (their rows).
class ObservationIndex {
 public:
  ObservationIndex(const ByteRaster& presence, const ByteRaster& absence, int ncols, int nrows)
      : rowStart_(static_cast<std::size_t>(nrows) + 2, 0), colStart_(static_cast<std::size_t>(ncols) + 2, 0) {
    std::vector<std::uint32_t> colCount(static_cast<std::size_t>(ncols) + 2, 0);
    for (int r = 1; r <= nrows; ++r) {
      const std::uint8_t* p = presence.row(r);
      const std::uint8_t* a = absence.row(r);
      rowStart_[static_cast<std::size_t>(r)] = static_cast<std::uint32_t>(rowCols_.size());
      for (int c = 1; c <= ncols; ++c) {
        if (p[c - 1] | a[c - 1]) {
          rowCols_.push_back(static_cast<std::uint16_t>(c));
          ++colCount[static_cast<std::size_t>(c)];
        }
      }
    }
    rowStart_[static_cast<std::size_t>(nrows) + 1] = static_cast<std::uint32_t>(rowCols_.size());
    std::uint32_t at = 0;
    for (int c = 1; c <= ncols + 1; ++c) {
      colStart_[static_cast<std::size_t>(c)] = at;
      if (c <= ncols) at += colCount[static_cast<std::size_t>(c)];
    }
    colRows_.resize(rowCols_.size());
    std::vector<std::uint32_t> fill(colStart_.begin(), colStart_.end());
    for (int r = 1; r <= nrows; ++r) {
      for (std::uint32_t i = rowStart_[static_cast<std::size_t>(r)]; i < rowStart_[static_cast<std::size_t>(r) + 1]; ++i) {
        colRows_[fill[rowCols_[i]]++] = static_cast<std::uint16_t>(r);
      }
    }
  }

  bool Empty() const { return rowCols_.empty(); }

  // The observation in column x, rows lo..hi, nearest to row `centre` (lo <= centre <= hi); ties go
  // to the smaller row. 0 when there is none.
  int NearestInColumn(int x, int lo, int hi, int centre) const {
    return Nearest(colRows_, colStart_[static_cast<std::size_t>(x)], colStart_[static_cast<std::size_t>(x) + 1], lo, hi, centre);
  }
  // The observation in row y, columns lo..hi, nearest to column `centre`; ties to the smaller column.
  int NearestInRow(int y, int lo, int hi, int centre) const {
    return Nearest(rowCols_, rowStart_[static_cast<std::size_t>(y)], rowStart_[static_cast<std::size_t>(y) + 1], lo, hi, centre);
  }

 private:
  static int Nearest(const std::vector<std::uint16_t>& v, std::uint32_t b, std::uint32_t e, int lo, int hi, int centre) {
    if (b == e) return 0;
    const auto first = v.begin() + b, last = v.begin() + e;
    const auto it = std::lower_bound(first, last, static_cast<std::uint16_t>(centre));
    int below = 0, above = 0;
    if (it != last && *it <= hi) above = *it;
    if (it != first && *(it - 1) >= lo) below = *(it - 1);
    if (above == centre) return above;
    if (!below) return above;
    if (!above) return below;
    return centre - below <= above - centre ? below : above;
  }

  std::vector<std::uint16_t> rowCols_, colRows_;
  std::vector<std::uint32_t> rowStart_, colStart_;
};

// The search's candidate order: distance first, then ring, then where in the ring it is tested.
struct Candidate {
  long long d2 = -1;
  int ring = 0, phase = 0, index = 0;
  int y = 0, x = 0;
  bool Before(const Candidate& o) const {
    if (o.d2 < 0) return true;
    if (d2 != o.d2) return d2 < o.d2;
    if (ring != o.ring) return ring < o.ring;
    if (phase != o.phase) return phase < o.phase;
    return index < o.index;
  }
};

struct Ring {
  int top, bottom, left, right;
  Ring(int r, int c, int k, int ncols, int nrows)
      : top(std::max(r - k, 1)), bottom(std::min(r + k, nrows)), left(std::max(c - k, 1)), right(std::min(c + k, ncols)) {}
};

bool RingHasObservation(const ObservationIndex& idx, const Ring& g, int r, int c) {
  return idx.NearestInColumn(g.left, g.top, g.bottom, r) || idx.NearestInColumn(g.right, g.top, g.bottom, r) ||
         idx.NearestInRow(g.top, g.left, g.right, c) || idx.NearestInRow(g.bottom, g.left, g.right, c);
}

void Consider(Candidate& best, int r, int c, int k, int phase, int index, int y, int x) {
  Candidate cand;
  cand.d2 = static_cast<long long>(x - c) * (x - c) + static_cast<long long>(y - r) * (y - r);
  cand.ring = k;
  cand.phase = phase;
  cand.index = index;
  cand.y = y;
  cand.x = x;
  if (cand.Before(best)) best = cand;
}

// The best candidate of ring k: per side only the observation nearest to the cell can win.
void SearchRing(const ObservationIndex& idx, int r, int c, int k, int ncols, int nrows, Candidate& best) {
  const Ring g(r, c, k, ncols, nrows);
  if (int y = idx.NearestInColumn(g.left, g.top, g.bottom, r)) Consider(best, r, c, k, 0, 2 * (y - g.top), y, g.left);
  if (g.right != g.left) {
    if (int y = idx.NearestInColumn(g.right, g.top, g.bottom, r)) Consider(best, r, c, k, 0, 2 * (y - g.top) + 1, y, g.right);
  }
  if (int x = idx.NearestInRow(g.top, g.left, g.right, c)) Consider(best, r, c, k, 1, 2 * (x - g.left), g.top, x);
  if (g.bottom != g.top) {
    if (int x = idx.NearestInRow(g.bottom, g.left, g.right, c)) Consider(best, r, c, k, 1, 2 * (x - g.left) + 1, g.bottom, x);
  }
}

}  // namespace

bool DeclusterKinds(const ByteRaster& presence, const ByteRaster& absence, int ncols, int nrows, ByteRaster& out,
                    Shell& shell) {
  ncols = std::clamp(ncols, 0, MaxGridExtent);
  nrows = std::clamp(nrows, 0, MaxGridExtent);
  const ObservationIndex idx(presence, absence, ncols, nrows);
  if (idx.Empty()) return false;
  const int kLimit = RoundToInt(std::sqrt(static_cast<double>(ncols) * ncols + static_cast<double>(nrows) * nrows));
  shell.gaugeRange(0, nrows);
  int rowStartK0 = 1;  // k0 of the first cell of the previous row
  for (int r = 1; r <= nrows; ++r) {
    const std::uint8_t* pRow = presence.row(r);
    const std::uint8_t* aRow = absence.row(r);
    std::uint8_t* o = out.row(r);
    int prev = rowStartK0;  // k0 of (r, 1) is at least k0 of (r - 1, 1) minus one
    for (int c = 1; c <= ncols; ++c) {
      if (pRow[c - 1] | aRow[c - 1]) {
        o[c - 1] = pRow[c - 1] ? 1 : 0;
        prev = 0;
      } else {
        // k0 >= prev - 1, and rings below that bound are empty; at most a few rings are tested.
        int k0 = std::max(1, prev - 1);
        while (k0 <= kLimit && !RingHasObservation(idx, Ring(r, c, k0, ncols, nrows), r, c)) ++k0;
        prev = k0;
        Candidate best;
        const int kEnd = std::min(kLimit, k0 + 3);
        for (int k = k0; k <= kEnd; ++k) SearchRing(idx, r, c, k, ncols, nrows, best);
        o[c - 1] = absence.at(best.y, best.x) ? 0 : 1;
      }
      if (c == 1) rowStartK0 = prev;
    }
    shell.row(r);
    shell.refresh();
  }
  return true;
}

bool Decluster(Workspace& ws, Shell& shell) {
  const TDataDef& ref = ws.ReferenceGrid();
  shell.status2("Loading InsideMap.bin");
  const RunContext& run = shell.run();
  ReadWorkFile(ws.InsideRaster, run.WorkFile(kInsideMaskFile));
  shell.status2("Loading Negatives.bin");
  ReadWorkFile(ws.AbsenceRaster, run.WorkFile(kAbsenceMaskFile));
  shell.status2("Loading Positives.bin");
  ReadWorkFile(ws.PresenceRaster, run.WorkFile(kPresenceMaskFile));

  // The observation mask in the scratch raster: only where a presence or an absence can be.
  // Only the ones are written, so pages without observations stay uncommitted.
  ws.AuxClassRaster.Clear();
  for (int r = 1; r <= MaxGridExtent; ++r) {
    const std::uint8_t* p = ws.PresenceRaster.row(r);
    const std::uint8_t* a = ws.AbsenceRaster.row(r);
    for (int c = 0; c < MaxGridExtent; ++c) {
      if (p[c] | a[c]) ws.AuxClassRaster.row(r)[c] = 1;
    }
  }
  std::memset(ws.DeclusterRaster.data(), 1, ByteRaster::kCells);

  shell.status2("2: Declustering (nearest neighbour)");
  shell.gaugeRange(0, ref.nrows);
  shell.gaugeProgress(0);
  shell.refresh();
  if (!DeclusterKinds(ws.PresenceRaster, ws.AbsenceRaster, ref.ncols, ref.nrows, ws.DeclusterRaster, shell)) {
    shell.message("no nearest neighbour found!\nThe grid holds no presence or absence observation to decluster.");
    shell.status2("(Idle)");
    shell.gaugeProgress(0);
    return false;
  }

  shell.status2("Saving Declus.bin");
  const std::filesystem::path declusBin = run.WorkFile(kDeclusterMaskFile);
  WriteWorkFile(ws.DeclusterRaster, declusBin);
  shell.registerWorkFile(declusBin);

  shell.status2("Saving Declus.asc");
  const int rows = RasterRows(ref), cols = RasterCols(ref);
  {
    TextWriter out(run.Output(kDeclusteredGridFile));
    WriteGridHeader(out, ref);
    const std::string nodata = FormatGridNumber(ref.NODATA_value, 2) + " ";
    // Row texts made in blocks on every core, written in order.
    const int block = BlockRowsFor(static_cast<std::size_t>(cols) * 5);
    std::vector<std::string> texts(static_cast<std::size_t>(block));
    RowsInBlocks(
        run.Pool(), rows, block, [](int, int) {},
        [&](int from, int to, int first) {
          for (int r = from; r <= to; ++r) {
            const std::uint8_t* d = ws.DeclusterRaster.row(r);
            const std::uint8_t* in = ws.InsideRaster.row(r);
            std::string& text = texts[static_cast<std::size_t>(r - first)];
            text.clear();
            for (int c = 0; c < cols; ++c) text += in[c] ? (d[c] ? "1.00 " : "0.00 ") : std::string_view(nodata);
          }
        },
        [&](int, int slot) {
          out.Write(texts[static_cast<std::size_t>(slot)]);
          out.WriteLine();
        });
    out.Close();
  }
  CopyProjection(ref, shell.run().Output(kDeclusteredGridFile));

  shell.status2("Calculating declustered priors");
  long long nIn = 0, nDecl = 0;
  for (int r = 1; r <= rows; ++r) {
    const std::uint8_t* d = ws.DeclusterRaster.row(r);
    const std::uint8_t* in = ws.InsideRaster.row(r);
    for (int c = 0; c < cols; ++c) {
      nIn += in[c] != 0;
      nDecl += (in[c] != 0) & (d[c] != 0);
    }
  }
  if (nIn == 0) {
    shell.message("The mapped area holds no cell:\nthe declustered prior probabilities cannot be calculated.");
    shell.status2("(Idle)");
    shell.gaugeProgress(0);
    return false;
  }
  ws.PriorP = static_cast<double>(nDecl) / static_cast<double>(nIn);
  ws.PriorA = 1 - ws.PriorP;
  shell.status2("(Idle)");
  shell.gaugeProgress(0);
  return true;
}

}  // namespace karvelo
