#include "shell/windowpointer.h"

#include "shell/cursorfile.h"
#include "shell/errorreport.h"
#include "shell/workingfiles.h"

#include <QEvent>
#include <QMouseEvent>
#include <QWidget>

namespace
{
constexpr char kButtonRole[] = "brindlewickPointerButton";
constexpr char kOwnCursor[] = "brindlewickOwnCursor";
// A move that a button leaves unhandled travels on to the button's parents, but the pointer
// is still over the button.
bool overWatchedButton(QWidget* surface, QPoint position)
{
    for (QWidget* w = surface->childAt(position); w != nullptr && w != surface; w = w->parentWidget()) {
        if (w->property(kButtonRole).toBool())
            return true;
    }
    return false;
}

} // namespace

WindowPointer::WindowPointer(QWidget& window) : QObject(&window), mWindow(window) {}

void WindowPointer::set(MousePointer pointer)
{
    mValue = pointer;
    apply();
}

namespace
{

QString handCursorFile(const QString& programDirectory)
{
    return programDirectory + QStringLiteral("/HAND-M.CUR");
}

} // namespace

bool WindowPointer::loadsQuietly(const QString& programDirectory)
{
    return !FileExists(handCursorFile(programDirectory));
}

void WindowPointer::loadHandCursor(ErrorReport& report, int testStep, int loadStep,
                                   const QString& programDirectory)
{
    const QString path = handCursorFile(programDirectory);
    bool present = false;
    report.step(testStep, [&] { present = FileExists(path); });
    if (present)
        report.step(loadStep, [&] { setHandCursor(CursorFile::load(path)); });
    else if (const std::optional<QCursor> own =
                 CursorFile::load(QStringLiteral(":/HAND-M.CUR"), std::nothrow))
        setHandCursor(*own);
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
        else if (event->type() == QEvent::Enter || !watched->isWidgetType() ||
                 !overWatchedButton(static_cast<QWidget*>(watched),
                                    static_cast<QMouseEvent*>(event)->position().toPoint()))
            hoverSurface();
    }
    return QObject::eventFilter(watched, event);
}

// The window's pointer covers its controls too. A control without a cursor of its own shows
// the window's; one with its own (an I-beam over text) gets the window's pointer, and the
// default gives it back its own.
void WindowPointer::apply()
{
    QList<QWidget*> widgets = mWindow.findChildren<QWidget*>();
    widgets.prepend(&mWindow);
    for (QWidget* widget : widgets) {
        if (!widget->property(kOwnCursor).isValid())
            widget->setProperty(kOwnCursor, widget->testAttribute(Qt::WA_SetCursor)
                                                ? QVariant::fromValue(widget->cursor())
                                                : QVariant(false));
        if (widget != &mWindow && widget->property(kOwnCursor).userType() != QMetaType::QCursor)
            continue;
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
