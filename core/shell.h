// What a running step may ask of whoever drives it: the window, the batch tool or a test.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/runcontext.h"

namespace karvelo {

// A file dialog a step opens; the window shows one, the batch tool and tests answer with a path.
struct FileDialogRequest {
  bool save = false;          // a save dialog, else an open dialog
  std::string title;
  std::string filter;         // "Ascii grid (*.asc)|*.asc|All files (*.*)|*.*" style pairs
  std::string defaultExt;
  std::string initialDir;
  std::string fileName;       // proposed name
};

// How a message box presents a message: a result or information, a refusal or warning, or a
// failure (a file that could not be read or written). The text never depends on it.
enum class MessageKind { Information, Warning, Error };

class Shell {
 public:
  virtual ~Shell() = default;
  virtual void status1(std::string_view text) = 0;
  virtual void status2(std::string_view text) = 0;
  virtual void refresh() = 0;                         // GeneralRefresh: let pending events run
  virtual void gaugeRange(int minimum, int maximum) = 0;
  virtual void gaugeProgress(int progress) = 0;
  virtual void log(std::string_view line) = 0;        // one line (or several, split at line breaks)
  virtual void registerWorkFile(const std::filesystem::path& path) = 0;
  // Waits for acknowledgement. Most messages refuse a step, so that is the default; a result
  // says it is Information. Overrides repeat this default.
  virtual void message(std::string_view text, MessageKind kind = MessageKind::Warning) = 0;
  // A message with a choice of buttons (captions); returns the index of the one pressed. A driver
  // with nobody to ask shows the text as a message and answers `fallback`.
  virtual std::size_t ask(std::string_view text, const std::vector<std::string>& buttons, std::size_t fallback) = 0;
  virtual std::optional<std::filesystem::path> chooseFile(const FileDialogRequest& request) = 0;

  // The run this step belongs to: where its results and its work files go, and its cancel flag.
  virtual RunContext& run() { return run_; }
  // Every long loop reports its row here: the gauge moves, and a stop that was asked for ends the
  // step at this row (Cancelled), so that no step goes on for long after a cancel or an interrupt.
  void row(int progress) {
    gaugeProgress(progress);
    run().ThrowIfCancelled();
  }

 private:
  RunContext run_;
};

// Drops every report and answers no dialog: for runs where nobody watches (benchmarks, fuzzing).
// It counts the messages, so a caller can still tell that a step stopped with one.
class SilentShell : public Shell {
 public:
  void status1(std::string_view) override {}
  void status2(std::string_view) override {}
  void refresh() override {}
  void gaugeRange(int, int) override {}
  void gaugeProgress(int) override {}
  void log(std::string_view) override {}
  void registerWorkFile(const std::filesystem::path&) override {}
  void message(std::string_view, MessageKind = MessageKind::Warning) override { ++messages; }
  std::size_t ask(std::string_view, const std::vector<std::string>&, std::size_t fallback) override {
    ++messages;
    return fallback;
  }
  std::optional<std::filesystem::path> chooseFile(const FileDialogRequest&) override { return std::nullopt; }
  int messages = 0;
};

// Passes every report on to another Shell; a window that must add to one report (repaint its own
// picture, say) overrides just that one.
class ForwardingShell : public Shell {
 public:
  explicit ForwardingShell(Shell& inner) : inner_(inner) {}
  void status1(std::string_view text) override { inner_.status1(text); }
  void status2(std::string_view text) override { inner_.status2(text); }
  void refresh() override { inner_.refresh(); }
  void gaugeRange(int minimum, int maximum) override { inner_.gaugeRange(minimum, maximum); }
  void gaugeProgress(int progress) override { inner_.gaugeProgress(progress); }
  void log(std::string_view line) override { inner_.log(line); }
  void registerWorkFile(const std::filesystem::path& path) override { inner_.registerWorkFile(path); }
  void message(std::string_view text, MessageKind kind = MessageKind::Warning) override { inner_.message(text, kind); }
  std::size_t ask(std::string_view text, const std::vector<std::string>& buttons, std::size_t fallback) override {
    return inner_.ask(text, buttons, fallback);
  }
  std::optional<std::filesystem::path> chooseFile(const FileDialogRequest& request) override {
    return inner_.chooseFile(request);
  }
  RunContext& run() override { return inner_.run(); }

 private:
  Shell& inner_;
};

}  // namespace karvelo
