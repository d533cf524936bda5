// Screening and importing validation points.
#include "validation/valdata.h"

#include <algorithm>
#include <optional>

#include "config/configfile.h"
#include "core/errors.h"
#include "core/gridfile.h"
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
  for (char& ch : line) {
    if (ch == ';' || ch == ',' || ch == '\t') ch = ' ';
  }
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

namespace {

enum class LineKind { Blank, Text, Record };

LineKind KindOf(const std::string& prepared) {
  if (prepared.find_first_not_of(' ') == std::string::npos) return LineKind::Blank;
  return IsHeaderLine(prepared) ? LineKind::Text : LineKind::Record;
}

// Streams the lines of the file (LF, CR LF or CR alone), so that a file of ten million points is
// never held as lines; a cancel ends the reading within a few thousand lines.
template <class Fn>
void ForEachLine(const std::filesystem::path& path, Shell& shell, Fn fn) {
  TDataDef file;
  file.FileName = path.string();
  GridReader reader(file);
  std::string line;
  long long n = 0;
  while (reader.ReadTextLine(line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if ((++n & 4095) == 0) shell.run().ThrowIfCancelled();
    fn(n, line);
  }
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// "181072,5;333611,2;1": a comma between digits on a line that separates its fields otherwise.
bool HasDecimalComma(const std::string& raw) {
  if (raw.find_first_of("; \t") == std::string::npos) return false;
  for (std::size_t i = 1; i + 1 < raw.size(); ++i) {
    if (raw[i] == ',' && IsDigit(raw[i - 1]) && IsDigit(raw[i + 1])) return true;
  }
  return false;
}

constexpr std::size_t kListedSkippedLines = 5;

}  // namespace

void ScreenValData(ValidationFile& f, Shell& shell) {
  int nocols = 0;
  f.ValHeaderLines = 0;
  f.ValLineCount = 0;
  f.recordLines = 0;
  f.recordBytes = 0;
  f.headerBytes = 0;
  f.skippedCount = 0;
  f.skippedLines.clear();
  std::vector<std::string> headerLines;
  long long commaLines = 0, firstCommaLine = 0;
  std::string firstComma, word;
  ForEachLine(f.path, shell, [&](long long n, const std::string& raw) {
    ++f.ValLineCount;
    const std::string line = PrepareLine(raw);
    const LineKind kind = KindOf(line);
    if (kind == LineKind::Record) {
      ++f.recordLines;
      f.recordBytes += static_cast<long long>(raw.size());
      if (HasDecimalComma(raw) && commaLines++ == 0) {
        firstCommaLine = n;
        firstComma = raw.size() > 60 ? raw.substr(0, 57) + "..." : raw;  // a line may be megabytes long
      }
    } else if (f.recordLines == 0) {
      // Header lines are the text lines above the records; a blank line there is nothing.
      if (kind == LineKind::Text) {
        ++f.ValHeaderLines;
        // A big file of text (the wrong file opened) is all header: it is held, so it is budgeted.
        f.headerBytes += static_cast<long long>(raw.size() + 4 * sizeof(std::string));
        if (f.headerBytes > (MaxPointsFileMiB << 20)) {
          ThrowFileError(f.path, "the file is too large: its header lines take more than " + std::to_string(MaxPointsFileMiB) + " MiB");
        }
        headerLines.push_back(line);
      }
      if (kind == LineKind::Blank) return;
    } else {
      if (++f.skippedCount <= static_cast<long long>(kListedSkippedLines)) f.skippedLines.push_back(n);
      return;
    }
    int count = 0;
    FieldReader fields(line);
    while (fields.Next(word) && !word.empty()) ++count;
    nocols = std::max(nocols, count);
  });
  if (commaLines > 0 && commaLines * 2 >= f.recordLines) {
    ThrowFileError(f.path, "line " + std::to_string(firstCommaLine) + ": the numbers are written with a decimal comma (\"" +
                               firstComma +
                               "\"), which would be read as a field separator. Write them with a decimal point (1.5) and open "
                               "the file again");
  }
  for (const std::string& line : headerLines) {
    FieldReader fields(line);
    for (int i = 1; i <= nocols; ++i) {
      if (!fields.Next(word)) break;  // the later fields are empty and name no column
      if (word.find_first_of("Xx") != std::string::npos) f.ValColX = i;
      if (word.find_first_of("Yy") != std::string::npos) f.ValColY = i;
      if (word.find("Val") != std::string::npos || word.find("val") != std::string::npos) f.ValColVal = i;
    }
  }
  f.ValColumnCount = nocols;
  CheckColValData(f, f.ValColVal, shell);
}

void CheckColValData(ValidationFile& f, int colVal, Shell& shell) {
  f.codes.clear();
  std::string code, word;
  bool any = false;
  ForEachLine(f.path, shell, [&](long long, const std::string& raw) {
    const std::string line = PrepareLine(raw);
    if (KindOf(line) != LineKind::Record) return;
    any = true;
    FieldReader fields(line);
    for (int k = 0; k < colVal; ++k) {
      if (!fields.Next(word)) {
        code.clear();  // so are all later fields
        break;
      }
      code = word;
    }
    if (std::find(f.codes.begin(), f.codes.end(), code) == f.codes.end()) f.codes.push_back(code);
  });
  if (!any) f.codes.push_back("");  // the lists offer an empty code when there is no record
  f.findsIndex = 0;
  f.nonFindsIndex = f.codes.size() >= 2 ? 1 : 0;
}

std::optional<std::string> SkippedLinesNote(const ValidationFile& f) {
  if (f.skippedCount == 0) return std::nullopt;
  std::string text = f.skippedCount == 1 ? "1 line was not read as a record: line "
                                         : std::to_string(f.skippedCount) + " lines were not read as records: lines ";
  for (std::size_t i = 0; i < f.skippedLines.size(); ++i) text += (i ? ", " : "") + std::to_string(f.skippedLines[i]);
  if (f.skippedCount > static_cast<long long>(f.skippedLines.size())) text += ", ...";
  return text + " (text or blank lines among the records)";
}

std::string ProposedFindsCode(const ValidationFile& file) {
  if (file.codes.empty()) return "choose";
  // 0 and 1 mean absent and present whichever comes first in the file: a file sorted with its
  // zeros first must not take them for the finds.
  bool zero = false, other = false;
  std::optional<std::string> one;
  for (const std::string& code : file.codes) {
    const auto v = ParseReal(Trimmed(code));
    if (v && *v == 1) {
      if (!one) one = code;
    } else if (v && *v == 0) {
      zero = true;
    } else {
      other = true;
    }
  }
  if (zero && one && !other) return *one;
  return file.codes[static_cast<std::size_t>(file.findsIndex)];
}

void OpenValidationFile(ValidationFile& f, const std::filesystem::path& path, Shell& shell) {
  ValidationFile fresh;
  fresh.path = path;
  // Columns no header word names keep what the previous file had, as the editors do.
  fresh.ValColX = f.ValColX;
  fresh.ValColY = f.ValColY;
  fresh.ValColVal = f.ValColVal;
  ScreenValData(fresh, shell);
  // The spin editors take the guesses and then the range 1..ValColumnCount, which moves an
  // unnamed column (0) to 1; the code lists follow the code column shown.
  auto limit = [&](int v) { return std::clamp(v, 1, std::max(1, fresh.ValColumnCount)); };
  const int shownVal = limit(fresh.ValColVal);
  fresh.ValColX = limit(fresh.ValColX);
  fresh.ValColY = limit(fresh.ValColY);
  if (shownVal != fresh.ValColVal) {
    fresh.ValColVal = shownVal;
    CheckColValData(fresh, shownVal, shell);
  }
  f = fresh;
  shell.log(std::string(60, '-'));
  shell.log("File with validation data loaded: " + path.string());
}

void LoadValData(const ValidationFile& f, ValidationRecords& records, Shell& shell) {
  shell.status2("... loading validation data ...");
  shell.gaugeRange(0, f.ValLineCount);
  shell.gaugeProgress(0);
  records.clear();
  // A record takes its numbers and the bytes of its texts; refused before anything is held.
  const long long textBytes = f.recordBytes + 3 * f.recordLines;  // each field ends in a zero byte
  const long long need = f.recordLines * static_cast<long long>(sizeof(double) * 5) + textBytes + f.headerBytes;
  if (need > (MaxPointsFileMiB << 20)) {
    ThrowFileError(f.path, "the file is too large: its records would take more than " + std::to_string(MaxPointsFileMiB) + " MiB");
  }
  records.reserve(static_cast<std::size_t>(f.recordLines), static_cast<std::size_t>(textBytes));
  int progress = 0;
  bool seenRecord = false;
  std::string x, y, code, word;
  ForEachLine(f.path, shell, [&](long long n, const std::string& raw) {
    shell.row(++progress);
    // A file that grew since it was screened must not outgrow the budget (nor the arena's offsets).
    if ((n & 4095) == 0 && static_cast<long long>(records.bytes()) > (MaxPointsFileMiB << 20)) {
      records.clear();
      ThrowFileError(f.path, "the file is too large: its records would take more than " + std::to_string(MaxPointsFileMiB) + " MiB");
    }
    const std::string line = PrepareLine(raw);
    const LineKind kind = KindOf(line);
    if (kind == LineKind::Record) seenRecord = true;
    else if (seenRecord || kind == LineKind::Blank) return;
    x.clear();
    y.clear();
    code.clear();
    FieldReader fields(line);
    for (int i = 1; i <= f.ValColumnCount && fields.Next(word); ++i) {
      if (i == f.ValColX) x = word;
      if (i == f.ValColY) y = word;
      if (i == f.ValColVal) code = word;
    }
    if (kind == LineKind::Record) records.Add(static_cast<std::uint32_t>(n), x, y, code);
    else records.header.push_back({x, y, code});
  });
  if (const auto note = SkippedLinesNote(f)) shell.log(*note);

  shell.status2("... sorting validation data ");
  std::vector<std::uint32_t> order(records.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  // A stable sort gives what repeated neighbour exchanges give: Y descending, then X ascending,
  // equal records in file order. Ten million records take seconds: the cancel is looked at as it runs.
  std::uint32_t compared = 0;
  std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
    if ((++compared & 0xFFFF) == 0) shell.run().ThrowIfCancelled();
    const bool aOk = records.HasPosition(a), bOk = records.HasPosition(b);
    if (aOk != bOk) return aOk;
    if (!aOk) return false;
    if (records.Y(a) != records.Y(b)) return records.Y(a) > records.Y(b);
    return records.X(a) < records.X(b);
  });
  records.Reorder(std::move(order), [&] { shell.run().ThrowIfCancelled(); });
  shell.gaugeProgress(0);
  shell.status2("(idle)");
}

}  // namespace karvelo
