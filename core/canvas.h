// A fixed-size picture that the engine draws on; the one implementation wraps a QImage.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace karvelo {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

// The pictures' paper and ink.
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kBlack{0, 0, 0};

// The window's face colour where the engine draws without a window (batch runs and tests).
inline constexpr Rgb kDefaultFace{240, 240, 240};

class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Fills [left, right) x [top, bottom), clipped to the picture; an empty rectangle draws nothing.
  virtual void FillRect(int left, int top, int right, int bottom, Rgb colour) = 0;
  virtual void Line(int x1, int y1, int x2, int y2, Rgb colour, int width) = 0;
  // Connected lines through the points (x0, y0, x1, y1, ...).
  virtual void Polyline(const std::vector<int>& xy, Rgb colour, int width) = 0;
  virtual void Outline(int left, int top, int right, int bottom, Rgb colour, int width) = 0;
  virtual void Text(int x, int y, std::string_view text, Rgb colour, Rgb background) = 0;
  virtual int TextWidth(std::string_view text) const = 0;
  virtual Rgb Pixel(int x, int y) const = 0;
  virtual void SetPixel(int x, int y, Rgb colour) = 0;
  // Writes a BMP file, replacing one of that name. Throws FileError.
  virtual void SaveBmp(const std::filesystem::path& path) const = 0;
};

}  // namespace karvelo
