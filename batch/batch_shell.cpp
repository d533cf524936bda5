// Messages of headless runs.
#include "batch/batch_shell.h"

#include <algorithm>

#include "batch/jsonwriter.h"
#include "core/textsafe.h"

namespace karvelo {

void BatchShell::UseJsonProgress(std::string step) {
  json_ = true;
  progress_ = false;
  command_ = std::move(step);
}

void BatchShell::status1(std::string_view text) { part_ = text; }

void BatchShell::status2(std::string_view text) {
  status_ = text;
  percent_ = -1;
  if (json_) {
    JsonLine(status_, nullptr);
    percent_ = Percent();
  }
  if (shown_) DrawProgress();
}

int BatchShell::Percent() const {
  const int span = max_ - min_;
  if (span <= 0 || position_ <= min_) return 0;
  return static_cast<int>(100LL * (std::min(position_, max_) - min_) / span);
}

void BatchShell::JsonLine(std::string_view message, const char* kind) {
  JsonWriter line;
  line.BeginObject().Key("step").String(part_.empty() ? command_ : part_);
  line.Key("percent").Integer(Percent()).Key("message").String(message);
  if (kind) line.Key("kind").String(kind);
  line.EndObject();
  err_ << line.Text() << '\n';
  err_.flush();
}

void BatchShell::gaugeRange(int minimum, int maximum) {
  min_ = minimum;
  max_ = maximum;
}

void BatchShell::gaugeProgress(int progress) {
  position_ = progress;
  if (json_) {
    // A line when the percentage changes, not for every row.
    if (progress > min_ && Percent() != percent_) {
      percent_ = Percent();
      JsonLine(status_, nullptr);
    }
    return;
  }
  // A step sets the gauge back to its start when it ends: no line then.
  if (progress <= min_) {
    ClearProgress();
    return;
  }
  DrawProgress();
}

void BatchShell::DrawProgress() {
  if (!progress_) return;
  const int percent = Percent();
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

void BatchShell::message(std::string_view text, MessageKind kind) {
  shownMessages.emplace_back(kind, std::string(text));
  if (json_) {
    JsonLine(text, kind == MessageKind::Information ? "information" : kind == MessageKind::Error ? "error" : "warning");
    return;
  }
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
