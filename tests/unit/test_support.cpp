// Helpers shared by the engine tests.
#include "test_support.h"

#include <stdlib.h>

#include <stdexcept>

#include "core/numfmt.h"

namespace karvelo::test {

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

}  // namespace karvelo::test
