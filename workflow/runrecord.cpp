// The command lines that repeat a run, from what its steps recorded.
#include "workflow/runrecord.h"

#include "core/numfmt.h"

namespace karvelo {

namespace fs = std::filesystem;

const char* EvidenceOptionName(EvidenceLevel level) {
  static constexpr const char* kNames[] = {"all", "vweak", "weak", "mod", "strong", "vstrong"};
  return kNames[static_cast<int>(level)];
}

std::string ShellQuoted(const std::string& word) {
  bool plain = !word.empty();
  for (char c : word) {
    const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
                      c == '.' || c == '/' || c == ':' || c == ',' || c == '=' || c == '+';
    if (!safe) plain = false;
  }
  if (plain) return word;
  std::string quoted = "'";
  for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

namespace {

std::string BinaryOptionText(const BinaryChoice& choice) {
  if (!choice.kind) return FormatShortest(choice.value);
  switch (*choice.kind) {
    case ThresholdKind::YoudenJ: return "youden";
    case ThresholdKind::EqualSensitivitySpecificity: return "equal";
    default: return "kappa";
  }
}

}  // namespace

std::vector<std::string> RepeatCommands(const RunRecord& record, const fs::path& folder) {
  std::string start = "karvelo-batch";
  if (record.seed) start += " --seed " + std::to_string(*record.seed);
  start += " --workdir " + ShellQuoted(folder.string());
  std::vector<std::string> lines;
  if (record.configuration) {
    const std::string config = ShellQuoted(record.configuration->string());
    if (record.maps.empty() && record.audit) lines.push_back(start + " audit " + config);
    for (const MapStepRecord& m : record.maps) {
      std::string line = start + " map " + config + " --prior " + PriorKindName(m.result.priors.choice);
      if (m.result.priors.choice == PriorKind::Manual) line += " --prior-p " + ShellQuoted(Trimmed(m.result.priors.textP));
      line += m.options.uncertainty ? " --uncertainty" : " --no-uncertainty";
      line += std::string(" --evidence ") + EvidenceOptionName(m.options.evidence);
      if (m.options.geotiff) line += " --geotiff";
      lines.push_back(line);
    }
  }
  for (const EvaluationRecord& e : record.evaluations) {
    std::string line = start + " validate " + ShellQuoted(e.points.string()) + " " + ShellQuoted(e.map.FileName);
    line += " --x " + std::to_string(e.columns[0]) + " --y " + std::to_string(e.columns[1]) + " --code " +
            std::to_string(e.columns[2]) + " --finds " + ShellQuoted(Trimmed(e.options.findsText));
    if (e.options.binary) line += " --binary " + BinaryOptionText(*e.options.binary);
    if (e.options.compare) line += " --compare " + ShellQuoted(e.options.compare->string());
    if (e.options.training && record.configuration) line += " --config " + ShellQuoted(record.configuration->string());
    lines.push_back(line);
  }
  return lines;
}

}  // namespace karvelo
