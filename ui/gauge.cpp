// Painting of the progress gauge.
#include "ui/gauge.h"

#include <QPainter>
#include <QStyleOption>
#include <algorithm>

namespace karvelo {

TGauge::TGauge(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

int TGauge::PercentDone() const {
  if (max_ <= min_) return 0;
  return static_cast<int>((static_cast<long long>(progress_ - min_) * 100) / (max_ - min_));
}

void TGauge::SetRange(int minimum, int maximum) {
  min_ = minimum;
  max_ = std::max(minimum, maximum);
  progress_ = std::clamp(progress_, min_, max_);
  update();
}

void TGauge::SetProgress(int progress) {
  const int clamped = std::clamp(progress, min_, max_);
  if (clamped == progress_) return;
  progress_ = clamped;
  update();
}

void TGauge::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QRect frame = rect();
  p.fillRect(frame, palette().window());
  p.setPen(palette().color(QPalette::Mid));
  p.drawRect(frame.adjusted(0, 0, -1, -1));

  const QRect inner = frame.adjusted(1, 1, -1, -1);
  const int filled = inner.width() * PercentDone() / 100;
  const QRect bar(inner.left(), inner.top(), filled, inner.height());
  p.fillRect(bar, Qt::black);

  // The text is drawn twice, each time clipped to one side of the bar's edge, so that it stays
  // readable where the black bar passes under it.
  const QString text = QString::number(PercentDone()) + "%";
  p.save();
  p.setClipRect(inner.adjusted(filled, 0, 0, 0));
  p.setPen(Qt::black);
  p.drawText(inner, Qt::AlignCenter, text);
  p.restore();
  p.setClipRect(bar);
  p.setPen(palette().color(QPalette::Window));
  p.drawText(inner, Qt::AlignCenter, text);
}

}  // namespace karvelo
