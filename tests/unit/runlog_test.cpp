// The run log's lines, its file and the deletion of work files.
#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/runlog.h"
#include "karvelo_version.h"
#include "test_support.h"

namespace karvelo {
namespace {

TEST(RunLog, OpeningAndClosingLines) {
  RunLog log;
  log.Append("left over");
  StartRunLog(log, std::time(nullptr));
  ASSERT_EQ(log.Lines().size(), 4u);
  EXPECT_EQ(log.Lines()[0], kMainCaption);
  EXPECT_NE(log.Lines()[1].find(KARVELO_VERSION), std::string::npos);
  EXPECT_EQ(log.Lines()[2], std::string(60, '-'));
  EXPECT_EQ(log.Lines()[3].rfind("Starting Karvelo run at ", 0), 0u);
  EndRunLog(log, std::time(nullptr));
  EXPECT_EQ(log.Lines()[4].rfind("End of Karvelo run at ", 0), 0u);
}

TEST(RunLog, MessagesWithLineBreaksBecomeSeveralLines) {
  RunLog log;
  log.Append("one\ntwo\r\nthree");
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"one", "two", "three"}));
}

TEST(RunLog, MidnightLeavesTheTimeOut) {
  std::tm t{};
  t.tm_year = 126;
  t.tm_mon = 11;
  t.tm_mday = 9;
  t.tm_isdst = -1;
  const std::string midnight = LocalDateTimeText(std::mktime(&t));
  t.tm_sec = 1;
  const std::string later = LocalDateTimeText(std::mktime(&t));
  EXPECT_EQ(midnight.find(' '), std::string::npos) << midnight;
  EXPECT_EQ(later.rfind(midnight + " ", 0), 0u) << later;
}

TEST(RunLog, FileHasCrLfLinesAndWorkFilesGoOnce) {
  test::TempDir dir;
  RunLog log;
  log.Append("a");
  log.Append("b");
  const auto work = dir / "Positives.bin";
  test::WriteFile(work, "x");
  log.RegisterWorkFile(work);
  log.RegisterWorkFile(work);
  log.RegisterWorkFile(dir / "never-made.bin");
  WriteLogFile(log, dir / "Karvelo.log");
  EXPECT_EQ(test::ReadFile(dir / "Karvelo.log"), "a\r\nb\r\n");
  EXPECT_EQ(DeleteWorkFiles(log), 1);
  EXPECT_FALSE(std::filesystem::exists(work));
  EXPECT_THROW(WriteLogFile(log, dir / "missing" / "Karvelo.log"), FileError);
}

}  // namespace
}  // namespace karvelo
