// The lookup's one reading of a map against the separate passes it replaces (scan, gain, sample),
// and the evaluation's files from it against those of fresh passes, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <regex>
#include <sstream>

#include "core/errors.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "render/qimage_canvas.h"
#include "test_support.h"
#include "validation/gain.h"
#include "validation/lookup.h"
#include "validation/mappass.h"
#include "validation/mapvalues.h"
#include "validation/valdata.h"
#include "workflow/session.h"
#include "workflow/validation.h"

namespace karvelo {
namespace {

namespace fs = std::filesystem;
using test::TestSeed;

enum class Values { Few, Many };

// A map of rows x cols cells (cell size 1 from 0, 0) with no-data cells, cells within 0.1 % of
// no-data, and either few distinct values (ties at every gain threshold, a zero of either sign)
// or values that hardly repeat.
std::vector<std::vector<std::string>> RandomMap(std::mt19937& rng, int cols, int rows, Values kind) {
  static const char* few[] = {"0.0625", "0.25", "0.3", "0.75", "0.9", "0", "-0.0", "1"};
  std::vector<std::vector<std::string>> texts(static_cast<std::size_t>(rows));
  for (auto& row : texts) {
    for (int c = 0; c < cols; ++c) {
      const auto pick = rng() % 100;
      if (pick < 10) row.push_back("-9999");
      else if (pick < 13) row.push_back("-9998.5");
      else if (kind == Values::Few) row.push_back(few[rng() % 8]);
      else row.push_back(FormatFixed(static_cast<double>(rng() % 1000000000) * 1e-9, 9));
    }
  }
  return texts;
}

// Points: most at cell centres, some off the map, some with an X that is no number; codes 1 and 0.
std::string RandomPoints(std::mt19937& rng, int cols, int rows, int count) {
  std::string text = "X;Y;Val\n";
  for (int i = 0; i < count; ++i) {
    const auto pick = rng() % 50;
    const std::string code = rng() % 3 == 0 ? "1" : "0";
    if (pick == 0) {
      text += "x1;3;" + code + "\n";
    } else if (pick == 1) {
      text += std::to_string(cols + 5) + ".5;2.5;" + code + "\n";
    } else {
      text += std::to_string(rng() % static_cast<unsigned>(cols)) + ".5;" + std::to_string(rng() % static_cast<unsigned>(rows)) +
              ".5;" + code + "\n";
    }
  }
  return text;
}

std::size_t CellIndex(const TDataDef& map, double x, double y) {
  const GridCell cell = CellOf(map, x, y);
  return static_cast<std::size_t>(cell.row - 1) * static_cast<std::size_t>(map.ncols) + static_cast<std::size_t>(cell.col - 1);
}

void ExpectSameGain(const std::vector<GainRow>& got, const std::vector<GainRow>& want, const std::string& where) {
  ASSERT_EQ(got.size(), want.size()) << where;
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].areaPercent, want[i].areaPercent) << where;
    EXPECT_EQ(got[i].threshold, want[i].threshold) << where << " row " << i;
    EXPECT_EQ(std::signbit(got[i].threshold), std::signbit(want[i].threshold)) << where << " row " << i;
    EXPECT_EQ(got[i].areaTaken, want[i].areaTaken) << where << " row " << i;
    EXPECT_EQ(got[i].findsShare, want[i].findsShare) << where << " row " << i;
    EXPECT_EQ(got[i].gain, want[i].gain) << where << " row " << i;
  }
}

// Equal values, NaN equal to NaN (a cell without a value).
bool SameValue(double a, double b) { return std::isnan(a) ? std::isnan(b) : a == b; }

class MapPass : public test::ScratchFolderTest {};

TEST_F(MapPass, TheLookupsReadingGivesWhatTheSeparatePassesGive) {
  std::mt19937 rng(TestSeed());
  int round = 0;
  for (Values kind : {Values::Few, Values::Many}) {
    for (int r = 0; r < 3; ++r, ++round) {
      const std::string where = test::SeedTrace(TestSeed()) + " round " + std::to_string(round);
      const int cols = 20 + static_cast<int>(rng() % 40), rows = 10 + static_cast<int>(rng() % 30);
      test::WriteFile(dir / "map.asc", test::GridText(cols, rows, RandomMap(rng, cols, rows, kind)));
      test::WriteFile(dir / "val.txt", RandomPoints(rng, cols, rows, 400));
      ValidationFile file;
      OpenValidationFile(file, dir / "val.txt", shell);
      ValidationRecords records;
      LoadValData(file, records, shell);
      const ValidationRecords before = records;
      TDataDef map;
      LookUpPredictiveMap(map, dir / "map.asc", true, records, shell);

      TDataDef fresh;
      fresh.FileName = (dir / "map.asc").string();
      ASSERT_TRUE(ReadHeader(fresh, shell));
      ScanData(fresh, shell);
      EXPECT_EQ(map.minvalue, fresh.minvalue) << where;
      EXPECT_EQ(map.maxvalue, fresh.maxvalue) << where;

      // The records kept, in their order: those on the map whose cell has a value.
      std::vector<std::size_t> allCells;
      std::vector<std::size_t> onMap;
      for (std::size_t i = 0; i < before.size(); ++i) {
        if (!before.HasPosition(i) || before.X(i) > cols) continue;
        onMap.push_back(i);
        allCells.push_back(CellIndex(fresh, before.X(i), before.Y(i)));
      }
      const MapSample all = SampleMapFile(fresh, allCells, shell);
      std::vector<double> keptCodes, keptValues;
      for (std::size_t k = 0; k < onMap.size(); ++k) {
        if (std::isnan(all.atCells[k])) continue;
        keptCodes.push_back(before.Code(onMap[k]));
        keptValues.push_back(all.atCells[k]);
      }
      ASSERT_EQ(records.size(), keptCodes.size()) << where;
      const MapDigest* digest = DigestFor(records, map);
      ASSERT_NE(digest, nullptr) << where;
      std::vector<std::size_t> findCells;
      std::vector<double> findValues;
      for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records.Code(i), keptCodes[i]) << where;
        EXPECT_EQ(digest->values[i], keptValues[i]) << where << " record " << i;
        const double shown = ParseReal(MapValueText(keptValues[i])).value_or(keptValues[i]);
        EXPECT_EQ(records.Value(i), shown) << where << " record " << i;
        if (records.Code(i) == 1) {
          findCells.push_back(CellIndex(fresh, records.X(i), records.Y(i)));
          findValues.push_back(digest->values[i]);
        }
      }
      EXPECT_FALSE(digest->counts.binned);
      EXPECT_EQ(digest->counts.value, all.counts.value) << where;
      EXPECT_EQ(digest->counts.cells, all.counts.cells) << where;
      EXPECT_EQ(digest->counts.total, all.counts.total) << where;
      ExpectSameGain(GainOfCounts(digest->counts, findValues), GainOfMapFile(fresh, findCells, shell), where);

      // More distinct values than the counting keeps: no counts, the values at the cells still.
      const MapReading tight = ReadMapOnce(fresh, allCells, shell, kind == Values::Few ? 3 : 100);
      EXPECT_FALSE(tight.counts.has_value()) << where;
      EXPECT_TRUE(tight.rowsAreLines);
      for (std::size_t k = 0; k < allCells.size(); ++k) {
        const double v = NoDataBand(tight.atCells[k], fresh.NODATA_value);
        EXPECT_TRUE(SameValue(v == fresh.NODATA_value ? std::nan("") : v, all.atCells[k])) << where;
      }
      const std::vector<double> at = ValuesAtCells(fresh, allCells, shell);
      ASSERT_EQ(at.size(), allCells.size());
      for (std::size_t k = 0; k < at.size(); ++k) EXPECT_TRUE(SameValue(at[k], all.atCells[k])) << where;
    }
  }
}

TEST_F(MapPass, AMapRewrittenOrRowsOverSeveralLinesAreReadAnew) {
  test::WriteFile(dir / "map.asc", test::GridText(3, 2, {{"0.5", "0.25", "0.5"}, {"0.75", "-9999", "0.5"}}));
  test::WriteFile(dir / "val.txt", "X;Y;Val\n0.5;1.5;1\n2.5;0.5;0\n1.5;1.5;0\n");
  ValidationFile file;
  OpenValidationFile(file, dir / "val.txt", shell);
  ValidationRecords records;
  LoadValData(file, records, shell);
  const ValidationRecords before = records;
  TDataDef map;
  LookUpPredictiveMap(map, dir / "map.asc", true, records, shell);
  ASSERT_NE(DigestFor(records, map), nullptr);
  // Same size, other values: the gain is that of the file as it is now.
  test::WriteFile(dir / "map.asc", test::GridText(3, 2, {{"0.1", "0.25", "0.5"}, {"0.75", "-9999", "0.2"}}));
  fs::last_write_time(dir / "map.asc", fs::last_write_time(dir / "map.asc") + std::chrono::seconds(5));
  EXPECT_EQ(DigestFor(records, map), nullptr);
  QImageCanvas picture(kGainPictureSize, kGainPictureSize);
  const std::vector<GainRow> rows = EvaluateGain(dir / "map.asc", 1, records, picture, shell);
  ExpectSameGain(rows, GainOfValues({0.1, 0.25, 0.5, 0.75, 0.2}, {0.1}), "rewritten");

  // A map that ends early stops the lookup with the scan's message, the records as they were.
  std::string cut = test::GridText(3, 2, {{"0.5", "0.25", "0.5"}, {"0.75", "-9999", "0.5"}});
  cut.resize(cut.rfind("0.75"));
  test::WriteFile(dir / "cut.asc", cut);
  auto errorOf = [](auto&& call) -> std::string {
    try {
      call();
    } catch (const FileError& e) {
      return e.what();
    }
    return "no error";
  };
  TDataDef cutMap, cutScan;
  cutScan.FileName = (dir / "cut.asc").string();
  ASSERT_TRUE(ReadHeader(cutScan, shell));
  const std::string scanError = errorOf([&] { ScanData(cutScan, shell); });
  EXPECT_NE(scanError, "no error");
  EXPECT_EQ(errorOf([&] { LookUpPredictiveMap(cutMap, dir / "cut.asc", true, records, shell); }), scanError);
  EXPECT_TRUE(records.lookedUp);
  EXPECT_EQ(records.size(), before.size());

  // A row over two lines: the lookup walks the file by lines, and keeps no counts.
  test::WriteFile(dir / "split.asc", test::GridText(3, 2, {{"0.5", "0.25"}, {"0.5"}, {"0.75", "0.1", "0.5"}}));
  TDataDef split;
  split.FileName = (dir / "split.asc").string();
  ASSERT_TRUE(ReadHeader(split, shell));
  EXPECT_FALSE(ReadMapOnce(split, {}, shell).rowsAreLines);
  records = before;
  LookUpPredictiveMap(split, dir / "split.asc", true, records, shell);
  EXPECT_EQ(DigestFor(records, split), nullptr);
}

// One validate in `folder`: the lookup, then the evaluation with the training presences and a
// binary map; `fresh` drops the lookup's reading so that the evaluation reads the map again.
struct Validated {
  std::vector<std::string> lines, status;
  std::vector<int> progress;
};
Validated ValidateIn(const fs::path& folder, const fs::path& input, bool fresh) {
  test::RecordingShell reporter;
  Validated out;
  Session session(reporter);
  SessionOptions options;
  options.folder = folder;
  options.seed = 5;
  EXPECT_TRUE(session.Open(options));
  session.RunStep("validate", [&] {
    ValidationFile file;
    OpenPoints(session, file, input / "val.txt");
    ValidationRecords records;
    ImportPoints(session, file, records);
    TDataDef map;
    LookUpMap(session, map, input / "map.asc", true, records);
    EXPECT_NE(records.mapDigest, nullptr);
    if (fresh) records.mapDigest.reset();
    EvaluationOptions eval;
    eval.findsText = "1";
    eval.binary = BinaryChoiceNamed("youden");
    TDataDef training;
    training.FileName = (input / "obs.asc").string();
    EXPECT_TRUE(ReadHeader(training, reporter));
    training.PositiveIndicatorValue = 1;
    eval.training = training;
    QImageCanvas roc(kRocPictureSize, kRocPictureSize), gain(kGainPictureSize, kGainPictureSize);
    const EvaluationResult result = Evaluate(session, map, file, records, eval, roc, gain);
    EXPECT_TRUE(result.evaluated);
    out.lines = EvaluationLines(result);
  });
  out.status = reporter.status2Texts;
  out.progress = reporter.progress;
  EXPECT_TRUE(session.Close(false));
  return out;
}

// The log's lines without those that hold a time, the folder named "FOLDER".
std::vector<std::string> LogLines(const fs::path& log, const fs::path& folder) {
  std::vector<std::string> lines;
  std::istringstream in(test::ReadFile(log));
  const std::regex time("[0-9][0-9]:[0-9][0-9]:[0-9][0-9]");
  for (std::string line; std::getline(in, line);) {
    if (std::regex_search(line, time)) continue;
    for (std::size_t at; (at = line.find(folder.string())) != std::string::npos;) line.replace(at, folder.string().size(), "FOLDER");
    lines.push_back(line);
  }
  return lines;
}

TEST(MapPassWorkflow, TheEvaluationWritesWhatFreshPassesWrite) {
  std::mt19937 rng(TestSeed());
  test::TempDir input, once, again;
  for (Values kind : {Values::Few, Values::Many}) {
    const int cols = 60, rows = 45;
    test::WriteFile(input / "map.asc", test::GridText(cols, rows, RandomMap(rng, cols, rows, kind)));
    test::WriteFile(input / "val.txt", RandomPoints(rng, cols, rows, 600));
    std::vector<std::vector<std::string>> obs(rows);
    for (auto& row : obs) {
      for (int c = 0; c < cols; ++c) row.push_back(rng() % 20 == 0 ? "1" : "0");
    }
    test::WriteFile(input / "obs.asc", test::GridText(cols, rows, obs));
    const Validated a = ValidateIn(once.path(), input.path(), false);
    const Validated b = ValidateIn(again.path(), input.path(), true);
    const std::string where = test::SeedTrace(TestSeed());
    EXPECT_EQ(a.lines, b.lines) << where;
    EXPECT_EQ(a.status, b.status) << where;
    EXPECT_EQ(a.progress, b.progress) << where;
    // The run logs, but for the times they hold and the folders they name.
    const std::vector<std::string> logA = LogLines(once / "Karvelo.log", once.path()), logB = LogLines(again / "Karvelo.log", again.path());
    EXPECT_GT(logA.size(), 20u);
    EXPECT_EQ(logA, logB) << where;
    int compared = 0;
    for (const auto& entry : fs::directory_iterator(once.path())) {
      const std::string name = entry.path().filename().string();
      if (!entry.is_regular_file() || name == "Karvelo.log" || name.front() == '.') continue;
      EXPECT_EQ(test::ReadFile(entry.path()), test::ReadFile(again / name)) << name << " " << where;
      ++compared;
    }
    EXPECT_GE(compared, 8) << where;  // records, ROC, gain table and curve, Boyce, prediction-area, binary map
  }
}

}  // namespace
}  // namespace karvelo
