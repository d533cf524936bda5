// Result pictures shown from their files at full size: the tabs of the results windows.
#pragma once

#include <filesystem>
#include <string>

class QLabel;
class QTabWidget;

namespace karvelo {

// A tab named `name` holding an empty picture label (object name "img" + name) in a scroll area
// (object name "scrl" + name); ShowPictureFile fills it once the picture is in place.
void AddPictureTab(QTabWidget* tabs, const std::string& name);
// Removes every tab and its page.
void ClearPictureTabs(QTabWidget* tabs);
// The picture label of tab i.
QLabel* PictureLabelOfTab(QTabWidget* tabs, int i);

// Shows the file at its own size, or a line saying it could not be read. Read through QImage rather
// than a pixmap loaded by name, which may answer from the pixmap cache for a file that the next
// run rewrote at the same size.
void ShowPictureFile(QLabel* label, const std::filesystem::path& file);

}  // namespace karvelo
