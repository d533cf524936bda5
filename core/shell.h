// What a running step may ask of whoever drives it: the window, the batch tool or a test.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

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
  virtual void message(std::string_view text) = 0;    // waits for acknowledgement
  virtual std::optional<std::filesystem::path> chooseFile(const FileDialogRequest& request) = 0;
};

}  // namespace karvelo
