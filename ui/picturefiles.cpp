// Result pictures shown from their files at full size: the tabs of the results windows.
#include "ui/picturefiles.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>
#include <QString>
#include <QTabWidget>

namespace karvelo {

namespace {
QString Q(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

void AddPictureTab(QTabWidget* tabs, const std::string& name) {
  auto* scroll = new QScrollArea;
  scroll->setObjectName(Q("scrl" + name));
  auto* label = new QLabel;
  label->setObjectName(Q("img" + name));
  scroll->setWidget(label);
  scroll->setAlignment(Qt::AlignCenter);
  tabs->addTab(scroll, Q(name));
}

void ClearPictureTabs(QTabWidget* tabs) {
  while (tabs->count() > 0) {
    QWidget* page = tabs->widget(0);
    tabs->removeTab(0);
    delete page;
  }
}

QLabel* PictureLabelOfTab(QTabWidget* tabs, int i) {
  return qobject_cast<QLabel*>(static_cast<QScrollArea*>(tabs->widget(i))->widget());
}

void ShowPictureFile(QLabel* label, const std::filesystem::path& file) {
  const QPixmap pixmap = QPixmap::fromImage(QImage(Q(file.string())));
  if (pixmap.isNull()) {
    label->setPixmap(QPixmap());
    label->setText(Q("The picture " + file.string() + " could not be read."));
    label->adjustSize();
  } else {
    label->setPixmap(pixmap);
    label->setFixedSize(pixmap.size());
  }
}

}  // namespace karvelo
