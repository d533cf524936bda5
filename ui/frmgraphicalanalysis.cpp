// The graphical-analysis window's layout and handlers.
#include "ui/frmgraphicalanalysis.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <filesystem>

#include "core/errors.h"
#include "ui/appearance.h"
#include "ui/frmkarvelo.h"
#include "ui/pictureview.h"

namespace karvelo {

namespace {

constexpr int kClientWidth = 771;
constexpr int kClientHeight = 602;
// Repainting on every grid row would cost more than the drawing on a large grid; a few times a
// second keeps the window responsive and shows the scatterplot filling up.
constexpr qint64 kRefreshIntervalMs = 50;

QLabel* NewLabel(QWidget* parent, const char* name, const char* caption, int x, int y, int width) {
  auto* l = new QLabel(caption, parent);
  l->setObjectName(name);
  l->setGeometry(x, y, width, 16);
  return l;
}

QComboBox* NewList(QWidget* parent, const char* name, int x, int y) {
  auto* c = new QComboBox(parent);
  c->setObjectName(name);
  c->setGeometry(x, y, kAuxHistogramWidth, 21);
  return c;
}

}  // namespace

// Passes everything on to the main window, and lets the pictures and pending events show while
// the scatterplot's rows are read, which the engine reports only through the gauge.
class TfrmGraphicalAnalysis::DrawingShell : public ForwardingShell {
 public:
  DrawingShell(TfrmGraphicalAnalysis& owner, Shell& inner) : ForwardingShell(inner), owner_(owner) {}
  void refresh() override {
    owner_.RefreshPictures();
    ForwardingShell::refresh();
    sinceRefresh_.restart();
  }
  void gaugeProgress(int progress) override {
    ForwardingShell::gaugeProgress(progress);
    if (!sinceRefresh_.isValid() || sinceRefresh_.elapsed() >= kRefreshIntervalMs) refresh();
  }

 private:
  TfrmGraphicalAnalysis& owner_;
  QElapsedTimer sinceRefresh_;
};

TfrmGraphicalAnalysis::TfrmGraphicalAnalysis(Workspace& ws, TfrmKarvelo& main)
    : QDialog(&main, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ws_(ws),
      main_(main),
      aux1Canvas_(kAuxHistogramWidth, kAuxHistogramHeight),
      aux2Canvas_(kAuxHistogramWidth, kAuxHistogramHeight),
      scatterCanvas_(kScatterWidth, kScatterHeight),
      drawingShell_(std::make_unique<DrawingShell>(*this, main.session().Reporter())) {
  setObjectName("frmGraphicalAnalysis");
  ApplyWindowFont(this);
  setWindowTitle("Graphical display of data relations");
  setFixedSize(kClientWidth, kClientHeight);
  setModal(true);

  lblAUX1 = NewLabel(this, "lblAUX1", "a: Select auxiliary variable 1", 24, 16, kAuxHistogramWidth);
  cmbbxAUX1 = NewList(this, "cmbbxAUX1", 24, 32);
  lblAUX2 = NewLabel(this, "lblAUX2", "b: Select auxiliary variable 2", 256, 16, kAuxHistogramWidth);
  cmbbxAUX2 = NewList(this, "cmbbxAUX2", 256, 32);

  btbttnShow = new QPushButton("c: Show + save diagrams", this);
  btbttnShow->setObjectName("btbttnShow");
  btbttnShow->setGeometry(496, 30, 153, 25);
  bttnClose = new QPushButton("Close", this);
  bttnClose->setObjectName("bttnClose");
  bttnClose->setGeometry(672, 30, 75, 25);
  // Return in a list must not act as a click on either button.
  btbttnShow->setAutoDefault(false);
  bttnClose->setAutoDefault(false);

  lblHistogram1 = NewLabel(this, "lblHistogram1", "Absence/presence histograms for aux1", 24, 64, kAuxHistogramWidth);
  imgAUX1 = new TPictureView(aux1Canvas_, this);
  imgAUX1->setObjectName("imgAUX1");
  imgAUX1->move(24, 82);
  lblHistogram2 = NewLabel(this, "lblHistogram2", "Absence/presence histograms for aux2", 24, 336, kAuxHistogramWidth);
  imgAUX2 = new TPictureView(aux2Canvas_, this);
  imgAUX2->setObjectName("imgAUX2");
  imgAUX2->move(24, 354);
  lblScatter = NewLabel(this, "lblScatter", "Absence/presence scatterplots for aux1/aux2", 261, 64, kScatterWidth);
  imgScatter = new TPictureView(scatterCanvas_, this);
  imgScatter->setObjectName("imgScatter");
  imgScatter->move(261, 82);

  connect(btbttnShow, &QPushButton::clicked, this, &TfrmGraphicalAnalysis::btbttnShowClick);
  connect(bttnClose, &QPushButton::clicked, this, &TfrmGraphicalAnalysis::bttnCloseClick);
}

TfrmGraphicalAnalysis::~TfrmGraphicalAnalysis() = default;

void TfrmGraphicalAnalysis::FillLists(const std::vector<GraphicalEntry>& entries) {
  for (QComboBox* list : {cmbbxAUX1, cmbbxAUX2}) {
    list->clear();
    for (const GraphicalEntry& e : entries) list->addItem(QString::fromStdString(e.name), QString::fromStdString(e.path));
    list->setCurrentIndex(entries.empty() ? -1 : 0);
  }
  btbttnShow->setEnabled(!entries.empty());
}

std::optional<GraphicalEntry> TfrmGraphicalAnalysis::Selected(const QComboBox& list) const {
  const int i = list.currentIndex();
  if (i < 0) return std::nullopt;
  return GraphicalEntry{list.itemText(i).toStdString(), list.itemData(i).toString().toStdString()};
}

void TfrmGraphicalAnalysis::FormShow() { ClearImages(); }

void TfrmGraphicalAnalysis::ClearImages() {
  karvelo::ClearImages(aux1Canvas_, aux2Canvas_, scatterCanvas_);
  RefreshPictures();
}

void TfrmGraphicalAnalysis::RefreshPictures() {
  for (TPictureView* view : {imgAUX1, imgAUX2, imgScatter}) view->Refresh();
}

void TfrmGraphicalAnalysis::btbttnShowClick() {
  const auto aux1 = Selected(*cmbbxAUX1);
  const auto aux2 = Selected(*cmbbxAUX2);
  if (!aux1 || !aux2) return;
  // Old diagrams would otherwise stand next to a message that says the new ones cannot be drawn.
  ClearImages();
  // Events run while the rows are read: a second click on a button must wait for this drawing.
  const QList<QWidget*> controls{cmbbxAUX1, cmbbxAUX2, btbttnShow, bttnClose};
  for (QWidget* w : controls) w->setEnabled(false);
  try {
    ShowDiagrams(ws_, *aux1, *aux2, aux1Canvas_, aux2Canvas_, scatterCanvas_, *drawingShell_);
  } catch (const FileError& e) {
    main_.gaugeProgress(0);
    main_.message(e.what(), MessageKind::Error);
  } catch (const std::filesystem::filesystem_error& e) {
    main_.gaugeProgress(0);
    main_.message(e.what(), MessageKind::Error);
  }
  for (QWidget* w : controls) w->setEnabled(true);
  RefreshPictures();
}

void TfrmGraphicalAnalysis::bttnCloseClick() {
  main_.Status(3);
  QDialog::reject();
}

void TfrmGraphicalAnalysis::reject() {
  // A drawing in progress lets key presses through; it finishes before the window may go.
  if (!bttnClose->isEnabled()) return;
  bttnCloseClick();
}

void TfrmGraphicalAnalysis::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormShow();
}

}  // namespace karvelo
