// SHA-256 checksums of files: how a run records which inputs and results it had.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace karvelo {

class Sha256 {
 public:
  Sha256();
  void Update(const void* data, std::size_t size);
  // The digest; the object must not be updated afterwards.
  std::array<std::uint8_t, 32> Finish();

 private:
  void Block(const std::uint8_t* block);
  std::array<std::uint32_t, 8> h_;
  std::array<std::uint8_t, 64> buffer_{};
  std::size_t buffered_ = 0;
  std::uint64_t length_ = 0;
};

// The digest of `text` as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view text);
// The digest of a file's bytes as 64 lower-case hex digits. Throws FileError.
std::string FileSha256(const std::filesystem::path& path);

}  // namespace karvelo
