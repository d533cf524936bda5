// One run of Karvelo: its folder, lock, log, workspace and tables, and the steps' common error policy.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/runcontext.h"
#include "core/runlog.h"
#include "core/runtables.h"
#include "core/shell.h"
#include "core/workspace.h"

namespace karvelo {

struct RunRecord;

// Where a run stands in the four steps; the window enables its buttons from it.
enum class Stage {
  Start,       // nothing configured yet
  Configured,  // a configuration was saved or loaded
  Audited,     // the audit counted and tested it
  Submitted,   // the final submission wrote the class files: mapping may start
};

struct SessionOptions {
  std::filesystem::path folder;                 // the working folder (results, log, work folder)
  std::optional<std::uint32_t> seed;            // replaces the clock wherever a run draws
  std::optional<unsigned> threads;              // default: one per core
  std::shared_ptr<std::atomic<bool>> cancel;    // a signal handler's flag; default: a fresh one
};

// How a step ended, after the session's one error policy: a file error, a full disk or a lack of
// memory is the step's failure (its message shown), a cancel or an interrupt its stop.
enum class StepOutcome { Done, Failed, Cancelled };

class Session {
 public:
  // `reporter` is the driver's: status panels, gauge, messages and dialogs. The session keeps the
  // log and the work-file list itself.
  explicit Session(Shell& reporter);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Takes the working folder's lock, removes what a killed run left there and starts the log.
  // False after a message (another run holds the folder, or it cannot be written).
  bool Open(const SessionOptions& options, std::time_t now = std::time(nullptr));
  // Ends the run: the closing line, Karvelo.log written into the working folder, the work files
  // and folder removed (unless kept), the lock released. `afterLog` runs once the log is written,
  // while the folder is still locked. False when the log (or afterLog) failed, after its message;
  // the rest is done all the same. Only the first call after Open acts.
  bool Close(bool keepWorkFiles, const std::function<void()>& afterLog = {}, std::time_t now = std::time(nullptr));
  // Ends an interrupted run: work files removed, the log and every result left as they were.
  void Abandon(bool keepWorkFiles);
  bool IsOpen() const { return open_; }

  // Runs one user step under the common policy. Its results are put in place together when it ends
  // (also when it fails: each file it finished is whole); a stop leaves every earlier result as it
  // was. `name` names the step in the message when memory runs out. Unstaged, each result is put in
  // place as it is finished (a dialog whose every drawing is a result of its own).
  StepOutcome RunStep(const std::string& name, const std::function<void()>& step, bool staged = true);

  RunContext& Run() { return run_; }
  const RunContext& Run() const { return run_; }
  Workspace& Ws() { return *workspace_; }
  const Workspace& Ws() const { return *workspace_; }
  RunTables& Tables() { return tables_; }
  const RunTables& Tables() const { return tables_; }
  RunLog& Log() { return log_; }
  // What the steps did, as typed results, for the run report.
  RunRecord& Record() { return *record_; }
  const RunRecord& Record() const { return *record_; }
  // What the steps report to: the driver's reporter with this session's log and run.
  Shell& Reporter();

  Stage CurrentStage() const { return stage_; }
  void SetStage(Stage stage) { stage_ = stage; }
  // Throws away the work files of a step that did not finish; the audit must come again.
  void DiscardWorkFiles();

 private:
  class SessionShell;
  RunContext run_;
  std::unique_ptr<Workspace> workspace_;
  RunTables tables_;
  RunLog log_;
  std::unique_ptr<RunRecord> record_;
  std::unique_ptr<SessionShell> shell_;
  FolderLock lock_;
  bool open_ = false;
  Stage stage_ = Stage::Start;
};

}  // namespace karvelo
