// The main window as the reporter of a running step: status panels, gauge, messages, questions and file choices.
#include "ui/frmkarvelo.h"


#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QFocusEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QDateTime>
#include <QTimer>
#include <algorithm>
#include <ctime>

#include "audit/audit.h"
#include "audit/graphical.h"
#include "config/configfile.h"
#include "config/configtable.h"
#include "core/atomicfile.h"
#include "core/errors.h"
#include "core/filecheck.h"
#include "core/memory.h"
#include "core/outputnames.h"
#include "core/textsafe.h"
#include "core/numfmt.h"
#include "gis/raster.h"
#include "mapping/bayesmap.h"
#include "mapping/priors.h"
#include "mapping/uncertainty.h"
#include "ui/appearance.h"
#include "ui/frmabout.h"
#include "ui/frmgraphicalanalysis.h"
#include "ui/frminfo.h"
#include "ui/frmlegend.h"
#include "ui/frmmapviewer.h"
#include "ui/gauge.h"
#include "ui/pictureview.h"
#include "ui/radiogroup.h"
#include "ui/stringgridview.h"
#include "ui/tabcontrol.h"
#include "workflow/configure.h"
#include "workflow/mapping.h"
#include "validation/lookup.h"
#include "validation/aucintervals.h"
#include "validation/gain.h"
#include "validation/roc.h"
#include "stats/statstext.h"
#include "core/numfmt.h"
#include "validation/valdata.h"


namespace karvelo {

void TfrmKarvelo::GeneralRefresh() {
  QCoreApplication::processEvents();
  repaint();
}

void TfrmKarvelo::status1(std::string_view text) {
  stsbrPanel1->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  GeneralRefresh();
}

void TfrmKarvelo::status2(std::string_view text) {
  stsbrPanel2->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  LayOutStatusBar();
  GeneralRefresh();
}

void TfrmKarvelo::gaugeRange(int minimum, int maximum) { Gauge1->SetRange(minimum, maximum); }

void TfrmKarvelo::gaugeProgress(int progress) {
  Gauge1->SetProgress(progress);
  // A long loop reports every row: let a click on Cancel (and repaints) through a few times a
  // second, without paying for the event loop on every row.
  if (busy_ == Busy::None) return;
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (now - lastEventsAt_ >= 40) {
    lastEventsAt_ = now;
    QCoreApplication::processEvents();
  }
}

void TfrmKarvelo::message(std::string_view raw, MessageKind kind) {
  // Nobody is there to read a box while the window closes on a signal; the log keeps the text.
  if (closeRequest_ == CloseRequest::BySignal) {
    log(EscapeControl(raw, true));
    return;
  }
  if (busy_ == Busy::Audit) {
    strgrdFrequency->Refresh();
    strgrdChi2->Refresh();
    GeneralRefresh();
  }
  // The last guard: file text quoted in a message shows its control bytes escaped.
  const std::string text = EscapeControl(raw, true);
  hooks.message(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), kind);
}

std::size_t TfrmKarvelo::ask(std::string_view text, const std::vector<std::string>& buttons, std::size_t fallback) {
  const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  if (!hooks.ask) {
    hooks.message(shown, MessageKind::Warning);
    return fallback;
  }
  QStringList captions;
  for (const std::string& b : buttons) captions << QString::fromStdString(b);
  const int answer = hooks.ask(shown, captions, static_cast<int>(fallback));
  return answer < 0 || answer >= static_cast<int>(buttons.size()) ? fallback : static_cast<std::size_t>(answer);
}

std::optional<std::filesystem::path> TfrmKarvelo::chooseFile(const FileDialogRequest& request) {
  return hooks.chooseFile(request);
}

}  // namespace karvelo
