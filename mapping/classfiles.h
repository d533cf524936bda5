// The class files of a configuration, read in step cell by cell while a map is written.
#pragma once

#include <memory>
#include <vector>

#include "core/gridrows.h"
#include "core/runcontext.h"
#include "core/workspace.h"

namespace karvelo {

// One entry with classes and its open class file, read a row at a time: the reference grid's
// ncols values, then the rest of the line.
struct ClassFileStream {
  int slot = 0;
  int nClasses = 0;
  std::unique_ptr<GridRows> file;
  const double* row = nullptr;  // the current row, fetched at its first value
  int col = 0;
  int ncols = 0;
};

// Opens the class file of every entry whose NrClasses is not 0, in configuration order. Every
// caller walks the reference grid's rows and columns.
std::vector<ClassFileStream> OpenClassFiles(const Workspace& ws, const RunContext& run);

// Reads each stream's next class number into k (a value that is no small integer reads as -1,
// "no class").
void ReadClasses(std::vector<ClassFileStream>& streams, std::vector<int>& k);

// Moves every stream to its next line.
void NextClassLine(std::vector<ClassFileStream>& streams);

// Reads the next row of every stream whole: the class number of column c of stream e goes to
// k[e * ncols + c], as ReadClasses gives it. For writers that make rows in blocks.
void ReadClassRow(std::vector<ClassFileStream>& streams, int* k);

}  // namespace karvelo
