// The demo run on the Meuse flood-plain example data.
#include "batch/demo.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <system_error>

#include "audit/audit.h"
#include "workflow/validation.h"
#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/numfmt.h"
#include "core/outputnames.h"
#include "core/sha256.h"
#include "mapping/bayesmap.h"
#include "mapping/uncertainty.h"
#include "mapping/weights.h"
#include "render/maprender.h"
#include "render/qimage_canvas.h"
#include "report/runreport.h"
#include "stats/statstext.h"
#include "workflow/configure.h"
#include "workflow/mapping.h"

namespace karvelo {

namespace fs = std::filesystem;

namespace {

const char* const kExampleFiles[] = {"obs.asc", "dist.asc", "ffreq.asc", "soil.asc", "validation.txt", "README.txt"};
const char* const kDemoOutputs[] = {"meuse-configuration.txt", kMeanMapFile, kSdMapFile, kBootstrapDataFile,
                                    kMeanPictureFile, kMeanLog10PictureFile, kBayesMapFile, kBayesPictureFile, kBayesLog10PictureFile,
                                    kValidationRecordsFile, "ROC of BayesP.asc.bmp", "Gain of BayesP.asc.txt",
                                    "Gain of BayesP.asc.bmp", kWeightsFile, "Effects of dist.bmp", "Effects of ffreq.bmp",
                                    "Effects of soil.bmp", kLogFileName, kReportFile};

// What an earlier demo wrote into its folder: one "checksum  name" line per file (the form
// sha256sum reads), so that a later demo replaces only files that are still its own.
constexpr const char* kDemoRecord = ".karvelo-demo";

bool IsDemoName(const std::string& name) {
  for (const char* n : kExampleFiles) {
    if (name == n) return true;
  }
  for (const char* n : kDemoOutputs) {
    if (name == n) return true;
  }
  return false;
}

// The record's checksums by name; empty when there is none (or it cannot be read).
std::map<std::string, std::string> ReadDemoRecord(const fs::path& dir) {
  std::map<std::string, std::string> sums;
  std::ifstream in(dir / kDemoRecord, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 66 && line[64] == ' ' && line[65] == ' ') sums[line.substr(66)] = line.substr(0, 64);
  }
  return sums;
}

// Whether `file` is what a demo put there: listed in the record with its checksum, or a byte-for-byte
// copy of the example data.
bool IsDemoFile(const fs::path& file, const std::map<std::string, std::string>& record,
                const std::optional<fs::path>& examples) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return false;
  const std::string name = file.filename().string();
  try {
    const std::string sum = FileSha256(file);
    if (const auto it = record.find(name); it != record.end() && it->second == sum) return true;
    for (const char* n : kExampleFiles) {
      if (name == n && examples && fs::is_regular_file(*examples / n, ec) && FileSha256(*examples / n) == sum) return true;
    }
  } catch (const FileError&) {
  }
  return false;
}

// The report's data folder of an earlier demo: a folder of the report's name holding only figure data.
bool IsReportDataFolder(const fs::path& entry) {
  std::error_code ec;
  if (entry.filename() != kReportFilesFolder || !fs::is_directory(entry, ec)) return false;
  for (const auto& file : fs::directory_iterator(entry, ec)) {
    if (!file.is_regular_file(ec) || file.path().extension() != ".csv") return false;
  }
  return !ec;
}

// The first entry of the folder that an earlier demo did not make, if any: the demo copies the
// example data over its own files and must not replace a user's.
std::optional<std::string> ForeignEntry(const fs::path& dir) {
  const auto record = ReadDemoRecord(dir);
  const auto examples = FindExampleData();
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name == kWorkFolderName || name == kLockFileName || name == kDemoRecord || IsReportDataFolder(entry.path())) continue;
    if (!IsDemoName(name) || !IsDemoFile(entry.path(), record, examples)) return name;
  }
  return std::nullopt;
}

bool HoldsExampleData(const fs::path& dir) {
  std::error_code ec;
  return fs::is_regular_file(dir / "obs.asc", ec) && fs::is_regular_file(dir / "validation.txt", ec);
}

fs::path ProgramFolder() {
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : self.parent_path();
}

}  // namespace

std::optional<fs::path> FindExampleData() {
  std::vector<fs::path> candidates;
  if (const char* env = std::getenv("KARVELO_EXAMPLES"); env && *env) candidates.emplace_back(env);
  // No path is compiled in, so an installed copy never reads a source tree: the build folder
  // links examples/ beside the programs, an install puts them under share/.
  const fs::path bin = ProgramFolder();
  if (!bin.empty()) {
    candidates.push_back(bin.parent_path() / "share/karvelo/examples/meuse");
    candidates.push_back(bin / "examples/meuse");
    candidates.push_back(bin.parent_path() / "examples/meuse");
  }
  for (const fs::path& c : candidates) {
    if (!c.empty() && HoldsExampleData(c)) return c;
  }
  return std::nullopt;
}

void WriteDemoRecord(const fs::path& folder) {
  std::string text;
  std::error_code ec;
  auto list = [&](const auto& names) {
    for (const char* n : names) {
      if (fs::is_regular_file(folder / n, ec)) text += FileSha256(folder / n) + "  " + n + "\n";
    }
  };
  list(kExampleFiles);
  list(kDemoOutputs);
  AtomicFile record(folder / kDemoRecord);
  record.Write(text.data(), text.size());
  record.Commit();
}

std::optional<std::string> DemoFolderRefusal(const fs::path& folder) {
  const auto foreign = ForeignEntry(folder);
  if (!foreign) return std::nullopt;
  return "The demo folder " + folder.string() + " holds " + *foreign +
         ", which is not a file of an earlier demo.\nChoose an empty or new folder with --workdir.";
}

int RunDemo(Session& session, std::ostream& out) {
  Shell& shell = session.Reporter();
  const auto examples = FindExampleData();
  if (!examples) {
    shell.message("The example data (examples/meuse) was not found.\nSet KARVELO_EXAMPLES to its folder.");
    return 1;
  }
  const fs::path work = session.Run().Folder();
  for (const char* name : kExampleFiles) {
    std::error_code ec;
    fs::copy_file(*examples / name, work / name, fs::copy_options::overwrite_existing, ec);
    if (ec) ThrowFileError(work / name, "cannot copy the example data: " + ec.message());
  }

  // Tab 1: the observations, distance to the river in 8 classes, flooding frequency and soil
  // type with one class per code.
  const std::string config = (work / "meuse-configuration.txt").string();
  std::vector<ConfigEntry> entries(4);
  entries[0].observation = true;
  entries[0].path = (work / "obs.asc").string();
  entries[0].presence = "1";
  entries[0].absence = "0";
  entries[1].path = (work / "dist.asc").string();
  entries[1].classes = 8;
  entries[2].path = (work / "ffreq.asc").string();
  entries[2].bounds = {"1", "2", "3", "4"};
  entries[2].classes = 3;
  entries[3].path = (work / "soil.asc").string();
  entries[3].bounds = {"1", "2", "3", "4"};
  entries[3].classes = 3;
  if (!Configure(session, entries, config)) return 1;

  // Tab 2 and tab 3: load, audit, submit; the uncertainty run, then the plain map, both with the
  // relative frequencies of the observations as priors.
  MapOptions options;
  options.priors = PriorControlsFrom(PriorKind::Frequency, std::nullopt, std::nullopt, session.Ws());
  const MapCommandResult uncertain = MapConfiguration(session, config, options);
  if (uncertain.refusal != MapRefusal::None) return 1;
  options.uncertainty = false;
  QImageCanvas picture(kMapPictureSize, kMapPictureSize);
  const MapResult plain = Map(session, options, picture, kDefaultFace);
  if (!plain.mapped) return 1;

  // Tab 4: the independent points against the plain map.
  ValidateOptions classic;
  classic.beyondAuc = false;  // the demo's folder and summary stay those of the AUC and the gain
  const auto validation = Validate(session, classic, work / "validation.txt", work / kBayesMapFile);
  if (!validation || !validation->evaluation.auc) return 1;
  const int kept = validation->recordsKept;

  out << "Karvelo demo: topsoil zinc of at least 500 ppm in the Meuse flood plain\n";
  out << "Work folder: " << work.string() << "\n\n";
  out << "Audit (chi-squared of presences and absences over the classes; * at 95%, ** at 99%):\n";
  for (const AuditGridTest& t : uncertain.audit.tests) {
    out << "  " << frmt(t.grid, 12) << " presences " << frmt(t.hasPresences ? AuditChi2Cell(t.presences.test) : "No data", 10)
        << " absences " << (t.hasAbsences ? AuditChi2Cell(t.absences.test) : "No data") << '\n';
  }
  out << "\nPriors (relative frequencies of the observations): presence " << plain.priors.textP << ", absence "
      << plain.priors.textA
      << "\n\nFiles written:\n";
  for (const char* name : kDemoOutputs) {
    out << "  " << (work / name).string() << '\n';
  }
  out << "\nValidation of BayesP.asc with " << kept << " independent points: AUC = " << AucText(*validation->evaluation.auc) << '\n';
  for (const std::string& line : EvaluationLines(validation->evaluation)) out << "  " << line << '\n';
  return 0;
}

}  // namespace karvelo
