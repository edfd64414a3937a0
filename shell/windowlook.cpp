#include "shell/windowlook.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QWidget>

namespace WindowLook
{

void SetControlColors(QWidget& window)
{
    const QColor face = window.palette().color(QPalette::Button);
    auto paint = [&face](QWidget* widget) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, face);
        widget->setPalette(palette);
        widget->setAutoFillBackground(true);
    };
    paint(&window);
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) ||
            qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child))
            paint(child);
    }
}

} // namespace WindowLook
