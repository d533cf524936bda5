// Output files that appear whole or not at all: written under a temporary name, renamed when complete.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

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

  const std::filesystem::path& TemporaryPath() const { return temp_; }

 private:
  std::filesystem::path final_;
  std::filesystem::path temp_;
  int fd_ = -1;
};

// Whether a name is one of the temporary names AtomicFile uses (for tests and clean-ups).
bool IsTemporaryOutputName(std::string_view fileName);
// The process that made a temporary name, or 0 when the name is none.
long TemporaryNameProcess(std::string_view fileName);

// The results of one step, put in place together. While a stage is open, a committed AtomicFile
// keeps its finished file under the temporary name and joins the stage; Commit() renames them all
// (and removes the files the step retired), and a stage closed without Commit() removes them. So a
// step that is stopped half-way leaves every earlier result as it was, and a grid never appears
// beside the projection of another run. Files inside the `immediate` folder (the run's private work
// folder) are no results: they are put in place at once. A stage opened while another is open joins
// it: its Commit leaves the decision to the outer one, its Abandon throws away all that is staged.
class ResultStage {
 public:
  explicit ResultStage(std::filesystem::path immediate = {});
  ~ResultStage();
  ResultStage(const ResultStage&) = delete;
  ResultStage& operator=(const ResultStage&) = delete;

  // Puts every staged file in place, in the order they were finished. When one rename fails, the
  // files already renamed get their earlier versions back and FileError names the file.
  void Commit();
  // Removes every staged file; the results stay as they were.
  void Abandon();

  // A finished file under its temporary name (or, with an empty temp, a result to retire).
  struct File {
    std::filesystem::path final;
    std::filesystem::path temp;
  };
  // Closes the stage and hands over what it holds without putting anything in place: for the
  // raster module, whose stage is its own, so that the program's stage can take the files.
  std::vector<File> Release();

 private:
  bool outer_ = false;
  bool active_ = false;  // neither committed nor abandoned yet
};

// Where a reader finds the current text of `path`: the staged file that will replace it, when the
// open stage holds one, else the path itself.
std::filesystem::path ReadablePath(const std::filesystem::path& path);
// Whether `path` is there once the open stage is committed (without a stage: whether it is there).
bool ExistsAfterCommit(const std::filesystem::path& path);
// Hands a finished file written under `temp` (a temporary name beside `final`) to the open stage,
// or renames it over `final` at once without one. Throws FileError naming `final` when that fails.
void StageFinishedFile(const std::filesystem::path& final, const std::filesystem::path& temp);
// Retires a result: removed when the open stage is committed (at once without a stage). A missing
// file is no error.
void RemoveOutput(const std::filesystem::path& path);

// For fault-injection tests: the number of bytes this process may still write through AtomicFile
// and the work-file writer before writes fail as on a full disk. Read once from the environment
// variable KARVELO_WRITE_LIMIT; without it, writes are unlimited.
// Returns the part of `size` that may be written now.
std::size_t WriteAllowance(std::size_t size);
// Sets what is left of that limit (negative: unlimited); for tests in one process.
void SetWriteLimit(long long bytes);
// Makes WriteAllowance ask `allowance` instead (nullptr: this copy's own limit again): the raster
// module carries its own copy of this code, and one run has one limit.
void DelegateWriteAllowance(std::size_t (*allowance)(std::size_t));

}  // namespace karvelo
