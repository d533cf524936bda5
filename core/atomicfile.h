// Output files that appear whole or not at all: written under a temporary name, renamed when complete.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace karvelo {

// A file being written under a temporary name in its final folder. Commit() flushes, closes and
// renames it over the final name; destroying it uncommitted removes the temporary file, so a
// failure or an interrupt leaves the previous version of the final file as it was.
class AtomicFile {
 public:
  explicit AtomicFile(std::filesystem::path finalPath);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Appends bytes; a short write (a full disk) throws FileError naming the final file.
  void Write(const void* data, std::size_t size);
  // Closes and renames; throws FileError (and removes the temporary file) when that fails.
  void Commit();
  // Removes the temporary file now; the final file stays as it was.
  void Abandon();

  const std::filesystem::path& FinalPath() const { return final_; }
  const std::filesystem::path& TemporaryPath() const { return temp_; }

 private:
  std::filesystem::path final_;
  std::filesystem::path temp_;
  int fd_ = -1;
};

// Whether a name is one of the temporary names AtomicFile uses (for tests and clean-ups).
bool IsTemporaryOutputName(std::string_view fileName);

// For fault-injection tests: the number of bytes this process may still write through AtomicFile
// and the work-file writer before writes fail as on a full disk. Read once from the environment
// variable KARVELO_WRITE_LIMIT; without it, writes are unlimited.
// Returns the part of `size` that may be written now.
std::size_t WriteAllowance(std::size_t size);
// Sets what is left of that limit (negative: unlimited); for tests in one process.
void SetWriteLimit(long long bytes);

}  // namespace karvelo
