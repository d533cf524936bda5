// Buffered text output with CR LF line ends, appearing whole under its name only when closed.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "core/atomicfile.h"

namespace karvelo {

class TextWriter {
 public:
  // Starts a new version of the file under a temporary name beside it; the file itself is
  // replaced only by Close().
  explicit TextWriter(std::filesystem::path path);
  ~TextWriter();
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  void Write(std::string_view text);
  void Write(char c);
  void WriteLine(std::string_view text = {});  // text, then CR LF
  // Flushes, closes and puts the file in place; reports a failed write. Without Close (an error
  // or a stop in between) the destructor removes the unfinished text and the file stays as it was.
  void Close();
  const std::filesystem::path& path() const { return path_; }

 private:
  void Flush();
  std::filesystem::path path_;
  std::unique_ptr<AtomicFile> file_;
  std::string buffer_;
};

}  // namespace karvelo
