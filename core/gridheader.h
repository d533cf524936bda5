// The header of an ASCII grid: which lines belong to it, and the strict reading of what they say.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace karvelo {

// The keys a header line may begin with, in any case. xllcenter/yllcenter give the centre of the
// lower-left cell instead of its corner; dx and dy (equal) stand for cellsize.
enum class HeaderKey { ncols, nrows, xllcorner, yllcorner, xllcenter, yllcenter, cellsize, dx, dy, nodata };

// The key that `word` is (any case), or nothing.
std::optional<HeaderKey> HeaderKeyOf(std::string_view word);

// A header line split into its key and the value's text: the line's first word (after blanks or
// tabs) is the key, the rest without the blanks and tabs around it is the value.
struct HeaderLine {
  HeaderKey key;
  std::string_view value;
};
std::optional<HeaderLine> ParseHeaderLine(std::string_view line);

// A header holds at most seven key lines (dx and dy in place of cellsize); a reader stops looking
// for more after this many, so a file of key lines cannot make it read on.
inline constexpr int MaxHeaderLines = 16;

// ncols or nrows as a header gives them: a whole number, possibly in exponent form ("7.8e1" is
// 78); nothing when the text is not one.
std::optional<double> WholeHeaderNumber(std::string_view text);

// What a header says, the corner always as the corner.
struct GridHeader {
  std::int32_t ncols = 0, nrows = 0;  // saturated to the int32 range when tooLarge
  double xllcorner = 0, yllcorner = 0, cellsize = 0, NODATA_value = 0;
  bool tooLarge = false;  // ncols or nrows above MaxGridExtent
};

// Reads a header from its key lines (line 1 first, without line ends). `next` is the line after
// them as far as a message quotes it (nothing at the end of the file). Every key is needed once:
// ncols and nrows whole and at least 1; xllcorner or xllcenter, yllcorner or yllcenter (a centre
// moves half a cell to the corner); cellsize above 0, or dx and dy equal and above 0;
// NODATA_value; every value a finite number and the grid's far corners too. Anything else is a
// FileError naming `path`, the line and what was expected there.
GridHeader ParseGridHeader(const std::vector<std::string>& keyLines, const std::optional<std::string>& next,
                           const std::filesystem::path& path);

}  // namespace karvelo
