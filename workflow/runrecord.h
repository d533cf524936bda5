// What a run did, step by step, as typed results: the input of the run report.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "audit/audit.h"
#include "config/proposals.h"
#include "core/datadef.h"
#include "workflow/insight.h"
#include "workflow/mapping.h"
#include "workflow/validation.h"

namespace karvelo {

// One mapping run with the choices it was made with.
struct MapStepRecord {
  MapOptions options;
  MapResult result;
};

// One evaluation: the points, the map they were looked up on, what the lookup kept and dropped.
struct EvaluationRecord {
  std::filesystem::path points;
  TDataDef map;
  std::string lookup;  // the lookup's report line
  int recordsKept = 0;
  EvaluationOptions options;
  std::array<int, 3> columns{};  // x, y and code, counted from 1
  EvaluationResult result;
};

// A picture of the effect of one grid's classes on the probability.
struct EffectPicture {
  std::string grid;
  std::string caption;
  std::filesystem::path picture;
};

struct RunRecord {
  std::optional<std::uint32_t> seed;      // the seed every random step of the run starts from
  std::vector<std::string> commands;      // karvelo-batch lines that repeat the run
  std::optional<std::filesystem::path> configuration;
  std::map<std::string, Proposal> proposals;  // by grid file: how its class bounds were proposed
  std::vector<TDataDef> grids;            // the configuration as the last audit counted it
  std::optional<AuditResult> audit;
  std::vector<MapStepRecord> maps;
  std::vector<EvaluationRecord> evaluations;
  std::string lastLookup;                 // the report line of the last lookup, for its evaluation
  // Filled by the steps that have them; the report leaves out what is absent.
  std::optional<CrossValidationResult> crossValidation;
  std::optional<ImportanceResult> importance;
  std::vector<EffectPicture> effects;

  // Whether the run made or evaluated a map, or audited one: what earns a report.
  bool HasResults() const { return audit.has_value() || !maps.empty() || !evaluations.empty(); }
};

// The command-line names of the evidence levels ("all", "vweak", ...).
const char* EvidenceOptionName(EvidenceLevel level);

// The karvelo-batch lines that repeat what a window run did: the map runs on the saved
// configuration and the evaluations, each in `folder` with the run's seed.
std::vector<std::string> RepeatCommands(const RunRecord& record, const std::filesystem::path& folder);

// A word for a shell: as it is when it holds only safe characters, else in single quotes.
std::string ShellQuoted(const std::string& word);

}  // namespace karvelo
