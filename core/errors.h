// The one exception type of the engine: a file operation that failed, with the system's error text.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

namespace karvelo {

class FileError : public std::runtime_error {
 public:
  explicit FileError(const std::string& text) : std::runtime_error(text) {}
};

// "<path>: <what>" -- every file error names the file it concerns.
[[noreturn]] void ThrowFileError(const std::filesystem::path& file, const std::string& what);
// The same with the text of the current errno.
[[noreturn]] void ThrowSystemFileError(const std::filesystem::path& file, const std::string& action);

}  // namespace karvelo
