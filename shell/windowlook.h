#pragma once

class QWidget;

// The look both windows share.
namespace WindowLook
{

// The window and its option buttons, check boxes, frames and labels take the system
// button-face colour; every other control keeps its own.
void SetControlColors(QWidget& window);

} // namespace WindowLook
