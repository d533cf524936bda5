// Buffered CR LF text files, written through a temporary name.
#include "core/textwriter.h"

#include "core/errors.h"

namespace karvelo {

namespace {
constexpr std::size_t kFlushAt = 1 << 20;
}

TextWriter::TextWriter(std::filesystem::path path)
    : path_(std::move(path)), file_(std::make_unique<AtomicFile>(path_)) {
  buffer_.reserve(kFlushAt + 4096);
}

TextWriter::~TextWriter() = default;

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
  if (!buffer_.empty()) file_->Write(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void TextWriter::Close() {
  if (!file_) return;
  Flush();
  std::unique_ptr<AtomicFile> f = std::move(file_);
  f->Commit();
}

}  // namespace karvelo
