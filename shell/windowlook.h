#pragma once

class QWidget;

// Window set-up helpers of the preview; namespaced so the main window may keep its own.
namespace WindowLook
{

// The window and its option buttons, check boxes, frames and labels take the system
// button-face colour; every other control keeps its own.
void SetControlColors(QWidget& window);

} // namespace WindowLook
