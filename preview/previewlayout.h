#pragma once

#include <QRect>
#include <QSize>

#include <array>

// Where the preview window's controls go. At the window's own size (9840 x 9885 twips) each sits where
// its table puts it; in a larger or smaller window the viewport and its scroll bars take the difference,
// the zoom frame and the buttons below keep their height and follow the window's bottom edge, and each
// row's buttons share the width. Pixels at 96 dpi.
namespace PreviewLayout
{

struct Places {
    QRect zoomOri;
    QRect frame1;
    QRect pushButton1; // in Frame1
    QRect pushButton2; // in Frame1
    QRect picture2;
    QRect picture1; // the display box's design place, in the viewport
    QRect vScroll1;
    QRect hScroll1;
    QRect pushButton6;
    QRect pushButton8;
    // Print, Export as PDF and Copy Page, in a row below Back and Save.
    std::array<QRect, 3> pageCommands;
};

// The client area the window is designed for, and the smallest it can be made.
QSize designSize();
QSize minimumSize();

Places place(QSize client);

} // namespace PreviewLayout
