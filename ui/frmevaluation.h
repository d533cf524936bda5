// The evaluation's results window: the threshold table, the lines beyond the AUC and each picture at full size.
#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/dialoghooks.h"
#include "workflow/validation.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QTabWidget;
class QTableWidget;

namespace karvelo {

class RunContext;

// One picture of an evaluation; `grid` is the grid it shows, when there is one to view.
struct EvaluationPicture {
  std::string caption;
  std::filesystem::path file;
  std::filesystem::path grid;
};

// The pictures an evaluation wrote, in the order of its steps: ROC, gain, Boyce index,
// prediction-area, binary map. Only what this evaluation drew: a file left by an earlier one is
// not shown.
std::vector<EvaluationPicture> EvaluationPictures(const EvaluationResult& result, const RunContext& run,
                                                  const std::string& mapFile);

// Tab 4's binary-map choice: the list's first item (or nothing typed) is no binary map, the next
// three the thresholds of the table, anything else a typed value. A text that is no number gives
// the message to show instead.
struct BinaryBoxReading {
  std::optional<BinaryChoice> choice;
  std::optional<std::string> refusal;
};
BinaryBoxReading ReadBinaryBox(const QComboBox& box);
// The items of that list, first "none".
QStringList BinaryBoxItems();

class TfrmEvaluation : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmEvaluation(DialogHooks& hooks, QWidget* parent = nullptr);

  // Shows `result` of the evaluation of `mapFile`; the window keeps them until the next call.
  void SetResult(const EvaluationResult& result, const std::vector<EvaluationPicture>& pictures, const std::string& mapFile);
  // Reads the pictures from their files: once the step that wrote them has put them in place.
  void LoadPictures();
  // Nothing to show: the window closes and forgets the last evaluation.
  void Clear();
  const std::vector<EvaluationPicture>& Pictures() const { return pictures_; }

  // The save dialog (through the main window, which remembers its folder) and the map viewer.
  std::function<std::optional<std::filesystem::path>(const FileDialogRequest&)> askFile;
  std::function<void(const std::filesystem::path&)> openInViewer;

  // Copies the current picture's .bmp where the save dialog says; false when nothing was saved.
  bool SavePicture();
  void OpenPictureInViewer();

  QLabel* lblThresholds;
  QTableWidget* tblThresholds;
  QPlainTextEdit* mmLines;
  QTabWidget* tbPictures;
  QPushButton* bttnSavePicture;
  QPushButton* bttnOpenInViewer;
  QPushButton* bttnClose;

 private:
  DialogHooks& hooks_;
  std::vector<EvaluationPicture> pictures_;
  void UpdateButtons();
};

}  // namespace karvelo
