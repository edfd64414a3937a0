#pragma once

#include <QAccessibleWidget>

class PictureBox;

// What a screen reader gets from the page: a document whose text it can read by character, word, line
// and paragraph (the page's readable text, one line of the agreement to a line).
class PageAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit PageAccessible(PictureBox* page);

    // Makes every picture box that holds a readable text offer it; once per program.
    static void install();

    void* interface_cast(QAccessible::InterfaceType type) override;

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    using QAccessibleWidget::text;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

private:
    QString readable() const;
    int mCursor = 0;
};
