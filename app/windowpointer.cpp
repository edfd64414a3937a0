#include "windowpointer.h"

#include <QEvent>
#include <QWidget>

namespace {
constexpr char kButtonRole[] = "brindlewickPointerButton";
constexpr char kOwnCursor[] = "brindlewickOwnCursor";
} // namespace

WindowPointer::WindowPointer(QWidget& window) : QObject(&window), mWindow(window) {}

void WindowPointer::set(MousePointer pointer)
{
    mValue = pointer;
    apply();
}

void WindowPointer::watchButton(QWidget* widget)
{
    widget->setProperty(kButtonRole, true);
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
}

void WindowPointer::watchSurface(QWidget* widget)
{
    widget->setProperty(kButtonRole, false);
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
}

void WindowPointer::hoverButton()
{
    if (mValue != MousePointer::Busy && mValue != MousePointer::Custom)
        set(MousePointer::Custom);
}

void WindowPointer::hoverSurface()
{
    if (mValue != MousePointer::Busy && mValue != MousePointer::Default)
        set(MousePointer::Default);
}

bool WindowPointer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        if (watched->property(kButtonRole).toBool())
            hoverButton();
        else
            hoverSurface();
    }
    return QObject::eventFilter(watched, event);
}

// The window's pointer covers its controls too, so every descendant gets the cursor;
// the default gives each control back the cursor it had of its own (an I-beam over text).
void WindowPointer::apply()
{
    QList<QWidget*> widgets = mWindow.findChildren<QWidget*>();
    widgets.prepend(&mWindow);
    for (QWidget* widget : widgets) {
        if (!widget->property(kOwnCursor).isValid())
            widget->setProperty(kOwnCursor, widget->testAttribute(Qt::WA_SetCursor)
                                                ? QVariant::fromValue(widget->cursor())
                                                : QVariant(false));
        switch (mValue) {
        case MousePointer::Busy:
            widget->setCursor(Qt::WaitCursor);
            break;
        case MousePointer::Custom:
            widget->setCursor(mHand.value_or(QCursor(Qt::ArrowCursor)));
            break;
        case MousePointer::Default: {
            const QVariant own = widget->property(kOwnCursor);
            if (own.canConvert<QCursor>() && own.userType() == QMetaType::QCursor)
                widget->setCursor(own.value<QCursor>());
            else
                widget->unsetCursor();
            break;
        }
        }
    }
}
