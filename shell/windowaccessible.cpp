#include "shell/windowaccessible.h"

#include <QAccessibleWidget>
#include <QWidget>

namespace WindowAccessible
{

namespace
{

constexpr char kWindowProperty[] = "brindlewickAnnouncedAsWindow";

QAccessibleInterface* windowFactory(const QString&, QObject* object)
{
    auto* widget = qobject_cast<QWidget*>(object);
    if (!widget || !widget->isWindow() || !widget->property(kWindowProperty).toBool())
        return nullptr;
    return new QAccessibleWidget(widget, QAccessible::Window);
}

} // namespace

void announceAsWindow(QWidget& window)
{
    static const bool installed = [] {
        QAccessible::installFactory(windowFactory);
        return true;
    }();
    Q_UNUSED(installed);
    window.setProperty(kWindowProperty, true);
}

} // namespace WindowAccessible
