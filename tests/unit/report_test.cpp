// The run report's page: escaping of every text it embeds, optional sections, the ROC's data file.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>

#include "core/numfmt.h"
#include "report/htmlwriter.h"
#include "report/runreport.h"
#include "test_support.h"

namespace karvelo {
namespace {

using test::RecordingShell;
using test::TempDir;

TEST(HtmlReport, EscapesEveryTextItEmbeds) {
  EXPECT_EQ(HtmlEscaped("a<b>&\"c'\x1b" "d\te"), "a&lt;b&gt;&amp;&quot;c&#39;d\te");
  EXPECT_EQ(UrlEncodedPath("Karvelo report files/ROC of a&b.csv"), "Karvelo%20report%20files/ROC%20of%20a%26b.csv");

  // Names from the user's files reach the page only escaped, in every section that shows them.
  TempDir dir;
  RecordingShell shell;
  shell.run().SetFolder(dir.path());
  const std::string hostile = "<script>alert('x')</script>&.asc";
  RunRecord record;
  TDataDef grid;
  grid.FileName = (dir.path() / hostile).string();
  grid.NrClasses = 2;
  grid.NODATA_value = -9999;
  grid.PositiveIndicatorValue = grid.NegativeIndicatorValue = -9999;
  record.grids.push_back(grid);
  AuditResult audit;
  audit.ran = audit.configured = true;
  audit.classes.push_back({1, 1, hostile, {}});
  audit.summary = "<b>done</b>";
  record.audit = audit;
  ReportIdentity id;
  id.version = "0.0 <dev>";
  id.commands = {"karvelo-batch --workdir '<dir>' demo"};
  const std::string html = BuildRunReport(id, record, RunTables{}, shell).html;
  EXPECT_EQ(html.find("<script"), std::string::npos);
  EXPECT_EQ(html.find("<b>"), std::string::npos);
  EXPECT_EQ(html.find("<dev>"), std::string::npos);
  EXPECT_NE(html.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;.asc"), std::string::npos);
  EXPECT_NE(html.find("karvelo-batch --workdir &#39;&lt;dir&gt;&#39; demo"), std::string::npos);
  // Sections of results the run does not hold are left out.
  EXPECT_EQ(html.find("id=\"mapping\""), std::string::npos);
  EXPECT_EQ(html.find("id=\"cross-validation\""), std::string::npos);
  EXPECT_NE(html.find("id=\"audit\""), std::string::npos);

  CrossValidationResult cv;
  cv.folds = 3;
  cv.outcome.scores = {{1, 4, 5, 0.71}, {2, 3, 5, 0.69}, {3, 4, 4, 0.755}};
  SummariseFolds(cv.outcome);
  record.crossValidation = cv;
  ImportanceResult importance;
  importance.fullAuc = 0.8;
  importance.rows = {{"soil.asc", 0.7, 0.75, 0.1, {}, {}}};
  record.importance = importance;
  const std::string more = BuildRunReport(id, record, RunTables{}, shell).html;
  EXPECT_NE(more.find("id=\"cross-validation\""), std::string::npos);
  EXPECT_NE(more.find(">0.7550</td>"), std::string::npos);
  EXPECT_NE(more.find("id=\"importance\""), std::string::npos);
  EXPECT_EQ(more.find("id=\"effects\""), std::string::npos);
}

// The area under the ROC data file's points (trapezoids) is the AUC of the scores counted pair by
// pair (a tie a half), and the curve runs from the first threshold to (1, 1) without stepping back.
TEST(HtmlReport, RocDataFileTracesTheCurveOfTheScores) {
  const unsigned seed = test::TestSeed();
  SCOPED_TRACE(test::SeedTrace(seed));
  std::mt19937 gen(seed);
  TempDir dir;
  RecordingShell shell;
  shell.run().SetFolder(dir.path());
  for (int round = 0; round < 20; ++round) {
    std::uniform_int_distribution<int> count(1, 30), value(0, 12);
    EvaluationRecord e;
    e.points = dir.path() / "points.txt";
    e.map.FileName = (dir.path() / "map.asc").string();
    e.result.evaluated = true;
    e.result.mapName = "map.asc";
    e.result.auc = 0.5;
    for (int i = count(gen); i > 0; --i) e.result.rocFindScores.push_back(value(gen) / 12.0);
    for (int i = count(gen); i > 0; --i) e.result.rocNonFindScores.push_back(value(gen) / 12.0);
    double pairs = 0;
    for (double f : e.result.rocFindScores) {
      for (double n : e.result.rocNonFindScores) pairs += f > n ? 1 : f == n ? 0.5 : 0;
    }
    const double expected = pairs / static_cast<double>(e.result.rocFindScores.size() * e.result.rocNonFindScores.size());
    RunRecord record;
    record.evaluations.push_back(e);
    const ReportDocument doc = BuildRunReport(ReportIdentity{}, record, RunTables{}, shell);
    const auto roc = std::find_if(doc.data.begin(), doc.data.end(), [](const ReportDataFile& d) { return d.name == "ROC of map.asc.csv"; });
    ASSERT_NE(roc, doc.data.end());
    std::istringstream lines(roc->csv);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "threshold,false_positive_rate,true_positive_rate");
    double area = 0, lastX = 0, lastY = 0, lastT = 2;
    while (std::getline(lines, line)) {
      const auto c1 = line.find(','), c2 = line.rfind(',');
      const double t = *ParseReal(line.substr(0, c1)), x = *ParseReal(line.substr(c1 + 1, c2 - c1 - 1)),
                   y = *ParseReal(line.substr(c2 + 1));
      EXPECT_LT(t, lastT);
      EXPECT_GE(x, lastX);
      EXPECT_GE(y, lastY);
      area += (x - lastX) * (y + lastY) / 2;
      lastX = x, lastY = y, lastT = t;
    }
    EXPECT_DOUBLE_EQ(lastX, 1);
    EXPECT_DOUBLE_EQ(lastY, 1);
    EXPECT_NEAR(area, expected, 1e-12);
  }
}

}  // namespace
}  // namespace karvelo
