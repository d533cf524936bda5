// Where the windows wait for the user: message boxes, file dialogs and modal windows, replaceable by tests.
#pragma once

#include <QString>
#include <filesystem>
#include <functional>
#include <optional>

#include "core/shell.h"

class QDialog;
class QWidget;

namespace karvelo {

// Every wait for the user goes through one of these, so a window test replaces them and never
// blocks on a dialog; the program keeps the interactive defaults.
struct DialogHooks {
  std::function<void(const QString& text, MessageKind kind)> message;
  std::function<std::optional<std::filesystem::path>(const FileDialogRequest& request)> chooseFile;
  std::function<int(QDialog& dialog)> showModal;
  // A yes/no question; true for yes.
  std::function<bool(const QString& text)> ask;

  // Message boxes, file dialogs and QDialog::exec, parented to owner.
  static DialogHooks Interactive(QWidget* owner);
};

// "Ascii-grid (*.asg, *.asc)|*.asg;*.asc" -> "Ascii-grid (*.asg, *.asc) (*.asg *.asc)": a filter
// of description|patterns pairs as a Qt name filter list.
QString QtNameFilters(const std::string& filter);

}  // namespace karvelo
