// The results window of a cross-validation or of the grids' importance: its lines, its table and its picture.
#pragma once

#include <QDialog>
#include <filesystem>
#include <string>
#include <vector>

#include "workflow/insight.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QTableWidget;

namespace karvelo {

// The cells of the per-fold table and of the importance table, as the window shows them.
std::vector<std::string> FoldColumns(const CrossValidationResult& result);
std::vector<std::vector<std::string>> FoldCells(const CrossValidationResult& result);
std::vector<std::string> ImportanceColumns(const ImportanceResult& result);
std::vector<std::vector<std::string>> ImportanceCells(const ImportanceResult& result);

class TfrmInsight : public QDialog {
  Q_OBJECT
 public:
  explicit TfrmInsight(const char* name, QWidget* parent = nullptr);

  void SetCrossValidation(const CrossValidationResult& result, const std::filesystem::path& picture);
  void SetImportance(const ImportanceResult& result, const std::filesystem::path& picture);
  // Reads the picture from its file: once the step that wrote it has put it in place.
  void LoadPicture();
  // Nothing to show: the window closes and forgets the last result.
  void Clear();
  bool HasResult() const { return !picture_.empty(); }

  QPlainTextEdit* mmLines;
  QTableWidget* tblRows;
  QLabel* lblNote;
  QScrollArea* scrllPicture;
  QLabel* imgPicture;
  QPushButton* bttnClose;

 private:
  void Show(const std::string& title, const std::vector<std::string>& lines, const std::vector<std::string>& columns,
            const std::vector<std::vector<std::string>>& cells, const char* note, const std::filesystem::path& picture);
  std::filesystem::path picture_;
};

}  // namespace karvelo
