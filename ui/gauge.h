// The progress gauge of the main window: a black bar on the window face with the percentage in its middle.
#pragma once

#include <QWidget>

namespace karvelo {

class TGauge : public QWidget {
  Q_OBJECT
 public:
  explicit TGauge(QWidget* parent = nullptr);

  int MinValue() const { return min_; }
  int MaxValue() const { return max_; }
  int Progress() const { return progress_; }
  // Whole percent of the way from MinValue to MaxValue, truncated; 0 for an empty range.
  int PercentDone() const;

  void SetRange(int minimum, int maximum);
  // Clamped to the range so that a loop overshooting by one row still draws a full bar.
  void SetProgress(int progress);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int min_ = 0;
  int max_ = 100;
  int progress_ = 0;
};

}  // namespace karvelo
