#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM (a logout) and SIGHUP (a hung-up terminal) as a signal on the event loop: the
// handler only writes a byte into a pipe, and the work is done when the loop reads it.
// Elsewhere than on POSIX systems it does nothing.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void requested();

private:
    QSocketNotifier* mNotifier = nullptr;
};
