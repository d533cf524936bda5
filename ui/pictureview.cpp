// Painting a canvas into its picture widget.
#include "ui/pictureview.h"

#include <QImage>
#include <QPainter>

#include "render/qimage_canvas.h"

namespace karvelo {

TPictureView::TPictureView(const QImageCanvas& canvas, QWidget* parent) : QWidget(parent), canvas_(&canvas) {
  setFixedSize(canvas.Width(), canvas.Height());
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPictureView::mouseDoubleClickEvent(QMouseEvent*) { emit DoubleClicked(); }
TPictureView::TPictureView(const QImageCanvas& canvas, QSize shown, QWidget* parent) : QWidget(parent), canvas_(&canvas) {
  setFixedSize(shown);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPictureView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (size() == canvas_->Image().size()) {
    p.drawImage(0, 0, canvas_->Image());
    return;
  }
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(rect(), canvas_->Image());
}

}  // namespace karvelo
