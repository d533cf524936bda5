// The run: its log lines, its work-file list, and what happens at its start and its end.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace karvelo {

inline constexpr const char* kMainCaption =
    "Karvelo: A program to map the probability of occurrence of events using observations and auxiliary grid data";
inline constexpr const char* kLogFileName = "Karvelo.log";

class RunLog {
 public:
  // Appends text; a text with line breaks becomes several lines.
  void Append(std::string_view text);
  void Clear() { lines_.clear(); }
  const std::vector<std::string>& Lines() const { return lines_; }

  void RegisterWorkFile(const std::filesystem::path& path) { workFiles_.push_back(path); }
  void ClearWorkFiles() { workFiles_.clear(); }
  const std::vector<std::filesystem::path>& WorkFiles() const { return workFiles_; }

 private:
  std::vector<std::string> lines_;
  std::vector<std::filesystem::path> workFiles_;
};

// The line that credits the method, with the program's version.
std::string CreditLine();

// Local date in the user's short date format, a blank and the time in the long time format (the
// C library's LC_TIME); at exactly midnight the time is left out.
std::string LocalDateTimeText(std::time_t when);

// Clears the log and writes its four opening lines.
void StartRunLog(RunLog& log, std::time_t now);
// Appends the closing line.
void EndRunLog(RunLog& log, std::time_t now);
// Writes every line with CR LF to path, replacing the file. Throws FileError.
void WriteLogFile(const RunLog& log, const std::filesystem::path& path);
// Deletes each listed file that exists, first to last; failures are ignored. Returns how many
// files were deleted.
int DeleteWorkFiles(const RunLog& log);

}  // namespace karvelo
