// Building the in-memory classes from the class files and counting observations over them.
#include "mapping/classgrids.h"

#include "audit/workfiles.h"
#include "core/numfmt.h"
#include "mapping/classfiles.h"

namespace karvelo {

ClassGrids LoadClassGrids(const Workspace& ws, const RunContext& run) {
  const TDataDef& ref = ws.ReferenceGrid();
  ClassGrids out;
  out.nrows = std::max(ref.nrows, 0);
  out.ncols = std::max(ref.ncols, 0);
  const std::size_t ncols = static_cast<std::size_t>(out.ncols), cells = out.Cells();
  std::vector<ClassFileStream> streams = OpenClassFiles(ws, run);
  for (const ClassFileStream& s : streams) {
    ClassGrid g;
    g.slot = s.slot;
    g.nClasses = s.nClasses;
    g.name = FileNameOf(ws.DataDef(s.slot).FileName);
    g.cells.assign(cells, 0);
    out.grids.push_back(std::move(g));
  }
  std::vector<int> row(streams.size() * ncols);
  for (int r = 0; r < out.nrows; ++r) {
    run.ThrowIfCancelled();
    if (streams.empty()) break;
    ReadClassRow(streams, row.data());
    for (std::size_t e = 0; e < streams.size(); ++e) {
      std::uint8_t* to = out.grids[e].cells.data() + static_cast<std::size_t>(r) * ncols;
      const int* from = row.data() + e * ncols;
      const int n = out.grids[e].nClasses;
      for (std::size_t c = 0; c < ncols; ++c) {
        const int k = from[c];
        to[c] = k < 0 ? kNoClassValue : (k <= n ? static_cast<std::uint8_t>(k) : 0);
      }
    }
  }
  out.inside.assign(cells, 0);
  const int rows = RasterRows(ref), cols = RasterCols(ref);
  for (int r = 1; r <= rows; ++r) {
    const std::uint8_t* in = ws.InsideRaster.row(r);
    const std::uint8_t* p = ws.PresenceRaster.row(r);
    const std::uint8_t* a = ws.AbsenceRaster.row(r);
    for (int c = 0; c < cols; ++c) {
      const std::size_t index = static_cast<std::size_t>(r - 1) * ncols + static_cast<std::size_t>(c);
      out.inside[index] = in[c] != 0;
      if (p[c] || a[c]) out.observations.push_back({index, p[c] != 0, a[c] != 0});
    }
  }
  return out;
}

std::vector<GridClassCounts> CountClasses(const ClassGrids& grids, const std::vector<CountedCell>& cells) {
  std::vector<GridClassCounts> counts(grids.grids.size());
  for (std::size_t g = 0; g < grids.grids.size(); ++g) {
    const std::uint8_t* classes = grids.grids[g].cells.data();
    for (const CountedCell& cell : cells) {
      const std::uint8_t k = classes[cell.index];
      if (k == 0 || k == kNoClassValue) continue;
      counts[g].presences[k] += cell.presence;
      counts[g].absences[k] += cell.absence;
    }
  }
  return counts;
}

}  // namespace karvelo
