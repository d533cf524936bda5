// karvelo-batch: the same engine steps as the window, driven from the command line.
#include "batch/batch.h"

#include <signal.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <optional>
#include <system_error>

#include <QString>
#include <sstream>
#include <QtGlobal>
#include <cstdio>
#include <functional>

#include "audit/audit.h"
#include "batch/batch_shell.h"
#include "batch/demo.h"
#include "batch/result_json.h"
#include "report/runreport.h"
#include "workflow/configure.h"
#include "workflow/insight.h"
#include "workflow/mapping.h"
#include "workflow/rasters.h"
#include "workflow/runrecord.h"
#include "workflow/session.h"
#include "workflow/validation.h"
#include "config/classification.h"
#include "config/configfile.h"
#include "config/configtable.h"
#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/filecheck.h"
#include "core/gridfile.h"
#include "core/memory.h"
#include "core/numfmt.h"
#include "core/projection.h"
#include "core/runtables.h"
#include "core/textsafe.h"
#include "mapping/bayesmap.h"
#include "mapping/priors.h"
#include "mapping/uncertainty.h"
#include "render/maprender.h"
#include "render/qimage_canvas.h"
#include "batch/jsonwriter.h"
#include "core/outputnames.h"
#include "validation/gain.h"
#include "validation/lookup.h"
#include "validation/roc.h"
#include "validation/valdata.h"
#include "core/workspace.h"
#include "gis/raster.h"
#include "karvelo_version.h"

namespace karvelo {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: karvelo-batch [options] COMMAND [arguments]\n"
    "\n"
    "Commands:\n"
    "  info GRID        read and scan an ASCII grid; print its header, range and unique values\n"
    "  config -o CONFIG ENTRY...\n"
    "                   build a data configuration and save it; entries in slot order:\n"
    "                     --obs PATH:P[:A]      observation grid, presence value P, absence value A\n"
    "                                           ('-' for none)\n"
    "                     --aux PATH[:N]        auxiliary grid in N classes (default 8), proposed bounds\n"
    "                                           in rounded equal steps\n"
    "                     --aux PATH:N:quantile|log|breaks  at most N classes of equal counts,\n"
    "                                           logarithmic steps (values above 0) or natural breaks\n"
    "                     --aux PATH:b1,...,bn+1  auxiliary grid with explicit class bounds\n"
    "  audit CONFIG     load a configuration file and audit it; prints the audit's log lines\n"
    "  map CONFIG [--prior manual|frequency|decluster] [--prior-p P] [--prior-a A]\n"
    "             [--uncertainty | --no-uncertainty] [--evidence all|vweak|weak|mod|strong|vstrong]\n"
    "             [--geotiff]\n"
    "                   load, audit, submit and map; the uncertainty run is the default;\n"
    "                   --geotiff also writes each result grid as a GeoTIFF (.tif)\n"
    "  validate POINTS MAP [--x N] [--y N] [--code N] [--finds CODE] [--config CONFIG]\n"
    "                   [--binary youden|equal|kappa|VALUE] [--compare MAP2]\n"
    "                   import validation points, look the map up, print the ROC's AUC, its\n"
    "                   intervals, the gain, the threshold table, the Boyce index and the\n"
    "                   prediction-area intersection; --config adds the thresholds at its training\n"
    "                   presences, --binary writes the binary map at a threshold, --compare tests\n"
    "                   the map against a second one on the same points (paired DeLong)\n"
    "  cv CONFIG [--folds K] [--split random|blocks] [--block-size CELLS] [map's --prior,\n"
    "            --prior-p, --prior-a and --evidence]\n"
    "                   cross-validation: the observation cells are dealt into K folds (default 5)\n"
    "                   at random or by squares of CELLS x CELLS cells (default: a tenth of the\n"
    "                   shorter side) dealt at random, from the run's seed (--seed); each fold is\n"
    "                   scored by the AUC of the map made from the other folds (counts, class tests\n"
    "                   and frequency priors from those; random absences drawn there when only\n"
    "                   presences were observed, the held-out presences then scored against every\n"
    "                   mapped cell of their fold); prints the mean and sd over the folds and\n"
    "                   writes Folds.bmp and Cross-validation.csv; a class counts when it passes\n"
    "                   the class test and, with --evidence, exp(-chi2/2) is at most the level's\n"
    "                   threshold; --prior decluster declusters every observation once\n"
    "  importance CONFIG [POINTS [--x N] [--y N] [--code N] [--finds CODE]] [cv's and map's options]\n"
    "                   the map without each grid and with it alone (same priors, classes and\n"
    "                   seed), scored on the points (AUC, gain at 10% of the area) or, without\n"
    "                   points, by the cross-validation's mean AUC; prints the table and writes\n"
    "                   Importance.csv and Importance.bmp\n"
    "  import RASTER [-o OUT.asc] [--band N]\n"
    "                   write band N (default 1) of any raster GDAL reads as an ASCII grid (default\n"
    "                   OUT: the raster's name with .asc, in the work folder), and its .prj beside it\n"
    "  align --like REF.asc RASTER -o OUT.asc [--resampling near|bilinear|mode]\n"
    "                   resample (and reproject, when both carry a projection) a raster onto the\n"
    "                   reference grid's extent, cell size and no-data value (default: near)\n"
    "  demo             the whole workflow on the example data that ships with Karvelo,\n"
    "                   in ./karvelo-demo (or --workdir), with a summary\n"
    "\n"
    "Options:\n"
    "  --workdir DIR      folder for every output and Karvelo.log (created if missing;\n"
    "                     default: the current directory)\n"
    "  --keep-work-files  keep the work folder (karvelo-work/ in the working folder) at the end\n"
    "  --seed S           seed the random generator with S (0..4294967295) instead of the clock\n"
    "  --threads N        read and write grids on N threads (default: one per core)\n"
    "  --progress json    progress and messages on standard error as one JSON object per line:\n"
    "                     {\"step\": ..., \"percent\": N, \"message\": ...} (messages add \"kind\")\n"
    "  --result-json FILE at the end, also after a failure or an interrupt, write FILE (whole or\n"
    "                     not at all): the command, \"status\" (the exit status), \"outcome\",\n"
    "                     \"message\", \"files\" written, \"warnings\", \"messages\" and \"results\",\n"
    "                     the command's statistics as typed fields\n"
    "  -h, --help         this text\n"
    "  --version          the program's version\n";

struct Options {
  std::optional<fs::path> workdir;
  bool keepWorkFiles = false;
  std::optional<std::uint32_t> seed;
  std::optional<unsigned> threads;
  bool jsonProgress = false;
  std::optional<fs::path> resultJson;
  bool help = false;
  bool version = false;
  std::vector<std::string> rest;  // the command and its own arguments, in order
};

struct UsageError {
  std::string text;
};

std::optional<std::uint32_t> ParseSeed(const std::string& s) {
  std::uint32_t v = 0;
  auto res = std::from_chars(s.data(), s.data() + s.size(), v);
  if (res.ec != std::errc() || res.ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

// The value after the option args[i], which i then points at; a usage error when there is none.
std::string OptionValue(const std::vector<std::string>& args, std::size_t& i) {
  if (i + 1 >= args.size()) throw UsageError{args[i] + " needs a value"};
  return args[++i];
}

// Takes out the options every command has, wherever they stand.
Options ParseCommonOptions(const std::vector<std::string>& args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&] { return OptionValue(args, i); };
    if (a == "-h" || a == "--help") {
      o.help = true;
    } else if (a == "--version") {
      o.version = true;
    } else if (a == "--workdir") {
      o.workdir = fs::path(value());
    } else if (a == "--keep-work-files") {
      o.keepWorkFiles = true;
    } else if (a == "--seed") {
      const std::string s = value();
      o.seed = ParseSeed(s);
      if (!o.seed) throw UsageError{"--seed takes a whole number from 0 to 4294967295, not '" + s + "'"};
    } else if (a == "--threads") {
      const std::string s = value();
      const auto n = ParseSeed(s);
      if (!n || *n < 1 || *n > 256) throw UsageError{"--threads takes a whole number from 1 to 256, not '" + s + "'"};
      o.threads = *n;
    } else if (a == "--progress") {
      const std::string s = value();
      if (s != "json") throw UsageError{"--progress takes json, not '" + s + "'"};
      o.jsonProgress = true;
    } else if (a == "--result-json") {
      o.resultJson = fs::path(value());
    } else {
      o.rest.push_back(a);
    }
  }
  return o;
}

// The path as the user meant it, resolved before the work folder is entered.
std::string Absolute(const std::string& path) {
  std::error_code ec;
  fs::path p = fs::absolute(path, ec);
  return ec ? path : p.lexically_normal().string();
}

// A command, parsed from its arguments and ready to run inside the work folder.
// It hands what it wrote and its statistics to the report for the result file.
using Command = std::function<int(Session&, std::ostream&, CommandReport&)>;

// info GRID: what picking the grid on tab 1 reads and shows.
Command ParseInfo(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].rfind("-", 0) == 0) throw UsageError{"info takes one grid file"};
  const std::string grid = Absolute(args[0]);
  return [grid](Session& session, std::ostream& out, CommandReport& report) {
    if (!OutputsAreNotInputs({session.Run().Output(kLogFileName)}, {grid}, session.Reporter())) return 1;
    const auto scan = PickGrid(session, grid, true, nullptr);
    if (!scan) return 1;
    const TDataDef& def = session.Ws().CurrentDataDef;
    out << "ncols: " << def.ncols << '\n'
        << "nrows: " << def.nrows << '\n'
        << "xllcorner: " << FormatShortest(def.xllcorner) << '\n'
        << "yllcorner: " << FormatShortest(def.yllcorner) << '\n'
        << "cellsize: " << FormatShortest(def.cellsize) << '\n'
        << "NODATA_value: " << FormatShortest(def.NODATA_value) << '\n'
        << "minvalue: " << FormatShortest(def.minvalue) << '\n'
        << "maxvalue: " << FormatShortest(def.maxvalue) << '\n';
    out << "unique:";
    for (const std::string& u : scan->unique) out << ' ' << u;
    out << '\n' << "list text: " << scan->listText << '\n';
    JsonWriter j;
    j.BeginObject().Key("ncols").Integer(def.ncols).Key("nrows").Integer(def.nrows);
    j.Key("xllcorner").Number(def.xllcorner).Key("yllcorner").Number(def.yllcorner).Key("cellsize").Number(def.cellsize);
    j.Key("NODATA_value").Number(def.NODATA_value).Key("minvalue").Number(def.minvalue).Key("maxvalue").Number(def.maxvalue);
    j.Key("unique").Strings(scan->unique).EndObject();
    report.results = j.Text();
    return 0;
  };
}

bool IsNumberText(const std::string& s) { return ParseReal(s).has_value(); }

// A value given on the command line that must be a finite number (an indicator, a class bound):
// beyond a double's range it would be saved as a text no load reads back.
void RequireFinite(const std::string& text, const std::string& option) {
  const auto v = ParseReal(text);
  if (v && !std::isfinite(*v)) throw UsageError{option + ": " + text + " is beyond the range of numbers"};
}

// --prior-p and --prior-a: a probability. The window resets a wrong edit field; a command line
// that says something else than it means is refused instead.
std::string PriorText(const std::string& text, const char* option) {
  const auto v = ParseReal(text);
  if (!v || !(*v >= 0 && *v <= 1)) {
    throw UsageError{std::string(option) + " takes a number from 0 to 1 (with a point), not '" + text + "'"};
  }
  return text;
}

// Splits trailing ":field" parts off a value from the right while `accept` takes them, so that a
// path may itself hold colons.
std::vector<std::string> SplitTrailing(std::string value, std::size_t most,
                                       const std::function<bool(const std::string&)>& accept, std::string* path) {
  std::vector<std::string> fields;
  while (fields.size() < most) {
    const auto colon = value.rfind(':');
    if (colon == std::string::npos || !accept(value.substr(colon + 1))) break;
    fields.insert(fields.begin(), value.substr(colon + 1));
    value.erase(colon);
  }
  *path = value;
  return fields;
}

ConfigEntry ParseObsEntry(const std::string& value) {
  ConfigEntry e;
  e.observation = true;
  auto indicator = [](const std::string& f) { return f == "-" || IsNumberText(f); };
  const auto fields = SplitTrailing(value, 2, indicator, &e.path);
  if (fields.empty()) throw UsageError{"--obs needs PATH:P[:A], not '" + value + "'"};
  for (const std::string& f : fields) RequireFinite(f, "--obs " + value);
  if (fields[0] != "-") e.presence = fields[0];
  if (fields.size() > 1 && fields[1] != "-") e.absence = fields[1];
  if (!e.presence && !e.absence) throw UsageError{"--obs " + value + " marks neither presences nor absences"};
  e.path = Absolute(e.path);
  return e;
}

ConfigEntry ParseAuxEntry(const std::string& value) {
  ConfigEntry e;
  // PATH:N:quantile|log|breaks: the proposal follows a number of classes; without one the last
  // field is part of the path.
  std::string rest = value;
  const auto colon = rest.rfind(':');
  if (colon != std::string::npos) {
    const std::string kind = rest.substr(colon + 1);
    const auto before = rest.rfind(':', colon == 0 ? 0 : colon - 1);
    const bool afterCount = colon > 0 && before != std::string::npos && before < colon &&
                            IsNumberText(rest.substr(before + 1, colon - before - 1));
    if (afterCount && (kind == "quantile" || kind == "log" || kind == "breaks")) {
      e.proposal = kind == "quantile" ? Proposal::Quantiles : kind == "log" ? Proposal::Logarithmic : Proposal::NaturalBreaks;
      rest.erase(colon);
    } else if (afterCount && !kind.empty() && !IsNumberText(kind) && kind.find(',') == std::string::npos) {
      throw UsageError{"--aux " + value + ": the proposal is quantile, log or breaks, not '" + kind + "'"};
    }
  }
  auto boundsOrCount = [](const std::string& f) {
    if (f.empty()) return false;
    std::size_t start = 0;
    for (;;) {
      const auto comma = f.find(',', start);
      if (!IsNumberText(f.substr(start, comma == std::string::npos ? std::string::npos : comma - start))) return false;
      if (comma == std::string::npos) return true;
      start = comma + 1;
    }
  };
  const auto fields = SplitTrailing(rest, 1, boundsOrCount, &e.path);
  if (!fields.empty()) {
    const std::string& f = fields[0];
    if (f.find(',') == std::string::npos) {
      const auto n = ParseReal(f);
      if (!n || *n != static_cast<int>(*n) || *n < 2 || *n > MaxClasses) {
        throw UsageError{"--aux " + value + ": the number of classes must be a whole number from 2 to 20"};
      }
      e.classes = static_cast<int>(*n);
    } else {
      std::size_t start = 0;
      for (;;) {
        const auto comma = f.find(',', start);
        e.bounds.push_back(f.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
      if (e.bounds.size() < 3 || e.bounds.size() > MaxClasses + 1) {
        throw UsageError{"--aux " + value + ": give 3 to 21 bounds (2 to 20 classes)"};
      }
      e.classes = static_cast<int>(e.bounds.size()) - 1;
      for (const std::string& b : e.bounds) RequireFinite(b, "--aux " + value);
    }
  }
  e.path = Absolute(e.path);
  return e;
}

// config -o CONFIG ENTRY...: builds a configuration as tab 1 does and saves it.
Command ParseConfig(const std::vector<std::string>& args) {
  std::optional<std::string> output;
  std::vector<ConfigEntry> entries;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&] { return OptionValue(args, i); };
    if (a == "-o") {
      output = Absolute(value());
    } else if (a == "--obs") {
      entries.push_back(ParseObsEntry(value()));
    } else if (a == "--aux") {
      entries.push_back(ParseAuxEntry(value()));
    } else {
      throw UsageError{"config does not take '" + a + "'"};
    }
  }
  if (!output) throw UsageError{"config needs -o CONFIG"};
  if (entries.empty()) throw UsageError{"config needs at least one --obs or --aux entry"};
  return [output = *output, entries](Session& session, std::ostream&, CommandReport& report) {
    if (!Configure(session, entries, output)) return 1;
    report.files.emplace_back(output);
    return 0;
  };
}

// audit CONFIG: load, then "b. Audit data configuration".
Command ParseAudit(const std::vector<std::string>& args) {
  if (args.size() != 1 || args[0].rfind("-", 0) == 0) throw UsageError{"audit takes one configuration file"};
  const std::string config = Absolute(args[0]);
  return [config](Session& session, std::ostream& out, CommandReport& report) {
    LoadConfigurationFile(session, config);
    std::vector<fs::path> inputs = MappingInputs(session.Ws());
    inputs.emplace_back(config);
    if (!OutputsAreNotInputs({session.Run().Output(kLogFileName)}, inputs, session.Reporter())) return 1;
    const AuditResult outcome = Audit(session);
    if (!outcome.ran) return 1;
    for (const std::string& line : AuditReportLines(outcome)) out << line << '\n';
    report.results = AuditJson(outcome);
    return 0;
  };
}

// map CONFIG: load, audit, final submission, then the map button.
// The choice an option's value names.
template <class Choices, class Name>
auto Choice(const std::string& value, const Choices& choices, Name name, const char* option) {
  for (const auto& c : choices) {
    if (value == name(c)) return c;
  }
  throw UsageError{std::string(option) + " does not take '" + value + "'"};
}

// The options of `map` as given, before the configuration is loaded.
struct MapArgs {
  PriorKind prior = PriorKind::Manual;
  std::optional<std::string> priorP, priorA;
  bool uncertainty = true;
  EvidenceLevel evidence = EvidenceLevel::All;
  bool geotiff = false;
};

int ColumnNumber(const std::string& value, const char* option) {
  const auto v = ParseReal(value);
  if (!v || *v != static_cast<int>(*v) || *v < 1) throw UsageError{std::string(option) + " takes a column number from 1, not '" + value + "'"};
  return static_cast<int>(*v);
}

// One of map's prior and evidence options at args[i] (i then at its value); false for another argument.
bool ParsePriorOption(const std::vector<std::string>& args, std::size_t& i, MapArgs& o) {
  const std::string& a = args[i];
  auto value = [&] { return OptionValue(args, i); };
  if (a == "--prior") {
    o.prior = Choice(value(), kPriorKinds, PriorKindName, "--prior");
  } else if (a == "--prior-p") {
    o.priorP = PriorText(value(), "--prior-p");
  } else if (a == "--prior-a") {
    o.priorA = PriorText(value(), "--prior-a");
  } else if (a == "--evidence") {
    o.evidence = Choice(value(), kEvidenceLevels, EvidenceOptionName, "--evidence");
  } else {
    return false;
  }
  return true;
}

// The priors asked for must be the priors used: two that do not make 1 cannot both be.
void CheckPriorArgs(const MapArgs& o) {
  if (o.priorP && o.priorA && std::fabs(*ParseReal(*o.priorP) + *ParseReal(*o.priorA) - 1) > 0.001) {
    throw UsageError{"--prior-p " + *o.priorP + " and --prior-a " + *o.priorA + " do not add up to 1"};
  }
  if ((o.priorP || o.priorA) && o.prior != PriorKind::Manual) {
    throw UsageError{std::string(o.priorP ? "--prior-p" : "--prior-a") + " is a prior entered by hand; it goes with --prior manual, not --prior " +
                     PriorKindName(o.prior)};
  }
}

Command ParseMap(const std::vector<std::string>& args) {
  MapArgs o;
  std::optional<std::string> config;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (ParsePriorOption(args, i, o)) continue;
    if (a == "--uncertainty") {
      o.uncertainty = true;
    } else if (a == "--no-uncertainty") {
      o.uncertainty = false;
    } else if (a == "--geotiff") {
      o.geotiff = true;
    } else if (a.rfind("-", 0) == 0 || config) {
      throw UsageError{"map does not take '" + a + "'"};
    } else {
      config = Absolute(a);
    }
  }
  if (!config) throw UsageError{"map needs a configuration file"};
  CheckPriorArgs(o);
  return [o, config = *config](Session& session, std::ostream& out, CommandReport& report) {
    MapOptions options;
    options.priors = PriorControlsFrom(o.prior, o.priorP, o.priorA, session.Ws());
    options.uncertainty = o.uncertainty;
    options.evidence = o.evidence;
    options.geotiff = o.geotiff;
    const MapCommandResult result = MapConfiguration(session, config, options);
    if (result.refusal == MapRefusal::Contradicting) return 2;
    if (result.refusal == MapRefusal::Unmappable) return 1;
    for (const fs::path& file : result.map.written) out << "wrote " << file.string() << '\n';
    for (const std::string& line : result.map.independence) out << line << '\n';
    for (const fs::path& file : result.map.geotiffs) out << "wrote " << file.string() << '\n';
    report.files = result.map.written;
    report.files.insert(report.files.end(), result.map.geotiffs.begin(), result.map.geotiffs.end());
    report.results = MapJson(result, session.Ws().PriorP, session.Ws().PriorA, o.uncertainty);
    return 0;
  };
}

// A whole number from lo to hi given to an option.
int WholeNumber(const std::string& value, int lo, int hi, const char* option) {
  const auto v = ParseReal(value);
  if (!v || *v != std::floor(*v) || *v < lo || *v > hi) {
    throw UsageError{std::string(option) + " takes a whole number from " + std::to_string(lo) + " to " + std::to_string(hi) + ", not '" + value + "'"};
  }
  return static_cast<int>(*v);
}

// --folds, --split and --block-size at args[i]; false for another argument.
bool ParseFoldOption(const std::vector<std::string>& args, std::size_t& i, FoldOptions& f) {
  const std::string& a = args[i];
  if (a == "--folds") {
    f.folds = WholeNumber(OptionValue(args, i), 2, kMaxFolds, "--folds");
  } else if (a == "--split") {
    const std::string v = OptionValue(args, i);
    if (v == "random") f.split = FoldSplit::RandomCells;
    else if (v == "blocks") f.split = FoldSplit::Blocks;
    else throw UsageError{"--split takes random or blocks, not '" + v + "'"};
  } else if (a == "--block-size") {
    f.blockSize = WholeNumber(OptionValue(args, i), 1, MaxGridExtent, "--block-size");
  } else {
    return false;
  }
  return true;
}

void CheckFoldOptions(const FoldOptions& f) {
  if (f.blockSize && f.split != FoldSplit::Blocks) throw UsageError{"--block-size goes with --split blocks"};
}

InsightMapOptions InsightOptionsOf(const MapArgs& o, Session& session) {
  InsightMapOptions options;
  options.priors = PriorControlsFrom(o.prior, o.priorP, o.priorA, session.Ws());
  options.evidence = o.evidence;
  return options;
}

int StatusOf(InsightRefusal refusal) {
  return refusal == InsightRefusal::Contradicting ? 2 : refusal == InsightRefusal::Unmappable ? 1 : 0;
}

// cv CONFIG: load, audit, submit, then a map per fold from the other folds.
Command ParseCrossValidation(const std::vector<std::string>& args) {
  MapArgs o;
  FoldOptions folds;
  std::optional<std::string> config;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (ParsePriorOption(args, i, o) || ParseFoldOption(args, i, folds)) continue;
    if (a.rfind("-", 0) == 0 || config) throw UsageError{"cv does not take '" + a + "'"};
    config = Absolute(a);
  }
  if (!config) throw UsageError{"cv needs a configuration file"};
  CheckPriorArgs(o);
  CheckFoldOptions(folds);
  return [o, folds, config = *config](Session& session, std::ostream& out, CommandReport& report) {
    const CrossValidationResult r = CrossValidate(session, config, InsightOptionsOf(o, session), folds);
    if (r.refusal != InsightRefusal::None) return StatusOf(r.refusal);
    out << r.priorsNote << '\n' << CrossValidationLine(r) << '\n';
    for (const std::string& note : r.notes) out << note << '\n';
    for (const fs::path& file : r.written) out << "wrote " << file.string() << '\n';
    report.files = r.written;
    report.results = CrossValidationJson(r);
    return 0;
  };
}

// importance CONFIG [POINTS]: each grid's map left out and alone, scored on the points or by cv.
Command ParseImportance(const std::vector<std::string>& args) {
  MapArgs o;
  FoldOptions folds;
  ImportancePoints points;
  bool columns = false;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (ParsePriorOption(args, i, o) || ParseFoldOption(args, i, folds)) continue;
    auto value = [&] { return OptionValue(args, i); };
    columns = columns || a == "--x" || a == "--y" || a == "--code" || a == "--finds";
    if (a == "--x") points.x = ColumnNumber(value(), "--x");
    else if (a == "--y") points.y = ColumnNumber(value(), "--y");
    else if (a == "--code") points.code = ColumnNumber(value(), "--code");
    else if (a == "--finds") points.finds = value();
    else if (a.rfind("-", 0) == 0 && a.size() > 1) throw UsageError{"importance does not take '" + a + "'"};
    else files.push_back(Absolute(a));
  }
  if (files.empty() || files.size() > 2) throw UsageError{"importance takes a configuration file and, optionally, a points file"};
  if (columns && files.size() < 2) throw UsageError{"--x, --y, --code and --finds go with a points file"};
  CheckPriorArgs(o);
  CheckFoldOptions(folds);
  std::optional<ImportancePoints> given;
  if (files.size() == 2) {
    points.file = files[1];
    given = points;
  }
  return [o, folds, given, config = files[0]](Session& session, std::ostream& out, CommandReport& report) {
    const ImportanceResult r = GridImportance(session, config, InsightOptionsOf(o, session), given, folds);
    if (r.refusal != InsightRefusal::None) return StatusOf(r.refusal);
    for (const std::string& line : ImportanceLines(r)) out << line << '\n';
    for (const fs::path& file : r.written) out << "wrote " << file.string() << '\n';
    report.files = r.written;
    report.results = ImportanceJson(r);
    return 0;
  };
}

// The files a validation put in place: the records looked up, the ROC's picture (not for finds
// only), the gain's table and picture, then the evaluation's own.
std::vector<fs::path> ValidationFiles(const RunContext& run, const ValidationRun& result, const std::string& mapFile) {
  std::vector<fs::path> files{run.Output(kValidationRecordsFile)};
  if (!result.evaluation.presenceOnly) files.push_back(run.Output(RocTitle(mapFile) + ".bmp"));
  files.push_back(run.Output(GainTitle(mapFile) + ".txt"));
  files.push_back(run.Output(GainTitle(mapFile) + ".bmp"));
  files.insert(files.end(), result.evaluation.written.begin(), result.evaluation.written.end());
  return files;
}

// validate POINTS MAP: open and screen, import and sort, look the map up, evaluate.
Command ParseValidate(const std::vector<std::string>& args) {
  ValidateOptions v;
  std::vector<std::string> files;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&] { return OptionValue(args, i); };
    if (a == "--x") v.x = ColumnNumber(value(), "--x");
    else if (a == "--y") v.y = ColumnNumber(value(), "--y");
    else if (a == "--code") v.code = ColumnNumber(value(), "--code");
    else if (a == "--finds") v.finds = value();
    else if (a == "--compare") v.compare = Absolute(value());
    else if (a == "--config") v.config = Absolute(value());
    else if (a == "--binary") {
      const std::string text = value();
      v.binary = BinaryChoiceNamed(text);
      if (!v.binary) throw UsageError{"--binary takes youden, equal, kappa or a threshold, not '" + text + "'"};
    } else if (a.rfind("-", 0) == 0 && a.size() > 1) throw UsageError{"validate does not take '" + a + "'"};
    else files.push_back(Absolute(a));
  }
  if (files.size() != 2) throw UsageError{"validate takes a points file and a map"};
  return [v, points = files[0], mapFile = files[1]](Session& session, std::ostream& out, CommandReport& report) {
    const auto result = Validate(session, v, points, mapFile);
    if (!result) return 1;
    for (const std::string& line : result->notes) out << line << '\n';
    const EvaluationResult& e = result->evaluation;
    if (e.auc) out << "AUC = " << AucText(*e.auc) << '\n' << "AUC (full precision) = " << FormatFixed(*e.auc, 6) << '\n';
    for (const std::string& line : EvaluationLines(e)) out << line << '\n';
    for (const fs::path& file : e.written) out << "wrote " << file.string() << '\n';
    report.files = ValidationFiles(session.Run(), *result, mapFile);
    report.results = ValidationJson(*result);
    return 0;
  };
}

// import RASTER [-o OUT.asc] [--band N]: one band of any raster as an ASCII grid.
Command ParseImport(const std::vector<std::string>& args) {
  std::optional<std::string> source, output;
  int band = 1;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&] { return OptionValue(args, i); };
    if (a == "-o") {
      output = Absolute(value());
    } else if (a == "--band") {
      const std::string v = value();
      const auto n = ParseReal(v);
      if (!n || *n != static_cast<int>(*n) || *n < 1) throw UsageError{"--band takes a band number from 1, not '" + v + "'"};
      band = static_cast<int>(*n);
    } else if (a.rfind("-", 0) == 0 || source) {
      throw UsageError{"import does not take '" + a + "'"};
    } else {
      source = Absolute(a);
    }
  }
  if (!source) throw UsageError{"import needs a raster file"};
  return [source = *source, output, band](Session& session, std::ostream& out, CommandReport& report) {
    Shell& shell = session.Reporter();
    // Without -o the grid goes into the working folder under the raster's name.
    const fs::path target = output ? fs::path(*output) : shell.run().Output(fs::path(source).stem().concat(".asc").string());
    const RasterResult result = ImportRasterStep(session, source, band, target);
    for (const fs::path& file : result.written) out << "wrote " << file.string() << '\n';
    report.files = result.written;
    return 0;
  };
}

// align --like REF.asc RASTER -o OUT.asc [--resampling near|bilinear|mode]
Command ParseAlign(const std::vector<std::string>& args) {
  std::optional<std::string> reference, source, output;
  gis::Resampling method = gis::Resampling::Nearest;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&] { return OptionValue(args, i); };
    if (a == "-o") {
      output = Absolute(value());
    } else if (a == "--like") {
      reference = Absolute(value());
    } else if (a == "--resampling") {
      const std::string v = value();
      const auto m = gis::ResamplingNamed(v);
      if (!m) throw UsageError{"--resampling takes near, bilinear or mode, not '" + v + "'"};
      method = *m;
    } else if (a.rfind("-", 0) == 0 || source) {
      throw UsageError{"align does not take '" + a + "'"};
    } else {
      source = Absolute(a);
    }
  }
  if (!reference) throw UsageError{"align needs --like REF.asc"};
  if (!source) throw UsageError{"align needs a raster file"};
  if (!output) throw UsageError{"align needs -o OUT.asc"};
  return [reference = *reference, source = *source, output = *output, method](Session& session, std::ostream& out,
                                                                              CommandReport& report) {
    Shell& shell = session.Reporter();
    const RasterResult result = AlignRasterStep(session, reference, source, output, method);
    if (!result.note.empty()) shell.message(result.note);
    for (const fs::path& file : result.written) out << "wrote " << file.string() << '\n';
    report.files = result.written;
    JsonWriter j;
    j.BeginObject().Key("reprojected").Bool(result.reprojected).Key("note").String(result.note).EndObject();
    report.results = j.Text();
    return 0;
  };
}

Command ParseCommand(const std::vector<std::string>& rest) {
  const std::string& name = rest[0];
  const std::vector<std::string> args(rest.begin() + 1, rest.end());
  if (name == "info") return ParseInfo(args);
  if (name == "config") return ParseConfig(args);
  if (name == "audit") return ParseAudit(args);
  if (name == "map") return ParseMap(args);
  if (name == "validate") return ParseValidate(args);
  if (name == "cv") return ParseCrossValidation(args);
  if (name == "importance") return ParseImportance(args);
  if (name == "import") return ParseImport(args);
  if (name == "align") return ParseAlign(args);
  if (name == "demo") {
    if (!args.empty()) throw UsageError{"demo takes no arguments (its folder is --workdir)"};
    return [](Session& session, std::ostream& out, CommandReport&) { return RunDemo(session, out); };
  }
  throw UsageError{"unknown command '" + name + "'"};
}

}  // namespace

namespace {

// Set by SIGINT and SIGTERM from the start of the process on; the run's cancel flag.
std::atomic<bool> g_interruptRequested{false};

extern "C" void OnInterrupt(int) { g_interruptRequested.store(true, std::memory_order_relaxed); }

// The working folder as an absolute path, made when it is missing; nothing on error.
std::optional<fs::path> PrepareWorkingFolder(const std::optional<fs::path>& workdir, std::ostream& err) {
  std::error_code ec;
  if (!workdir) {
    fs::path here = fs::current_path(ec);
    if (ec) {
      err << "karvelo: cannot tell the current folder: " << ec.message() << '\n';
      return std::nullopt;
    }
    return here;
  }
  fs::create_directories(*workdir, ec);
  fs::path folder = fs::absolute(*workdir, ec);
  if (!ec && !fs::is_directory(folder, ec)) ec = std::make_error_code(std::errc::not_a_directory);
  if (ec) {
    err << "karvelo: " << workdir->string() << ": cannot use as work folder: " << ec.message() << '\n';
    return std::nullopt;
  }
  return folder.lexically_normal();
}

// The command line that repeats this run: its command and arguments, with the run's seed and its
// folder, and every argument that names a file as an absolute path (it may be run from elsewhere).
std::string RepeatLine(const Options& opt, const fs::path& folder, const std::optional<std::uint32_t>& seed) {
  std::string line = "karvelo-batch";
  if (seed) line += " --seed " + std::to_string(*seed);
  line += " --workdir " + ShellQuoted(folder.string());
  for (const std::string& word : opt.rest) {
    std::error_code ec;
    const bool file = !word.empty() && word[0] != '-' && fs::path(word).is_relative() && fs::exists(word, ec);
    line += " " + ShellQuoted(file ? Absolute(word) : word);
  }
  return line;
}

}  // namespace

void InstallInterruptHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

void QuietQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text) {
  if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "karvelo: %s\n", text.toLocal8Bit().constData());
}

namespace {

// The --result-json file of a command line, found before the options are parsed, so that a usage
// error also gets its result file.
std::optional<fs::path> ResultJsonPath(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "--result-json") return fs::path(Absolute(args[i + 1]));
  }
  return std::nullopt;
}

// The last message that refused or failed the step: what the result file says went wrong.
std::optional<std::string> FailureMessage(const BatchShell& shell) {
  for (auto it = shell.shownMessages.rbegin(); it != shell.shownMessages.rend(); ++it) {
    if (it->first != MessageKind::Information) return it->second;
  }
  return std::nullopt;
}

}  // namespace

int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options opt;
  Command command;
  const std::optional<fs::path> resultJson = ResultJsonPath(args);
  try {
    opt = ParseCommonOptions(args);
    if (opt.help) {
      out << kUsage;
      return 0;
    }
    if (opt.version) {
      out << "karvelo-batch " << KARVELO_VERSION_TEXT << "\n";
      return 0;
    }
    if (opt.rest.empty()) throw UsageError{"no command given"};
    command = ParseCommand(opt.rest);
  } catch (const UsageError& e) {
    err << "karvelo-batch: " << e.text << "\n\n" << kUsage;
    if (resultJson) {
      ResultFile file;
      file.command = opt.rest.empty() ? "" : opt.rest[0];
      file.status = 2;
      file.outcome = "usage";
      file.message = e.text;
      WriteResultFile(*resultJson, ResultFileText(file), err);
    }
    return 2;
  }

  const std::string& name = opt.rest[0];
  const bool demo = name == "demo";
  if (demo && !opt.workdir) opt.workdir = fs::path("karvelo-demo");
  BatchShell shell(err, isatty(STDERR_FILENO) != 0);
  if (opt.jsonProgress) shell.UseJsonProgress(name);
  CommandReport report;
  // The result file, once the run has ended whichever way.
  auto finish = [&](int status, const char* outcome) {
    if (resultJson) {
      ResultFile file;
      file.command = name;
      file.status = status;
      file.outcome = outcome;
      file.report = &report;
      file.messages = shell.shownMessages;
      if (status != 0) file.message = status == 130 ? std::optional<std::string>("interrupted") : FailureMessage(shell);
      if (!WriteResultFile(*resultJson, ResultFileText(file), err) && status == 0) status = 1;
    }
    return status;
  };
  std::ostringstream folderError;
  const auto folder = PrepareWorkingFolder(opt.workdir, folderError);
  if (!folder) {
    err << folderError.str();
    shell.shownMessages.emplace_back(MessageKind::Error, folderError.str().substr(0, folderError.str().find_last_not_of('\n') + 1));
    return finish(1, "failed");
  }

  Session session(shell);
  SessionOptions options;
  options.folder = *folder;
  options.seed = opt.seed;
  options.threads = opt.threads;
  // SIGINT and SIGTERM ask the running step to stop at its next row instead of ending the
  // process mid-write (the handlers are installed as the program starts).
  options.cancel = std::shared_ptr<std::atomic<bool>>(&g_interruptRequested, [](std::atomic<bool>*) {});
  if (!session.Open(options)) return finish(1, "failed");
  if (demo) {
    if (const auto refusal = DemoFolderRefusal(*folder)) {
      shell.message(*refusal);
      session.Abandon(false);
      return finish(1, "failed");
    }
  }
  // What the command prints goes out once its results are in place: never a "wrote" line for a file
  // an interrupt kept from being written.
  std::ostringstream printed;
  int status = 0;
  const StepOutcome outcome = session.RunStep(name, [&] { status = command(session, printed, report); });
  if (outcome == StepOutcome::Cancelled) {
    // An interrupt leaves every result as it was, the log included.
    session.Abandon(opt.keepWorkFiles);
    shell.message("interrupted");
    report = CommandReport{};
    return finish(130, "interrupted");
  }
  // A failed step put only the files it finished in place: the report names none of them.
  if (status != 0 || outcome == StepOutcome::Failed) report.files.clear();
  if (outcome == StepOutcome::Failed && status == 0) status = 1;
  // The report of what the command did; one that cannot be written is a warning, not a failure.
  WriteRunReport(session, {RepeatLine(opt, *folder, session.Ws().FixedSeed)});
  // From here on the results are in place: an interrupt that comes now changes nothing, and the log
  // follows them. Standard output gets the file names and tables escaped as messages are.
  out << EscapeControl(printed.str(), true);
  out.flush();
  // The end of the run, as closing the window ends it; the demo then records what it left.
  if (!session.Close(opt.keepWorkFiles, [&] {
        if (demo) WriteDemoRecord(*folder);
      })) {
    status = 1;
  } else {
    report.files.push_back(*folder / kLogFileName);
  }
  return finish(status, status == 0 ? "done" : "failed");
}

}  // namespace karvelo
