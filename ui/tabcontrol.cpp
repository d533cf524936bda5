// The tab row and the frame below it.
#include "ui/tabcontrol.h"

#include <QPainter>
#include <QStyleOptionTabWidgetFrame>

namespace karvelo {

TTabControl::TTabControl(QWidget* parent) : QWidget(parent), bar_(new QTabBar(this)) {
  bar_->setObjectName("tabs");
  bar_->setDrawBase(false);
  bar_->setExpanding(false);
  connect(bar_, &QTabBar::currentChanged, this, [this](int) { emit Change(); });
}

void TTabControl::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  bar_->setGeometry(2, 0, width() - 4, bar_->sizeHint().height());
}

void TTabControl::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QStyleOptionTabWidgetFrame opt;
  opt.initFrom(this);
  const int top = bar_->geometry().bottom() - style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, this) + 1;
  opt.rect = QRect(0, top, width(), height() - top);
  opt.tabBarSize = bar_->size();
  opt.tabBarRect = bar_->geometry();
  opt.shape = QTabBar::RoundedNorth;
  opt.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
  style()->drawPrimitive(QStyle::PE_FrameTabWidget, &opt, &p, this);
}

}  // namespace karvelo
