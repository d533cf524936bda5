// Buffered CR LF text files.
#include "core/textwriter.h"

#include "core/errors.h"

namespace karvelo {

namespace {
constexpr std::size_t kFlushAt = 1 << 20;
}

TextWriter::TextWriter(std::filesystem::path path) : path_(std::move(path)) {
  file_ = std::fopen(path_.c_str(), "wb");
  if (!file_) ThrowSystemFileError(path_, "cannot create the file");
  buffer_.reserve(kFlushAt + 4096);
}

TextWriter::~TextWriter() {
  if (file_) std::fclose(file_);
}

void TextWriter::Write(std::string_view text) {
  buffer_.append(text);
  if (buffer_.size() >= kFlushAt) Flush();
}

void TextWriter::Write(char c) {
  buffer_.push_back(c);
  if (buffer_.size() >= kFlushAt) Flush();
}

void TextWriter::WriteLine(std::string_view text) {
  buffer_.append(text);
  buffer_.append("\r\n");
  if (buffer_.size() >= kFlushAt) Flush();
}

void TextWriter::Flush() {
  if (!file_) return;
  if (!buffer_.empty() && std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
    ThrowSystemFileError(path_, "cannot write the file");
  }
  buffer_.clear();
}

void TextWriter::Close() {
  if (!file_) return;
  Flush();
  std::FILE* f = file_;
  file_ = nullptr;
  if (std::fclose(f) != 0) ThrowSystemFileError(path_, "cannot write the file");
}

}  // namespace karvelo
