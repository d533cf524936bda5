// The interactive dialogs behind the hooks.
#include "ui/dialoghooks.h"

#include <QDesktopServices>
#include <QUrl>

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

namespace karvelo {

QString QtNameFilters(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    filters << parts[i] + " (" + patterns.simplified() + ")";
  }
  return filters.join(";;");
}

std::unique_ptr<QMessageBox> QuestionBox(QWidget* owner, const QString& text, const QStringList& buttons, int fallback,
                                         QList<QAbstractButton*>* added) {
  auto box = std::make_unique<QMessageBox>(QMessageBox::Question, "Karvelo", text, QMessageBox::NoButton, owner);
  for (const QString& caption : buttons) *added << box->addButton(caption, QMessageBox::AcceptRole);
  if (fallback >= 0 && fallback < added->size()) {
    box->setDefaultButton(static_cast<QPushButton*>((*added)[fallback]));
    box->setEscapeButton((*added)[fallback]);
  }
  return box;
}

DialogHooks DialogHooks::Interactive(QWidget* owner) {
  DialogHooks hooks;
  hooks.message = [owner](const QString& text, MessageKind kind) {
    switch (kind) {
      case MessageKind::Information: QMessageBox::information(owner, "Karvelo", text); break;
      case MessageKind::Warning: QMessageBox::warning(owner, "Karvelo", text); break;
      case MessageKind::Error: QMessageBox::critical(owner, "Karvelo", text); break;
    }
  };
  hooks.openFile = [](const std::filesystem::path& file) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
  };
  hooks.chooseFile = [owner](const FileDialogRequest& request) -> std::optional<std::filesystem::path> {
    QFileDialog dialog(owner, QString::fromStdString(request.title), QString::fromStdString(request.initialDir),
                       QtNameFilters(request.filter));
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // A default extension may be given as a pattern ("*.txt"); the dialog wants the bare suffix.
    QString suffix = QString::fromStdString(request.defaultExt);
    while (suffix.startsWith('*') || suffix.startsWith('.')) suffix.remove(0, 1);
    if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
    if (!request.fileName.empty()) dialog.selectFile(QString::fromStdString(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return std::filesystem::path(dialog.selectedFiles().front().toStdString());
  };
  hooks.showModal = [](QDialog& dialog) { return dialog.exec(); };
  hooks.ask = [owner](const QString& text, const QStringList& buttons, int fallback) {
    QList<QAbstractButton*> added;
    const std::unique_ptr<QMessageBox> box = QuestionBox(owner, text, buttons, fallback, &added);
    box->exec();
    const int index = static_cast<int>(added.indexOf(box->clickedButton()));
    return index < 0 ? fallback : index;
  };
  return hooks;
}

}  // namespace karvelo
