// Building the class, presence, absence and inside masks and their sparse work files.
#include "audit/workfiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "core/atomicfile.h"
#include "core/numfmt.h"
#include "core/errors.h"
#include "core/gridfile.h"
#include "core/gridrows.h"
#include "core/outputnames.h"

namespace karvelo {

namespace {

constexpr std::size_t kBlock = 4096;

// Closes a descriptor on every way out.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

bool BlockIsZero(const std::uint8_t* p, std::size_t n) {
  // Word-wise: most blocks of a mask are all zero or hold a one early.
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + i, 8);
    if (w != 0) return false;
  }
  for (; i < n; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

// Fills `raster` with 1 where test(value) holds, over the grid's rows and columns. Returns
// whether any cell did.
template <class Test>
bool BuildMask(const TDataDef& def, ByteRaster& raster, Shell& shell, Test test) {
  GridRows grid(def, shell.run().Pool());
  const int rows = RasterRows(def), cols = RasterCols(def);
  bool any = false;
  shell.gaugeRange(0, def.nrows);
  for (int r = 1; r <= def.nrows; ++r) {
    const double* values = grid.Next();
    if (std::uint8_t* row = r <= rows ? raster.row(r) : nullptr) {
      const int n = std::min(def.ncols, cols);
      for (int c = 0; c < n; ++c) {
        if (test(values[c])) row[c] = 1, any = true;
      }
    }
    shell.row(r);
  }
  return any;
}

// An indicator that no cell holds marks nothing: every count of the audit would be 0 for it. A
// configuration made on tab 1 cannot hold one; a loaded one is caught here, at the first reading
// of its observation grid, before any count is reported.
[[noreturn]] void ThrowIndicatorNotInGrid(const TDataDef& def, bool presence) {
  throw FileError(ValueNotInGridMessage(def.FileName, presence ? def.PositiveIndicatorValue : def.NegativeIndicatorValue, presence) +
                  "\nMark a value that the grid holds (tab 1), or correct the configuration file.");
}

std::uintmax_t RasterBytesInUse(const TDataDef& def) {
  return static_cast<std::uintmax_t>(RasterRows(def)) * MaxGridExtent;
}

// Writes an observation mask as the work file `name` and lists it.
void SaveObservationMask(const TDataDef& def, const ByteRaster& raster, const std::string& name, Shell& shell) {
  const std::filesystem::path path = shell.run().WorkFile(name);
  WriteWorkFile(raster, path, RasterBytesInUse(def));
  shell.registerWorkFile(path);
}

void WriteIndicatorMask(const TDataDef& def, ByteRaster& raster, bool presence, const std::string& fn, Shell& shell) {
  const double indicator = presence ? def.PositiveIndicatorValue : def.NegativeIndicatorValue;
  const std::string name = fn + ".bin";
  shell.status2("... Making " + name);
  raster.Clear();
  if (def.GridFileType == TGridFileType::notgrid) return;
  if (!BuildMask(def, raster, shell, [indicator](double x) { return x == indicator; })) {
    ThrowIndicatorNotInGrid(def, presence);
  }
  SaveObservationMask(def, raster, name, shell);
}

bool ClassesOverlap(const TDataDef& def) {
  for (int a = 0; a < def.NrClasses; ++a) {
    for (int b = a + 1; b < def.NrClasses; ++b) {
      const auto& x = def.mclasses[static_cast<std::size_t>(a)];
      const auto& y = def.mclasses[static_cast<std::size_t>(b)];
      if (x[ClassLower] < y[ClassUpper] && y[ClassLower] < x[ClassUpper]) return true;
    }
  }
  return false;
}

// The classes of a grid entry as the masks test them: a value lies in class k when
// lower <= value < upper.
class ClassRanges {
 public:
  explicit ClassRanges(const TDataDef& def) : n_(std::min(def.NrClasses, MaxClasses)) {
    for (int k = 0; k < n_; ++k) {
      lower_[k] = def.mclasses[static_cast<std::size_t>(k)][ClassLower];
      upper_[k] = def.mclasses[static_cast<std::size_t>(k)][ClassUpper];
    }
  }
  // The first class that holds x (1-based), or 0.
  int First(double x) const {
    for (int k = 0; k < n_; ++k) {
      if (lower_[k] <= x && x < upper_[k]) return k + 1;
    }
    return 0;
  }
  // Every class that holds x, bit k - 1 for class k.
  std::uint32_t Bits(double x) const {
    std::uint32_t bits = 0;
    for (int k = 0; k < n_; ++k) {
      if (lower_[k] <= x && x < upper_[k]) bits |= 1u << k;
    }
    return bits;
  }

 private:
  int n_;
  double lower_[MaxClasses], upper_[MaxClasses];
};

// Reads the grid once and keeps, per cell, which classes hold its value: the class number when
// classes cannot overlap (one byte a cell), a bit per class when they can.
template <class Cell>
std::vector<Cell> ReadMemberships(const TDataDef& def, Shell& shell) {
  const int rows = RasterRows(def), cols = RasterCols(def);
  std::vector<Cell> member(static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols));
  const ClassRanges classes(def);
  GridRows grid(def, shell.run().Pool());
  shell.gaugeRange(0, def.nrows);
  for (int r = 1; r <= def.nrows; ++r) {
    Cell* out = r <= rows ? member.data() + static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(cols) : nullptr;
    const double* values = grid.Next();
    for (int c = 1; c <= def.ncols; ++c) {
      const double x = values[c - 1];
      if (!out || c > cols) continue;
      if constexpr (sizeof(Cell) == 1) {
        out[c - 1] = static_cast<Cell>(classes.First(x));
      } else {
        out[c - 1] = classes.Bits(x);
      }
    }
    shell.row(r);
  }
  return member;
}

// The counts of every class of a grid and its part of InsideRaster, in one pass over the classes
// of its cells. No mask is written: the audit is their only reader.
template <class Cell>
void CountClasses(Workspace& ws, int slot, const std::vector<Cell>& member, ThreadPool& pool, ClassCounts& counts) {
  const TDataDef& def = ws.DataDef(slot);
  const int rows = RasterRows(def), cols = RasterCols(def), n = std::min(def.NrClasses, MaxClasses);
  struct Tally {
    std::array<long long, MaxClasses + 1> cells{}, presences{}, absences{};
  };
  std::vector<Tally> blocks(pool.RowBlocks(1, rows));
  pool.Run(blocks.size(), [&](std::size_t b) {
    const int from = ThreadPool::BlockStart(1, rows, blocks.size(), b);
    const int to = ThreadPool::BlockStart(1, rows, blocks.size(), b + 1) - 1;
    Tally& t = blocks[b];
    for (int r = from; r <= to; ++r) {
      const Cell* m = member.data() + static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(cols);
      std::uint8_t* inside = ws.InsideRaster.row(r);
      const std::uint8_t* pres = ws.PresenceRaster.row(r);
      const std::uint8_t* abs = ws.AbsenceRaster.row(r);
      for (int c = 0; c < cols; ++c) {
        if (m[c] == 0) continue;
        inside[c] = 1;
        const int p = pres[c] != 0, a = abs[c] != 0;
        if constexpr (sizeof(Cell) == 1) {
          t.cells[m[c]] += 1;
          t.presences[m[c]] += p;
          t.absences[m[c]] += a;
        } else {
          for (int k = 1; k <= n; ++k) {
            if ((m[c] >> (k - 1)) & 1u) {
              t.cells[static_cast<std::size_t>(k)] += 1;
              t.presences[static_cast<std::size_t>(k)] += p;
              t.absences[static_cast<std::size_t>(k)] += a;
            }
          }
        }
      }
    }
  });
  for (int k = 1; k <= def.NrClasses; ++k) {
    Workspace::FrequencyRow total;
    if (k <= n) {
      for (const Tally& t : blocks) {
        total.cells += static_cast<std::int32_t>(t.cells[static_cast<std::size_t>(k)]);
        total.presences += static_cast<std::int32_t>(t.presences[static_cast<std::size_t>(k)]);
        total.absences += static_cast<std::int32_t>(t.absences[static_cast<std::size_t>(k)]);
      }
    }
    counts[{slot, k}] = total;
  }
}

template <class Cell>
void WriteClassMasks(Workspace& ws, int slot, Shell& shell, ClassCounts* counts) {
  const TDataDef& def = ws.DataDef(slot);
  const int rows = RasterRows(def), cols = RasterCols(def);
  shell.status2("... Making " + ClassMaskFileName(shell.run(), slot, def, 1).filename().string());
  const std::vector<Cell> member = ReadMemberships<Cell>(def, shell);
  ThreadPool& pool = shell.run().Pool();
  if (counts) {
    // Writing and then deleting 100 MB per class was half of a large audit's time.
    CountClasses(ws, slot, member, pool, *counts);
    return;
  }
  for (int k = 1; k <= def.NrClasses; ++k) {
    shell.run().ThrowIfCancelled();
    const std::filesystem::path name = ClassMaskFileName(shell.run(), slot, def, k);
    shell.status2("... Making " + name.filename().string());
    // Every byte of the grid's rows is written below, so only the rows past them are cleared:
    // the pages of the mask before stay in place instead of being handed back and faulted in again.
    ws.AuxClassRaster.ClearFrom(rows + 1);
    // Rows are independent: blocks of them on every core.
    const std::size_t blocks = pool.RowBlocks(1, rows);
    pool.Run(blocks, [&](std::size_t b) {
      const int from = ThreadPool::BlockStart(1, rows, blocks, b);
      const int to = ThreadPool::BlockStart(1, rows, blocks, b + 1) - 1;
      for (int r = from; r <= to; ++r) {
        const Cell* m = member.data() + static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(cols);
        std::uint8_t* aux = ws.AuxClassRaster.row(r);
        std::uint8_t* inside = ws.InsideRaster.row(r);
        // Branch-free so that the compiler can handle many cells per instruction.
        for (int c = 0; c < cols; ++c) {
          std::uint8_t in;
          if constexpr (sizeof(Cell) == 1) {
            in = m[c] == k;
          } else {
            in = static_cast<std::uint8_t>((m[c] >> (k - 1)) & 1u);
          }
          aux[c] = in;
          inside[c] |= in;
        }
        if (cols < MaxGridExtent) std::memset(aux + cols, 0, static_cast<std::size_t>(MaxGridExtent - cols));
      }
    });
    WriteWorkFile(ws.AuxClassRaster, name, RasterBytesInUse(def));
    shell.registerWorkFile(name);
  }
}

}  // namespace

std::string GridStem(const TDataDef& def) { return std::filesystem::path(def.FileName).stem().string(); }

std::filesystem::path ClassMaskFileName(const RunContext& run, int slot, const TDataDef& def, int klasse) {
  return run.WorkFile(std::to_string(slot) + "-" + GridStem(def) + "-" + std::to_string(klasse) + ".bin");
}

std::filesystem::path ClassFileName(const RunContext& run, int slot, const TDataDef& def) {
  return run.WorkFile(std::to_string(slot) + "-" + GridStem(def) + ".txt");
}

std::uintmax_t WriteWorkFile(const ByteRaster& raster, const std::filesystem::path& path, std::uintmax_t usedBytes) {
  // A work file that could not be written whole is not left behind.
  struct RemoveUnlessDone {
    const std::filesystem::path& path;
    bool done = false;
    ~RemoveUnlessDone() {
      if (!done) ::unlink(path.c_str());
    }
  } cleanup{path};
  if (usedBytes > kWorkFileBytes) usedBytes = kWorkFileBytes;
  // A new file rather than a truncated old one: truncating makes some file systems flush the
  // old contents to disk on close.
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) ThrowSystemFileError(path, "cannot replace the work file");
  Fd out{::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
  if (out.fd < 0) ThrowSystemFileError(path, "cannot create the work file");
  std::uintmax_t written = 0;
  const std::uint8_t* data = raster.data();
  auto writeRange = [&](std::uintmax_t from, std::uintmax_t to) {
    // The file was just truncated, so zeros at either end of a run need not be written.
    while (from < to && data[from] == 0) ++from;
    while (to > from && data[to - 1] == 0) --to;
    while (from < to) {
      const std::size_t allowed = WriteAllowance(static_cast<std::size_t>(to - from));
      if (allowed == 0) errno = ENOSPC;
      const ssize_t w = allowed == 0 ? -1 : ::pwrite(out.fd, data + from, allowed, static_cast<off_t>(from));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) ThrowSystemFileError(path, "cannot write the work file");
      from += static_cast<std::uintmax_t>(w);
      written += static_cast<std::uintmax_t>(w);
    }
  };
  // Runs of consecutive blocks that hold a non-zero byte go out in one write each.
  std::uintmax_t runStart = 0;
  bool inRun = false;
  for (std::uintmax_t at = 0; at < usedBytes; at += kBlock) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uintmax_t>(kBlock, kWorkFileBytes - at));
    const bool zero = BlockIsZero(data + at, n);
    if (!zero && !inRun) {
      runStart = at;
      inRun = true;
    } else if (zero && inRun) {
      writeRange(runStart, at);
      inRun = false;
    }
  }
  if (inRun) writeRange(runStart, std::min<std::uintmax_t>(kWorkFileBytes, (usedBytes + kBlock - 1) / kBlock * kBlock));
  if (::ftruncate(out.fd, static_cast<off_t>(kWorkFileBytes)) != 0) ThrowSystemFileError(path, "cannot write the work file");
  const int fd = out.fd;
  out.fd = -1;
  if (::close(fd) != 0) ThrowSystemFileError(path, "cannot write the work file");
  cleanup.done = true;
  return written;
}

void ReadWorkFile(ByteRaster& raster, const std::filesystem::path& path) {
  Fd in{::open(path.c_str(), O_RDONLY)};
  if (in.fd < 0) ThrowSystemFileError(path, "cannot open the work file");
  struct stat st{};
  if (::fstat(in.fd, &st) != 0) ThrowSystemFileError(path, "cannot read the work file");
  if (static_cast<std::uintmax_t>(st.st_size) < kWorkFileBytes) {
    ThrowFileError(path, "the work file is shorter than 100000000 bytes");
  }
  raster.Clear();
  std::uint8_t* data = raster.data();
  // Only the parts of the file that hold data are read; holes stay as the cleared zeros.
  off_t at = 0;
  const off_t end = static_cast<off_t>(kWorkFileBytes);
  while (at < end) {
    off_t dataStart = ::lseek(in.fd, at, SEEK_DATA);
    if (dataStart < 0) {
      if (errno == ENXIO) break;  // nothing but a hole up to the end of the file
      dataStart = at;             // a file system without hole reporting: read it all
    }
    if (dataStart >= end) break;
    off_t holeStart = ::lseek(in.fd, dataStart, SEEK_HOLE);
    if (holeStart < 0 || holeStart > end) holeStart = end;
    while (dataStart < holeStart) {
      const ssize_t got = ::pread(in.fd, data + dataStart, static_cast<std::size_t>(holeStart - dataStart), dataStart);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) ThrowSystemFileError(path, "cannot read the work file");
      dataStart += got;
    }
    at = holeStart;
  }
}

void CopyAux2Binary(Workspace& ws, int slot, int klasse, Shell& shell) {
  const TDataDef& def = ws.DataDef(slot);
  const std::filesystem::path name = ClassMaskFileName(shell.run(), slot, def, klasse);
  shell.status2("... Making " + name.filename().string());
  ws.AuxClassRaster.Clear();
  if (def.GridFileType == TGridFileType::notgrid) return;
  const auto& cls = def.mclasses[static_cast<std::size_t>(klasse - 1)];
  const double lower = cls[ClassLower], upper = cls[ClassUpper];
  GridRows grid(def, shell.run().Pool());
  const int rows = RasterRows(def), cols = RasterCols(def);
  shell.gaugeRange(0, def.nrows);
  for (int r = 1; r <= def.nrows; ++r) {
    const double* values = grid.Next();
    for (int c = 1; c <= def.ncols; ++c) {
      const double x = values[c - 1];
      if (r <= rows && c <= cols && lower <= x && x < upper) ws.AuxClassRaster.at(r, c) = ws.InsideRaster.at(r, c) = 1;
    }
    shell.row(r);
  }
  WriteWorkFile(ws.AuxClassRaster, name, RasterBytesInUse(def));
  shell.registerWorkFile(name);
}

namespace {

// Both masks of a grid that marks presences and absences, from one reading of it.
void WritePresenceAndAbsenceMasks(Workspace& ws, const TDataDef& def, Shell& shell) {
  shell.status2("... Making Positives.bin");
  ws.PresenceRaster.Clear();
  ws.AbsenceRaster.Clear();
  if (def.GridFileType == TGridFileType::notgrid) return;
  GridRows grid(def, shell.run().Pool());
  const int rows = RasterRows(def), cols = RasterCols(def);
  const double presence = def.PositiveIndicatorValue, absence = def.NegativeIndicatorValue;
  bool anyPresence = false, anyAbsence = false;
  shell.gaugeRange(0, def.nrows);
  for (int r = 1; r <= def.nrows; ++r) {
    const double* values = grid.Next();
    if (r <= rows) {
      std::uint8_t* p = ws.PresenceRaster.row(r);
      std::uint8_t* a = ws.AbsenceRaster.row(r);
      const int n = std::min(def.ncols, cols);
      for (int c = 0; c < n; ++c) {
        if (values[c] == presence) p[c] = 1, anyPresence = true;
        if (values[c] == absence) a[c] = 1, anyAbsence = true;
      }
    }
    shell.row(r);
  }
  if (!anyPresence) ThrowIndicatorNotInGrid(def, true);
  if (!anyAbsence) ThrowIndicatorNotInGrid(def, false);
  SaveObservationMask(def, ws.PresenceRaster, kPresenceMaskFile, shell);
  shell.status2("... Making Negatives.bin");
  SaveObservationMask(def, ws.AbsenceRaster, kAbsenceMaskFile, shell);
}

}  // namespace

void CopyPres2Binary(Workspace& ws, const TDataDef& def, const std::string& fn, Shell& shell) {
  WriteIndicatorMask(def, ws.PresenceRaster, true, fn, shell);
}

void CopyAbs2Binary(Workspace& ws, const TDataDef& def, const std::string& fn, Shell& shell) {
  WriteIndicatorMask(def, ws.AbsenceRaster, false, fn, shell);
}

void MakeBinaries(Workspace& ws, Shell& shell, ClassCounts* counts) {
  ws.InsideRaster.Clear();
  // Grids after the last presence or absence grid are counted as their masks are made.
  int lastObservation = 0;
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    if (ws.DataDef(i).IsPresenceGrid() || ws.DataDef(i).IsAbsenceGrid()) lastObservation = i;
  }
  std::uintmax_t insideBytes = 0;
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    const TDataDef& def = ws.DataDef(i);
    if (def.NrClasses >= 2) {
      ClassCounts* countHere = i > lastObservation ? counts : nullptr;
      if (def.GridFileType == TGridFileType::notgrid) {
        for (int k = 1; k <= def.NrClasses; ++k) CopyAux2Binary(ws, i, k, shell);
      } else if (ClassesOverlap(def)) {
        WriteClassMasks<std::uint32_t>(ws, i, shell, countHere);
      } else {
        WriteClassMasks<std::uint8_t>(ws, i, shell, countHere);
      }
      insideBytes = std::max(insideBytes, RasterBytesInUse(def));
    }
    if (def.IsPresenceGrid() && def.IsAbsenceGrid()) {
      WritePresenceAndAbsenceMasks(ws, def, shell);
      continue;
    }
    if (def.IsPresenceGrid()) CopyPres2Binary(ws, def, "Positives", shell);
    if (def.IsAbsenceGrid()) CopyAbs2Binary(ws, def, "Negatives", shell);
  }
  shell.status2("... Making InsideMap.bin");
  const std::filesystem::path inside = shell.run().WorkFile(kInsideMaskFile);
  WriteWorkFile(ws.InsideRaster, inside, insideBytes);
  shell.registerWorkFile(inside);
}

std::vector<std::uint32_t> ClassBitsAt(const TDataDef& def, const std::vector<std::pair<int, int>>& cells, Shell& shell) {
  std::vector<std::uint32_t> bits(cells.size(), 0);
  if (def.GridFileType == TGridFileType::notgrid || cells.empty()) return bits;
  const int rows = RasterRows(def), cols = RasterCols(def);
  const ClassRanges classes(def);
  std::vector<std::size_t> order(cells.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return cells[a].first < cells[b].first; });
  GridRows grid(def, shell.run().Pool());
  shell.gaugeRange(0, def.nrows);
  std::size_t next = 0;
  while (next < order.size() && cells[order[next]].first < 1) ++next;
  for (int r = 1; r <= def.nrows; ++r) {
    const double* values = grid.Next();
    for (; next < order.size() && cells[order[next]].first == r; ++next) {
      const int c = cells[order[next]].second;
      if (r > rows || c < 1 || c > cols) continue;
      bits[order[next]] = classes.Bits(values[c - 1]);
    }
    shell.row(r);
  }
  return bits;
}

void LoadBinAux(Workspace& ws, const std::filesystem::path& fnaux, Shell& shell) {
  shell.run().ThrowIfCancelled();
  shell.status2("... Loading " + FileNameOf(fnaux));
  ReadWorkFile(ws.AuxClassRaster, fnaux);
}

}  // namespace karvelo
