// karvelo_golden_pixels: prints "width height sha256 name" for each picture, from its decoded pixels.
//
// The golden test compares pictures by what they show rather than by their bytes, so a change of
// BMP header details or row padding does not count as a different picture, and the expected
// values stay a line of text instead of a committed bitmap.
#include <QCryptographicHash>
#include <QFileInfo>
#include <QImage>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: karvelo_golden_pixels PICTURE...\n");
    return 2;
  }
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const QString path = QString::fromLocal8Bit(argv[i]);
    QImage image(path);
    if (image.isNull()) {
      std::fprintf(stderr, "karvelo_golden_pixels: cannot decode %s\n", argv[i]);
      status = 1;
      continue;
    }
    // One fixed pixel layout, hashed row by row without the padding at each row's end, so the
    // checksum depends only on the colours.
    image = image.convertToFormat(QImage::Format_ARGB32);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const auto rowBytes = static_cast<qsizetype>(image.width()) * 4;
    for (int y = 0; y < image.height(); ++y) {
      // ARGB32 rows are native-endian words; writing each as bytes A, R, G, B keeps the sum the
      // same on every machine.
      const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
      QByteArray bytes;
      bytes.reserve(rowBytes);
      for (int x = 0; x < image.width(); ++x) {
        const QRgb p = row[x];
        bytes.append(static_cast<char>(qAlpha(p)));
        bytes.append(static_cast<char>(qRed(p)));
        bytes.append(static_cast<char>(qGreen(p)));
        bytes.append(static_cast<char>(qBlue(p)));
      }
      hash.addData(bytes);
    }
    // The name goes last because picture names may hold blanks ("ROC of BayesP.asc.bmp").
    std::printf("%d %d %s %s\n", image.width(), image.height(), hash.result().toHex().constData(),
                QFileInfo(path).fileName().toLocal8Bit().constData());
  }
  return status;
}
