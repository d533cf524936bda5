// Buffered text output with CR LF line ends; every failure becomes a FileError naming the file.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace karvelo {

class TextWriter {
 public:
  // Creates (or replaces) the file.
  explicit TextWriter(std::filesystem::path path);
  ~TextWriter();
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  void Write(std::string_view text);
  void Write(char c);
  void WriteLine(std::string_view text = {});  // text, then CR LF
  // Flushes and closes; reports a failed write. The destructor closes silently.
  void Close();
  const std::filesystem::path& path() const { return path_; }

 private:
  void Flush();
  std::filesystem::path path_;
  std::FILE* file_ = nullptr;
  std::string buffer_;
};

}  // namespace karvelo
