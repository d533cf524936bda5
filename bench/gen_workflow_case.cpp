// Writes the workflow benchmark's case: an observation grid, two continuous grids and validation
// points, all from a fixed seed, so that every run of the benchmark reads the same bytes.
// Usage: gen_workflow_case SIZE FOLDER [POINTS=1000000]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

// splitmix64: the same numbers on every platform and library.
struct Rng {
  std::uint64_t s;
  std::uint64_t Next() {
    std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }
};

// Two smooth fields over the area, in tenths and hundredths: whole numbers, printed as decimals.
long Elevation(int r, int c, int n) {
  const double x = 6.28318 * c / n, y = 6.28318 * r / n;
  return std::lround(5000 + 2000 * std::sin(3 * x) * std::cos(2 * y) + 1500 * std::sin(7 * y + x));
}
long Distance(int r, int c, int n) {
  const double x = 6.28318 * c / n, y = 6.28318 * r / n;
  return std::lround(5000 + 4000 * std::cos(5 * x + 2 * y) * std::sin(x - 3 * y));
}

void Header(std::FILE* f, int n) {
  std::fprintf(f, "ncols         %d\nnrows         %d\nxllcorner     100000\nyllcorner     300000\n"
                  "cellsize      10\nNODATA_value  -9999\n", n, n);
}

// Writes a grid whose cell text comes from `cell`, a row at a time.
template <class Cell>
void WriteGrid(const std::string& path, int n, Cell cell) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::exit(1);
  Header(f, n);
  std::string line;
  char buf[32];
  for (int r = 0; r < n; ++r) {
    line.clear();
    for (int c = 0; c < n; ++c) {
      line.append(buf, static_cast<std::size_t>(cell(r, c, buf)));
      line.push_back(c + 1 < n ? ' ' : '\n');
    }
    std::fwrite(line.data(), 1, line.size(), f);
  }
  std::fclose(f);
}

int Fixed(long v, int decimals, char* buf) {
  const long scale = decimals == 1 ? 10 : 100;
  return std::snprintf(buf, 32, decimals == 1 ? "%ld.%01ld" : "%ld.%02ld", v / scale, v % scale);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: gen_workflow_case SIZE FOLDER [POINTS]\n");
    return 2;
  }
  const int n = std::atoi(argv[1]);
  const std::string dir = argv[2];
  const long points = argc > 3 ? std::atol(argv[3]) : 1000000;
  Rng rng{20261209};

  // 50,000 presences where the elevation is high more often than not, 100,000 absences anywhere,
  // scaled with the area for smaller sizes.
  const double area = static_cast<double>(n) * n / 1e8;
  const long presences = std::lround(50000 * area), absences = std::lround(100000 * area);
  std::unordered_set<std::uint64_t> pres, abs;
  while (static_cast<long>(pres.size()) < presences) {
    const auto r = static_cast<int>(rng.Below(n)), c = static_cast<int>(rng.Below(n));
    if (rng.Unit() * 9000 < Elevation(r, c, n) - 1000) pres.insert(static_cast<std::uint64_t>(r) * n + c);
  }
  while (static_cast<long>(abs.size()) < absences) {
    const std::uint64_t cell = rng.Below(static_cast<std::uint64_t>(n) * n);
    if (!pres.count(cell)) abs.insert(cell);
  }
  WriteGrid(dir + "/obs.asc", n, [&](int r, int c, char* buf) {
    const std::uint64_t cell = static_cast<std::uint64_t>(r) * n + c;
    if (pres.count(cell)) return std::snprintf(buf, 32, "1");
    if (abs.count(cell)) return std::snprintf(buf, 32, "0");
    return std::snprintf(buf, 32, "-9999");
  });
  WriteGrid(dir + "/elev.asc", n, [&](int r, int c, char* buf) { return Fixed(Elevation(r, c, n), 1, buf); });
  WriteGrid(dir + "/dist.asc", n, [&](int r, int c, char* buf) { return Fixed(Distance(r, c, n), 2, buf); });

  std::FILE* f = std::fopen((dir + "/points.txt").c_str(), "wb");
  if (!f) return 1;
  std::fprintf(f, "X;Y;Val\n");
  for (long i = 0; i < points; ++i) {
    const auto r = static_cast<int>(rng.Below(n)), c = static_cast<int>(rng.Below(n));
    const bool find = rng.Unit() * 9000 < Elevation(r, c, n) - 2500;
    std::fprintf(f, "%d;%d;%d\n", 100000 + 10 * c + 5, 300000 + 10 * (n - 1 - r) + 5, find ? 1 : 0);
  }
  std::fclose(f);
  return 0;
}
