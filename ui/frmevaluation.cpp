// The evaluation's results window: the threshold table, the lines beyond the AUC and each picture at full size.
#include "ui/frmevaluation.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/numfmt.h"
#include "core/runcontext.h"
#include "stats/statstext.h"
#include "ui/appearance.h"
#include "ui/picturefiles.h"
#include "validation/binarymap.h"
#include "validation/gain.h"
#include "validation/roc.h"

namespace fs = std::filesystem;

namespace karvelo {

namespace {

constexpr ThresholdKind kBinaryKinds[] = {ThresholdKind::YoudenJ, ThresholdKind::EqualSensitivitySpecificity,
                                          ThresholdKind::MaximumKappa};

QString Q(const std::string& s) { return QString::fromStdString(s); }

bool Wrote(const EvaluationResult& result, const fs::path& file) {
  return std::find(result.written.begin(), result.written.end(), file) != result.written.end();
}

}  // namespace

QStringList BinaryBoxItems() {
  QStringList items{"none"};
  for (ThresholdKind kind : kBinaryKinds) items << Q(ThresholdName(kind));
  return items;
}

BinaryBoxReading ReadBinaryBox(const QComboBox& box) {
  const QString text = box.currentText().trimmed();
  const QStringList items = BinaryBoxItems();
  BinaryBoxReading reading;
  if (text.isEmpty() || text == items[0]) return reading;
  for (int i = 1; i < items.size(); ++i) {
    if (text == items[i]) {
      reading.choice = BinaryChoice{kBinaryKinds[i - 1], 0};
      return reading;
    }
  }
  // The batch tool's names are taken too.
  if (const auto named = BinaryChoiceNamed(text.toStdString())) {
    reading.choice = named;
  } else {
    reading.refusal = "The binary map's threshold \"" + text.left(60).toStdString() +
                      "\" is not a number. Choose none or one of the listed thresholds, or type a value with a decimal "
                      "point, such as 0.5.";
  }
  return reading;
}

std::vector<EvaluationPicture> EvaluationPictures(const EvaluationResult& result, const RunContext& run, const std::string& mapFile) {
  const std::string name = fs::path(mapFile).filename().string();
  std::vector<EvaluationPicture> pictures;
  if (result.auc) pictures.push_back({"ROC", run.Output(RocTitle(mapFile) + ".bmp"), {}});
  if (!result.gain.empty()) pictures.push_back({"Gain", run.Output(GainTitle(name) + ".bmp"), {}});
  const fs::path binary = run.Output(BinaryMapFileName(name));
  const std::pair<const char*, fs::path> beyond[] = {
      {"Boyce index", run.Output(BoyceTitle(name) + ".bmp")},
      {"Prediction-area", run.Output(PredictionAreaTitle(name) + ".bmp")},
      {"Binary map", fs::path(binary).replace_extension(".bmp")}};
  for (const auto& [caption, file] : beyond) {
    if (Wrote(result, file)) pictures.push_back({caption, file, Wrote(result, binary) && file.stem() == binary.stem() ? binary : fs::path()});
  }
  return pictures;
}

TfrmEvaluation::TfrmEvaluation(DialogHooks& hooks, QWidget* parent) : QDialog(parent), hooks_(hooks) {
  setObjectName("frmEvaluation");
  ApplyWindowFont(this);
  setWindowTitle("Evaluation results");

  lblThresholds = new QLabel("Thresholds (a cell counts as predicted at or above the threshold):", this);
  lblThresholds->setObjectName("lblThresholds");
  tblThresholds = new QTableWidget(0, 7, this);
  tblThresholds->setObjectName("tblThresholds");
  tblThresholds->setHorizontalHeaderLabels({"Threshold", "Value", "Sensitivity", "Specificity", "Area", "Gain", "p"});
  tblThresholds->verticalHeader()->hide();
  tblThresholds->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tblThresholds->setSelectionBehavior(QAbstractItemView::SelectRows);
  tblThresholds->setWordWrap(false);
  // Room for the widest texts and the five rows the table can have, so nothing scrolls.
  const QFontMetrics metrics = tblThresholds->fontMetrics();
  const int rowHeight = metrics.height() + 6;
  tblThresholds->verticalHeader()->setDefaultSectionSize(rowHeight);
  tblThresholds->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  tblThresholds->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  int width = 2 * tblThresholds->frameWidth();
  for (int c = 0; c < tblThresholds->columnCount(); ++c) {
    const QString widest = c == 0 ? QString("10th percentile training presence") : c == 1 ? QString("0.000000") : QString("0.0000");
    const int column = std::max(metrics.horizontalAdvance(widest), metrics.horizontalAdvance(tblThresholds->horizontalHeaderItem(c)->text())) + 14;
    tblThresholds->setColumnWidth(c, column);
    width += column;
  }
  tblThresholds->setFixedSize(width, 2 * tblThresholds->frameWidth() + tblThresholds->horizontalHeader()->sizeHint().height() +
                                         5 * rowHeight);
  tblThresholds->setToolTip("Area: the share of the mapped cells at or above the threshold. Gain: 1 - area / sensitivity. "
                            "p: chance of taking this many finds or more if they fell on the map at random.");

  mmLines = new QPlainTextEdit(this);
  mmLines->setObjectName("mmLines");
  mmLines->setReadOnly(true);

  tbPictures = new QTabWidget(this);
  tbPictures->setObjectName("tbPictures");
  // The widest and the tallest picture at 1:1 without scroll bars.
  tbPictures->setMinimumSize(std::max(kBoycePictureWidth, kRocPictureSize) + 24, std::max(kBoycePictureHeight, kRocPictureSize) + 48);

  bttnSavePicture = new QPushButton("Save picture as...", this);
  bttnSavePicture->setObjectName("bttnSavePicture");
  bttnOpenInViewer = new QPushButton("Open in map viewer", this);
  bttnOpenInViewer->setObjectName("bttnOpenInViewer");
  bttnOpenInViewer->setToolTip("The binary map at full resolution, with the validation points");
  bttnClose = new QPushButton("Close", this);
  bttnClose->setObjectName("bttnClose");

  auto* left = new QVBoxLayout;
  left->addWidget(lblThresholds);
  left->addWidget(tblThresholds);
  left->addWidget(mmLines, 1);
  auto* pictureButtons = new QHBoxLayout;
  pictureButtons->addWidget(bttnSavePicture);
  pictureButtons->addWidget(bttnOpenInViewer);
  pictureButtons->addStretch(1);
  pictureButtons->addWidget(bttnClose);
  auto* right = new QVBoxLayout;
  right->addWidget(tbPictures, 1);
  right->addLayout(pictureButtons);
  auto* all = new QHBoxLayout(this);
  all->addLayout(left, 1);
  all->addLayout(right);

  connect(bttnSavePicture, &QPushButton::clicked, this, [this] { SavePicture(); });
  connect(bttnOpenInViewer, &QPushButton::clicked, this, &TfrmEvaluation::OpenPictureInViewer);
  connect(bttnClose, &QPushButton::clicked, this, &QDialog::close);
  connect(tbPictures, &QTabWidget::currentChanged, this, [this] { UpdateButtons(); });
  UpdateButtons();
}

void TfrmEvaluation::SetResult(const EvaluationResult& result, const std::vector<EvaluationPicture>& pictures, const std::string& mapFile) {
  const std::string name = fs::path(mapFile).filename().string();
  setWindowTitle(Q("Evaluation results of " + name));

  auto opt = [](const std::optional<double>& v) { return v ? FormatFixed(*v, 4) : std::string("-"); };
  tblThresholds->setRowCount(static_cast<int>(result.thresholds.size()));
  for (int r = 0; r < tblThresholds->rowCount(); ++r) {
    const ThresholdRow& row = result.thresholds[static_cast<std::size_t>(r)];
    const std::string cells[] = {ThresholdName(row.kind), FormatFixed(row.threshold, 6), FormatFixed(row.sensitivity, 4),
                                 opt(row.specificity),   FormatFixed(row.area, 4),      opt(row.gain),
                                 FormatFixed(row.p, 4)};
    for (int c = 0; c < 7; ++c) {
      auto* item = new QTableWidgetItem(Q(cells[c]));
      if (c > 0) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      tblThresholds->setItem(r, c, item);
    }
  }

  tblThresholds->setCurrentCell(-1, -1);

  std::vector<std::string> lines;
  if (!result.codesLine.empty()) lines.push_back(result.codesLine);
  if (result.auc) {
    lines.push_back("AUC = " + FormatFixed(*result.auc, 4));
  }
  // The threshold table above shows the thresholds; every other line is the step's own.
  for (const std::string& line : EvaluationLines(result, false)) lines.push_back(line);
  QStringList text;
  for (const std::string& line : lines) text << Q(line);
  mmLines->setPlainText(text.join('\n'));

  pictures_ = pictures;
  ClearPictureTabs(tbPictures);
  for (const EvaluationPicture& picture : pictures_) AddPictureTab(tbPictures, picture.caption);
  UpdateButtons();
}

void TfrmEvaluation::LoadPictures() {
  for (int i = 0; i < tbPictures->count() && i < static_cast<int>(pictures_.size()); ++i) {
    ShowPictureFile(PictureLabelOfTab(tbPictures, i), pictures_[static_cast<std::size_t>(i)].file);
  }
}

void TfrmEvaluation::Clear() {
  hide();
  SetResult(EvaluationResult{}, {}, "");
  mmLines->clear();
  setWindowTitle("Evaluation results");
}

void TfrmEvaluation::UpdateButtons() {
  const int i = tbPictures->currentIndex();
  const bool any = i >= 0 && i < static_cast<int>(pictures_.size());
  bttnSavePicture->setEnabled(any);
  bttnOpenInViewer->setEnabled(any && !pictures_[static_cast<std::size_t>(i)].grid.empty());
}

bool TfrmEvaluation::SavePicture() {
  const int i = tbPictures->currentIndex();
  if (i < 0 || i >= static_cast<int>(pictures_.size())) return false;
  const fs::path source = pictures_[static_cast<std::size_t>(i)].file;
  FileDialogRequest request;
  request.save = true;
  request.title = "Save picture as";
  request.filter = "Bitmap (*.bmp)|*.bmp";
  request.defaultExt = "bmp";
  request.fileName = source.filename().string();
  const auto target = askFile ? askFile(request) : (hooks_.chooseFile ? hooks_.chooseFile(request) : std::nullopt);
  if (!target) return false;
  std::error_code ec;
  if (fs::equivalent(source, *target, ec)) return true;
  ec.clear();
  fs::copy_file(source, *target, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    if (hooks_.message) {
      hooks_.message(Q("The picture " + source.string() + " could not be saved as " + target->string() + ": " + ec.message()),
                     MessageKind::Error);
    }
    return false;
  }
  return true;
}

void TfrmEvaluation::OpenPictureInViewer() {
  const int i = tbPictures->currentIndex();
  if (i < 0 || i >= static_cast<int>(pictures_.size())) return;
  const fs::path grid = pictures_[static_cast<std::size_t>(i)].grid;
  if (!grid.empty() && openInViewer) openInViewer(grid);
}

}  // namespace karvelo
