// A main window driven as a user would build a data configuration, with dialogs answered by the test.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/frmkarvelo.h"
#include "ui/frmlegend.h"
#include "ui/gauge.h"
#include "ui/stringgridview.h"
#include "ui/tabcontrol.h"

namespace uitest {

namespace fs = std::filesystem;

// Writes an ASCII grid: rows of cell texts under a standard six-line header.
inline fs::path WriteGrid(const fs::path& path, const std::vector<std::vector<std::string>>& rows, double cellsize = 10,
                          double xll = 1000, int ncols = -1) {
  std::ofstream out(path, std::ios::binary);
  out.precision(15);
  out << "ncols " << (ncols >= 0 ? ncols : static_cast<int>(rows.front().size())) << "\r\n";
  out << "nrows " << rows.size() << "\r\n";
  out << "xllcorner " << xll << "\r\n";
  out << "yllcorner 2000\r\n";
  out << "cellsize " << cellsize << "\r\n";
  out << "NODATA_value -9999\r\n";
  for (const auto& row : rows) {
    for (const auto& cell : row) out << cell << ' ';
    out << "\r\n";
  }
  return path;
}

// Observations: 1 presence, 0 absence, and no-data cells.
inline fs::path WriteObservationGrid(const fs::path& dir, const char* name = "obs.asc") {
  return WriteGrid(dir / name, {{"1", "0", "-9999", "0"}, {"0", "1", "0", "-9999"}, {"-9999", "0", "1", "1"}});
}

// A continuous grid from 0.3 to 10.7 over the same extent.
inline fs::path WriteSoilGrid(const fs::path& dir, const char* name = "soil.asc") {
  return WriteGrid(dir / name, {{"0.3", "1.5", "2.5", "3.1"}, {"4.4", "5.0", "6.2", "7.7"}, {"8.1", "9.0", "9.9", "10.7"}});
}

inline std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline QString Q(const std::string& s) { return QString::fromStdString(s); }

// The window with every wait for the user answered: messages are recorded, file dialogs take the
// next queued answer, and the classification window runs `legendScript` while it is "modal".
struct ConfigWindow {
  karvelo::TfrmKarvelo w;
  QStringList messages;
  std::vector<karvelo::MessageKind> kinds;
  std::deque<std::optional<fs::path>> answers;
  std::vector<karvelo::FileDialogRequest> requests;
  QList<QStringList> questionButtons;  // the buttons of each question; its text joins `messages`
  std::deque<int> askAnswers;          // answers to the questions in turn, then the fallback
  std::function<void(karvelo::TfrmLegend&)> legendScript;
  int legendOpenings = 0;
  QStringList questions;
  bool answerYes = false;  // the answer to every yes/no question

  ConfigWindow() {
    w.hooks.message = [this](const QString& text, karvelo::MessageKind kind) {
      messages << text;
      kinds.push_back(kind);
    };
    w.hooks.chooseFile = [this](const karvelo::FileDialogRequest& request) -> std::optional<fs::path> {
      requests.push_back(request);
      if (answers.empty()) return std::nullopt;
      auto answer = answers.front();
      answers.pop_front();
      return answer;
    };
    w.hooks.ask = [this](const QString& text, const QStringList& buttons, int fallback) {
      // A yes/no question asked during a step is kept apart from the messages a step shows.
      if (buttons == QStringList{"Yes", "No"} && askAnswers.empty()) {
        questions << text;
        return answerYes ? 0 : 1;
      }
      messages << text;
      questionButtons << buttons;
      if (askAnswers.empty()) return fallback;
      const int answer = askAnswers.front();
      askAnswers.pop_front();
      return answer;
    };
    w.hooks.showModal = [this](QDialog& dialog) {
      dialog.show();
      if (&dialog == w.frmLegend()) {
        ++legendOpenings;
        if (legendScript) legendScript(*w.frmLegend());
      }
      const int result = dialog.result();
      dialog.hide();
      return result;
    };
    w.FormActivate();
  }

  karvelo::Workspace& ws() { return w.workspace(); }
  const karvelo::TextGrid& table() { return w.tables().DataConfiguration; }

  void pick(const fs::path& grid) {
    w.tbcntrlMain->SetTabIndex(0);
    answers.push_back(grid);
    QTest::mouseClick(w.bttnNewFile, Qt::LeftButton);
  }
  // Picks an entry of the unique-value list as the user does from its drop-down.
  void selectUnique(const QString& value) {
    const int index = w.cmbbxUniqueValues->findText(value);
    QVERIFY2(index >= 0, qPrintable(value));
    w.cmbbxUniqueValues->setCurrentIndex(index);
    emit w.cmbbxUniqueValues->activated(index);
  }
  void typeUnique(const QString& text) {
    w.cmbbxUniqueValues->lineEdit()->selectAll();
    QTest::keyClicks(w.cmbbxUniqueValues->lineEdit(), text);
  }
  void click(QPushButton* button) {
    QVERIFY2(button->isEnabled(), qPrintable(button->objectName()));
    QTest::mouseClick(button, Qt::LeftButton);
  }
  // An observation grid with both indicators, added to the configuration.
  void addObservations(const fs::path& grid, const char* presence = "1", const char* absence = "0") {
    pick(grid);
    selectUnique(presence);
    click(w.btbttnPresenceIndicator);
    if (absence) {
      selectUnique(absence);
      click(w.btbttnAbsenceIndicator);
    }
    click(w.btbttnSubmit);
  }
  // A continuous grid classified into n proposed classes ("Ready"), added to the configuration.
  void addClassified(const fs::path& grid, int n, const std::function<void(karvelo::TfrmLegend&)>& edits = {}) {
    pick(grid);
    legendScript = [n, edits](karvelo::TfrmLegend& legend) {
      legend.spndtLegendClasses->setValue(n);
      if (edits) edits(legend);
      QTest::mouseClick(legend.btbttnLegendReady, Qt::LeftButton);
    };
    click(w.btbttnClassify);
    legendScript = nullptr;
    click(w.btbttnSubmit);
  }
  bool save(const fs::path& file) {
    w.tbcntrlMain->SetTabIndex(0);
    answers.push_back(file);
    QTest::mouseClick(w.btbttnConfigurationFile, Qt::LeftButton);
    return fs::exists(file);
  }
  void load(const fs::path& file) {
    w.tbcntrlMain->SetTabIndex(1);
    answers.push_back(file);
    QTest::mouseClick(w.btbttnLoadConfig, Qt::LeftButton);
  }
};

// Types text into a bound field and leaves it, as tabbing out of it would.
inline void TypeAndLeave(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  QTest::keyClicks(edit, text);
  QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(edit, &out);
}

// Types text into a bound field that keeps the focus.
inline void TypeOnly(QLineEdit* edit, const QString& text) {
  edit->window()->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(edit->window()));
  edit->setFocus();
  QVERIFY(edit->hasFocus());
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

// Runs the test's steps in a scratch folder as the working directory, where the audit puts its work files.
class ScratchFolder {
 public:
  ScratchFolder() : previous_(fs::current_path()) { fs::current_path(path()); }
  ~ScratchFolder() { fs::current_path(previous_); }
  fs::path path() const { return fs::path(dir_.path().toStdString()); }

 private:
  QTemporaryDir dir_;
  fs::path previous_;
};

}  // namespace uitest
