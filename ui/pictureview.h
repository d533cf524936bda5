// A fixed-size picture on screen that shows a canvas the engine draws on.
#pragma once

#include <QWidget>

namespace karvelo {

class QImageCanvas;

class TPictureView : public QWidget {
  Q_OBJECT
 public:
  TPictureView(const QImageCanvas& canvas, QWidget* parent = nullptr);
  // Shows the canvas scaled to `shown` (a smaller place than the picture itself).
  TPictureView(const QImageCanvas& canvas, QSize shown, QWidget* parent = nullptr);

  const QImageCanvas& Canvas() const { return *canvas_; }
  // Repaints from the canvas; call after a step drew on it.
  void Refresh() { update(); }

 signals:
  void DoubleClicked();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  const QImageCanvas* canvas_;
};

}  // namespace karvelo
