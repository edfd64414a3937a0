#pragma once

class QWidget;

// Both windows are plain widgets, which screen readers would announce as a filler; they are announced
// as the windows they are, under their accessible names.
namespace WindowAccessible
{

void announceAsWindow(QWidget& window);

} // namespace WindowAccessible
