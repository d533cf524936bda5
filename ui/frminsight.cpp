// The cross-validation and importance windows: what the step found, with its picture at full size.
#include "ui/frminsight.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/numfmt.h"
#include "ui/picturefiles.h"
#include "validation/insightpictures.h"

#include "ui/appearance.h"

namespace fs = std::filesystem;

namespace karvelo {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string Number(const std::optional<double>& v, int decimals) { return v ? FormatFixed(*v, decimals) : std::string("-"); }

// Broken by hand: a label that wraps itself lets the layout squeeze the window below its height.
constexpr const char* kFoldsNote =
    "Each fold's AUC scores a map made without that fold on the fold's own observations.\n"
    "Folds far apart, or an sd above about 0.05: the mean is uncertain. Random cells are\n"
    "optimistic when observations cluster; spatial blocks test areas the map has not seen.\n"
    "The picture shows the folds over the map of every observation.";
constexpr const char* kImportanceNote =
    "AUC without: the map of every other grid. AUC alone: the map of this grid only.\n"
    "Loss = AUC of all grids - AUC without: the larger, the more the grid adds;\n"
    "a grid with a loss near zero adds little to the others.";

// Room for a picture at 1:1 without scroll bars, up to what a 1024 x 768 screen leaves beside the table.
constexpr int kLargestPictureWidth = 560, kLargestPictureHeight = 480;

}  // namespace

std::vector<std::string> FoldColumns(const CrossValidationResult& r) {
  return {"Fold", "Presences", r.presenceOnly ? "Mapped cells" : "Absences", "AUC"};
}

std::vector<std::vector<std::string>> FoldCells(const CrossValidationResult& r) {
  std::vector<std::vector<std::string>> cells;
  for (const FoldScore& s : r.outcome.scores) {
    cells.push_back({std::to_string(s.fold), std::to_string(s.presences), std::to_string(s.absences), Number(s.auc, 3)});
  }
  return cells;
}

std::vector<std::string> ImportanceColumns(const ImportanceResult& r) {
  std::vector<std::string> columns = {"Grid", "AUC without", "AUC alone", "Loss"};
  if (r.byPoints) columns.insert(columns.end(), {"Gain@10% without", "Gain@10% alone"});
  return columns;
}

std::vector<std::vector<std::string>> ImportanceCells(const ImportanceResult& r) {
  std::vector<std::vector<std::string>> cells;
  for (const ImportanceRow& row : r.rows) {
    std::vector<std::string> line = {row.grid, Number(row.aucWithout, 3), Number(row.aucAlone, 3), Number(row.loss, 3)};
    if (r.byPoints) line.insert(line.end(), {Number(row.gainWithout, 4), Number(row.gainAlone, 4)});
    cells.push_back(line);
  }
  return cells;
}

TfrmInsight::TfrmInsight(const char* name, QWidget* parent) : QDialog(parent) {
  setObjectName(name);
  ApplyWindowFont(this);

  mmLines = new QPlainTextEdit(this);
  mmLines->setObjectName("mmLines");
  mmLines->setReadOnly(true);
  mmLines->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  mmLines->setFixedHeight(6 * mmLines->fontMetrics().lineSpacing() + 12);

  tblRows = new QTableWidget(0, 0, this);
  tblRows->setObjectName("tblRows");
  tblRows->verticalHeader()->hide();
  tblRows->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblRows->setSelectionBehavior(QAbstractItemView::SelectRows);
  tblRows->setWordWrap(false);
  tblRows->verticalHeader()->setDefaultSectionSize(tblRows->fontMetrics().height() + 6);
  tblRows->setMinimumHeight(6 * (tblRows->fontMetrics().height() + 6));

  lblNote = new QLabel(this);
  lblNote->setObjectName("lblNote");

  scrllPicture = new QScrollArea(this);
  scrllPicture->setObjectName("scrllPicture");
  scrllPicture->setAlignment(Qt::AlignCenter);
  imgPicture = new QLabel;
  imgPicture->setObjectName("imgPicture");
  scrllPicture->setWidget(imgPicture);

  bttnClose = new QPushButton("Close", this);
  bttnClose->setObjectName("bttnClose");
  connect(bttnClose, &QPushButton::clicked, this, &QDialog::close);

  auto* left = new QVBoxLayout;
  left->addWidget(mmLines);
  left->addWidget(tblRows, 1);
  left->addWidget(lblNote);
  auto* top = new QHBoxLayout;
  top->addLayout(left, 1);
  top->addWidget(scrllPicture);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(bttnClose);
  auto* all = new QVBoxLayout(this);
  all->addLayout(top, 1);
  all->addLayout(buttons);
  all->setSizeConstraint(QLayout::SetMinimumSize);
}

void TfrmInsight::SetCrossValidation(const CrossValidationResult& r, const fs::path& picture) {
  std::vector<std::string> lines = {CrossValidationLine(r), r.priorsNote};
  if (r.presenceOnly) lines.push_back("Presence-only data: held-out presences scored against every mapped cell of their fold.");
  lines.insert(lines.end(), r.notes.begin(), r.notes.end());
  Show("Cross-validation", lines, FoldColumns(r), FoldCells(r), kFoldsNote, picture);
  scrllPicture->setMinimumSize(std::min(kFoldsPictureWidth, kLargestPictureWidth) + 4, std::min(kFoldsPictureHeight, kLargestPictureHeight) + 4);
}

void TfrmInsight::SetImportance(const ImportanceResult& r, const fs::path& picture) {
  // The lines above the table: everything ImportanceLines gives before its own table.
  std::vector<std::string> lines = ImportanceLines(r);
  lines.resize(lines.size() - r.rows.size() - 1);
  Show("Importance of the grids", lines, ImportanceColumns(r), ImportanceCells(r), kImportanceNote, picture);
  const int width = ImportancePictureWidth(r.rows.size());
  scrllPicture->setMinimumSize(std::min(width, kLargestPictureWidth) + 4, std::min(kImportancePictureHeight, kLargestPictureHeight) + 4);
}

void TfrmInsight::Show(const std::string& title, const std::vector<std::string>& lines, const std::vector<std::string>& columns,
                       const std::vector<std::vector<std::string>>& cells, const char* note, const fs::path& picture) {
  setWindowTitle(Q(title));
  QStringList text;
  for (const std::string& line : lines) text << Q(line);
  mmLines->setPlainText(text.join('\n'));
  lblNote->setText(note);

  tblRows->clear();
  tblRows->setColumnCount(static_cast<int>(columns.size()));
  QStringList headers;
  for (const std::string& c : columns) headers << Q(c);
  tblRows->setHorizontalHeaderLabels(headers);
  tblRows->setRowCount(static_cast<int>(cells.size()));
  for (int r = 0; r < tblRows->rowCount(); ++r) {
    const std::vector<std::string>& row = cells[static_cast<std::size_t>(r)];
    for (int c = 0; c < static_cast<int>(row.size()) && c < tblRows->columnCount(); ++c) {
      auto* item = new QTableWidgetItem(Q(row[static_cast<std::size_t>(c)]));
      // Numbers line up on the right; a grid's name reads from the left.
      if (c > 0 || row[0].find_first_not_of("0123456789") == std::string::npos) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      tblRows->setItem(r, c, item);
    }
  }
  tblRows->resizeColumnsToContents();
  tblRows->setCurrentCell(-1, -1);
  // Wide enough for every column, so that no number is cut off or needs scrolling sideways.
  int width = 2 * tblRows->frameWidth() + tblRows->verticalScrollBar()->sizeHint().width();
  for (int c = 0; c < tblRows->columnCount(); ++c) width += tblRows->columnWidth(c);
  tblRows->setMinimumWidth(width);

  picture_ = picture;
  imgPicture->clear();
  adjustSize();
}

void TfrmInsight::LoadPicture() {
  if (!picture_.empty()) ShowPictureFile(imgPicture, picture_);
}

void TfrmInsight::Clear() {
  hide();
  Show("", {}, {}, {}, "", {});
}

}  // namespace karvelo
