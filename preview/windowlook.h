#pragma once

#include <QCursor>
#include <QString>

class QWidget;

// Window set-up helpers of the preview; namespaced so the main window may keep its own.
namespace WindowLook {

// The window and its option buttons, check boxes, frames and labels take the system
// button-face colour; every other control keeps its own.
void SetControlColors(QWidget& window);

// A cursor from a .cur file, with the hot spot the file names. Throws StepFailure
// ("Invalid picture", or the file's error) when the file cannot be read as a cursor.
QCursor loadCursorFile(const QString& path);

} // namespace WindowLook
