// Checks on the files a run reads and writes: inputs that are real files, outputs that are no inputs.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "core/shell.h"

namespace karvelo {

// Throws FileError naming `path` when it exists and is no regular file: a folder, a FIFO (which
// would block the reader until another program writes to it), a device or a socket. A missing file
// is left to the reader, whose message gives the system's reason.
void RequireRegularFile(const std::filesystem::path& path);

// Refuses, with a message naming the file, when one of `outputs` is the same file as one of
// `inputs` (same device and inode, however the paths are written): a run never writes over what it
// reads.
bool OutputsAreNotInputs(const std::vector<std::filesystem::path>& outputs,
                         const std::vector<std::filesystem::path>& inputs, Shell& shell);

// "<output> is an input of this run; choose another name or folder.": the refusal of an output
// that is one of the files a run reads.
std::string OutputIsInputMessage(const std::filesystem::path& output);

// The grids with the projection file beside each (whether it exists or not): a grid is read with
// its projection, so neither may be written over.
std::vector<std::filesystem::path> WithProjectionFiles(const std::vector<std::filesystem::path>& grids);

}  // namespace karvelo
