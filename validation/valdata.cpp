// Screening and importing validation points.
#include "validation/valdata.h"

#include <algorithm>
#include <optional>

#include "config/configfile.h"
#include "core/numfmt.h"

namespace karvelo {

namespace {

bool IsHeaderLine(const std::string& prepared) {
  for (char ch : prepared) {
    if (!((ch >= '0' && ch <= '9') || ch == '-' || ch == '.' || ch == ' ')) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> ReadAllLines(const std::filesystem::path& path) { return ReadTextLines(path, MaxPointsFileMiB); }

std::string PrepareLine(std::string line) {
  line.push_back(' ');
  std::replace(line.begin(), line.end(), ';', ' ');
  std::replace(line.begin(), line.end(), ',', ' ');
  return line;
}

void LeesDelWoord(std::string& regel, std::string& woord) {
  woord.clear();
  if (regel.find_first_not_of(' ') == std::string::npos) return;
  regel.erase(0, regel.find_first_not_of(' '));
  const auto blank = regel.find(' ');
  if (blank == std::string::npos) {
    woord = regel;
  } else {
    woord = regel.substr(0, blank + 1);
    regel.erase(0, blank + 1);
  }
  std::size_t b = 0, e = woord.size();
  while (b < e && static_cast<unsigned char>(woord[b]) < 33) ++b;
  while (e > b && static_cast<unsigned char>(woord[e - 1]) < 33) --e;
  woord = woord.substr(b, e - b);
}

bool FieldReader::Next(std::string& woord) {
  woord.clear();
  std::size_t b = line_.find_first_not_of(' ', pos_);
  if (b == std::string::npos) {
    pos_ = line_.size();
    return false;
  }
  const std::size_t blank = line_.find(' ', b);
  std::size_t e = blank == std::string::npos ? line_.size() : blank + 1;
  // Without a blank after it, LeesDelWoord leaves the word in the line: it comes again.
  pos_ = blank == std::string::npos ? b : e;
  while (b < e && static_cast<unsigned char>(line_[b]) < 33) ++b;
  while (e > b && static_cast<unsigned char>(line_[e - 1]) < 33) --e;
  woord.assign(line_, b, e - b);
  return true;
}

void ScreenValData(ValidationFile& f) {
  const std::vector<std::string> lines = ReadAllLines(f.path);
  int nocols = 0;
  f.ValHeaderLines = 0;
  f.ValLineCount = 0;
  std::string word;
  for (const std::string& raw : lines) {
    const std::string line = PrepareLine(raw);
    if (IsHeaderLine(line)) ++f.ValHeaderLines;
    int count = 0;
    FieldReader fields(line);
    while (fields.Next(word) && !word.empty()) ++count;
    nocols = std::max(nocols, count);
    ++f.ValLineCount;
  }
  for (int h = 0; h < f.ValHeaderLines && h < static_cast<int>(lines.size()); ++h) {
    const std::string line = PrepareLine(lines[static_cast<std::size_t>(h)]);
    FieldReader fields(line);
    for (int i = 1; i <= nocols; ++i) {
      if (!fields.Next(word)) break;  // the later fields are empty and name no column
      if (word.find_first_of("Xx") != std::string::npos) f.ValColX = i;
      if (word.find_first_of("Yy") != std::string::npos) f.ValColY = i;
      if (word.find("Val") != std::string::npos || word.find("val") != std::string::npos) f.ValColVal = i;
    }
  }
  f.ValColumnCount = nocols;
  CheckColValData(f, f.ValColVal);
}

void CheckColValData(ValidationFile& f, int colVal) {
  const std::vector<std::string> lines = ReadAllLines(f.path);
  f.codes.clear();
  std::string code, word;
  // At least one line is read, even when only the header is there (an empty code then).
  std::size_t i = static_cast<std::size_t>(std::max(f.ValHeaderLines, 0));
  do {
    const std::string line = PrepareLine(i < lines.size() ? lines[i] : std::string());
    FieldReader fields(line);
    for (int k = 0; k < colVal; ++k) {
      if (!fields.Next(word)) {
        code.clear();  // so are all later fields
        break;
      }
      code = word;
    }
    if (std::find(f.codes.begin(), f.codes.end(), code) == f.codes.end()) f.codes.push_back(code);
    ++i;
  } while (i < lines.size());
  f.findsIndex = 0;
  f.nonFindsIndex = f.codes.size() >= 2 ? 1 : 0;
}

void OpenValidationFile(ValidationFile& f, const std::filesystem::path& path, Shell& shell) {
  ValidationFile fresh;
  fresh.path = path;
  // Columns no header word names keep what the previous file had, as the editors do.
  fresh.ValColX = f.ValColX;
  fresh.ValColY = f.ValColY;
  fresh.ValColVal = f.ValColVal;
  ScreenValData(fresh);
  // The spin editors take the guesses and then the range 1..ValColumnCount, which moves an
  // unnamed column (0) to 1; the code lists follow the code column shown.
  auto limit = [&](int v) { return std::clamp(v, 1, std::max(1, fresh.ValColumnCount)); };
  const int shownVal = limit(fresh.ValColVal);
  fresh.ValColX = limit(fresh.ValColX);
  fresh.ValColY = limit(fresh.ValColY);
  if (shownVal != fresh.ValColVal) {
    fresh.ValColVal = shownVal;
    CheckColValData(fresh, shownVal);
  }
  f = fresh;
  shell.log(std::string(60, '-'));
  shell.log("File with validation data loaded: " + path.string());
}

void LoadValData(const ValidationFile& f, TextGrid& table, Shell& shell) {
  shell.status2("... loading validation data ...");
  shell.gaugeRange(0, f.ValLineCount);
  shell.gaugeProgress(0);
  std::vector<std::string> lines = ReadAllLines(f.path);
  table.SetSize(4, 1);
  int progress = 0;
  std::string word;
  auto fill = [&](int row, const std::string& raw) {
    const std::string line = PrepareLine(raw);
    FieldReader fields(line);
    for (int i = 1; i <= f.ValColumnCount; ++i) {
      // Once only blanks are left, every later field is empty: the columns still to come get
      // their empty text at once instead of one empty field per column of the widest line.
      const bool more = fields.Next(word);
      auto takes = [&](int column) { return more ? column == i : column >= i && column <= f.ValColumnCount; };
      if (takes(f.ValColX)) table.SetCell(0, row, word);
      if (takes(f.ValColY)) table.SetCell(1, row, word);
      if (takes(f.ValColVal)) table.SetCell(2, row, word);
      if (!more) break;
    }
    shell.row(++progress);
  };
  const std::size_t header = static_cast<std::size_t>(std::max(f.ValHeaderLines, 0));
  for (std::size_t h = 0; h < header && h < lines.size(); ++h) {
    fill(static_cast<int>(h), lines[h]);
    table.SetRowCount(table.RowCount() + 1);
  }
  table.fixedRows = f.ValHeaderLines;
  for (std::size_t i = header; i < lines.size(); ++i) {
    fill(table.RowCount() - 1, lines[i]);
    if (i + 1 < lines.size()) table.SetRowCount(table.RowCount() + 1);
  }

  lines = {};  // the table holds the fields now

  shell.status2("... sorting validation data ");
  // The records' coordinates as numbers and their places: the sort moves places, and the rows'
  // texts move once at the end instead of being copied twice.
  struct Record {
    std::optional<double> x, y;
    int at;
  };
  std::vector<Record> records;
  const int first = std::min(std::max(f.ValHeaderLines, 0), table.RowCount());
  records.reserve(static_cast<std::size_t>(table.RowCount() - first));
  for (int r = first; r < table.RowCount(); ++r) {
    records.push_back({ParseReal(Trimmed(table.Cell(0, r))), ParseReal(Trimmed(table.Cell(1, r))), r - first});
  }
  // A stable sort gives what repeated neighbour exchanges give: Y descending, then X ascending,
  // equal records in file order.
  std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
    const bool aOk = a.x && a.y, bOk = b.x && b.y;
    if (aOk != bOk) return aOk;
    if (!aOk) return false;
    if (*a.y != *b.y) return *a.y > *b.y;
    return *a.x < *b.x;
  });
  std::vector<int> order(records.size());
  for (std::size_t i = 0; i < records.size(); ++i) order[i] = records[i].at;
  records = {};
  table.ReorderRows(first, order);
  shell.gaugeProgress(0);
  shell.status2("(idle)");
}

}  // namespace karvelo
