// The programs' side of the raster layer: loads the raster module on first use and calls it.
#include <dlfcn.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <new>
#include <vector>

#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/projection.h"
#include "core/runcontext.h"
#include "core/shell.h"
#include "gis/raster.h"
#include "gis/rastermodule.h"

namespace karvelo::gis {

namespace fs = std::filesystem;

namespace {

struct LoadedModule {
  const RasterModuleTable* table = nullptr;
  std::string error;  // why no module could be loaded
};

fs::path ProgramFolder() {
  std::error_code ec;
  const fs::path program = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : program.parent_path();
}

// A folder named by KARVELO_RASTER_MODULE_DIR (the test programs, which live one folder below
// the module), beside the program (the build folder), and in the lib folder of an installation.
// Only places relative to the program: no path of the build tree is compiled in.
std::vector<fs::path> ModulePlaces() {
  std::vector<fs::path> places;
  if (const char* dir = std::getenv("KARVELO_RASTER_MODULE_DIR"); dir && *dir) places.push_back(fs::path(dir) / kRasterModuleFile);
  const fs::path folder = ProgramFolder();
  if (!folder.empty()) {
    places.push_back(folder / kRasterModuleFile);
    places.push_back(folder.parent_path() / "lib" / "karvelo" / kRasterModuleFile);
  }
  return places;
}

// Why the table of a loaded module cannot be used, or nothing when it can.
std::optional<std::string> HandshakeProblem(const RasterModuleTable* table) {
  if (!table) return "it is no Karvelo raster module";
  if (table->version != kRasterModuleVersion || table->size != sizeof(RasterModuleTable) || !table->buildId ||
      std::string_view(table->buildId) != kRasterModuleBuildId) {
    return "it is from another build of Karvelo";
  }
  return std::nullopt;
}

LoadedModule LoadModule() {
  std::string reason;
  for (const fs::path& place : ModulePlaces()) {
    std::error_code ec;
    if (!fs::exists(place, ec)) continue;
    void* handle = ::dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      reason = ::dlerror();
      continue;
    }
    using Entry = const RasterModuleTable* (*)();
    const auto entry = reinterpret_cast<Entry>(::dlsym(handle, kRasterModuleEntry));
    const RasterModuleTable* table = entry ? entry() : nullptr;
    if (const auto problem = HandshakeProblem(table)) {
      reason = place.string() + ": " + *problem;
      ::dlclose(handle);
      continue;
    }
    return {table, {}};  // kept loaded until the program ends
  }
  if (reason.empty()) {
    reason = "the raster support is not installed (" + std::string(kRasterModuleFile) + " is neither beside the program nor in " +
             (ProgramFolder().parent_path() / "lib" / "karvelo").string() + ")";
  }
  return {nullptr, reason};
}

const LoadedModule& Module() {
  static const LoadedModule loaded = LoadModule();
  return loaded;
}

const RasterModuleTable& ModuleFor(const fs::path& file) {
  const LoadedModule& module = Module();
  if (!module.table) ThrowFileError(file, module.error);
  return *module.table;
}

RasterCall CallFor(Shell* shell) {
  RasterCall call;
  call.writeAllowance = &WriteAllowance;
  if (shell) {
    constexpr int kSteps = 1000;
    shell->gaugeRange(0, kSteps);
    call.progress = [shell](double fraction) {
      shell->gaugeProgress(static_cast<int>(std::clamp(fraction, 0.0, 1.0) * kSteps));
      return !shell->run().CancelRequested();
    };
  }
  return call;
}

// Puts what the module wrote into the step's results (or in place, all together, without a step).
// Once the files are in place the call has succeeded: a stop asked for later changes nothing.
void Finish(RasterResult& result) {
  if (result.cancelled) throw Cancelled();
  if (result.outOfMemory) throw std::bad_alloc();
  if (!result.error.empty()) {
    throw FileError(result.error);
  }
  ResultStage stage;
  std::size_t handed = 0;
  try {
    for (; handed < result.files.size(); ++handed) {
      const ResultStage::File& f = result.files[handed];
      if (f.temp.empty()) {
        RemoveOutput(f.final);
      } else {
        StageFinishedFile(f.final, f.temp);
      }
    }
  } catch (...) {
    std::error_code ec;
    for (++handed; handed < result.files.size(); ++handed) {
      if (!result.files[handed].temp.empty()) fs::remove(result.files[handed].temp, ec);
    }
    throw;
  }
  stage.Commit();
}

}  // namespace

std::optional<std::string> RasterDriver(const fs::path& path) {
  // Without the module no file is taken for a raster; the grid reader then names what is wrong.
  const LoadedModule& module = Module();
  if (!module.table) return std::nullopt;
  return module.table->rasterDriver(path);
}

void ImportRaster(const fs::path& source, int band, const fs::path& output, Shell* shell) {
  const RasterModuleTable& module = ModuleFor(source);
  RasterResult result = module.importRaster(CallFor(shell), source, band, output);
  Finish(result);
}

AlignOutcome AlignRaster(const fs::path& reference, const fs::path& source, const fs::path& output,
                         Resampling method, Shell* shell) {
  const RasterModuleTable& module = ModuleFor(source);
  RasterResult result = module.alignRaster(CallFor(shell), reference, source, output, method);
  Finish(result);
  return result.outcome;
}

void WriteGeoTiff(const fs::path& grid, const fs::path& output, Shell* shell) {
  const RasterModuleTable& module = ModuleFor(output);
  // The module reads files by name; a result of this step may still stand under its staged name.
  RasterResult result =
      module.writeGeoTiff(CallFor(shell), ReadablePath(grid), ReadablePath(ProjectionFileOf(grid)), output);
  Finish(result);
}

}  // namespace karvelo::gis
