// Messages of headless runs.
#include "batch/batch_shell.h"

#include "core/textsafe.h"

namespace karvelo {

void BatchShell::status2(std::string_view text) {
  status_ = text;
  percent_ = -1;
  if (shown_) DrawProgress();
}

void BatchShell::gaugeRange(int minimum, int maximum) {
  min_ = minimum;
  max_ = maximum;
}

void BatchShell::gaugeProgress(int progress) {
  position_ = progress;
  // A step sets the gauge back to its start when it ends: no line then.
  if (progress <= min_) {
    ClearProgress();
    return;
  }
  DrawProgress();
}

void BatchShell::DrawProgress() {
  if (!progress_) return;
  const int span = max_ - min_;
  const int percent = span > 0 ? static_cast<int>(100LL * (position_ - min_) / span) : 0;
  if (shown_ && percent == percent_) return;  // redraw only when something shows differently
  percent_ = percent;
  err_ << "\r\033[K" << status_ << ' ' << percent << '%';
  err_.flush();
  shown_ = true;
}

void BatchShell::ClearProgress() {
  if (!shown_) return;
  err_ << "\r\033[K";
  err_.flush();
  shown_ = false;
}

void BatchShell::message(std::string_view text, MessageKind) {
  ClearProgress();
  std::size_t start = 0;
  for (;;) {
    const std::size_t nl = text.find('\n', start);
    std::string_view line = text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // The last guard: whatever file text a message quotes, no control byte reaches the terminal.
    err_ << "karvelo: " << EscapeControl(line) << '\n';
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
