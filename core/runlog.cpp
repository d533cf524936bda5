// The run log and the work-file list.
#include "core/runlog.h"

#include <system_error>

#include "core/textwriter.h"
#include "karvelo_version.h"

namespace karvelo {

void RunLog::Append(std::string_view text) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t nl = text.find('\n', start);
    std::string_view line = text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines_.emplace_back(line);
    if (nl == std::string_view::npos) break;
    start = nl + 1;
  }
}

std::string CreditLine() {
  return std::string("Karvelo ") + KARVELO_VERSION_TEXT +
         ": naive-Bayes probability mapping with chi-squared class tests, by the Karvelo developers";
}

std::string LocalDateTimeText(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char date[128], time[128];
  if (std::strftime(date, sizeof date, "%x", &local) == 0) date[0] = '\0';
  if (local.tm_hour == 0 && local.tm_min == 0 && local.tm_sec == 0) return date;
  if (std::strftime(time, sizeof time, "%X", &local) == 0) time[0] = '\0';
  return std::string(date) + " " + time;
}

void StartRunLog(RunLog& log, std::time_t now) {
  log.Clear();
  log.Append(kMainCaption);
  log.Append(CreditLine());
  log.Append(std::string(60, '-'));
  log.Append("Starting Karvelo run at " + LocalDateTimeText(now));
}

void EndRunLog(RunLog& log, std::time_t now) { log.Append("End of Karvelo run at " + LocalDateTimeText(now)); }

void WriteLogFile(const RunLog& log, const std::filesystem::path& path) {
  TextWriter out(path);
  for (const std::string& line : log.Lines()) out.WriteLine(line);
  out.Close();
}

int DeleteWorkFiles(const RunLog& log) {
  int deleted = 0;
  for (const auto& path : log.WorkFiles()) {
    std::error_code ec;
    if (std::filesystem::remove(path, ec)) ++deleted;
  }
  return deleted;
}

}  // namespace karvelo
