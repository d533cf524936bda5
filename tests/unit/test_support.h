// Shared helpers of the engine tests: a recording Shell, temporary folders and small grid files.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <memory>

#include "core/datadef.h"
#include "core/runlog.h"
#include "core/runtables.h"
#include "core/shell.h"
#include "core/workspace.h"

namespace karvelo::test {

// The folder of the scratch-folder test that runs now (empty outside one): where a recording Shell
// made in its body puts its results.
const std::filesystem::path& ScratchFolder();
void SetScratchFolder(std::filesystem::path folder);

// Records everything a step tells its driver; dialogs are answered from `answers` by title.
class RecordingShell : public Shell {
 public:
  RecordingShell() {
    if (!ScratchFolder().empty()) run().SetFolder(ScratchFolder());
  }
  void status1(std::string_view t) override { status1Text = t; }
  void status2(std::string_view t) override { status2Texts.emplace_back(t); }
  void refresh() override { ++refreshes; }
  void gaugeRange(int lo, int hi) override { gaugeMin = lo, gaugeMax = hi; }
  void gaugeProgress(int p) override { progress.push_back(p); }
  // Split at line breaks, as the run log does.
  void log(std::string_view line) override {
    RunLog split;
    split.Append(line);
    logLines.insert(logLines.end(), split.Lines().begin(), split.Lines().end());
  }
  void registerWorkFile(const std::filesystem::path& p) override { workFiles.push_back(p); }
  void message(std::string_view text, MessageKind kind = MessageKind::Warning) override {
    messages.emplace_back(text);
    kinds.push_back(kind);
  }
  // Records the question among the messages; answered from `askAnswers` in turn, then `fallback`.
  std::size_t ask(std::string_view text, const std::vector<std::string>& buttons, std::size_t fallback) override {
    messages.emplace_back(text);
    questions.push_back({std::string(text), buttons});
    if (askAnswers.empty()) return fallback;
    const std::size_t answer = askAnswers.front();
    askAnswers.erase(askAnswers.begin());
    return answer;
  }
  std::optional<std::filesystem::path> chooseFile(const FileDialogRequest& r) override {
    auto it = answers.find(r.title);
    if (it == answers.end()) return std::nullopt;
    return it->second;
  }

  std::string status1Text;
  std::vector<std::string> status2Texts;
  int refreshes = 0;
  int gaugeMin = -1, gaugeMax = -1;
  std::vector<int> progress;
  std::vector<std::string> logLines;
  std::vector<std::filesystem::path> workFiles;
  std::vector<std::string> messages;
  std::vector<MessageKind> kinds;
  struct Question {
    std::string text;
    std::vector<std::string> buttons;
  };
  std::vector<Question> questions;
  std::vector<std::size_t> askAnswers;
  std::map<std::string, std::filesystem::path> answers;
};

// The seed of a randomised test: $KARVELO_TEST_SEED when set (to replay a failure), else the same
// fixed seed on every run. Tests print it with SCOPED_TRACE(SeedTrace(seed)).
unsigned TestSeed();
std::string SeedTrace(unsigned seed);

// A fresh folder below the system's temporary folder, removed with its contents at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& p, const std::string& content);
std::string ReadFile(const std::filesystem::path& p);

// A grid file text with the standard header and the given rows (values joined by blanks).
std::string GridText(int ncols, int nrows, const std::vector<std::vector<std::string>>& rows,
                     const std::string& nodata = "-9999", double xll = 0, double yll = 0, double cellsize = 1);

// A test that works in a fresh folder as its working directory (where the steps write their
// files), with a workspace, the run's tables and the critical values.
class ScratchFolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes a grid of the given rows (as many columns as the first row) and reads its header and
  // range as picking it on tab 1 does.
  TDataDef Grid(const std::string& name, const std::vector<std::vector<std::string>>& rows);
  // Gives an entry classes with these bounds (and no counts).
  static void SetClasses(TDataDef& d, const std::vector<std::pair<double, double>>& bounds);

  TempDir dir;
  std::filesystem::path previous;
  RecordingShell shell;
  std::unique_ptr<Workspace> ws = std::make_unique<Workspace>();
  RunTables tables;
};

}  // namespace karvelo::test
