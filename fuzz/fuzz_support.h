// What the fuzz targets share: a Shell that answers nothing, and the input written to a file.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "core/shell.h"

namespace karvelo::fuzz {

// The readers under test report through a Shell; every report is dropped, because the target
// only cares whether the reader survives its input.
using QuietShell = SilentShell;

// The engine reads files, not buffers, so every input becomes a file. Each fuzzing process gets
// its own folder (parallel jobs must not overwrite each other's input), removed at exit.
inline std::filesystem::path InputFile(const char* name, const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path folder = [] {
    std::filesystem::path p =
        std::filesystem::temp_directory_path() / ("karvelo-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(p);
    static std::filesystem::path removeAtExit;
    removeAtExit = p;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(removeAtExit, ec);
    });
    return p;
  }();
  const std::filesystem::path path = folder / name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();  // the harness itself is broken, not the engine
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path;
}

}  // namespace karvelo::fuzz
