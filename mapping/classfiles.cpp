// Opening and reading the class files of a configuration.
#include "mapping/classfiles.h"

#include <cmath>

#include "audit/workfiles.h"

namespace karvelo {

namespace {
// A value that is no small integer reads as -1, "no class".
int ClassOfCell(double v) { return std::fabs(v) <= MaxClasses + 1 ? static_cast<int>(v) : -1; }
}  // namespace

std::vector<ClassFileStream> OpenClassFiles(const Workspace& ws, const RunContext& run) {
  std::vector<ClassFileStream> streams;
  for (int e = 1; e <= ws.DataDefCount; ++e) {
    const TDataDef& def = ws.DataDef(e);
    if (def.NrClasses == 0) continue;
    TDataDef classFile = def;
    classFile.FileName = ClassFileName(run, e, def).string();
    classFile.GridFileType = TGridFileType::asciigrid;
    classFile.ncols = ws.ReferenceGrid().ncols;
    classFile.nrows = ws.ReferenceGrid().nrows;
    ClassFileStream s;
    s.slot = e;
    s.nClasses = std::min(def.NrClasses, MaxClasses);
    s.ncols = classFile.ncols;
    s.file = std::make_unique<GridRows>(classFile, run.Pool());
    streams.push_back(std::move(s));
  }
  return streams;
}

void ReadClasses(std::vector<ClassFileStream>& streams, std::vector<int>& k) {
  k.resize(streams.size());
  for (std::size_t e = 0; e < streams.size(); ++e) {
    ClassFileStream& s = streams[e];
    if (!s.row) s.row = s.file->Next();
    const double v = s.col < s.ncols ? s.row[s.col++] : -1.0;
    k[e] = ClassOfCell(v);
  }
}

void ReadClassRow(std::vector<ClassFileStream>& streams, int* k) {
  for (std::size_t e = 0; e < streams.size(); ++e) {
    ClassFileStream& s = streams[e];
    const double* row = s.file->Next();
    int* out = k + e * static_cast<std::size_t>(s.ncols);
    for (int c = 0; c < s.ncols; ++c) out[c] = ClassOfCell(row[c]);
  }
}

void NextClassLine(std::vector<ClassFileStream>& streams) {
  for (auto& s : streams) {
    if (!s.row && s.col == 0) s.file->Next();  // a row of no columns is still a line
    s.row = nullptr;
    s.col = 0;
  }
}

}  // namespace karvelo
