#include "preview/pageaccessible.h"
#include "preview/picturebox.h"

namespace
{

QAccessibleInterface* pageFactory(const QString& key, QObject* object)
{
    if (key != QLatin1String("PictureBox"))
        return nullptr;
    return new PageAccessible(static_cast<PictureBox*>(object));
}

} // namespace

PageAccessible::PageAccessible(PictureBox* page) : QAccessibleWidget(page, QAccessible::Document) {}

void PageAccessible::install()
{
    static const bool installed = [] {
        QAccessible::installFactory(pageFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

void* PageAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString PageAccessible::readable() const
{
    return static_cast<const PictureBox*>(widget())->readableText();
}

// The page's text cannot be selected: it is read, not edited.
void PageAccessible::selection(int, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = 0;
}

int PageAccessible::selectionCount() const
{
    return 0;
}

void PageAccessible::addSelection(int, int) {}

void PageAccessible::removeSelection(int) {}

void PageAccessible::setSelection(int, int, int) {}

int PageAccessible::cursorPosition() const
{
    return qMin(mCursor, characterCount());
}

void PageAccessible::setCursorPosition(int position)
{
    mCursor = qBound(0, position, characterCount());
}

QString PageAccessible::text(int startOffset, int endOffset) const
{
    const QString all = readable();
    const int start = qBound(0, startOffset, int(all.size()));
    return all.mid(start, qBound(start, endOffset, int(all.size())) - start);
}

int PageAccessible::characterCount() const
{
    return static_cast<int>(readable().size());
}

// The text is drawn as a picture, so no character has a place a reader could be told.
QRect PageAccessible::characterRect(int) const
{
    return QRect();
}

int PageAccessible::offsetAtPoint(const QPoint&) const
{
    return -1;
}

void PageAccessible::scrollToSubstring(int, int) {}

QString PageAccessible::attributes(int offset, int* startOffset, int* endOffset) const
{
    *startOffset = *endOffset = offset;
    return QString();
}
