#include "shell/terminationsignals.h"

#include <QSocketNotifier>

#ifdef _WIN32
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <atomic>

#include <windows.h>
#else
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

#ifndef _WIN32

namespace
{

int gPipe[2] = {-1, -1};

// A logout, a hung-up terminal, Ctrl+C in the terminal that started the program.
constexpr std::array kSignals{SIGTERM, SIGHUP, SIGINT};

void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent)
{
    if (gPipe[0] < 0 && ::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    mNotifier = new QSocketNotifier(gPipe[0], QSocketNotifier::Read, this);
    connect(mNotifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(gPipe[0], bytes, sizeof bytes) > 0) {
        }
        emit requested();
    });
    struct sigaction action {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals) {
        // A signal the program was started to ignore (nohup, a background job of a script) stays ignored.
        struct sigaction inherited {
        };
        if (::sigaction(signal, nullptr, &inherited) == 0 && inherited.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
}

TerminationSignals::~TerminationSignals()
{
    if (!mNotifier)
        return;
    for (const int signal : kSignals) {
        struct sigaction current {
        };
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == onSignal)
            ::signal(signal, SIG_DFL);
    }
}

#else

namespace
{

// Where the console's handler, on a thread of its own, hands the ending to.
std::atomic<TerminationSignals*> gReceiver{nullptr};

BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT &&
        event != CTRL_LOGOFF_EVENT && event != CTRL_SHUTDOWN_EVENT)
        return FALSE;
    TerminationSignals* receiver = gReceiver.load();
    if (!receiver)
        return FALSE;
    QMetaObject::invokeMethod(receiver, &TerminationSignals::requested, Qt::BlockingQueuedConnection);
    // Windows ends the process as soon as this returns (Ctrl+C aside, which would carry on):
    // waiting lets the program end itself, which ends this thread too.
    ::Sleep(INFINITE);
    return TRUE;
}

// Windows sends WM_ENDSESSION to each top-level window in turn: one ending is enough.
class EndSessionFilter : public QAbstractNativeEventFilter
{
public:
    explicit EndSessionFilter(TerminationSignals& ending) : mEnding(ending) {}

    bool nativeEventFilter(const QByteArray&, void* message, qintptr*) override
    {
        const MSG& msg = *static_cast<const MSG*>(message);
        if (msg.message == WM_ENDSESSION && msg.wParam != FALSE && !mEnded) {
            mEnded = true;
            emit mEnding.requested();
        }
        return false;
    }

private:
    TerminationSignals& mEnding;
    bool mEnded = false;
};

} // namespace

TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent), mEndSession(std::make_unique<EndSessionFilter>(*this))
{
    QCoreApplication::instance()->installNativeEventFilter(mEndSession.get());
    gReceiver.store(this);
    ::SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

TerminationSignals::~TerminationSignals()
{
    ::SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    gReceiver.store(nullptr);
    QCoreApplication::instance()->removeNativeEventFilter(mEndSession.get());
}

#endif
