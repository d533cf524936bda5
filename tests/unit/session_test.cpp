// The workflow session: one run from its opening to its close, the steps' typed results and the one
// error policy, with the process's own folder left untouched.
#include <gtest/gtest.h>

#include <new>

#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/numfmt.h"
#include "core/outputnames.h"
#include "test_support.h"
#include "workflow/configure.h"
#include "workflow/mapping.h"
#include "workflow/session.h"

namespace karvelo {
namespace {

namespace fs = std::filesystem;
using test::RecordingShell;
using test::TempDir;

std::vector<std::string> Entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  return names;
}

// The example's configuration: observations and two classified grids.
std::vector<ConfigEntry> ExampleEntries(const fs::path& work) {
  const fs::path examples = fs::path(KARVELO_EXAMPLES) / "meuse";
  for (const char* name : {"obs.asc", "dist.asc", "ffreq.asc"}) fs::copy_file(examples / name, work / name);
  std::vector<ConfigEntry> entries(3);
  entries[0].observation = true;
  entries[0].path = (work / "obs.asc").string();
  entries[0].presence = "1";
  entries[0].absence = "0";
  entries[1].path = (work / "dist.asc").string();
  entries[2].path = (work / "ffreq.asc").string();
  entries[2].bounds = {"1", "2", "3", "4"};
  entries[2].classes = 3;
  return entries;
}

// A whole run through the session's steps, started in an empty process folder: every file lands in
// the session's folder, the stages follow the steps, and the close leaves the log and nothing of
// the run's own.
TEST(SessionTest, AWholeRunWritesOnlyIntoItsFolder) {
  TempDir work, process;
  const fs::path previous = fs::current_path();
  fs::current_path(process.path());
  {
    RecordingShell reporter;
    Session session(reporter);
    SessionOptions options;
    options.folder = work.path();
    options.seed = 7;
    ASSERT_TRUE(session.Open(options));
    EXPECT_EQ(session.CurrentStage(), Stage::Start);

    // A second run in the same folder is refused while this one holds it.
    RecordingShell otherReporter;
    Session other(otherReporter);
    EXPECT_FALSE(other.Open(options));
    ASSERT_EQ(otherReporter.messages.size(), 1u);
    EXPECT_NE(otherReporter.messages[0].find("Another Karvelo run is using the folder"), std::string::npos);

    const fs::path config = work.path() / "case.txt";
    ASSERT_EQ(session.RunStep("the configuration", [&] { ASSERT_TRUE(Configure(session, ExampleEntries(work.path()), config)); }),
              StepOutcome::Done);
    EXPECT_EQ(session.CurrentStage(), Stage::Configured);

    MapOptions map;
    map.uncertainty = false;
    map.priors = PriorControlsFrom(PriorKind::Frequency, std::nullopt, std::nullopt, session.Ws());
    MapCommandResult result;
    ASSERT_EQ(session.RunStep("the mapping run", [&] { result = MapConfiguration(session, config, map); }), StepOutcome::Done);
    EXPECT_EQ(result.refusal, MapRefusal::None);
    EXPECT_EQ(session.CurrentStage(), Stage::Submitted);
    ASSERT_TRUE(result.map.mapped);
    // The audit's typed result holds a test per classified grid, the map's its files.
    EXPECT_EQ(result.audit.tests.size(), 2u);
    ASSERT_FALSE(result.map.written.empty());
    for (const fs::path& f : result.map.written) {
      EXPECT_EQ(f.parent_path(), work.path()) << f;
      EXPECT_TRUE(fs::is_regular_file(f)) << f;
    }
    // Calculated priors come back as the run left them, adding up to one.
    EXPECT_NEAR(ParseReal(result.map.priors.textP).value_or(0) + ParseReal(result.map.priors.textA).value_or(0), 1.0, 1e-6);
    // Only results were shown (the audit's summary), no refusal or failure.
    for (std::size_t m = 0; m < reporter.kinds.size(); ++m) {
      EXPECT_EQ(reporter.kinds[m], MessageKind::Information) << reporter.messages[m];
    }
    ASSERT_TRUE(session.Close(false));
  }
  fs::current_path(previous);
  EXPECT_TRUE(Entries(process.path()).empty()) << ::testing::PrintToString(Entries(process.path()));
  EXPECT_TRUE(fs::is_regular_file(work.path() / "Karvelo.log"));
  EXPECT_FALSE(fs::exists(work.path() / kWorkFolderName));
  EXPECT_FALSE(fs::exists(work.path() / kLockFileName));
}

// The one error policy: a file error and a lack of memory fail the step with their message, a
// cancel stops it silently; a staged step's results go in place only when it is done.
TEST(SessionTest, StepsEndUnderOnePolicy) {
  TempDir work;
  RecordingShell reporter;
  Session session(reporter);
  SessionOptions options;
  options.folder = work.path();
  ASSERT_TRUE(session.Open(options));
  const fs::path result = work.path() / "result.txt";
  auto writeResult = [&](const std::string& text) {
    AtomicFile f(result);
    f.Write(text.data(), text.size());
    f.Commit();
  };

  EXPECT_EQ(session.RunStep("writing", [&] { writeResult("first"); }), StepOutcome::Done);
  EXPECT_EQ(test::ReadFile(result), "first");

  EXPECT_EQ(session.RunStep("writing", [&] {
    writeResult("second");
    session.Run().RequestCancel();
    session.Run().ThrowIfCancelled();
  }), StepOutcome::Cancelled);
  session.Run().ClearCancel();
  EXPECT_EQ(test::ReadFile(result), "first");
  EXPECT_TRUE(reporter.messages.empty());

  EXPECT_EQ(session.RunStep("the audit", [&] { throw std::bad_alloc(); }), StepOutcome::Failed);
  ASSERT_EQ(reporter.messages.size(), 1u);
  EXPECT_EQ(reporter.messages[0].rfind("Not enough memory for the audit", 0), 0u) << reporter.messages[0];

  EXPECT_EQ(session.RunStep("reading", [&] { ThrowFileError(work.path() / "grid.asc", "cannot read the file"); }),
            StepOutcome::Failed);
  ASSERT_EQ(reporter.messages.size(), 2u);
  EXPECT_NE(reporter.messages[1].find("grid.asc"), std::string::npos);
  EXPECT_EQ(reporter.kinds[1], MessageKind::Error);
  EXPECT_TRUE(session.Close(false));
}

}  // namespace
}  // namespace karvelo
