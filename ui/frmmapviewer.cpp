// The map viewer's drawing area, legend bar and window.
#include "ui/frmmapviewer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

#include "core/errors.h"
#include "core/numfmt.h"
#include "render/maprender.h"
#include "ui/appearance.h"

namespace karvelo {

namespace {

// Zoom limits: a quarter of the fitted map, and this many pixels per cell (or 16 times the
// fitted map, for a map of few cells).
constexpr double kMaxPixelsPerCell = 64;
// Full-resolution cells are read once the view rests this long, and only this many at once.
constexpr int kDetailPauseMs = 150;
constexpr long long kMaxDetailCells = 24LL * 1024 * 1024;
const QColor kFindColour(0, 90, 255);
const QColor kNonFindColour(255, 170, 0);

QString Number(double v) { return QString::fromStdString(FormatShortest(v)); }

}  // namespace

// --- Drawing area ------------------------------------------------------------------------------

TMapCanvas::TMapCanvas(QWidget* parent) : QWidget(parent) {
  setObjectName("MapCanvas");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setMinimumSize(200, 150);
  setCursor(Qt::OpenHandCursor);
  detailTimer_.setSingleShot(true);
  detailTimer_.setInterval(kDetailPauseMs);
  connect(&detailTimer_, &QTimer::timeout, this, &TMapCanvas::LoadDetailNow);
}

void TMapCanvas::SetMap(const MapPyramid* map) {
  map_ = map;
  detail_ = DetailRegion{};
  Fit();
}

void TMapCanvas::SetStyle(const ViewStyle& style) {
  style_ = style;
  update();
}

void TMapCanvas::SetPoints(std::vector<MapPoint> points, bool shown) {
  points_ = std::move(points);
  pointsShown_ = shown;
  update();
}

void TMapCanvas::ShowPoints(bool shown) {
  pointsShown_ = shown;
  update();
}

double TMapCanvas::FitScale() const {
  if (!map_) return 1;
  return ViewTransform::Fit(map_->Cols(), map_->Rows(), width(), height()).scale;
}

void TMapCanvas::Fit() {
  fitted_ = true;
  if (map_) view_ = ViewTransform::Fit(map_->Cols(), map_->Rows(), width(), height());
  ViewChanged();
}

void TMapCanvas::ZoomAt(QPointF at, double factor) {
  if (!map_) return;
  fitted_ = false;
  view_.ZoomAt(at.x(), at.y(), factor, FitScale() / 4, std::max(kMaxPixelsPerCell, 16 * FitScale()));
  ViewChanged();
}

void TMapCanvas::PanBy(QPointF delta) {
  if (!map_) return;
  fitted_ = false;
  view_.Pan(delta.x(), delta.y());
  ViewChanged();
}

void TMapCanvas::ViewChanged() {
  update();
  int c0, r0, c1, r1;
  if (map_ && NeedsDetail(*map_, view_, width(), height(), c0, r0, c1, r1) && !detail_.Covers(c0, r0, c1, r1)) {
    detailTimer_.start();
  }
}

bool TMapCanvas::ShowsDetail() const {
  int c0, r0, c1, r1;
  return map_ && NeedsDetail(*map_, view_, width(), height(), c0, r0, c1, r1) && detail_.Covers(c0, r0, c1, r1);
}

void TMapCanvas::LoadDetailNow() {
  detailTimer_.stop();
  int c0, r0, c1, r1;
  if (!map_ || !NeedsDetail(*map_, view_, width(), height(), c0, r0, c1, r1) || detail_.Covers(c0, r0, c1, r1)) return;
  // A margin of half a view on each side, so that a short pan needs no new reading.
  const int mc = (c1 - c0) / 2 + 1, mr = (r1 - r0) / 2 + 1;
  int a0 = std::max(0, c0 - mc), b0 = std::max(0, r0 - mr);
  int a1 = std::min(map_->Cols(), c1 + mc), b1 = std::min(map_->Rows(), r1 + mr);
  if (static_cast<long long>(a1 - a0) * (b1 - b0) > kMaxDetailCells) a0 = c0, b0 = r0, a1 = c1, b1 = r1;
  if (static_cast<long long>(a1 - a0) * (b1 - b0) > kMaxDetailCells) return;
  try {
    detail_ = DetailRegion{a0, b0, a1, b1, map_->Region(a0, b0, a1, b1)};
  } catch (const FileError&) {
    detail_ = DetailRegion{};  // the reduced images still show the map
  }
  update();
}

void TMapCanvas::paintEvent(QPaintEvent*) {
  QElapsedTimer clock;
  clock.start();
  QPainter p(this);
  if (!map_) {
    p.fillRect(rect(), QColor(style_.background.r, style_.background.g, style_.background.b));
    return;
  }
  RenderView(*map_, view_, style_, &detail_, width(), height(), pixels_);
  const QImage image(reinterpret_cast<const uchar*>(pixels_.data()), width(), height(), width() * 4, QImage::Format_RGB32);
  p.drawImage(0, 0, image);
  if (pointsShown_ && !points_.empty()) {
    const TDataDef& h = map_->Header();
    p.setRenderHint(QPainter::Antialiasing);
    for (const MapPoint& pt : points_) {
      const double col = (pt.x - h.xllcorner) / h.cellsize, row = h.nrows - (pt.y - h.yllcorner) / h.cellsize;
      const QPointF at((col - view_.left) * view_.scale, (row - view_.top) * view_.scale);
      if (!rect().adjusted(-5, -5, 5, 5).contains(at.toPoint())) continue;
      p.setPen(QPen(Qt::black, 1));
      p.setBrush(pt.find ? kFindColour : kNonFindColour);
      p.drawEllipse(at, 3.5, 3.5);
    }
  }
  lastPaintMs_ = static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

void TMapCanvas::resizeEvent(QResizeEvent*) {
  if (fitted_) {
    Fit();
  } else {
    ViewChanged();
  }
}

void TMapCanvas::wheelEvent(QWheelEvent* event) {
  const double notches = event->angleDelta().y() / 120.0;
  if (notches != 0) ZoomAt(event->position(), std::pow(1.25, notches));
  event->accept();
}

void TMapCanvas::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  dragging_ = true;
  dragFrom_ = event->position();
  setCursor(Qt::ClosedHandCursor);
}

void TMapCanvas::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) {
    PanBy(event->position() - dragFrom_);
    dragFrom_ = event->position();
  }
  if (!map_) return;
  const int col = view_.Col(static_cast<int>(event->position().x())), row = view_.Row(static_cast<int>(event->position().y()));
  const bool on = col >= 0 && row >= 0 && col < map_->Cols() && row < map_->Rows();
  emit Hover(on ? col : -1, on ? row : -1);
}

void TMapCanvas::mouseReleaseEvent(QMouseEvent*) {
  dragging_ = false;
  setCursor(Qt::OpenHandCursor);
}

void TMapCanvas::leaveEvent(QEvent*) { emit Hover(-1, -1); }

// --- Legend bar --------------------------------------------------------------------------------

TLegendBar::TLegendBar(QWidget* parent) : QWidget(parent) {
  setObjectName("MapLegend");
  setMinimumHeight(34);
}

void TLegendBar::SetRange(double lo, double hi, bool log10Scale, bool hasData) {
  lo_ = lo;
  hi_ = hi;
  log10_ = log10Scale;
  hasData_ = hasData;
  update();
}

QStringList TLegendBar::Labels() const {
  if (!hasData_) return {};
  QStringList labels;
  for (double t : {lo_, (lo_ + hi_) / 2, hi_}) labels << Number(log10_ ? std::pow(10.0, t) : t);
  return labels;
}

void TLegendBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const int barLeft = 8, barRight = width() - 8, barTop = 2, barHeight = 14;
  if (!hasData_ || barRight <= barLeft) return;
  // The ramp runs from the lowest value (white) to the highest (dark), as on the map.
  for (int x = barLeft; x < barRight; ++x) {
    const double t = lo_ + (hi_ - lo_) * (x - barLeft + 0.5) / (barRight - barLeft);
    const Rgb g = RampGrey(t, lo_, hi_);
    p.setPen(QColor(g.r, g.g, g.b));
    p.drawLine(x, barTop, x, barTop + barHeight - 1);
  }
  p.setPen(palette().color(QPalette::WindowText));
  p.setBrush(Qt::NoBrush);
  p.drawRect(barLeft, barTop, barRight - barLeft - 1, barHeight - 1);
  const QStringList labels = Labels();
  const QFontMetrics fm(font());
  const int y = barTop + barHeight + 2;
  const int mid = (barLeft + barRight) / 2;
  for (int x : {barLeft, mid, barRight - 1}) p.drawLine(x, barTop + barHeight, x, y);
  p.drawText(QRect(barLeft, y, fm.horizontalAdvance(labels[0]) + 2, fm.height()), Qt::AlignLeft, labels[0]);
  const int wm = fm.horizontalAdvance(labels[1]) + 2;
  p.drawText(QRect(mid - wm / 2, y, wm, fm.height()), Qt::AlignHCenter, labels[1]);
  const int wr = fm.horizontalAdvance(labels[2]) + 2;
  p.drawText(QRect(barRight - wr, y, wr, fm.height()), Qt::AlignRight, labels[2]);
}

// --- Window ------------------------------------------------------------------------------------

TfrmMapViewer::TfrmMapViewer(DialogHooks& hooks, QWidget* parent) : QWidget(parent, Qt::Window), hooks_(hooks) {
  setObjectName("frmMapViewer");
  ApplyWindowFont(this);
  setWindowTitle("Map viewer");
  resize(760, 600);

  canvas = new TMapCanvas(this);
  btnFit = new QPushButton("Fit", this);
  btnFit->setObjectName("btnFit");
  btnFit->setToolTip("Show the whole map");
  cmbbxScale = new QComboBox(this);
  cmbbxScale->setObjectName("cmbbxScale");
  cmbbxScale->addItems({"linear", "log10"});
  chckbxPoints = new QCheckBox("Validation points (finds blue, non-finds orange)", this);
  chckbxPoints->setObjectName("chckbxPoints");
  chckbxPoints->hide();
  btnSaveView = new QPushButton("Save view as PNG", this);
  btnSaveView->setObjectName("btnSaveView");
  legend = new TLegendBar(this);
  lblStatus = new QLabel(this);
  lblStatus->setObjectName("lblStatus");
  lblStatus->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  lblStatus->setMinimumHeight(fontMetrics().height() + 6);

  auto* tools = new QHBoxLayout;
  tools->addWidget(btnFit);
  tools->addWidget(new QLabel("Scale:", this));
  tools->addWidget(cmbbxScale);
  tools->addWidget(chckbxPoints);
  tools->addStretch(1);
  tools->addWidget(btnSaveView);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 6, 6, 6);
  column->setSpacing(4);
  column->addLayout(tools);
  column->addWidget(canvas, 1);
  column->addWidget(legend);
  column->addWidget(lblStatus);

  connect(btnFit, &QPushButton::clicked, canvas, &TMapCanvas::Fit);
  connect(cmbbxScale, &QComboBox::currentIndexChanged, this, &TfrmMapViewer::ScaleChanged);
  connect(chckbxPoints, &QCheckBox::toggled, canvas, &TMapCanvas::ShowPoints);
  connect(btnSaveView, &QPushButton::clicked, this, &TfrmMapViewer::SaveViewClick);
  connect(canvas, &TMapCanvas::Hover, this, &TfrmMapViewer::ShowHover);
}

TfrmMapViewer::~TfrmMapViewer() = default;

bool TfrmMapViewer::Open(const std::filesystem::path& file, std::vector<MapPoint> points) {
  std::unique_ptr<MapPyramid> map;
  try {
    SilentShell quiet;
    map = std::make_unique<MapPyramid>(file, quiet);
  } catch (const FileError& e) {
    hooks_.message(QString::fromStdString(e.what()), MessageKind::Error);
    return false;
  }
  canvas->SetMap(nullptr);
  map_ = std::move(map);
  file_ = file;
  if (saveFolder_.empty()) saveFolder_ = file.parent_path();
  setWindowTitle("Map viewer - " + QString::fromStdString(file.filename().string()));
  canvas->SetMap(map_.get());
  chckbxPoints->setVisible(!points.empty());
  chckbxPoints->setChecked(!points.empty());
  canvas->SetPoints(std::move(points), chckbxPoints->isChecked());
  ScaleChanged();
  lblStatus->clear();
  return true;
}

void TfrmMapViewer::Release() {
  hide();
  canvas->SetMap(nullptr);
  map_.reset();
  file_.clear();
  lblStatus->clear();
  legend->SetRange(0, 1, false, false);
}

void TfrmMapViewer::ScaleChanged() {
  const bool log10Scale = cmbbxScale->currentIndex() == 1;
  canvas->SetStyle(ViewStyle{log10Scale, kDefaultFace});
  if (!map_) return;
  double lo, hi;
  RampRange(*map_, log10Scale, lo, hi);
  legend->SetRange(lo, hi, log10Scale, map_->HasData());
}

void TfrmMapViewer::ShowHover(int col, int row) {
  if (!map_ || col < 0) {
    lblStatus->clear();
    return;
  }
  QString value = "no data";
  try {
    if (const std::optional<double> v = map_->CellValue(col, row)) value = Number(*v);
  } catch (const FileError& e) {
    value = QString::fromStdString(e.what());
  }
  lblStatus->setText(QString("Column %1   Row %2   X %3   Y %4   Value %5")
                         .arg(col + 1)
                         .arg(row + 1)
                         .arg(Number(map_->CellX(col)), Number(map_->CellY(row)), value));
}

void TfrmMapViewer::SaveViewClick() {
  if (!map_) return;
  FileDialogRequest request;
  request.save = true;
  request.title = "Save view as PNG";
  request.filter = "PNG picture (*.png)|*.png";
  request.defaultExt = "png";
  request.fileName = file_.stem().string() + " view.png";
  request.initialDir = saveFolder_.string();
  const auto path = hooks_.chooseFile(request);
  if (!path) return;
  saveFolder_ = path->parent_path();
  if (!canvas->grab().save(QString::fromStdString(path->string()), "PNG")) {
    hooks_.message(QString::fromStdString(path->string() + ": cannot write the picture"), MessageKind::Error);
  }
}

}  // namespace karvelo
