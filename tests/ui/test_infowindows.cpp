// Window tests of the settings view and the About box.
#include <QFontMetrics>
#include <QLabel>
#include <QTextDocument>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "core/runlog.h"
#include "ui/frmabout.h"
#include "ui/frminfo.h"
#include "uitests.h"

using namespace karvelo;

class InfoWindowTest : public QObject {
  Q_OBJECT
 private slots:
  void settingsViewShowsTheLimits() {
    TfrmINFO info;
    QCOMPARE(info.windowTitle(), QString("Settings of Karvelo"));
    info.FormActivate();
    info.show();  // lays out the scroll bar and viewport measured below
    const QStringList expected[] = {
        {"Max. number of data files (auxiliary+observations):", "10"},
        {"Max. number of classes in data files (auxiliary):", "20"},
        {"Max. grid extent (nr of columns+rows; 10000 still works):", "10000"},
        {"Number of Bootstrap samples:", "50"},
    };
    QCOMPARE(info.strgrdInfo->rowCount(), 4);
    QCOMPARE(info.strgrdInfo->columnCount(), 2);
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 2; ++c) QCOMPARE(info.strgrdInfo->item(r, c)->text(), expected[r][c]);
    }
    QVERIFY(!info.strgrdInfo->showGrid());
    QVERIFY(info.strgrdInfo->columnWidth(0) >= 265);
    QVERIFY(info.strgrdInfo->columnWidth(1) >= 35);
    // Every text shows in full, and both columns fit beside the scroll bar.
    const QFontMetrics fm(info.strgrdInfo->font());
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 2; ++c) QVERIFY(fm.horizontalAdvance(expected[r][c]) + 6 <= info.strgrdInfo->columnWidth(c));
    }
    QVERIFY(info.strgrdInfo->columnWidth(0) + info.strgrdInfo->columnWidth(1) <= info.strgrdInfo->viewport()->width());
  }

  void settingsViewIsFilledEachTimeItIsShownAndOkCloses() {
    TfrmINFO info;
    info.show();
    QVERIFY(info.strgrdInfo->item(3, 1));
    QCOMPARE(info.strgrdInfo->item(3, 1)->text(), QString("50"));
    info.strgrdInfo->item(3, 1)->setText("changed");
    info.hide();
    info.show();
    QCOMPARE(info.strgrdInfo->item(3, 1)->text(), QString("50"));
    QTRY_VERIFY(info.btbttnOK->hasFocus());
    QTest::mouseClick(info.btbttnOK, Qt::LeftButton);
    QVERIFY(info.isHidden());
    QCOMPARE(info.result(), int(QDialog::Accepted));
  }

  void aboutBoxTextAndLogo() {
    TfrmAbout about;
    about.show();  // lays out the text viewport measured below
    QCOMPARE(about.windowTitle(), QString("About"));
    QCOMPARE(about.size(), QSize(342, 218));
    QCOMPARE(about.lblTitle->text(), QString("Karvelo"));
    QVERIFY(about.lblTitle->font().bold());
    QCOMPARE(about.lblTitle->font().pixelSize(), 13);
    QVERIFY(about.mmAbout->isReadOnly());
    QVERIFY(QString::fromStdString(CreditLine()).startsWith(about.lblVersion->text() + ":"));
    const QStringList lines = about.mmAbout->toPlainText().split('\n');
    QCOMPARE(lines[0], QString("A program to map and validate"));
    QCOMPARE(lines[5], QString());  // the reference follows an empty line
    QVERIFY(lines.size() >= 8);
    const QFontMetrics fm(about.mmAbout->font());
    const int room = about.mmAbout->viewport()->width() - 2 * static_cast<int>(about.mmAbout->document()->documentMargin());
    for (const QString& line : lines) QVERIFY2(fm.horizontalAdvance(line) <= room, qPrintable(line));
    QVERIFY(fm.lineSpacing() * lines.size() <= about.mmAbout->viewport()->height());
    const QImage logo = TfrmAbout::Logo(89).toImage();
    QCOMPARE(logo.size(), QSize(89, 89));
    bool red = false;
    for (int y = 0; y < 89 && !red; ++y)
      for (int x = 0; x < 89 && !red; ++x) red = logo.pixelColor(x, y) == QColor(255, 0, 0);
    QVERIFY(red);
    QTest::mouseClick(about.btbttnOK, Qt::LeftButton);
    QCOMPARE(about.result(), int(QDialog::Accepted));
  }
};

int RunInfoWindowTests(int argc, char** argv) {
  InfoWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "test_infowindows.moc"
