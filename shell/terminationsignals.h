#pragma once

#include <QObject>

#include <memory>

class QAbstractNativeEventFilter;
class QSocketNotifier;

// The system ending the program, as a signal on the event loop. On POSIX systems SIGTERM (a
// logout), SIGHUP (a hung-up terminal) and SIGINT (Ctrl+C in the terminal that started the
// program): the handler only writes a byte into a pipe, and the work is done when the loop
// reads it. On Windows WM_ENDSESSION (a logoff or shutdown, once every program has agreed to
// it), at once, since the process may be gone when the message returns; and a console's Ctrl+C,
// Ctrl+Break, close, logoff or shutdown event, which the console's handler thread hands to the
// event loop and waits out.
class TerminationSignals : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void requested();

private:
#ifdef _WIN32
    std::unique_ptr<QAbstractNativeEventFilter> mEndSession;
#else
    QSocketNotifier* mNotifier = nullptr;
#endif
};
