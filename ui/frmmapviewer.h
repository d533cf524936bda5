// The map viewer: any ASCII grid at full resolution, zoomed with the wheel, dragged, saved as PNG.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <memory>
#include <vector>

#include "render/mappyramid.h"
#include "render/mapview.h"
#include "ui/dialoghooks.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

namespace karvelo {

// A validation point in map coordinates: a find or a non-find.
struct MapPoint {
  double x = 0, y = 0;
  bool find = false;
};

// The drawing area: the view of the map, the points over it, the wheel and the drag.
class TMapCanvas : public QWidget {
  Q_OBJECT
 public:
  explicit TMapCanvas(QWidget* parent = nullptr);

  void SetMap(const MapPyramid* map);
  void SetStyle(const ViewStyle& style);
  void SetPoints(std::vector<MapPoint> points, bool shown);
  void ShowPoints(bool shown);
  // Shows the whole map; the view stays fitted through resizes until the user zooms or pans.
  void Fit();
  void ZoomAt(QPointF at, double factor);
  void PanBy(QPointF delta);

  const ViewTransform& View() const { return view_; }
  // Milliseconds the last repaint took (drawing the view and the points).
  double LastPaintMs() const { return lastPaintMs_; }
  // Loads the full-resolution cells the view needs now instead of after the pause that follows
  // a zoom or a pan (tests and benchmarks).
  void LoadDetailNow();
  bool ShowsDetail() const;

 signals:
  // The cell under the cursor, or col = -1 when the cursor left the map's area.
  void Hover(int col, int row);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void ViewChanged();
  double FitScale() const;

  const MapPyramid* map_ = nullptr;
  ViewTransform view_;
  ViewStyle style_;
  bool fitted_ = true;
  DetailRegion detail_;
  QTimer detailTimer_;
  std::vector<MapPoint> points_;
  bool pointsShown_ = false;
  bool dragging_ = false;
  QPointF dragFrom_;
  std::vector<std::uint32_t> pixels_;
  double lastPaintMs_ = 0;
};

// The legend bar: the grey ramp with the values at its ends and middle.
class TLegendBar : public QWidget {
  Q_OBJECT
 public:
  explicit TLegendBar(QWidget* parent = nullptr);
  // lo and hi on the ramp's scale; the labels show map values (10^ of them on a log10 scale).
  void SetRange(double lo, double hi, bool log10Scale, bool hasData);
  QStringList Labels() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double lo_ = 0, hi_ = 1;
  bool log10_ = false, hasData_ = false;
};

class TfrmMapViewer : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmMapViewer(DialogHooks& hooks, QWidget* parent = nullptr);
  ~TfrmMapViewer() override;

  // Reads the grid and shows it whole; points (map coordinates) can then be overlaid. A file that
  // cannot be read is reported through the hooks and leaves the window as it was. Returns whether
  // the map is shown.
  bool Open(const std::filesystem::path& file, std::vector<MapPoint> points = {});
  const MapPyramid* Map() const { return map_.get(); }
  // Closes the window and lets go of the map's file (a run is about to rewrite it).
  void Release();
  const std::filesystem::path& File() const { return file_; }
  void SaveViewClick();

  TMapCanvas* canvas;
  QPushButton* btnFit;
  QComboBox* cmbbxScale;
  QCheckBox* chckbxPoints;
  QPushButton* btnSaveView;
  TLegendBar* legend;
  QLabel* lblStatus;

 private:
  void ShowHover(int col, int row);
  void ScaleChanged();

  DialogHooks& hooks_;
  std::unique_ptr<MapPyramid> map_;
  std::filesystem::path file_;
  std::filesystem::path saveFolder_;
};

}  // namespace karvelo
