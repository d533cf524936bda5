// The run report: one self-contained HTML page of what a run did, with its figures' data beside it.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/runtables.h"
#include "core/shell.h"
#include "workflow/runrecord.h"
#include "workflow/session.h"

namespace karvelo {

inline constexpr const char* kReportFile = "Karvelo report.html";
inline constexpr const char* kReportFilesFolder = "Karvelo report files";

// Who made the run and how to make it again.
struct ReportIdentity {
  std::string version;
  std::string date;  // ISO 8601
  std::filesystem::path folder;
  unsigned threads = 1;
  std::optional<std::uint32_t> seed;
  std::vector<std::string> commands;  // karvelo-batch lines that repeat the run
};

// One input file as the report lists it.
struct ReportInputFile {
  std::filesystem::path path;
  std::string role;
  std::uintmax_t bytes = 0;
  std::string header;      // the grid header's values, or the points' columns
  std::string projection;  // the .prj text, or a word that there is none
  std::string sha256;
};

// A figure's data, written as "<kReportFilesFolder>/<name>".
struct ReportDataFile {
  std::string name;
  std::string csv;
};

struct ReportDocument {
  std::string html;
  std::vector<ReportDataFile> data;
  std::vector<ReportInputFile> inputs;
};

// Every input of the recorded steps, read from disk (size, header, projection, checksum).
std::vector<ReportInputFile> ReportInputs(const RunRecord& record);

// The page and its figures' data. Pictures are read from the files the steps wrote; a missing one
// is named in the page instead. `shell` reports a grid that cannot be read.
ReportDocument BuildRunReport(const ReportIdentity& identity, const RunRecord& record, const RunTables& tables, Shell& shell);

// The run's identity in the log: version, seed, the commands that repeat it, the inputs' checksums.
std::vector<std::string> RunIdentityLines(const ReportIdentity& identity, const std::vector<ReportInputFile>& inputs);

// Writes the report of the session's run into its working folder (when a step audited, made or
// evaluated a map) and logs the run's identity. A report that cannot be written is a warning
// (shown, logged); the run's results stay. Returns the report written, or nothing.
// `commands` replaces the lines made from the recorded steps (a batch run's own command line).
std::optional<std::filesystem::path> WriteRunReport(Session& session, const std::vector<std::string>& commands = {},
                                                    std::time_t now = std::time(nullptr));

}  // namespace karvelo
