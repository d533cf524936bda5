// A tab control: a row of tabs over one framed area whose contents the owner shows and hides.
#pragma once

#include <QTabBar>
#include <QWidget>

namespace karvelo {

// Unlike a QTabWidget there are no pages: the main window decides which group box is visible when
// the tab changes, so the group boxes stay where the layout put them for the whole run.
class TTabControl : public QWidget {
  Q_OBJECT
 public:
  explicit TTabControl(QWidget* parent = nullptr);

  void AddTab(const QString& caption) { bar_->addTab(caption); }
  int TabCount() const { return bar_->count(); }
  int TabIndex() const { return bar_->currentIndex(); }
  void SetTabIndex(int index) { bar_->setCurrentIndex(index); }
  QTabBar* Bar() const { return bar_; }

 signals:
  // The tab shown changed (by the user or by SetTabIndex).
  void Change();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QTabBar* bar_;
};

}  // namespace karvelo
