// Opening and reading the class files of a configuration.
#include "mapping/classfiles.h"

#include <cmath>

#include "audit/workfiles.h"

namespace karvelo {

std::vector<ClassFileStream> OpenClassFiles(const Workspace& ws, const RunContext& run) {
  std::vector<ClassFileStream> streams;
  for (int e = 1; e <= ws.DataDefCount; ++e) {
    const TDataDef& def = ws.DataDef(e);
    if (def.NrClasses == 0) continue;
    TDataDef classFile = def;
    classFile.FileName = ClassFileName(run, e, def).string();
    classFile.GridFileType = TGridFileType::asciigrid;
    ClassFileStream s;
    s.slot = e;
    s.nClasses = std::min(def.NrClasses, MaxClasses);
    s.file = std::make_unique<GridReader>(classFile);
    s.file->SkipHeader();
    streams.push_back(std::move(s));
  }
  return streams;
}

void ReadClasses(std::vector<ClassFileStream>& streams, std::vector<int>& k) {
  k.resize(streams.size());
  for (std::size_t e = 0; e < streams.size(); ++e) {
    const double v = streams[e].file->ReadValue();
    k[e] = std::fabs(v) <= MaxClasses + 1 ? static_cast<int>(v) : -1;
  }
}

void NextClassLine(std::vector<ClassFileStream>& streams) {
  for (auto& s : streams) s.file->ReadLine();
}

}  // namespace karvelo
