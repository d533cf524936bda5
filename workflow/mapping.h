// The audit, the final submission and the mapping run as steps of a session, with typed results.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "audit/audit.h"
#include "core/canvas.h"
#include "mapping/priors.h"
#include "mapping/uncertainty.h"
#include "mapping/weights.h"
#include "workflow/session.h"

namespace karvelo {

// "b. Audit data configuration". The stage follows: audited, or back to configured.
AuditResult Audit(Session& session);

// "c. Submit final data configuration for mapping": the class files written. Random absences
// follow when no entry marks absences; the priors must then be entered by hand.
struct SubmitResult {
  bool randomAbsences = false;
};
SubmitResult Submit(Session& session);

// The controls of tab 3 that a mapping run reads.
struct MapOptions {
  PriorControls priors;         // the prior choice and the two fields' texts
  bool uncertainty = true;      // chckbxErrorProp
  EvidenceLevel evidence = EvidenceLevel::All;
  bool geotiff = false;         // also write each result grid as a GeoTIFF
};

struct MapResult {
  bool mapped = false;                     // false: the run stopped after a message
  PriorControls priors;                    // the fields as the run left them (calculated priors)
  bool declustered = false;                // "Declus.asc" was written
  std::vector<std::filesystem::path> written;  // the result grids, tables and pictures
  std::vector<std::filesystem::path> geotiffs;  // the GeoTIFFs written after them
  std::vector<std::string> independence;   // the conditional-independence lines
  std::vector<WeightsRow> weights;         // per class of every classified grid, as in "Weights.csv"
};

// "c: Map Bayesian probability of occurrence": the plain run or the uncertainty run, the weights
// of evidence (file and log), then the GeoTIFFs when asked for. Refuses (after a message) when a result would replace an input.
// `picture` is filled with `face` first and ends holding the log10 map. The prior fields of
// `options` follow the run as it goes, so they show calculated priors even when a later part of
// the run stops it.
MapResult Map(Session& session, MapOptions& options, Canvas& picture, Rgb face);

// Why the `map` command stopped before (or while) mapping.
enum class MapRefusal {
  None,
  Unmappable,    // the configuration cannot be mapped (or the run stopped after a message)
  Contradicting, // the options contradict the configuration (a usage error)
};

// The `map` command: load, audit, final submission and the map.
struct MapCommandResult {
  MapRefusal refusal = MapRefusal::None;
  AuditResult audit;
  MapResult map;
};
MapCommandResult MapConfiguration(Session& session, const std::filesystem::path& config, MapOptions options);

// The prior controls as a user sets them before a run: the choice, then each typed field left in
// turn (a field's complement goes into the other).
PriorControls PriorControlsFrom(PriorKind kind, const std::optional<std::string>& textP,
                                const std::optional<std::string>& textA, Workspace& ws);

}  // namespace karvelo
