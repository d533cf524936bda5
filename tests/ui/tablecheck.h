// What a user can read of a table: cells and headers that the view would cut short.
#pragma once

#include <QFontMetrics>
#include <QHeaderView>
#include <QStringList>
#include <QStyle>
#include <QtTest>

#include "ui/frmkarvelo.h"

#include "ui/stringgridview.h"

namespace uitest {

// Every cell or header whose text the view would elide, as "row r col c: text". A cell's text is
// drawn in its visual rectangle less the style's text margin on each side; the header needs the
// width its own size hint asks for.
inline QStringList ElidedTexts(karvelo::TStringGridView* view) {
  QStringList cut;
  const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
  const QFontMetrics fm(view->font());
  for (int c = 0; c < view->columnCount(); ++c) {
    const int width = view->columnWidth(c) - (view->showGrid() ? 1 : 0) - 2 * margin;
    for (int r = 0; r < view->rowCount(); ++r) {
      const QString text = view->CellText(r, c);
      if (text.isEmpty()) continue;
      if (fm.elidedText(text, Qt::ElideRight, width) != text) cut << QString("row %1 col %2: %3").arg(r).arg(c).arg(text);
    }
    if (!view->horizontalHeader()->isHidden() && view->horizontalHeader()->sectionSizeHint(c) > view->columnWidth(c)) {
      cut << QString("header col %1: %2").arg(c).arg(view->HeaderText(c));
    }
  }
  return cut;
}

// No table of the main window cuts a text short.
inline void CheckNothingElided(karvelo::TfrmKarvelo& w) {
  for (karvelo::TStringGridView* view :
       {w.strgrdDataConfiguration, w.strgrdFrequency, w.strgrdChi2, w.strgrdChi2a, w.strgrdBayesTable, w.strgrdValData}) {
    const QStringList cut = ElidedTexts(view);
    QVERIFY2(cut.isEmpty(), qPrintable(view->objectName() + ":\n" + cut.join('\n')));
  }
}

}  // namespace uitest
