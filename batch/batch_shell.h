// The reporter of the headless tool: messages to standard error, and a progress line on a terminal
// (or, for a program that drives it, one JSON object per line).
#pragma once

#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "core/shell.h"

namespace karvelo {

class BatchShell : public Shell {
 public:
  // With `progress`, long steps show one self-updating line (for a terminal).
  explicit BatchShell(std::ostream& err, bool progress = false) : err_(err), progress_(progress) {}
  ~BatchShell() override { ClearProgress(); }

  // Progress and messages as JSON lines: {"step": ..., "percent": N, "message": ...}; a message
  // adds "kind". `step` names the command until the step reports a part of its own.
  void UseJsonProgress(std::string step);

  void status1(std::string_view text) override;
  void status2(std::string_view text) override;
  void refresh() override {}
  void gaugeRange(int minimum, int maximum) override;
  void gaugeProgress(int progress) override;
  // The session keeps the log and the work files; a terminal shows neither.
  void log(std::string_view) override {}
  void registerWorkFile(const std::filesystem::path&) override {}
  // Each line of the text goes to standard error behind "karvelo: ".
  void message(std::string_view text, MessageKind kind = MessageKind::Warning) override;
  // Nobody answers on the command line: the text goes out as a message and `fallback` is taken.
  std::size_t ask(std::string_view text, const std::vector<std::string>&, std::size_t fallback) override {
    message(text);
    return fallback;
  }
  // Dialogs are answered from the command line: the path given for the dialog's title, if any.
  std::optional<std::filesystem::path> chooseFile(const FileDialogRequest& request) override;

  std::map<std::string, std::filesystem::path> dialogAnswers;  // by dialog title
  // Every message shown, in order, for the result file.
  std::vector<std::pair<MessageKind, std::string>> shownMessages;

 private:
  void DrawProgress();
  void ClearProgress();
  int Percent() const;
  void JsonLine(std::string_view message, const char* kind);
  std::ostream& err_;
  bool progress_;
  bool json_ = false;
  std::string command_, part_;
  bool shown_ = false;
  std::string status_;
  int min_ = 0, max_ = 0, position_ = 0, percent_ = -1;
};

}  // namespace karvelo
