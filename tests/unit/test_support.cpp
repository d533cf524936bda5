// Helpers shared by the engine tests.
#include "test_support.h"

#include <stdlib.h>

#include <cstdlib>
#include <stdexcept>

#include "core/gridfile.h"
#include "core/numfmt.h"

namespace karvelo::test {

unsigned TestSeed() {
  const char* s = std::getenv("KARVELO_TEST_SEED");
  return s && *s ? static_cast<unsigned>(std::strtoul(s, nullptr, 10)) : 20261209u;
}

std::string SeedTrace(unsigned seed) { return "replay with KARVELO_TEST_SEED=" + std::to_string(seed); }

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "karvelo-test-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("cannot create a temporary folder");
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void WriteFile(const std::filesystem::path& p, const std::string& content) {
  std::ofstream out(p, std::ios::binary);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

std::string ReadFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string GridText(int ncols, int nrows, const std::vector<std::vector<std::string>>& rows,
                     const std::string& nodata, double xll, double yll, double cellsize) {
  std::string t = "ncols " + std::to_string(ncols) + "\nnrows " + std::to_string(nrows) + "\nxllcorner " +
                  FormatShortest(xll) + "\nyllcorner " + FormatShortest(yll) + "\ncellsize " +
                  FormatShortest(cellsize) + "\nNODATA_value " + nodata + "\n";
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) t += (i ? " " : "") + row[i];
    t += "\n";
  }
  return t;
}

namespace {
std::filesystem::path& Scratch() {
  static std::filesystem::path folder;
  return folder;
}
}  // namespace

const std::filesystem::path& ScratchFolder() { return Scratch(); }
void SetScratchFolder(std::filesystem::path folder) { Scratch() = std::move(folder); }

void ScratchFolderTest::SetUp() {
  previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  SetScratchFolder(dir.path());
  shell.run().SetFolder(dir.path());
  LayOutRunTables(tables);
}

void ScratchFolderTest::TearDown() {
  std::filesystem::current_path(previous);
  SetScratchFolder({});
}

TDataDef ScratchFolderTest::Grid(const std::string& name, const std::vector<std::vector<std::string>>& rows) {
  WriteFile(dir / name, GridText(static_cast<int>(rows[0].size()), static_cast<int>(rows.size()), rows));
  TDataDef def;
  def.FileName = (dir / name).string();
  EXPECT_TRUE(ReadHeader(def, shell));
  ScanData(def, shell);
  return def;
}

void ScratchFolderTest::SetClasses(TDataDef& d, const std::vector<std::pair<double, double>>& bounds) {
  d.NrClasses = static_cast<int>(bounds.size());
  for (std::size_t k = 0; k < bounds.size(); ++k) d.mclasses[k] = {bounds[k].first, bounds[k].second, 0, 0, 0, 0};
}

}  // namespace karvelo::test
