// Opening and closing a run, and the error policy every step runs under.
#include "workflow/session.h"

#include <new>
#include <optional>

#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/memory.h"
#include "core/random.h"
#include "workflow/runrecord.h"

namespace karvelo {

// The driver's reporter, with the log and the work files kept by the session.
class Session::SessionShell : public ForwardingShell {
 public:
  SessionShell(Shell& inner, Session& session) : ForwardingShell(inner), session_(session) {}
  void log(std::string_view line) override { session_.log_.Append(line); }
  void registerWorkFile(const std::filesystem::path& path) override { session_.log_.RegisterWorkFile(path); }
  RunContext& run() override { return session_.run_; }

 private:
  Session& session_;
};

Session::Session(Shell& reporter)
    : workspace_(std::make_unique<Workspace>()), record_(std::make_unique<RunRecord>()), shell_(std::make_unique<SessionShell>(reporter, *this)) {
  LayOutRunTables(tables_);
}

Session::~Session() = default;

Shell& Session::Reporter() { return *shell_; }

bool Session::Open(const SessionOptions& options, std::time_t now) {
  run_.SetFolder(options.folder);
  if (options.threads) run_.SetThreads(*options.threads);
  if (options.cancel) run_.UseCancelFlag(options.cancel);
  // A run without a seed takes one from the clock once, so that every random step of it starts
  // from the same seed and --seed with that number repeats the whole run.
  if (options.seed) {
    workspace_->FixedSeed = options.seed;
  } else {
    RandomGenerator clock;
    clock.Randomize(std::nullopt);
    workspace_->FixedSeed = clock.Seed();
  }
  record_->seed = workspace_->FixedSeed;
  // One run per working folder: a second one would share the work files and the results.
  try {
    if (!lock_.TryLock(options.folder)) {
      shell_->message(FolderInUseMessage(options.folder));
      return false;
    }
  } catch (const FileError& e) {
    shell_->message(e.what());
    return false;
  }
  // Holding the lock, whatever a killed run left here is nobody's any more.
  run_.RemoveLeftovers();
  StartRunLog(log_, now);
  open_ = true;
  return true;
}

void Session::Abandon(bool keepWorkFiles) {
  if (!open_) return;
  open_ = false;
  if (!keepWorkFiles) {
    DeleteWorkFiles(log_);
    run_.RemoveWorkFolder();
  }
  lock_.Unlock();
}

bool Session::Close(bool keepWorkFiles, const std::function<void()>& afterLog, std::time_t now) {
  if (!open_) return true;
  EndRunLog(log_, now);
  bool written = true;
  // A log that cannot be written is reported, and the run still ends: the work files go all the same.
  try {
    WriteLogFile(log_, run_.Output(kLogFileName));
    shell_->message(std::string("Logfile saved to ") + kLogFileName, MessageKind::Information);
    if (afterLog) afterLog();
  } catch (const FileError& e) {
    shell_->message(e.what(), MessageKind::Error);
    written = false;
  } catch (const std::filesystem::filesystem_error& e) {
    shell_->message(e.what(), MessageKind::Error);
    written = false;
  }
  Abandon(keepWorkFiles);
  return written;
}

StepOutcome Session::RunStep(const std::string& name, const std::function<void()>& step, bool staged) {
  StepOutcome outcome = StepOutcome::Done;
  bool outOfMemory = false;
  std::optional<ResultStage> results;
  if (staged) results.emplace(run_.WorkFolder());
  try {
    step();
  } catch (const FileError& e) {
    shell_->message(e.what(), MessageKind::Error);
    outcome = StepOutcome::Failed;
  } catch (const std::filesystem::filesystem_error& e) {
    shell_->message(e.what(), MessageKind::Error);
    outcome = StepOutcome::Failed;
  } catch (const Cancelled&) {
    outcome = StepOutcome::Cancelled;
  } catch (const std::bad_alloc&) {
    outOfMemory = true;
    outcome = StepOutcome::Failed;
  }
  if (outcome == StepOutcome::Cancelled || outOfMemory) {
    if (results) results->Abandon();
    if (outOfMemory) shell_->message(OutOfMemoryMessage(name), MessageKind::Error);
    return outcome;
  }
  if (!results) return outcome;
  try {
    results->Commit();
  } catch (const FileError& e) {
    shell_->message(e.what(), MessageKind::Error);
    outcome = StepOutcome::Failed;
  }
  return outcome;
}

void Session::DiscardWorkFiles() {
  DeleteWorkFiles(log_);
  log_.ClearWorkFiles();
  run_.RemoveWorkFolder();
  stage_ = workspace_->DataDefCount > 0 ? Stage::Configured : Stage::Start;
}

}  // namespace karvelo
