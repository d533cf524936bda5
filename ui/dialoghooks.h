// Where the windows wait for the user: message boxes, file dialogs and modal windows, replaceable by tests.
#pragma once

#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "core/shell.h"

class QAbstractButton;
class QDialog;
class QMessageBox;
class QWidget;

namespace karvelo {

// Every wait for the user goes through one of these, so a window test replaces them and never
// blocks on a dialog; the program keeps the interactive defaults.
struct DialogHooks {
  std::function<void(const QString& text, MessageKind kind)> message;
  std::function<std::optional<std::filesystem::path>(const FileDialogRequest& request)> chooseFile;
  std::function<int(QDialog& dialog)> showModal;
  // A message with buttons; the index of the button pressed (`fallback` when the box is closed).
  std::function<int(const QString& text, const QStringList& buttons, int fallback)> ask;
  // Opens a file in the user's own program for it (the report in the browser); false when none could.
  std::function<bool(const std::filesystem::path& file)> openFile;

  // Message boxes, file dialogs and QDialog::exec, parented to owner.
  static DialogHooks Interactive(QWidget* owner);
};

// The message box of DialogHooks::ask: one button per caption, `fallback` the default and escape.
// Returns the buttons in caption order beside the box.
std::unique_ptr<QMessageBox> QuestionBox(QWidget* owner, const QString& text, const QStringList& buttons, int fallback,
                                         QList<QAbstractButton*>* added);

// "Ascii-grid (*.asg, *.asc)|*.asg;*.asc" -> "Ascii-grid (*.asg, *.asc) (*.asg *.asc)": a filter
// of description|patterns pairs as a Qt name filter list.
QString QtNameFilters(const std::string& filter);

}  // namespace karvelo
