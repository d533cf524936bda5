// A framed group of radio buttons laid out in columns, with one selected item index.
#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

namespace karvelo {

class TRadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  explicit TRadioGroup(const QString& caption, QWidget* parent = nullptr);

  // Replaces the items; the selection becomes -1 (none).
  void SetItems(const QStringList& items);
  QStringList Items() const { return items_; }
  void SetColumns(int columns);
  int Columns() const { return columns_; }

  // -1 when no item is selected.
  int ItemIndex() const;
  void SetItemIndex(int index);

 signals:
  // A click of the user on an item (not a change made by SetItemIndex).
  void Click(int index);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Arrange();

  QStringList items_;
  int columns_ = 1;
  QButtonGroup* buttons_;
};

}  // namespace karvelo
