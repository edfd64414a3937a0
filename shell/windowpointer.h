#pragma once

#include <QCursor>
#include <QObject>
#include <QPointer>

#include <optional>

class ErrorReport;
class QString;
class QWidget;

// The three pointer values a window uses; the numbers are the ones the error-free
// pointer convention of the program is written in.
enum class MousePointer { Default = 0, Busy = 11, Custom = 99 };

// One pointer setting for a whole window, its controls included. Hovering a watched
// button switches to the custom (hand) pointer, hovering a watched surface back to the
// default; neither touches the busy hourglass.
class WindowPointer : public QObject
{
    Q_OBJECT

public:
    explicit WindowPointer(QWidget& window);

    MousePointer value() const { return mValue; }
    void set(MousePointer pointer);

    // Without a hand cursor the custom pointer looks like the ordinary arrow.
    void setHandCursor(const QCursor& cursor) { mHand = cursor; }
    bool hasHandCursor() const { return mHand.has_value(); }

    // The hand for the custom pointer: HAND-M.CUR in the program directory when there is
    // one, its test and its loading run as the window's numbered steps; otherwise the
    // program's own, so an installed program needs nothing beside its executable.
    void loadHandCursor(ErrorReport& report, int testStep, int loadStep, const QString& programDirectory);
    // True when loadHandCursor has nothing to report: no file of the user's is there to read.
    static bool loadsQuietly(const QString& programDirectory);

    void watchButton(QWidget* widget);
    void watchSurface(QWidget* widget);

    void hoverButton();
    void hoverSurface();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply();

    QWidget& mWindow;
    MousePointer mValue = MousePointer::Default;
    std::optional<QCursor> mHand;
};
