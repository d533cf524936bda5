// File errors with the file's name and the system's error text.
#include "core/errors.h"

#include <cerrno>
#include <cstring>

namespace karvelo {

void ThrowFileError(const std::filesystem::path& file, const std::string& what) {
  throw FileError(file.string() + ": " + what);
}

void ThrowSystemFileError(const std::filesystem::path& file, const std::string& action) {
  const int err = errno;
  throw FileError(file.string() + ": " + action + ": " + std::strerror(err));
}

}  // namespace karvelo
