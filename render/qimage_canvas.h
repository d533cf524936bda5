// The Canvas on a QImage: the only engine file that knows Qt.
#pragma once

#include <memory>

#include "core/canvas.h"

class QImage;

namespace karvelo {

class QImageCanvas : public Canvas {
 public:
  QImageCanvas(int width, int height, Rgb fill = kDefaultFace);
  ~QImageCanvas() override;

  int Width() const override;
  int Height() const override;
  void FillRect(int left, int top, int right, int bottom, Rgb colour) override;
  void Line(int x1, int y1, int x2, int y2, Rgb colour, int width) override;
  void Polyline(const std::vector<int>& xy, Rgb colour, int width) override;
  void Outline(int left, int top, int right, int bottom, Rgb colour, int width) override;
  void Text(int x, int y, std::string_view text, Rgb colour, Rgb background) override;
  int TextWidth(std::string_view text) const override;
  Rgb Pixel(int x, int y) const override;
  void SetPixel(int x, int y, Rgb colour) override;
  void SaveBmp(const std::filesystem::path& path) const override;

  const QImage& Image() const;

 private:
  std::unique_ptr<QImage> image_;
};

}  // namespace karvelo
