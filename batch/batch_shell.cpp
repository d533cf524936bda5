// Messages of headless runs.
#include "batch/batch_shell.h"

namespace karvelo {

void BatchShell::message(std::string_view text) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t nl = text.find('\n', start);
    std::string_view line = text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    err_ << "karvelo: " << line << '\n';
    if (nl == std::string_view::npos) break;
    start = nl + 1;
  }
  err_.flush();
}

std::optional<std::filesystem::path> BatchShell::chooseFile(const FileDialogRequest& request) {
  auto it = dialogAnswers.find(request.title);
  if (it == dialogAnswers.end()) return std::nullopt;
  return it->second;
}

}  // namespace karvelo
