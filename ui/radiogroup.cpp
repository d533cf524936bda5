// Layout and selection of the radio group.
#include "ui/radiogroup.h"

#include <QAbstractButton>
#include <QEvent>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionGroupBox>

namespace karvelo {

TRadioGroup::TRadioGroup(const QString& caption, QWidget* parent) : QGroupBox(caption, parent), buttons_(new QButtonGroup(this)) {
  buttons_->setExclusive(true);
  connect(buttons_, &QButtonGroup::idClicked, this, &TRadioGroup::Click);
}

void TRadioGroup::SetItems(const QStringList& items) {
  for (QAbstractButton* b : buttons_->buttons()) {
    buttons_->removeButton(b);
    delete b;
  }
  items_ = items;
  for (int i = 0; i < items_.size(); ++i) {
    auto* b = new QRadioButton(items_[i], this);
    b->setObjectName(objectName() + "Item" + QString::number(i));
    buttons_->addButton(b, i);
    b->show();
  }
  Arrange();
}

void TRadioGroup::SetColumns(int columns) {
  columns_ = std::max(1, columns);
  Arrange();
}

int TRadioGroup::ItemIndex() const { return buttons_->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
  QAbstractButton* b = buttons_->button(index);
  if (b) {
    b->setChecked(true);
    return;
  }
  // An exclusive group refuses to uncheck its last checked button; lift that for a moment.
  if (QAbstractButton* checked = buttons_->checkedButton()) {
    buttons_->setExclusive(false);
    checked->setChecked(false);
    buttons_->setExclusive(true);
  }
}

void TRadioGroup::resizeEvent(QResizeEvent* event) {
  QGroupBox::resizeEvent(event);
  Arrange();
}

void TRadioGroup::changeEvent(QEvent* event) {
  QGroupBox::changeEvent(event);
  if (event->type() == QEvent::FontChange) Arrange();
}

// Items run top to bottom, then left to right, in equal cells over the area below the caption.
void TRadioGroup::Arrange() {
  const int n = static_cast<int>(items_.size());
  if (n == 0) return;
  QStyleOptionGroupBox opt;
  initStyleOption(&opt);
  const QRect area = style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxContents, this).adjusted(4, 0, -2, -2);
  const int rows = (n + columns_ - 1) / columns_;
  const int cellW = area.width() / columns_;
  const int cellH = area.height() / rows;
  for (int i = 0; i < n; ++i) {
    QAbstractButton* b = buttons_->button(i);
    const int col = i / rows;
    const int row = i % rows;
    const int h = std::min(cellH, b->sizeHint().height());
    b->setGeometry(area.left() + col * cellW, area.top() + row * cellH + (cellH - h) / 2, cellW, h);
  }
}

}  // namespace karvelo
