// Regular-file checks of inputs and the output-against-input check of every step.
#include "core/filecheck.h"

#include <sys/stat.h>

#include <cerrno>
#include <optional>

#include "core/errors.h"
#include "core/projection.h"

namespace karvelo {

namespace fs = std::filesystem;

namespace {

struct FileIdentity {
  dev_t device;
  ino_t inode;
};

std::optional<FileIdentity> IdentityOf(const fs::path& p) {
  struct stat st {};
  if (::stat(p.c_str(), &st) != 0) return std::nullopt;
  return FileIdentity{st.st_dev, st.st_ino};
}

}  // namespace

void RequireRegularFile(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return;
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    ThrowSystemFileError(path, "cannot read the file");
  }
  const char* kind = S_ISFIFO(st.st_mode) ? "a FIFO (named pipe)" : S_ISSOCK(st.st_mode) ? "a socket" : "a device";
  ThrowFileError(path, std::string("cannot read the file: it is ") + kind + ", not a file");
}

bool OutputsAreNotInputs(const std::vector<fs::path>& outputs, const std::vector<fs::path>& inputs, Shell& shell) {
  std::vector<FileIdentity> ids;
  for (const fs::path& in : inputs) {
    if (const auto id = IdentityOf(in)) ids.push_back(*id);
  }
  for (const fs::path& out : outputs) {
    const auto id = IdentityOf(out);
    if (!id) continue;
    for (const FileIdentity& in : ids) {
      if (in.device == id->device && in.inode == id->inode) {
        shell.message(OutputIsInputMessage(out));
        return false;
      }
    }
  }
  return true;
}

std::string OutputIsInputMessage(const fs::path& output) {
  return output.string() + " is an input of this run; choose another name or folder.";
}

std::vector<fs::path> WithProjectionFiles(const std::vector<fs::path>& grids) {
  std::vector<fs::path> files;
  for (const fs::path& g : grids) {
    files.push_back(g);
    files.push_back(ProjectionFileOf(g));
  }
  return files;
}

}  // namespace karvelo
