// QImage-backed pictures: filled rectangles go straight to the pixel rows, the rest via QPainter.
#include "render/qimage_canvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QPolygon>
#include <QString>
#include <algorithm>

#include "core/atomicfile.h"
#include "core/errors.h"

namespace karvelo {

namespace {
QColor ToQColor(Rgb c) { return QColor(c.r, c.g, c.b); }
QRgb ToQRgb(Rgb c) { return qRgb(c.r, c.g, c.b); }
QString ToQString(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }
QFont CanvasFont() {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(9);
  return f;
}
}  // namespace

QImageCanvas::QImageCanvas(int width, int height, Rgb fill)
    : image_(std::make_unique<QImage>(width, height, QImage::Format_RGB32)) {
  image_->fill(ToQColor(fill));
}

QImageCanvas::~QImageCanvas() = default;

int QImageCanvas::Width() const { return image_->width(); }
int QImageCanvas::Height() const { return image_->height(); }
const QImage& QImageCanvas::Image() const { return *image_; }

void QImageCanvas::FillRect(int left, int top, int right, int bottom, Rgb colour) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, image_->width());
  bottom = std::min(bottom, image_->height());
  if (left >= right || top >= bottom) return;
  const QRgb px = ToQRgb(colour);
  for (int y = top; y < bottom; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image_->scanLine(y));
    std::fill(row + left, row + right, px);
  }
}

void QImageCanvas::Line(int x1, int y1, int x2, int y2, Rgb colour, int width) {
  QPainter p(image_.get());
  p.setPen(QPen(ToQColor(colour), width));
  p.drawLine(x1, y1, x2, y2);
}

void QImageCanvas::Polyline(const std::vector<int>& xy, Rgb colour, int width) {
  QPolygon poly;
  for (std::size_t i = 0; i + 1 < xy.size(); i += 2) poly << QPoint(xy[i], xy[i + 1]);
  QPainter p(image_.get());
  p.setPen(QPen(ToQColor(colour), width));
  p.drawPolyline(poly);
}

void QImageCanvas::Outline(int left, int top, int right, int bottom, Rgb colour, int width) {
  QPainter p(image_.get());
  p.setPen(QPen(ToQColor(colour), width));
  p.setBrush(Qt::NoBrush);
  p.drawRect(left, top, right - left - 1, bottom - top - 1);
}

void QImageCanvas::Text(int x, int y, std::string_view text, Rgb colour, Rgb background) {
  QPainter p(image_.get());
  p.setFont(CanvasFont());
  const QFontMetrics fm(p.font());
  const QString s = ToQString(text);
  p.fillRect(QRect(x, y, fm.horizontalAdvance(s), fm.height()), ToQColor(background));
  p.setPen(ToQColor(colour));
  p.drawText(QRect(x, y, fm.horizontalAdvance(s) + 1, fm.height()), Qt::AlignLeft | Qt::AlignTop, s);
}

int QImageCanvas::TextWidth(std::string_view text) const {
  return QFontMetrics(CanvasFont()).horizontalAdvance(ToQString(text));
}

Rgb QImageCanvas::Pixel(int x, int y) const {
  const QRgb px = image_->pixel(x, y);
  return Rgb{static_cast<std::uint8_t>(qRed(px)), static_cast<std::uint8_t>(qGreen(px)),
             static_cast<std::uint8_t>(qBlue(px))};
}

void QImageCanvas::SetPixel(int x, int y, Rgb colour) {
  if (x < 0 || y < 0 || x >= image_->width() || y >= image_->height()) return;
  image_->setPixel(x, y, ToQRgb(colour));
}

void QImageCanvas::SaveBmp(const std::filesystem::path& path) const {
  // Encoded in memory, then written whole under a temporary name, so that a picture on disk is
  // never a cut-off one.
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "bmp");
  // RGB888 makes a 24-bit file: the pictures hold only greys, red and the face colour.
  if (!writer.write(image_->convertToFormat(QImage::Format_RGB888))) {
    ThrowFileError(path, "cannot write the picture: " + writer.errorString().toStdString());
  }
  AtomicFile file(path);
  file.Write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  file.Commit();
}

}  // namespace karvelo
