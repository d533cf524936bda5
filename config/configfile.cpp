// Saving and loading the data configuration.
#include "config/configfile.h"

#include <cmath>
#include <ctime>

#include "config/classification.h"
#include "config/configtable.h"
#include "core/errors.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "core/runlog.h"
#include "core/textsafe.h"
#include "core/textwriter.h"

namespace karvelo {

namespace {

std::string Int(long long v, std::size_t width) { return RightAligned(std::to_string(v), width); }
std::string Real(double v, std::size_t width, int decimals) { return FixedInWidth(v, decimals, width); }
std::string Georef(double v, std::size_t width) { return RightAligned(FormatGeoref(v), width); }

}  // namespace

std::vector<std::string> ExtentDifferences(const TDataDef& grid, const TDataDef& reference) {
  std::vector<std::string> lines;
  const std::string name = FileNameOf(grid.FileName), refName = FileNameOf(reference.FileName);
  auto whole = [&](const char* field, int a, int b) {
    if (a != b) lines.push_back(name + ": " + field + " " + std::to_string(b) + " differs from " + refName + ": " + std::to_string(a));
  };
  // Two decimals as the configuration file writes them; where those agree, every digit.
  auto real = [&](const char* field, double a, double b) {
    if (a == b) return;
    std::string ta = FormatFixed(a, 2), tb = FormatFixed(b, 2);
    if (ta == tb) ta = FormatShortest(a), tb = FormatShortest(b);
    lines.push_back(name + ": " + field + " " + tb + " differs from " + refName + ": " + ta);
  };
  whole("ncols", reference.ncols, grid.ncols);
  whole("nrows", reference.nrows, grid.nrows);
  real("xllcorner", reference.xllcorner, grid.xllcorner);
  real("yllcorner", reference.yllcorner, grid.yllcorner);
  real("cellsize", reference.cellsize, grid.cellsize);
  return lines;
}

std::vector<std::string> ConsistencyDifferences(const Workspace& ws) {
  std::vector<std::string> lines;
  for (int i = 2; i <= ws.DataDefCount; ++i) {
    for (std::string& line : ExtentDifferences(ws.DataDef(i), ws.DataDef(1))) lines.push_back(std::move(line));
  }
  return lines;
}

namespace {

// The message of entries that do not share one geometry (each compared with the one before it,
// the differences with the first), or nothing when they do.
std::optional<std::string> InconsistencyText(const std::vector<const TDataDef*>& defs) {
  bool cellsize = true, xll = true, yll = true, ncols = true, nrows = true;
  for (std::size_t i = 1; i < defs.size(); ++i) {
    const TDataDef& a = *defs[i - 1];
    const TDataDef& b = *defs[i];
    cellsize = cellsize && a.cellsize == b.cellsize;
    xll = xll && a.xllcorner == b.xllcorner;
    yll = yll && a.yllcorner == b.yllcorner;
    ncols = ncols && a.ncols == b.ncols;
    nrows = nrows && a.nrows == b.nrows;
  }
  if (cellsize && xll && yll && ncols && nrows) return std::nullopt;
  std::string text = !cellsize ? "Cell sizes in the various grids are different:\nPrepare new and consistent grids and start anew!"
                               : "xllcorner, yllcorner, ncols and/or nrows are different:\nPrepare new and consistent grids and start anew!";
  for (std::size_t i = 1; i < defs.size(); ++i) {
    for (const std::string& line : ExtentDifferences(*defs[i], *defs[0])) text += "\n" + line;
  }
  return text;
}

std::vector<const TDataDef*> EntriesOf(const Workspace& ws) {
  std::vector<const TDataDef*> defs;
  for (int i = 1; i <= ws.DataDefCount; ++i) defs.push_back(&ws.DataDef(i));
  return defs;
}

}  // namespace

bool CheckConsistency(const Workspace& ws, Shell& shell) { return CheckConsistency(ws, shell, nullptr); }

bool CheckConsistency(const Workspace& ws, Shell& shell, bool* alignAsked) {
  if (alignAsked) *alignAsked = false;
  shell.status2("Checking consistency of gridfiles");
  const std::optional<std::string> text = InconsistencyText(EntriesOf(ws));
  if (!text) return true;
  if (!alignAsked || SlotsOffReference(ws).empty()) {
    shell.message(*text);
  } else {
    *alignAsked = shell.ask(*text, {kAlignButton, "OK"}, 1) == 0;
  }
  return false;
}

std::vector<int> SlotsOffReference(const Workspace& ws) {
  std::vector<int> slots;
  const TDataDef& ref = ws.ReferenceGrid();
  for (int i = 2; i <= ws.DataDefCount; ++i) {
    const TDataDef& d = ws.DataDef(i);
    if (d.GridFileType != TGridFileType::asciigrid) continue;
    if (d.cellsize != ref.cellsize || d.xllcorner != ref.xllcorner || d.yllcorner != ref.yllcorner ||
        d.ncols != ref.ncols || d.nrows != ref.nrows) {
      slots.push_back(i);
    }
  }
  return slots;
}

std::filesystem::path AlignedGridName(const std::filesystem::path& folder, const std::string& grid) {
  return folder / (std::filesystem::path(grid).stem().string() + "-aligned.asc");
}

std::vector<std::string> ConfigurationBlock(const TDataDef& def) {
  std::vector<std::string> lines;
  lines.push_back(def.FileName);
  lines.push_back(def.GridFileType == TGridFileType::asciigrid ? "asciigrid" : "notgrid");
  lines.push_back(Int(def.ncols, 6) + "    Number of columns");
  lines.push_back(Int(def.nrows, 6) + "    Number of rows");
  lines.push_back(Georef(def.xllcorner, 8) + " X at lower left corner");
  lines.push_back(Georef(def.yllcorner, 8) + " Y at lower left corner");
  lines.push_back(Georef(def.cellsize, 6) + "    Cell size");
  lines.push_back(Real(def.NODATA_value, 8, 2) + "  Value for No Data");
  lines.push_back(Real(def.minvalue, 8, 2) + "  Minimal value in the grid");
  lines.push_back(Real(def.maxvalue, 8, 2) + "  Maximal value in the grid");
  lines.push_back(Real(def.PositiveIndicatorValue, 8, 2) + "  Value of the indicator for occurrence (or NoData)");
  lines.push_back(Real(def.NegativeIndicatorValue, 8, 2) + "  Value of the indicator for absence (or NoData)");
  lines.push_back(Int(def.NrClasses, 3) + "       Number of classes for the continuous variable (or 0)");
  for (int j = 1; j <= def.NrClasses && j <= MaxClasses; ++j) {
    const auto& cls = def.mclasses[static_cast<std::size_t>(j - 1)];
    lines.push_back(Real(cls[ClassLower], 12, 5) + " " + Real(cls[ClassUpper], 12, 5) +
                    " lower and upper bound of class " + Int(j, 2));
  }
  return lines;
}

namespace {

// What makes an entry unusable whatever its grid holds, with the line of its block (1-based)
// that says so: an indicator in a file that is no grid, one value for presences and absences,
// a class that holds nothing or overlaps the one before it.
struct EntryFault {
  int blockLine;
  std::string what;
};

std::optional<EntryFault> FindEntryFault(const TDataDef& def) {
  const std::string name = QuotedFileText(def.FileName, 300);
  if (def.GridFileType == TGridFileType::notgrid && (def.IsPresenceGrid() || def.IsAbsenceGrid())) {
    return EntryFault{def.IsPresenceGrid() ? 11 : 12, "the entry " + name + " is not a grid (notgrid), so it cannot mark " +
                                                          (def.IsPresenceGrid() ? "presences" : "absences")};
  }
  if (def.IsPresenceGrid() && def.PositiveIndicatorValue == def.NegativeIndicatorValue) {
    return EntryFault{12, "the presence and the absence indicator of " + name + " are both " +
                              FormatShortest(def.PositiveIndicatorValue) + "; they must differ"};
  }
  if (const auto fault = FindClassFault(def)) {
    return EntryFault{13 + fault->klasse, "class " + std::to_string(fault->klasse) + " of " + name + " " + fault->what};
  }
  return std::nullopt;
}

}  // namespace

void WriteConfigurationFile(const Workspace& ws, const std::filesystem::path& path) {
  // Nothing is written that a load would refuse: the name is one line of the file, so a line break
  // in it would shift every later line, and a value beyond a double's range would be written "inf".
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    const TDataDef& def = ws.DataDef(i);
    const std::string name = QuotedFileText(def.FileName, 300);
    if (def.FileName.find_first_of("\r\n") != std::string::npos) {
      ThrowFileError(path, "cannot save the configuration: the grid file name " + name +
                               " holds a line break; rename the grid or its folder");
    }
    bool finite = std::isfinite(def.xllcorner) && std::isfinite(def.yllcorner) && std::isfinite(def.cellsize) &&
                  std::isfinite(def.NODATA_value) && std::isfinite(def.minvalue) && std::isfinite(def.maxvalue) &&
                  std::isfinite(def.PositiveIndicatorValue) && std::isfinite(def.NegativeIndicatorValue);
    for (int j = 1; j <= def.NrClasses && j <= MaxClasses; ++j) {
      const auto& cls = def.mclasses[static_cast<std::size_t>(j - 1)];
      finite = finite && std::isfinite(cls[ClassLower]) && std::isfinite(cls[ClassUpper]);
    }
    if (!finite) {
      ThrowFileError(path, "cannot save the configuration: a value of " + name + " is not a finite number");
    }
    if (const auto fault = FindEntryFault(def)) ThrowFileError(path, "cannot save the configuration: " + fault->what);
  }
  TextWriter out(path);
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    for (const std::string& line : ConfigurationBlock(ws.DataDef(i))) out.WriteLine(line);
  }
  out.Close();
}

std::vector<std::string> ReadTextLines(const std::filesystem::path& path, long long maxMiB) {
  TDataDef file;
  file.FileName = path.string();
  GridReader reader(file);
  std::vector<std::string> lines;
  std::string line;
  long long held = 0;
  while (reader.ReadTextLine(line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    held += static_cast<long long>(line.size() + sizeof line);
    if (maxMiB > 0 && held > (maxMiB << 20)) {
      ThrowFileError(path, "the file is too large: its lines take more than " + std::to_string(maxMiB) + " MiB");
    }
    lines.push_back(line);
  }
  return lines;
}

namespace {

// Reads the lines of one configuration file in order and reports where a line is not what it must be.
class ConfigReader {
 public:
  ConfigReader(std::filesystem::path path, std::vector<std::string> lines) : path_(std::move(path)), lines_(std::move(lines)) {}

  // Only blank lines are left (a trailing line end or two after the last block is no new block).
  bool AtEnd() const {
    for (std::size_t i = next_; i < lines_.size(); ++i) {
      if (lines_[i].find_first_not_of(" \t") != std::string::npos) return false;
    }
    return true;
  }
  const std::string& Line(const char* what) {
    if (next_ >= lines_.size()) Fail(next_ + 1, "the file ends where " + std::string(what) + " was expected");
    return lines_[next_++];
  }
  // The first word of the next line (leading blanks skipped; it ends at a blank or the line's end).
  std::string Word(const char* what, std::size_t* column = nullptr) {
    const std::string& line = Line(what);
    return FirstWord(line, 0, column);
  }
  std::int32_t Integer(const char* what) {
    const std::string w = Word(what);
    std::size_t i = (!w.empty() && (w[0] == '-' || w[0] == '+')) ? 1 : 0;
    if (i == w.size() || w.find_first_not_of("0123456789", i) != std::string::npos || w.size() > 11) {
      Fail(next_, std::string(what) + " is not a whole number: " + QuotedFileText(w));
    }
    return ParseIntPrefix(w);
  }
  double Real(const char* what) { return ToReal(Word(what), what); }
  // Two reals from one line.
  std::pair<double, double> TwoReals(const char* what) {
    const std::string& line = Line(what);
    std::size_t end = 0;
    const std::string first = FirstWord(line, 0, &end);
    const std::string second = FirstWord(line, end, nullptr);
    return {ToReal(first, what), ToReal(second, what)};
  }
  [[noreturn]] void Fail(std::size_t lineNumber, const std::string& what) const {
    ThrowFileError(path_, "line " + std::to_string(lineNumber) + ": " + what);
  }
  std::size_t LineNumber() const { return next_; }

 private:
  static std::string FirstWord(const std::string& line, std::size_t from, std::size_t* end) {
    std::size_t b = line.find_first_not_of(" \t", from);
    if (b == std::string::npos) b = line.size();
    std::size_t e = line.find_first_of(" \t", b);
    if (e == std::string::npos) e = line.size();
    if (end) *end = e;
    return line.substr(b, e - b);
  }
  double ToReal(const std::string& w, const char* what) const {
    const auto v = ParseReal(w);
    if (!v) Fail(next_, std::string(what) + " is not a number: " + QuotedFileText(w));
    // Beyond the range of a double the value would be saved as "inf", which no load reads back.
    if (!std::isfinite(*v)) Fail(next_, std::string(what) + " is out of range: " + QuotedFileText(w));
    return *v;
  }
  std::filesystem::path path_;
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
};

TDataDef ReadBlock(ConfigReader& in) {
  TDataDef def;
  def.FileName = in.Line("the grid file name");
  const std::string kind = in.Line("the file type");
  if (kind == "asciigrid") {
    def.GridFileType = TGridFileType::asciigrid;
  } else if (kind == "notgrid") {
    def.GridFileType = TGridFileType::notgrid;
  } else {
    in.Fail(in.LineNumber(), "the file type must be \"asciigrid\" or \"notgrid\", not " + QuotedFileText(kind));
  }
  // A grid over the size limit never passes tab 1, so a file that claims one was not saved by the
  // program; reading it on would make the audit walk billions of cells that are not there.
  def.ncols = in.Integer("the number of columns");
  if (def.ncols > MaxGridExtent) {
    in.Fail(in.LineNumber(), "the number of columns must not exceed " + std::to_string(MaxGridExtent));
  }
  def.nrows = in.Integer("the number of rows");
  if (def.nrows > MaxGridExtent) {
    in.Fail(in.LineNumber(), "the number of rows must not exceed " + std::to_string(MaxGridExtent));
  }
  def.xllcorner = in.Real("xllcorner");
  def.yllcorner = in.Real("yllcorner");
  def.cellsize = in.Real("the cell size");
  def.NODATA_value = in.Real("the no-data value");
  def.minvalue = in.Real("the minimal value");
  def.maxvalue = in.Real("the maximal value");
  def.PositiveIndicatorValue = in.Real("the presence indicator");
  def.NegativeIndicatorValue = in.Real("the absence indicator");
  def.NrClasses = in.Integer("the number of classes");
  if (def.NrClasses < 0 || def.NrClasses > MaxClasses) {
    in.Fail(in.LineNumber(), "the number of classes must lie between 0 and " + std::to_string(MaxClasses));
  }
  for (int j = 1; j <= def.NrClasses; ++j) {
    const auto [lower, upper] = in.TwoReals("the bounds of a class");
    def.mclasses[static_cast<std::size_t>(j - 1)][ClassLower] = lower;
    def.mclasses[static_cast<std::size_t>(j - 1)][ClassUpper] = upper;
  }
  return def;
}

// The geometry of an entry against its grid's own header, as the configuration file holds it (corners
// and cell size as FormatGeoref writes them, the no-data value with two decimals), so that a file
// the program wrote always agrees. A grid that is not there is left to the audit, which names
// every missing grid. `first` is the block's first line.
void CheckAgainstOwnHeader(const TDataDef& def, std::size_t first, ConfigReader& in) {
  std::error_code ec;
  if (def.GridFileType != TGridFileType::asciigrid || !std::filesystem::is_regular_file(def.FileName, ec)) return;
  TDataDef own;
  own.FileName = def.FileName;
  SilentShell quiet;  // a grid over the size limit disagrees below: the configuration holds at most 10000
  ReadHeader(own, quiet);
  const std::string grid = QuotedFileText(def.FileName, 300);
  auto differs = [&](int blockLine, const char* field, const std::string& here, const std::string& there) {
    in.Fail(first + static_cast<std::size_t>(blockLine) - 1,
            std::string(field) + " is " + here + ", but the header of " + grid + " says " + there);
  };
  if (def.ncols != own.ncols) differs(3, "ncols", std::to_string(def.ncols), std::to_string(own.ncols));
  if (def.nrows != own.nrows) differs(4, "nrows", std::to_string(def.nrows), std::to_string(own.nrows));
  auto real = [&](int blockLine, const char* field, double here, double there, const std::string& written) {
    if (ParseReal(written) != here) differs(blockLine, field, FormatShortest(here), FormatShortest(there));
  };
  real(5, "xllcorner", def.xllcorner, own.xllcorner, FormatGeoref(own.xllcorner));
  real(6, "yllcorner", def.yllcorner, own.yllcorner, FormatGeoref(own.yllcorner));
  real(7, "cellsize", def.cellsize, own.cellsize, FormatGeoref(own.cellsize));
  real(8, "NODATA_value", def.NODATA_value, own.NODATA_value, FormatFixed(own.NODATA_value, 2));
}

}  // namespace

std::vector<TDataDef> ReadConfigurationFile(const std::filesystem::path& path, Shell& shell) {
  ConfigReader in(path, ReadTextLines(path, MaxConfigurationMiB));
  if (in.AtEnd()) ThrowFileError(path, "the file holds no configuration");
  std::vector<TDataDef> defs;
  std::vector<std::size_t> firstLines;
  do {
    if (static_cast<int>(defs.size()) == MaxDataFiles) {
      shell.message(TooManyFilesMessage());
      break;
    }
    firstLines.push_back(in.LineNumber() + 1);
    defs.push_back(ReadBlock(in));
    // A relative name, written by hand, means the grid beside the configuration file, wherever
    // the program was started.
    TDataDef& def = defs.back();
    const std::filesystem::path folder = path.parent_path();
    if (!def.FileName.empty() && !folder.empty() && std::filesystem::path(def.FileName).is_relative()) {
      def.FileName = (folder / def.FileName).lexically_normal().string();
    }
    if (const auto fault = FindEntryFault(def)) in.Fail(firstLines.back() + static_cast<std::size_t>(fault->blockLine) - 1, fault->what);
  } while (!in.AtEnd());
  // A file edited by hand (or grids changed since) would be read misaligned, or a map written
  // over an extent that no grid has: each entry must agree with its grid, and all with each other.
  for (std::size_t i = 0; i < defs.size(); ++i) CheckAgainstOwnHeader(defs[i], firstLines[i], in);
  std::vector<const TDataDef*> entries;
  for (const TDataDef& def : defs) entries.push_back(&def);
  if (const auto text = InconsistencyText(entries)) ThrowFileError(path, *text);
  return defs;
}

ConfigFileView SaveConfiguration(const Workspace& ws, const std::filesystem::path& path, Shell& shell) {
  shell.status2("Saving configuration file");
  WriteConfigurationFile(ws, path);
  shell.log("Configuration file " + path.string() + " was positively checked and saved:");
  ConfigFileView view;
  view.fileLabel = "... " + FileNameOf(path.string());
  view.memo = ReadTextLines(path, MaxConfigurationMiB);
  for (const std::string& line : view.memo) shell.log(line);
  return view;
}

ConfigFileView LoadConfiguration(Workspace& ws, TextGrid& table, const std::filesystem::path& path, Shell& shell) {
  shell.status2("Loading configuration file");
  std::vector<TDataDef> defs = ReadConfigurationFile(path, shell);
  ConfigFileView view;
  view.fileLabel = FileNameOf(path.string());
  view.memo = ReadTextLines(path, MaxConfigurationMiB);
  shell.log(std::string(60, '-'));
  shell.log("New configuration at " + LocalDateTimeText(std::time(nullptr)));
  shell.log("Configuration " + path.string() + " was loaded from file.");
  for (const std::string& line : view.memo) shell.log(line);

  ws.ReplaceDataDefs(defs);
  table.SetRowCount(1);
  for (int i = 1; i <= ws.DataDefCount; ++i) {
    table.SetRowCount(i + 1);
    table.fixedRows = 1;
    FillRow(table, i + 1, ws.DataDef(i));
  }
  return view;
}

}  // namespace karvelo
