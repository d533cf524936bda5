// The weights-of-evidence window: the table of the last mapping run and its effect pictures at full size.
#include "ui/frmweights.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "mapping/effects.h"
#include "ui/appearance.h"
#include "ui/picturefiles.h"

namespace fs = std::filesystem;

namespace karvelo {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// Broken by hand: a label that wraps itself lets the layout squeeze the window below its height.
constexpr const char* kNote =
    "W+ and W-: the log of how much more often presences than absences fall inside (W+) or outside (W-) the class.\n"
    "C = W+ - W- is the class's contrast, s(C) its standard deviation, Studentized C = C / s(C); a class whose\n"
    "|Studentized C| is above about 2 carries evidence worth trusting. Where a count was 0, 0.5 was added to each\n"
    "of the class's four counts (Note).";

}  // namespace

TfrmWeights::TfrmWeights(QWidget* parent) : QDialog(parent) {
  setObjectName("frmWeights");
  ApplyWindowFont(this);
  setWindowTitle("Weights of evidence");

  lblNote = new QLabel(kNote, this);
  lblNote->setObjectName("lblNote");

  const std::vector<std::string> columns = WeightsColumns();
  tblWeights = new QTableWidget(0, static_cast<int>(columns.size()), this);
  tblWeights->setObjectName("tblWeights");
  QStringList headers;
  for (const std::string& c : columns) headers << Q(c);
  tblWeights->setHorizontalHeaderLabels(headers);
  tblWeights->verticalHeader()->hide();
  tblWeights->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblWeights->setSelectionBehavior(QAbstractItemView::SelectRows);
  tblWeights->setWordWrap(false);
  tblWeights->verticalHeader()->setDefaultSectionSize(tblWeights->fontMetrics().height() + 6);
  tblWeights->setMinimumHeight(8 * (tblWeights->fontMetrics().height() + 6));

  tbEffects = new QTabWidget(this);
  tbEffects->setObjectName("tbEffects");
  // A picture at 1:1 without scroll bars.
  tbEffects->setMinimumSize(kEffectsPictureWidth + 24, kEffectsPictureHeight + 48);

  bttnClose = new QPushButton("Close", this);
  bttnClose->setObjectName("bttnClose");
  connect(bttnClose, &QPushButton::clicked, this, &QDialog::close);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(bttnClose);
  auto* all = new QVBoxLayout(this);
  all->addWidget(lblNote);
  all->addWidget(tblWeights, 1);
  all->addWidget(tbEffects);
  all->addLayout(buttons);
  // Never smaller than the table's rows and a picture at full size need.
  all->setSizeConstraint(QLayout::SetMinimumSize);
}

void TfrmWeights::SetResult(const std::vector<WeightsRow>& rows, const std::vector<EffectsPicture>& pictures) {
  tblWeights->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < tblWeights->rowCount(); ++r) {
    const std::vector<std::string> cells = WeightsCells(rows[static_cast<std::size_t>(r)]);
    for (int c = 0; c < static_cast<int>(cells.size()) && c < tblWeights->columnCount(); ++c) {
      auto* item = new QTableWidgetItem(Q(cells[static_cast<std::size_t>(c)]));
      // Numbers line up on the right, the grid's name and the note read from the left.
      if (c > 0 && c + 1 < tblWeights->columnCount()) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      tblWeights->setItem(r, c, item);
    }
  }
  tblWeights->resizeColumnsToContents();
  tblWeights->setCurrentCell(-1, -1);
  // Wide enough for every column, so that no number is cut off or needs scrolling sideways.
  int width = 2 * tblWeights->frameWidth() + tblWeights->verticalScrollBar()->sizeHint().width();
  for (int c = 0; c < tblWeights->columnCount(); ++c) width += tblWeights->columnWidth(c);
  tblWeights->setMinimumWidth(width);

  ClearPictureTabs(tbEffects);
  pictures_ = pictures;
  for (const EffectsPicture& picture : pictures_) AddPictureTab(tbEffects, picture.grid);
  adjustSize();
}

void TfrmWeights::LoadPictures() {
  for (int i = 0; i < tbEffects->count() && i < static_cast<int>(pictures_.size()); ++i) {
    ShowPictureFile(PictureLabelOfTab(tbEffects, i), pictures_[static_cast<std::size_t>(i)].file);
  }
}

void TfrmWeights::Clear() {
  hide();
  SetResult({}, {});
}

}  // namespace karvelo
