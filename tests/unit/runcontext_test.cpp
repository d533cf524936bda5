// A run's safety: outputs that appear whole or not at all, the folder lock, the work folder, cancel.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "audit/audit.h"
#include "audit/workfiles.h"
#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/runcontext.h"
#include "core/textwriter.h"
#include "mapping/bayesmap.h"
#include "render/qimage_canvas.h"
#include "test_support.h"

namespace karvelo {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// Every entry of a folder whose name is one of the writer's temporary names.
int TemporaryFilesIn(const fs::path& dir) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += IsTemporaryOutputName(e.path().filename().string());
  return n;
}

struct WriteLimit {
  explicit WriteLimit(long long bytes) { SetWriteLimit(bytes); }
  ~WriteLimit() { SetWriteLimit(-1); }
};

TEST(AtomicOutput, AppearsOnlyWhenClosed) {
  TempDir dir;
  WriteFile(dir / "BayesP.asc", "previous map\n");
  {
    TextWriter out(dir / "BayesP.asc");
    out.WriteLine("new map");
    // Until it is closed, the previous version is what a reader sees.
    EXPECT_EQ(ReadFile(dir / "BayesP.asc"), "previous map\n");
    EXPECT_EQ(TemporaryFilesIn(dir.path()), 1);
    out.Close();
  }
  EXPECT_EQ(ReadFile(dir / "BayesP.asc"), "new map\r\n");
  EXPECT_EQ(TemporaryFilesIn(dir.path()), 0);
}

TEST(AtomicOutput, AnUnfinishedFileLeavesThePreviousOneAndNoTrace) {
  TempDir dir;
  WriteFile(dir / "BayesP.asc", "previous map\n");
  // A step that stops half-way (an error or a cancel): the writer goes out of scope unclosed.
  try {
    TextWriter out(dir / "BayesP.asc");
    out.WriteLine("half a map");
    throw Cancelled();
  } catch (const Cancelled&) {
  }
  EXPECT_EQ(ReadFile(dir / "BayesP.asc"), "previous map\n");
  EXPECT_EQ(TemporaryFilesIn(dir.path()), 0);
}

TEST(AtomicOutput, AFullDiskIsAnErrorNamingTheFileAndChangesNothing) {
  TempDir dir;
  WriteFile(dir / "ValDataComplete.txt", "earlier records\n");
  {
    WriteLimit limit(1000);
    TextWriter out(dir / "ValDataComplete.txt");
    try {
      for (int i = 0; i < 300000; ++i) out.WriteLine("1 2 3 0.12345678");
      out.Close();
      ADD_FAILURE() << "no error";
    } catch (const FileError& e) {
      EXPECT_NE(std::string(e.what()).find("ValDataComplete.txt: cannot write the file"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(ReadFile(dir / "ValDataComplete.txt"), "earlier records\n");
  EXPECT_EQ(TemporaryFilesIn(dir.path()), 0);

  // Pictures go the same way.
  WriteFile(dir / "BayesP.bmp", "earlier picture");
  QImageCanvas picture(300, 300);
  {
    WriteLimit limit(500);
    EXPECT_THROW(picture.SaveBmp(dir / "BayesP.bmp"), FileError);
  }
  EXPECT_EQ(ReadFile(dir / "BayesP.bmp"), "earlier picture");
  picture.SaveBmp(dir / "BayesP.bmp");
  EXPECT_GT(fs::file_size(dir / "BayesP.bmp"), 300u * 300u * 3u);
  EXPECT_EQ(TemporaryFilesIn(dir.path()), 0);
}

TEST(AtomicOutput, AnUnwritableFolderIsAnErrorNamingTheFile) {
  TempDir dir;
  try {
    TextWriter out(dir / "missing-folder" / "BayesP.asc");
    ADD_FAILURE() << "no error";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("missing-folder/BayesP.asc: cannot create the file"), std::string::npos);
  }
}

// A step's results go in place together: a reader of the step sees them at once, the folder only at
// the commit, and an abandoned step leaves every earlier result (and a retired one) as it was.
TEST(ResultStage, PutsAStepsResultsInPlaceTogetherOrNotAtAll) {
  TempDir dir;
  WriteFile(dir / "BayesP.asc", "old map\n");
  WriteFile(dir / "BayesP.prj", "old projection");
  for (bool commit : {false, true}) {
    ResultStage stage(dir / "karvelo-work");
    TextWriter map(dir / "BayesP.asc");
    map.WriteLine(commit ? "new map" : "lost map");
    map.Close();
    RemoveOutput(dir / "BayesP.prj");
    fs::create_directories(dir / "karvelo-work");
    TextWriter work(dir / "karvelo-work" / "1-soil.txt");  // work files are put in place at once
    work.Close();
    EXPECT_TRUE(fs::exists(dir / "karvelo-work" / "1-soil.txt"));
    EXPECT_EQ(ReadFile(dir / "BayesP.asc"), "old map\n");
    EXPECT_EQ(ReadFile(ReadablePath(dir / "BayesP.asc")), commit ? "new map\r\n" : "lost map\r\n");
    EXPECT_FALSE(ExistsAfterCommit(dir / "BayesP.prj"));
    EXPECT_TRUE(ExistsAfterCommit(dir / "BayesP.asc"));
    if (commit) stage.Commit();
  }
  EXPECT_EQ(ReadFile(dir / "BayesP.asc"), "new map\r\n");
  EXPECT_FALSE(fs::exists(dir / "BayesP.prj"));
  EXPECT_EQ(TemporaryFilesIn(dir.path()), 0);
  EXPECT_EQ(ReadablePath(dir / "BayesP.asc"), dir / "BayesP.asc");  // no stage open any more
}

TEST(ResultStage, ARenameThatFailsGivesTheEarlierFilesBack) {
  TempDir dir;
  WriteFile(dir / "BayesP.asc", "old map\n");
  fs::create_directories(dir / "BayesP.prj" / "in-the-way");  // a folder no file can replace
  ResultStage stage;
  for (const char* name : {"BayesP.asc", "BayesP.prj"}) {
    TextWriter out(dir / name);
    out.WriteLine("new");
    out.Close();
  }
  try {
    stage.Commit();
    ADD_FAILURE() << "the commit went through";
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("BayesP.prj: cannot replace the file"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ReadFile(dir / "BayesP.asc"), "old map\n");
  EXPECT_EQ(TemporaryFilesIn(dir.path()), 0);
}

TEST(RunContext, LeftoversOfEndedRunsGoButNotThoseOfLiveOnes) {
  TempDir dir;
  const RunContext run(dir.path());
  // A pid far beyond any the system hands out belongs to no process.
  WriteFile(dir / ".BayesP.asc.karvelo-tmp-999999999-3", "half a map");
  const std::string live = ".BayesP.bmp.karvelo-tmp-" + std::to_string(::getpid()) + "-0";
  WriteFile(dir / live, "being written");
  WriteFile(run.WorkFile("Positives.bin"), "x");
  WriteFile(dir / "notes.karvelo-tmp-1-1", "a user's file, not a hidden temporary name");
  EXPECT_EQ(run.RemoveLeftovers(), 2);
  EXPECT_FALSE(fs::exists(dir / ".BayesP.asc.karvelo-tmp-999999999-3"));
  EXPECT_FALSE(fs::exists(run.WorkFolder()));
  EXPECT_TRUE(fs::exists(dir / live));
  EXPECT_TRUE(fs::exists(dir / "notes.karvelo-tmp-1-1"));
}

TEST(FolderLock, OneRunPerFolder) {
  TempDir a, b;
  FolderLock first;
  ASSERT_TRUE(first.TryLock(a.path()));
  FolderLock second;
  EXPECT_FALSE(second.TryLock(a.path()));   // the same folder is taken
  FolderLock other;
  EXPECT_TRUE(other.TryLock(b.path()));     // another folder is free
  first.Unlock();
  EXPECT_TRUE(second.TryLock(a.path()));    // free again once the first run ends
  EXPECT_EQ(FolderInUseMessage("/data/run"), "Another Karvelo run is using the folder /data/run.");
}

TEST(WorkFolder, IsMadeOnDemandAndRemovedWhole) {
  TempDir dir;
  const RunContext run(dir.path());
  EXPECT_FALSE(fs::exists(run.WorkFolder()));
  const fs::path f = run.WorkFile("Positives.bin");
  WriteFile(f, "x");
  EXPECT_EQ(f.parent_path(), dir.path() / "karvelo-work");
  EXPECT_TRUE(run.RemoveWorkFolder());
  EXPECT_FALSE(fs::exists(run.WorkFolder()));
}

TEST(WorkFolder, AUsersOwnFolderOfThatNameIsNeverEmptied) {
  TempDir dir;
  fs::create_directories(dir / "karvelo-work");
  WriteFile(dir / "karvelo-work" / "notes.txt", "mine");
  const RunContext run(dir.path());
  EXPECT_THROW(run.WorkFile("Positives.bin"), FileError);
  EXPECT_FALSE(run.RemoveWorkFolder());
  EXPECT_EQ(ReadFile(dir / "karvelo-work" / "notes.txt"), "mine");
}

// A Shell that asks for a stop after a given number of rows, as a click on Cancel would.
class CancellingShell : public test::RecordingShell {
 public:
  void gaugeProgress(int p) override {
    RecordingShell::gaugeProgress(p);
    if (p > 0 && ++rows_ == cancelAfter) run().RequestCancel();
  }
  int cancelAfter = 3;

 private:
  int rows_ = 0;
};

class CancelTest : public test::ScratchFolderTest {};

TEST_F(CancelTest, TheAuditStopsAtTheNextRowAndTheMapStaysAsItWas) {
  CancellingShell cancelling;
  cancelling.run().SetFolder(dir.path());
  std::vector<std::vector<std::string>> obs(20, std::vector<std::string>(20, "0")), aux(20, std::vector<std::string>(20, "1"));
  obs[3][4] = "1";
  TDataDef o = Grid("obs.asc", obs);
  o.PositiveIndicatorValue = 1;
  o.NegativeIndicatorValue = 0;
  TDataDef a = Grid("aux.asc", aux);
  SetClasses(a, {{0, 1}, {1, 2}});
  ws->AddDataDef(o);
  ws->AddDataDef(a);
  EXPECT_THROW(RunAudit(*ws, tables, cancelling), Cancelled);
  // It stopped on the row after the request, not at the end of the grid.
  ASSERT_FALSE(cancelling.progress.empty());
  EXPECT_LE(cancelling.progress.back(), 4);
  // Nothing was written beside the grids.
  for (const auto& e : fs::directory_iterator(dir.path())) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "obs.asc" || name == "aux.asc" || name == "karvelo-work") << name;
  }
}

}  // namespace
}  // namespace karvelo
