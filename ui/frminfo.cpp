// The settings view's layout and contents.
#include "ui/frminfo.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <algorithm>

#include "core/limits.h"
#include "ui/appearance.h"

namespace karvelo {

namespace {

struct InfoRow {
  const char* text;
  int value;
};

constexpr InfoRow kRows[] = {
    {"Max. number of data files (auxiliary+observations):", MaxDataFiles},
    {"Max. number of classes in data files (auxiliary):", MaxClasses},
    {"Max. grid extent (nr of columns+rows; 10000 still works):", MaxGridExtent},
    {"Number of Bootstrap samples:", BootstrapSamples},
};

}  // namespace

TfrmINFO::TfrmINFO(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      strgrdInfo(new QTableWidget(4, 2, this)),
      btbttnOK(new QPushButton("OK", this)) {
  setObjectName("frmINFO");
  ApplyWindowFont(this);
  setWindowTitle("Settings of Karvelo");

  strgrdInfo->setObjectName("strgrdInfo");
  strgrdInfo->horizontalHeader()->hide();
  strgrdInfo->verticalHeader()->hide();
  strgrdInfo->setShowGrid(false);
  strgrdInfo->setEditTriggers(QAbstractItemView::NoEditTriggers);
  strgrdInfo->setSelectionMode(QAbstractItemView::NoSelection);
  strgrdInfo->setFocusPolicy(Qt::NoFocus);
  strgrdInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  strgrdInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  strgrdInfo->verticalHeader()->setDefaultSectionSize(19);
  QPalette pal = strgrdInfo->palette();
  pal.setColor(QPalette::Base, pal.color(QPalette::Button));
  strgrdInfo->setPalette(pal);

  // In some fonts the texts are wider than the columns' 265 and 35 pixels; the columns grow to
  // hold them and the window grows with them, so nothing is cut off.
  const QFontMetrics fm(strgrdInfo->font());
  int col0 = 265;
  int col1 = 35;
  for (const InfoRow& row : kRows) {
    col0 = std::max(col0, fm.horizontalAdvance(row.text) + 8);
    col1 = std::max(col1, fm.horizontalAdvance(QString::number(row.value)) + 10);
  }
  strgrdInfo->setColumnWidth(0, col0);
  strgrdInfo->setColumnWidth(1, col1);
  const int gridWidth = std::max(321, col0 + col1 + strgrdInfo->verticalScrollBar()->sizeHint().width() + 2 * strgrdInfo->frameWidth());
  const int extra = gridWidth - 321;
  strgrdInfo->setGeometry(16, 16, gridWidth, 87);

  setFixedSize(360 + extra, 151);
  btbttnOK->setObjectName("btbttnOK");
  btbttnOK->setGeometry((width() - 80) / 2, 114, 80, 25);
  btbttnOK->setDefault(true);
  connect(btbttnOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmINFO::FormActivate() {
  for (int r = 0; r < 4; ++r) {
    strgrdInfo->setItem(r, 0, new QTableWidgetItem(kRows[r].text));
    strgrdInfo->setItem(r, 1, new QTableWidgetItem(QString::number(kRows[r].value)));
  }
  btbttnOK->setFocus();
}

bool TfrmINFO::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) FormActivate();
  return QDialog::event(event);
}

// Not every platform activates a dialog it shows (offscreen, some X servers), so showing fills too.
void TfrmINFO::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FormActivate();
}

}  // namespace karvelo
