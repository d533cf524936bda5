// Work files: the byte masks of the configuration, written sparse and read back into the rasters.
#pragma once

#include <map>
#include <utility>

#include <filesystem>
#include <string>
#include <vector>

#include "core/byteraster.h"
#include "core/datadef.h"
#include "core/shell.h"
#include "core/workspace.h"

namespace karvelo {

inline constexpr std::uintmax_t kWorkFileBytes = ByteRaster::kCells;

// A grid's name as its work files carry it: the file name without its last extension.
std::string GridStem(const TDataDef& def);
// The class mask of class k of the entry in `slot`: "<slot>-<grid name>-<k>.bin" in the run's work
// folder. The slot keeps the same grid used twice apart; nothing is written beside the grid.
std::filesystem::path ClassMaskFileName(const RunContext& run, int slot, const TDataDef& def, int klasse);
// The class file of the entry in `slot`: "<slot>-<grid name>.txt" in the run's work folder.
std::filesystem::path ClassFileName(const RunContext& run, int slot, const TDataDef& def);

// Writes the raster as a work file of exactly 100000000 bytes. Only the 4 KiB blocks that hold a
// non-zero byte are written (runs of them in one write, without the zeros at the run's ends); the
// rest of the file is a hole, which reads as zeros. Blocks at
// or after `usedBytes` must be zero. Returns the bytes written. Throws FileError.
std::uintmax_t WriteWorkFile(const ByteRaster& raster, const std::filesystem::path& path,
                             std::uintmax_t usedBytes = kWorkFileBytes);
// Reads a work file into the raster: exactly its 100000000 bytes (holes read as zeros). A missing
// or shorter file is a FileError.
void ReadWorkFile(ByteRaster& raster, const std::filesystem::path& path);

// The class mask of class `klasse` of the entry in `slot` into AuxClassRaster (and InsideRaster),
// written as its work file and registered.
void CopyAux2Binary(Workspace& ws, int slot, int klasse, Shell& shell);
// The presence mask of def into PresenceRaster, written as fn + ".bin" in the work folder.
void CopyPres2Binary(Workspace& ws, const TDataDef& def, const std::string& fn, Shell& shell);
// The absence mask of def into AbsenceRaster, written as fn + ".bin" in the work folder.
void CopyAbs2Binary(Workspace& ws, const TDataDef& def, const std::string& fn, Shell& shell);

// Every mask and work file of the configuration: class masks of every classified grid (all
// classes of a grid from one reading of it), "Positives.bin", "Negatives.bin", "InsideMap.bin".
// The audit's counts of one class, made while its mask is built: (slot, class) -> counts.
using ClassCounts = std::map<std::pair<int, int>, Workspace::FrequencyRow>;
// With `counts`, every grid after the last presence or absence grid is counted from one reading
// of it (the presence and absence masks it is counted against are final by then), and its class
// masks are not written: the audit would have been their only reader.
void MakeBinaries(Workspace& ws, Shell& shell, ClassCounts* counts = nullptr);

// The classes of the grid at the cells (row, column from 1), bit k - 1 for class k: what the
// class masks hold there, from one reading of the grid. Cells outside the grid have none.
std::vector<std::uint32_t> ClassBitsAt(const TDataDef& def, const std::vector<std::pair<int, int>>& cells, Shell& shell);

// Reads a class mask file into AuxClassRaster.
void LoadBinAux(Workspace& ws, const std::filesystem::path& fnaux, Shell& shell);

// The rows and columns of a grid that fall inside the rasters (a loaded configuration may claim more).
inline int RasterRows(const TDataDef& d) { return d.nrows < 0 ? 0 : (d.nrows > MaxGridExtent ? MaxGridExtent : d.nrows); }
inline int RasterCols(const TDataDef& d) { return d.ncols < 0 ? 0 : (d.ncols > MaxGridExtent ? MaxGridExtent : d.ncols); }

}  // namespace karvelo
