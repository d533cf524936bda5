// The About box's layout and logo.
#include "ui/frmabout.h"

#include <QFont>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>

#include "karvelo_version.h"
#include "ui/appearance.h"

namespace karvelo {

QPixmap TfrmAbout::Logo(int size) {
  constexpr int kCells = 5;
  QPixmap pm(size, size);
  pm.fill(Qt::white);
  QPainter p(&pm);
  const double cell = static_cast<double>(size) / kCells;
  for (int r = 0; r < kCells; ++r) {
    for (int c = 0; c < kCells; ++c) {
      // Light in the north-west to dark in the south-east, as the maps grade low to high.
      const int grey = 230 - (r + c) * 200 / (2 * (kCells - 1));
      QColor colour(grey, grey, grey);
      if (r == 1 && c == 3) colour = QColor(255, 0, 0);
      p.fillRect(QRectF(c * cell, r * cell, cell, cell), colour);
    }
  }
  p.setPen(QPen(Qt::black, 1));
  p.drawRect(0, 0, size - 1, size - 1);
  return pm;
}

TfrmAbout::TfrmAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      imgLogo(new QLabel(this)),
      lblTitle(new QLabel("Karvelo", this)),
      lblVersion(new QLabel(QStringLiteral("Karvelo " KARVELO_VERSION_TEXT), this)),
      mmAbout(new QPlainTextEdit(this)),
      btbttnOK(new QPushButton("OK", this)) {
  setObjectName("frmAbout");
  ApplyWindowFont(this);
  setWindowTitle("About");
  setFixedSize(342, 218);

  imgLogo->setObjectName("imgLogo");
  imgLogo->setGeometry(16, 16, 89, 89);
  imgLogo->setPixmap(Logo(89));
  imgLogo->setScaledContents(true);

  lblTitle->setObjectName("lblTitle");
  QFont title = lblTitle->font();
  // No handwriting face is certain to be installed; the families are tried in order and the
  // cursive style hint lets the font matcher pick the nearest when none is there.
  title.setFamilies({"URW Chancery L", "Z003", "TeX Gyre Chorus", "Comic Sans MS", "DejaVu Serif"});
  title.setStyleHint(QFont::Cursive);
  title.setItalic(true);
  title.setBold(true);
  title.setPixelSize(13);
  lblTitle->setFont(title);
  lblTitle->setGeometry(120, 16, 200, 20);

  // Under the logo, wrapped: the text beside it has no line to spare, and the version with its
  // checkout is wider than the logo.
  lblVersion->setObjectName("lblVersion");
  lblVersion->setGeometry(8, 110, 105, 70);
  lblVersion->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  lblVersion->setWordWrap(true);
  lblVersion->setTextInteractionFlags(Qt::TextSelectableByMouse);

  mmAbout->setObjectName("mmAbout");
  mmAbout->setReadOnly(true);
  mmAbout->setFrameShape(QFrame::NoFrame);
  mmAbout->setFocusPolicy(Qt::NoFocus);
  mmAbout->setLineWrapMode(QPlainTextEdit::NoWrap);
  mmAbout->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  mmAbout->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  QPalette pal = mmAbout->palette();
  pal.setColor(QPalette::Base, pal.color(QPalette::Window));
  mmAbout->setPalette(pal);
  mmAbout->setPlainText(QStringList{"A program to map and validate", "the probability of occurrence ",
                                    "of an observed feature ", "with auxiliary data  ", "(all maps as ascii-grids).", "",
                                    "Reference: the Karvelo user manual,", "naive-Bayes mapping with class tests.",
                                    "Written by the Karvelo developers."}
                            .join('\n'));
  mmAbout->setGeometry(116, 40, 214, 140);

  btbttnOK->setObjectName("btbttnOK");
  btbttnOK->setGeometry(131, 186, 80, 25);
  btbttnOK->setDefault(true);
  connect(btbttnOK, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace karvelo
