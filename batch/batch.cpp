// karvelo-batch: the same engine steps as the window, driven from the command line.
#include "batch/batch.h"

#include <charconv>
#include <ctime>
#include <filesystem>
#include <optional>
#include <system_error>

#include "batch/batch_shell.h"
#include "core/errors.h"
#include "core/gridfile.h"
#include "core/numfmt.h"
#include "core/workspace.h"

namespace karvelo {

namespace {

namespace fs = std::filesystem;

constexpr const char* kUsage =
    "usage: karvelo-batch [options] COMMAND [arguments]\n"
    "\n"
    "Commands:\n"
    "  info GRID        read and scan an ASCII grid; print its header, range and unique values\n"
    "\n"
    "Options:\n"
    "  --workdir DIR      folder for every output and Karvelo.log (created if missing;\n"
    "                     default: the current directory)\n"
    "  --keep-work-files  keep the registered work files at the end\n"
    "  --seed S           seed the random generator with S (0..4294967295) instead of the clock\n"
    "  -h, --help         this text\n";

struct Options {
  std::optional<fs::path> workdir;
  bool keepWorkFiles = false;
  std::optional<std::uint32_t> seed;
  bool help = false;
  std::vector<std::string> positional;
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

Options ParseOptions(const std::vector<std::string>& args) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* name) -> std::string {
      if (i + 1 >= args.size()) throw UsageError{std::string(name) + " needs a value"};
      return args[++i];
    };
    if (a == "-h" || a == "--help") {
      o.help = true;
    } else if (a == "--workdir") {
      o.workdir = fs::path(value("--workdir"));
    } else if (a == "--keep-work-files") {
      o.keepWorkFiles = true;
    } else if (a == "--seed") {
      const std::string s = value("--seed");
      o.seed = ParseSeed(s);
      if (!o.seed) throw UsageError{"--seed takes a whole number from 0 to 4294967295, not '" + s + "'"};
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      throw UsageError{"unknown option " + a};
    } else {
      o.positional.push_back(a);
    }
  }
  return o;
}

// info GRID: what picking the grid on tab 1 reads and shows.
int CommandInfo(const std::vector<std::string>& args, Workspace& ws, BatchShell& shell, std::ostream& out) {
  if (args.size() != 1) throw UsageError{"info takes one grid file"};
  TDataDef& def = ws.CurrentDataDef;
  def.FileName = args[0];
  def.GridFileType = TGridFileType::asciigrid;
  if (!ReadHeader(def, shell)) return 1;
  const ScanResult scan = ScanData(def, shell);
  out << "ncols: " << def.ncols << '\n'
      << "nrows: " << def.nrows << '\n'
      << "xllcorner: " << FormatShortest(def.xllcorner) << '\n'
      << "yllcorner: " << FormatShortest(def.yllcorner) << '\n'
      << "cellsize: " << FormatShortest(def.cellsize) << '\n'
      << "NODATA_value: " << FormatShortest(def.NODATA_value) << '\n'
      << "minvalue: " << FormatShortest(def.minvalue) << '\n'
      << "maxvalue: " << FormatShortest(def.maxvalue) << '\n';
  out << "unique:";
  for (const std::string& u : scan.unique) out << ' ' << u;
  out << '\n' << "list text: " << scan.listText << '\n';
  return 0;
}

// Turns the paths among a command's arguments into absolute ones before the work folder is entered.
std::vector<std::string> AbsolutePaths(std::vector<std::string> args) {
  for (auto& a : args) {
    std::error_code ec;
    fs::path p = fs::absolute(a, ec);
    if (!ec) a = p.string();
  }
  return args;
}

}  // namespace

int RunBatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  Options opt;
  try {
    opt = ParseOptions(args);
  } catch (const UsageError& e) {
    err << "karvelo-batch: " << e.text << "\n\n" << kUsage;
    return 2;
  }
  if (opt.help) {
    out << kUsage;
    return 0;
  }
  if (opt.positional.empty()) {
    err << kUsage;
    return 2;
  }
  const std::string command = opt.positional[0];
  std::vector<std::string> rest(opt.positional.begin() + 1, opt.positional.end());
  if (command != "info") {
    err << "karvelo-batch: unknown command '" << command << "'\n\n" << kUsage;
    return 2;
  }
  rest = AbsolutePaths(rest);

  if (opt.workdir) {
    std::error_code ec;
    fs::create_directories(*opt.workdir, ec);
    fs::current_path(*opt.workdir, ec);
    if (ec) {
      err << "karvelo: " << opt.workdir->string() << ": cannot use as work folder: " << ec.message() << '\n';
      return 1;
    }
  }

  BatchShell shell(err);
  auto ws = std::make_unique<Workspace>();
  StartRunLog(shell.runLog, std::time(nullptr));
  int status = 0;
  try {
    status = CommandInfo(rest, *ws, shell, out);
  } catch (const UsageError& e) {
    err << "karvelo-batch: " << e.text << "\n\n" << kUsage;
    return 2;
  } catch (const FileError& e) {
    shell.message(e.what());
    status = 1;
  }

  // The end of the run, as closing the window ends it.
  EndRunLog(shell.runLog, std::time(nullptr));
  try {
    WriteLogFile(shell.runLog, kLogFileName);
    shell.message(std::string("Logfile saved to ") + kLogFileName);
  } catch (const FileError& e) {
    shell.message(e.what());
    status = 1;
  }
  if (!opt.keepWorkFiles) DeleteWorkFiles(shell.runLog);
  return status;
}

}  // namespace karvelo
