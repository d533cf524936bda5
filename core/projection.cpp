// Copying the reference grid's .prj beside each result grid.
#include "core/projection.h"

#include <cstdio>
#include <string>

#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/textwriter.h"

namespace karvelo {

std::filesystem::path ProjectionFileOf(const std::filesystem::path& grid) {
  std::filesystem::path prj = grid;
  return prj.replace_extension(".prj");
}

void CopyProjection(const TDataDef& reference, const std::filesystem::path& grid) {
  const std::filesystem::path source = ProjectionFileOf(reference.FileName);
  const std::filesystem::path target = ProjectionFileOf(grid);
  std::error_code ec;
  if (reference.FileName.empty() || !std::filesystem::is_regular_file(ReadablePath(source), ec)) {
    RemoveOutput(target);
    return;
  }
  std::string text;
  {
    std::FILE* in = std::fopen(ReadablePath(source).c_str(), "rb");
    if (!in) ThrowSystemFileError(source, "cannot open the file");
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, in)) > 0) text.append(chunk, got);
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) ThrowSystemFileError(source, "cannot read the file");
  }
  TextWriter out(target);
  out.Write(text);
  out.Close();
}

}  // namespace karvelo
