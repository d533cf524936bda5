// The run's one workspace: the data configuration, the working record, the rasters, flags, priors.
#pragma once

#include <array>
#include <memory>
#include <optional>

#include "core/byteraster.h"
#include "core/datadef.h"
#include "core/limits.h"
#include "core/random.h"

namespace karvelo {

class Workspace {
 public:
  // Slots 1..DataDefCount hold entries, the rest are empty; slot 0 is never used so that slot
  // numbers read as the configuration table's row numbers.
  std::array<std::optional<TDataDef>, MaxDataFiles + 1> DataDefs{};
  int DataDefCount = 0;
  TDataDef CurrentDataDef{};
  int PresenceDefIndex = 0;

  bool RandomAbsences = false;
  bool QuietAudit = false;
  double PriorP = 0;
  double PriorA = 0;

  // The random generator, and the seed that replaces the clock when runs must be repeatable.
  RandomGenerator Random;
  std::optional<std::uint32_t> FixedSeed;

  // The class test's statistic (one degree of freedom) of every class of every entry against an
  // even presence/absence split.
  std::array<std::array<double, MaxClasses + 1>, MaxDataFiles + 1> ClassChi2{};

  // The audit's counts, one row per class of the classified grids in slot and class order.
  struct FrequencyRow {
    std::int32_t presences = 0, absences = 0, cells = 0;
  };
  std::array<FrequencyRow, FrequencyRows> FrequencyCounts{};

  ByteRaster PresenceRaster;
  ByteRaster AbsenceRaster;
  ByteRaster AuxClassRaster;
  ByteRaster InsideRaster;
  ByteRaster DeclusterRaster;

  // Slot i (1-based) of the configuration; the slot must hold an entry.
  TDataDef& DataDef(int slot) { return *DataDefs.at(slot); }
  const TDataDef& DataDef(int slot) const { return *DataDefs.at(slot); }
  const TDataDef& ReferenceGrid() const { return DataDef(1); }

  // Adds a copy of def in slot DataDefCount + 1; false (nothing changed) when the configuration is
  // full. PresenceDefIndex follows.
  bool AddDataDef(const TDataDef& def);
  // Removes slot i; later entries move down one slot. PresenceDefIndex follows.
  void DeleteDataDef(int slot);
  // Releases every entry.
  void ClearDataDefs();
  // Releases every entry, then fills slots from 1 with defs (at most MaxDataFiles of them).
  template <class Range>
  void ReplaceDataDefs(const Range& defs) {
    ClearDataDefs();
    for (const TDataDef& d : defs) {
      if (!AddDataDef(d)) break;
    }
  }
  // The slot of the last presence grid, or 0.
  int FindPresenceDefIndex() const;
  // Whether an entry marks absences; without one the mapping draws them at random.
  bool HasAbsenceGrid() const;
};

}  // namespace karvelo
