// The result file of `--result-json`: what a command wrote, its statistics as typed fields, its
// warnings and its exit status.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/shell.h"
#include "workflow/insight.h"
#include "workflow/mapping.h"
#include "workflow/validation.h"

namespace karvelo {

// What one command hands on to the result file besides its exit status.
struct CommandReport {
  std::vector<std::filesystem::path> files;  // every result it put in place
  std::optional<std::string> results;        // a JSON object of its statistics
};

// The statistics of each command as a JSON object.
std::string AuditJson(const AuditResult& audit);
std::string MapJson(const MapCommandResult& result, double priorP, double priorA, bool uncertainty);
std::string ValidationJson(const ValidationRun& run);
std::string CrossValidationJson(const CrossValidationResult& result);
std::string ImportanceJson(const ImportanceResult& result);

struct ResultFile {
  std::string command;
  int status = 0;
  std::string outcome;  // "done", "failed", "interrupted" or "usage"
  const CommandReport* report = nullptr;
  std::vector<std::pair<MessageKind, std::string>> messages;
  std::optional<std::string> message;  // why the command failed, when it did
};
std::string ResultFileText(const ResultFile& file);

// Writes the text whole or not at all (AtomicFile); false after a line on `err` naming the file.
bool WriteResultFile(const std::filesystem::path& path, const std::string& text, std::ostream& err);

}  // namespace karvelo
