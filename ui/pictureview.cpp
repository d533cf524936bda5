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

void TPictureView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, canvas_->Image());
}

}  // namespace karvelo
