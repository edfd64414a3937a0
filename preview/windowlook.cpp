#include "windowlook.h"

#include "errorreport.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QRadioButton>
#include <QWidget>

namespace WindowLook {

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

// The image comes through Qt's ICO reader, the hot spot from the first directory entry
// (ICONDIR is 6 bytes; the entry's hot spot x and y follow at 4 and 6).
QCursor loadCursorFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw StepFailure(file.errorString());
    const QByteArray bytes = file.readAll();
    QImage image;
    if (!image.loadFromData(bytes, "CUR") && !image.loadFromData(bytes, "ICO"))
        throw StepFailure(QStringLiteral("Invalid picture"));
    constexpr int kHotSpotX = 6 + 4;
    constexpr int kHotSpotY = 6 + 6;
    int hotX = -1;
    int hotY = -1;
    if (bytes.size() >= kHotSpotY + 2) {
        auto word = [&bytes](int at) {
            return int(quint8(bytes[at])) | (int(quint8(bytes[at + 1])) << 8);
        };
        hotX = word(kHotSpotX);
        hotY = word(kHotSpotY);
        if (hotX >= image.width() || hotY >= image.height())
            hotX = hotY = -1;
    }
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

} // namespace WindowLook
