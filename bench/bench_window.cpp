// "Start Creating Template" as the user sees it: the real program in a real X server, clicked through
// XTest, timed from the click's release to the preview window mapped and to its drawing as the X server's
// DAMAGE extension reports it, then "< Back" and again; with the standard agreement and with the carried
// agreement of tags. Beside it, measured the same way in the same run,
// bench_window_reference: a minimal Qt program that swaps two windows of the same sizes. Prints medians
// and p90; asserts nothing.
//   bench_window [--program PATH] [--reference PATH] [--display NAME] [--processes N] [--clicks N]
//                [--ratios 1,2]
// Without --display it starts its own Xvfb on a free display, with openbox as its window manager.

#include "app/form1.h"
#include "app/settingsstore.h"
#include "app/templatelibrary.h"
#include "benchstats.h"
#include "preview/previewlayout.h"
#include "product/product.h"
#include "shell/platform.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRect>
#include <QRegion>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

// Last: Xlib's macros (None, Bool, Status, True, False) would clash with Qt's names.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>

namespace
{

using Clock = std::chrono::steady_clock;

// Room for the preview at its design size and a ratio of 2, frame included.
constexpr char kScreen[] = "1920x1440x24";
// How long no drawing of the program counts as settled: before a timed release, after start-up.
constexpr double kSettleMs = 40;
constexpr double kStartSettleMs = 300;
// The program may prepare while idle, drawing nothing: it is settled once it uses no processor time over
// this long (the kernel counts in steps of 10 ms).
constexpr double kIdleMs = 100;
constexpr double kIdleTimeoutMs = 2000;
constexpr double kTimeoutMs = 20000;
constexpr double kWholeTimeoutMs = 1000;
// The own agreement the window is timed with beside the built-in one.
constexpr char kTenPages[] = BRINDLEWICK_SOURCE_DIR "/tests/data/bench-agreement.doc";

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

using benchstats::median;
using benchstats::percentile;

// Children still running when a signal ends the benchmark; ended with it.
std::vector<pid_t> gChildren;

void endChildren(int signal)
{
    for (const pid_t pid : gChildren)
        kill(pid, SIGTERM);
    _exit(128 + signal);
}

// A child process, ended with SIGTERM (SIGKILL when it lingers) when this goes.
class Child
{
public:
    Child() = default;
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() { stop(); }

    // quiet sends the child's output to /dev/null.
    bool start(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               bool quiet = false)
    {
        std::vector<char*> args;
        for (const std::string& arg : argv)
            args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        std::vector<char*> env;
        for (const std::string& entry : environment)
            env.push_back(const_cast<char*>(entry.c_str()));
        env.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (quiet) {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        }
        const int error = posix_spawnp(&mPid, args[0], &actions, nullptr, args.data(), env.data());
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0) {
            std::fprintf(stderr, "cannot start %s: %s\n", args[0], std::strerror(error));
            mPid = 0;
            return false;
        }
        gChildren.push_back(mPid);
        return true;
    }

    pid_t pid() const { return mPid; }

    void stop()
    {
        if (mPid == 0)
            return;
        kill(mPid, SIGTERM);
        for (int i = 0; i < 200 && waitpid(mPid, nullptr, WNOHANG) == 0; ++i)
            usleep(10000);
        if (waitpid(mPid, nullptr, WNOHANG) == 0) {
            kill(mPid, SIGKILL);
            waitpid(mPid, nullptr, 0);
        }
        gChildren.erase(std::remove(gChildren.begin(), gChildren.end(), mPid), gChildren.end());
        mPid = 0;
    }

private:
    pid_t mPid = 0;
};

// This process's environment with the given variables set (or replaced) and the scaling ones dropped.
std::vector<std::string> environmentWith(const std::vector<std::pair<std::string, std::string>>& set)
{
    const auto named = [](const std::string& entry, const std::string& name) {
        return entry.compare(0, name.size() + 1, name + '=') == 0;
    };
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const bool replaced =
            std::any_of(set.begin(), set.end(), [&](const auto& v) { return named(text, v.first); });
        if (!replaced && !named(text, "QT_SCALE_FACTOR") && !named(text, "QT_SCREEN_SCALE_FACTORS"))
            result.push_back(text);
    }
    for (const auto& [name, value] : set)
        result.push_back(name + '=' + value);
    return result;
}

// The process's user and system time in clock ticks; -1 once it has gone.
long processorTicks(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string stat;
    std::getline(file, stat);
    // The fields after the command's name, which is in brackets and may hold blanks: utime and stime are
    // the 12th and 13th of them.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    long ticks = 0;
    for (int i = 1; i <= 13 && fields >> field; ++i)
        if (i >= 12)
            ticks += std::stol(field);
    return ticks;
}

int ignoreXError(Display*, XErrorEvent*)
{
    // Windows come and go under the benchmark's feet; a request on a vanished one is no fault.
    return 0;
}

// A top-level window the benchmark watches: whose it is, and what the X server reported of it since it was
// last mapped.
struct Watched {
    pid_t pid = 0;
    bool dialog = false; // a message box or another dialog, never the window a click waits for
    bool mapped = false;
    QSize size;
    Clock::time_point mappedAt;
    std::optional<Clock::time_point> firstDrawn;
    std::optional<Clock::time_point> wholeDrawn;
    QRegion drawn;
};

// The times of one click, from its release, in milliseconds.
struct Swap {
    double mapped = NAN;
    double firstDrawn = NAN;
    double wholeDrawn = NAN;
};

// The X connection: window creation, mapping and drawing as they are reported, and the pointer.
class Screen
{
public:
    explicit Screen(Display* display) : mDisplay(display), mRoot(XDefaultRootWindow(display))
    {
        XSetErrorHandler(ignoreXError);
        mPidAtom = XInternAtom(mDisplay, "_NET_WM_PID", False);
        mTypeAtom = XInternAtom(mDisplay, "_NET_WM_WINDOW_TYPE", False);
        mDialogAtom = XInternAtom(mDisplay, "_NET_WM_WINDOW_TYPE_DIALOG", False);
        XSelectInput(mDisplay, mRoot, SubstructureNotifyMask);
    }

    // Whether the server has what the benchmark needs; says what is missing when not.
    bool usable()
    {
        int event = 0, error = 0, major = 0, minor = 0;
        if (!XTestQueryExtension(mDisplay, &event, &error, &major, &minor)) {
            std::fprintf(stderr, "the X server has no XTest extension\n");
            return false;
        }
        if (!XDamageQueryExtension(mDisplay, &mDamageEvent, &error)) {
            std::fprintf(stderr, "the X server has no DAMAGE extension\n");
            return false;
        }
        return true;
    }

    // Handles the events that arrive until done() holds; false when the time ran out first.
    bool waitUntil(const std::function<bool()>& done, double timeoutMs)
    {
        const Clock::time_point deadline =
            Clock::now() + std::chrono::microseconds(std::lround(timeoutMs * 1000));
        while (!done()) {
            if (XPending(mDisplay) > 0) {
                XEvent event;
                XNextEvent(mDisplay, &event);
                handle(event, Clock::now());
                continue;
            }
            const double left = msBetween(Clock::now(), deadline);
            if (left <= 0)
                return false;
            // Short slices: some conditions are kept by time alone, with no event to wake on.
            pollfd connection{XConnectionNumber(mDisplay), POLLIN, 0};
            poll(&connection, 1, static_cast<int>(std::min(5.0, std::ceil(left))));
        }
        return true;
    }

    // Waits until the process has drawn nothing for gapMs, counted from now at the earliest: what was just
    // sent to it may not have been drawn yet.
    void settle(pid_t pid, double gapMs)
    {
        const Clock::time_point from = Clock::now();
        waitUntil([&] { return msBetween(std::max(from, lastDrawn(pid)), Clock::now()) >= gapMs; },
                  kTimeoutMs);
    }

    // A window of the process mapped at or after since and drawn since, other than except.
    Window shownWindow(pid_t pid, Clock::time_point since, Window except = 0) const
    {
        for (const auto& [window, watched] : mWindows)
            if (window != except && !watched.dialog && watched.pid == pid && watched.mapped &&
                watched.mappedAt >= since && watched.firstDrawn)
                return window;
        return 0;
    }

    bool dialogShown(pid_t pid, Clock::time_point since) const
    {
        return std::any_of(mWindows.begin(), mWindows.end(), [&](const auto& entry) {
            const Watched& watched = entry.second;
            return watched.dialog && watched.pid == pid && watched.mapped && watched.mappedAt >= since;
        });
    }

    // Waits for a window of the process other than except to be mapped and drawn; says what came instead.
    Window waitShown(pid_t pid, Clock::time_point since, Window except, const char* what)
    {
        Window shown = 0;
        const bool done = waitUntil(
            [&] { return (shown = shownWindow(pid, since, except)) != 0 || dialogShown(pid, since); },
            kTimeoutMs);
        if (!shown)
            std::fprintf(stderr, "%s: %s\n", what, done ? "a dialog opened instead" : "no window was drawn");
        return shown;
    }

    const Watched& watched(Window window) const { return mWindows.at(window); }

    // Waits for the window to be drawn whole; false when it was not in time.
    bool waitWhole(Window window, double timeoutMs)
    {
        return waitUntil([&] { return mWindows.count(window) && mWindows.at(window).wholeDrawn; }, timeoutMs);
    }

    // The window's client area in root coordinates.
    QRect placeOf(Window window)
    {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(mDisplay, window, &attributes))
            return QRect();
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(mDisplay, window, mRoot, 0, 0, &x, &y, &child);
        return QRect(x, y, attributes.width, attributes.height);
    }

    // Presses over the point of the window (device pixels), lets the pressed look settle and times
    // the release to another window of the process mapped and drawn.
    std::optional<std::pair<Swap, Window>> click(pid_t pid, Window from, QPoint at, const char* what)
    {
        // Whatever the previous click started, shown or not, is over, as it would be at a person's pace.
        settleIdle(pid, kSettleMs);
        const QPoint onRoot = placeOf(from).topLeft() + at;
        XTestFakeMotionEvent(mDisplay, -1, onRoot.x(), onRoot.y(), CurrentTime);
        XTestFakeButtonEvent(mDisplay, 1, True, CurrentTime);
        XFlush(mDisplay);
        settle(pid, kSettleMs);
        const Clock::time_point released = Clock::now();
        XTestFakeButtonEvent(mDisplay, 1, False, CurrentTime);
        XFlush(mDisplay);
        const Window to = waitShown(pid, released, from, what);
        if (!to)
            return std::nullopt;
        waitWhole(to, kWholeTimeoutMs);
        const Watched& shown = mWindows.at(to);
        Swap swap;
        swap.mapped = msBetween(released, shown.mappedAt);
        swap.firstDrawn = msBetween(released, *shown.firstDrawn);
        if (shown.wholeDrawn)
            swap.wholeDrawn = msBetween(released, *shown.wholeDrawn);
        return std::make_pair(swap, to);
    }

    // Waits until the process has drawn nothing for gapMs and then used no processor time for kIdleMs.
    void settleIdle(pid_t pid, double gapMs)
    {
        settle(pid, gapMs);
        const Clock::time_point deadline =
            Clock::now() + std::chrono::milliseconds(std::lround(kIdleTimeoutMs));
        for (long used = processorTicks(pid); Clock::now() < deadline;) {
            waitUntil([] { return false; }, kIdleMs);
            const long now = processorTicks(pid);
            if (now == used)
                break;
            used = now;
        }
    }

    // A click that only needs to have happened, and the process settled after it.
    void clickAndSettle(pid_t pid, Window window, QPoint at)
    {
        const QPoint onRoot = placeOf(window).topLeft() + at;
        XTestFakeMotionEvent(mDisplay, -1, onRoot.x(), onRoot.y(), CurrentTime);
        XTestFakeButtonEvent(mDisplay, 1, True, CurrentTime);
        XTestFakeButtonEvent(mDisplay, 1, False, CurrentTime);
        XFlush(mDisplay);
        settleIdle(pid, kStartSettleMs);
    }

    // Whether a window manager runs on the display.
    bool managed()
    {
        const Atom check = XInternAtom(mDisplay, "_NET_SUPPORTING_WM_CHECK", False);
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const bool found = XGetWindowProperty(mDisplay, mRoot, check, 0, 1, False, XA_WINDOW, &type, &format,
                                              &count, &after, &data) == Success &&
                           count == 1;
        if (data)
            XFree(data);
        return found;
    }

private:
    Display* mDisplay;
    Window mRoot;
    Atom mPidAtom = 0;
    Atom mTypeAtom = 0;
    Atom mDialogAtom = 0;
    int mDamageEvent = 0;
    std::map<Window, Watched> mWindows;
    std::map<pid_t, Clock::time_point> mLastDrawn;
    std::map<Window, Window> mFrames; // the window manager's frames and the windows they hold

    Clock::time_point lastDrawn(pid_t pid) const
    {
        const auto found = mLastDrawn.find(pid);
        return found == mLastDrawn.end() ? Clock::time_point() : found->second;
    }

    pid_t windowPid(Window window)
    {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        pid_t pid = 0;
        if (XGetWindowProperty(mDisplay, window, mPidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &count,
                               &after, &data) == Success &&
            data) {
            // Xlib hands 32-bit items over as longs.
            if (type == XA_CARDINAL && format == 32 && count == 1)
                pid = static_cast<pid_t>(*reinterpret_cast<const unsigned long*>(data));
            XFree(data);
        }
        return pid;
    }

    bool isDialog(Window window)
    {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        bool dialog = false;
        if (XGetWindowProperty(mDisplay, window, mTypeAtom, 0, 8, False, XA_ATOM, &type, &format, &count,
                               &after, &data) == Success &&
            data) {
            const auto* types = reinterpret_cast<const Atom*>(data);
            dialog = std::find(types, types + count, mDialogAtom) != types + count;
            XFree(data);
        }
        return dialog;
    }

    void mapped(Window window, Clock::time_point at)
    {
        const auto found = mWindows.find(window);
        if (found == mWindows.end() || found->second.mapped)
            return;
        Watched& watched = found->second;
        watched.mapped = true;
        watched.mappedAt = at;
        watched.firstDrawn.reset();
        watched.wholeDrawn.reset();
        watched.drawn = QRegion();
        if (watched.pid == 0) {
            watched.pid = windowPid(window);
            watched.dialog = isDialog(window);
        }
    }

    void handle(const XEvent& event, Clock::time_point at)
    {
        switch (event.type) {
        case CreateNotify: {
            const XCreateWindowEvent& created = event.xcreatewindow;
            if (created.parent != mRoot || created.override_redirect)
                break;
            mWindows[created.window].size = QSize(created.width, created.height);
            XSelectInput(mDisplay, created.window, StructureNotifyMask);
            XDamageCreate(mDisplay, created.window, XDamageReportRawRectangles);
            break;
        }
        case ReparentNotify:
            if (event.xreparent.event == mRoot && event.xreparent.parent != mRoot)
                mFrames[event.xreparent.parent] = event.xreparent.window;
            break;
        case MapNotify: {
            // openbox maps a window while it holds the server, so that the request above to watch it can come
            // too late; its frame, a child of the root, is mapped in the same grab and always seen.
            const auto frame = mFrames.find(event.xmap.window);
            mapped(frame == mFrames.end() ? event.xmap.window : frame->second, at);
            break;
        }
        case UnmapNotify:
            if (const auto found = mWindows.find(event.xunmap.window); found != mWindows.end())
                found->second.mapped = false;
            break;
        case ConfigureNotify:
            if (const auto found = mWindows.find(event.xconfigure.window); found != mWindows.end())
                found->second.size = QSize(event.xconfigure.width, event.xconfigure.height);
            break;
        case DestroyNotify:
            mWindows.erase(event.xdestroywindow.window);
            mFrames.erase(event.xdestroywindow.window);
            break;
        default:
            if (event.type == mDamageEvent + XDamageNotify)
                drawn(*reinterpret_cast<const XDamageNotifyEvent*>(&event), at);
            break;
        }
    }

    void drawn(const XDamageNotifyEvent& damage, Clock::time_point at)
    {
        const auto found = mWindows.find(damage.drawable);
        if (found == mWindows.end() || !found->second.mapped)
            return;
        Watched& watched = found->second;
        if (!watched.firstDrawn)
            watched.firstDrawn = at;
        watched.drawn += QRect(damage.area.x, damage.area.y, damage.area.width, damage.area.height);
        if (!watched.wholeDrawn && (QRegion(QRect(QPoint(), watched.size)) - watched.drawn).isEmpty())
            watched.wholeDrawn = at;
        if (watched.pid != 0)
            mLastDrawn[watched.pid] = at;
    }
};

// The X server the programs run on: one named by --display, or a private Xvfb with openbox.
class XServer
{
public:
    ~XServer()
    {
        if (mDisplay)
            XCloseDisplay(mDisplay);
    }

    bool start(const std::string& name)
    {
        mName = name.empty() ? startXvfb() : name;
        if (mName.empty())
            return false;
        mDisplay = XOpenDisplay(mName.c_str());
        if (!mDisplay) {
            std::fprintf(stderr, "cannot open display %s\n", mName.c_str());
            return false;
        }
        mScreen.emplace(mDisplay);
        if (!mScreen->usable())
            return false;
        if (!name.empty())
            return true;
        if (!mWindowManager.start({"openbox", "--sm-disable"}, environmentWith({{"DISPLAY", mName}}), true))
            return false;
        if (!mScreen->waitUntil([&] { return mScreen->managed(); }, kTimeoutMs)) {
            std::fprintf(stderr, "openbox did not start on %s\n", mName.c_str());
            return false;
        }
        return true;
    }

    const std::string& name() const { return mName; }
    Screen& screen() { return *mScreen; }
    bool own() const { return mXvfb.pid() != 0; }

private:
    // The connection closes first, then the window manager ends, then the server.
    Child mXvfb;
    Child mWindowManager;
    Display* mDisplay = nullptr;
    std::optional<Screen> mScreen;
    std::string mName;

    // Xvfb picks a free display itself and writes its number to the pipe.
    std::string startXvfb()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return std::string();
        const bool started = mXvfb.start(
            {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", kScreen, "-nolisten", "tcp"},
            environmentWith({}), true);
        close(fds[1]);
        std::string number;
        pollfd pipeEnd{fds[0], POLLIN, 0};
        char c = 0;
        while (started && poll(&pipeEnd, 1, static_cast<int>(kTimeoutMs)) > 0 && read(fds[0], &c, 1) == 1 &&
               c != '\n')
            number += c;
        close(fds[0]);
        if (number.empty()) {
            std::fprintf(stderr, "Xvfb did not start\n");
            return std::string();
        }
        return ':' + number;
    }
};

// A program under test: how it is started and where its buttons are, in logical pixels.
struct Target {
    const char* name;
    std::vector<std::string> argv;
    std::optional<QRect> setup;              // in the main window, clicked once before the timed clicks
    QRect forward;                           // in the main window
    std::function<QRect(QSize client)> back; // in the other window, given its client size
    QString agreement;   // the agreement the main window has chosen; empty for its default
    QString ownTemplate; // a file put in the user's templates folder first, when given
};

// What one process of a target gave.
struct Figures {
    std::vector<double> startDrawn, startWhole;
    std::vector<Swap> first, steady, back;
    std::vector<double> rssMb;
};

QPoint centreAt(const QRect& logical, double ratio)
{
    return QPoint(static_cast<int>(std::lround((logical.x() + logical.width() / 2.0) * ratio)),
                  static_cast<int>(std::lround((logical.y() + logical.height() / 2.0) * ratio)));
}

double rssMb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return NAN;
}

// One fresh process: start-up, the first click, then steady clicks there and back.
bool runProcess(XServer& server, const Target& target, double ratio, int clicks, Figures& figures)
{
    QTemporaryDir home;
    const QString temp = home.filePath(QStringLiteral("temp"));
    const QString runtime = home.filePath(QStringLiteral("run"));
    QDir().mkpath(temp);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const auto path = [](const QString& p) { return QFile::encodeName(p).toStdString(); };
    if (!target.agreement.isEmpty()) {
        const QString settings =
            home.filePath(QStringLiteral(".config/%1/%2.conf")
                              .arg(QLatin1String(Product::kOrganization), QLatin1String(Product::kName)));
        QDir().mkpath(QFileInfo(settings).path());
        SettingsStore(settings).write(TemplateLibrary::kChoiceKey, target.agreement);
    }
    // The program finds its data folder as QStandardPaths does from XDG_DATA_HOME.
    const QString dataHome = home.filePath(QStringLiteral(".local/share"));
    if (!target.ownTemplate.isEmpty()) {
        const QString templates =
            dataHome + QStringLiteral("/%1/%2/templates")
                           .arg(QLatin1String(Product::kOrganization), QLatin1String(Product::kName));
        QDir().mkpath(templates);
        if (!QFile::copy(target.ownTemplate,
                         templates + QLatin1Char('/') + QFileInfo(target.ownTemplate).fileName()))
            return false;
    }
    char ratioText[32];
    std::snprintf(ratioText, sizeof ratioText, "%g", ratio);
    const std::vector<std::string> environment = environmentWith(
        {{"DISPLAY", server.name()},
         {"QT_QPA_PLATFORM", "xcb"},
         {"QT_SCALE_FACTOR", ratioText},
         {"HOME", path(home.path())},
         {"XDG_CONFIG_HOME", path(home.filePath(QStringLiteral(".config")))},
         {"XDG_DATA_HOME", path(dataHome)},
         {"XDG_RUNTIME_DIR", path(runtime)},
         {"TEMP", path(temp)},
         // The main window opens the home page now and then; no browser may start in the middle of a run.
         {"BROWSER", "true"},
         {"DEFAULT_BROWSER", "true"}});

    Screen& screen = server.screen();
    Child process;
    const Clock::time_point spawned = Clock::now();
    if (!process.start(target.argv, environment))
        return false;
    const pid_t pid = process.pid();
    const std::string name = target.name;
    const Window main = screen.waitShown(pid, spawned, 0, (name + ", start-up").c_str());
    if (!main)
        return false;
    screen.waitWhole(main, kTimeoutMs);
    figures.startDrawn.push_back(msBetween(spawned, *screen.watched(main).firstDrawn));
    if (const auto whole = screen.watched(main).wholeDrawn)
        figures.startWhole.push_back(msBetween(spawned, *whole));
    screen.settleIdle(pid, kStartSettleMs);
    if (target.setup)
        screen.clickAndSettle(pid, main, centreAt(*target.setup, ratio));

    for (int run = 0; run <= clicks; ++run) {
        const std::string forwardWhat = name + ", click " + std::to_string(run);
        const auto forward = screen.click(pid, main, centreAt(target.forward, ratio), forwardWhat.c_str());
        if (!forward)
            return false;
        (run == 0 ? figures.first : figures.steady).push_back(forward->first);
        if (run == 0) {
            screen.settleIdle(pid, kStartSettleMs);
            figures.rssMb.push_back(rssMb(pid));
        }
        if (run == clicks)
            break;
        const Window preview = forward->second;
        const QSize client = screen.placeOf(preview).size();
        const QSize logical(static_cast<int>(std::lround(client.width() / ratio)),
                            static_cast<int>(std::lround(client.height() / ratio)));
        const std::string backWhat = name + ", back " + std::to_string(run);
        const auto back = screen.click(pid, preview, centreAt(target.back(logical), ratio), backWhat.c_str());
        if (!back)
            return false;
        if (back->second != main) {
            std::fprintf(stderr, "%s: another window than the main one came back\n", backWhat.c_str());
            return false;
        }
        figures.back.push_back(back->first);
    }
    return true;
}

std::vector<double> pick(const std::vector<Swap>& swaps, double Swap::*field)
{
    std::vector<double> values;
    for (const Swap& swap : swaps)
        if (!std::isnan(swap.*field))
            values.push_back(swap.*field);
    return values;
}

std::string cell(const std::vector<double>& values, const char* unit = "ms")
{
    if (values.empty())
        return "n/a";
    char text[64];
    std::snprintf(text, sizeof text, "%.1f / %.1f %s", median(values), percentile(values, 0.9), unit);
    return text;
}

std::string loadAverage()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return one + ' ' + five + ' ' + fifteen;
}

int usage()
{
    std::fprintf(stderr, "usage: bench_window [--program PATH] [--reference PATH] [--display NAME] "
                         "[--processes N] [--clicks N] [--ratios 1,2]\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    // The benchmark's own widgets only tell where the program's buttons are; they are never shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString here = QCoreApplication::applicationDirPath();
    std::string program = QFile::encodeName(here + QStringLiteral("/brindlewick")).toStdString();
    std::string reference = QFile::encodeName(here + QStringLiteral("/bench_window_reference")).toStdString();
    std::string display;
    int processes = 5;
    int clicks = 20;
    std::vector<double> ratios{1, 2};
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            return usage();
        const std::string value = argv[++i];
        if (option == "--program")
            program = value;
        else if (option == "--reference")
            reference = value;
        else if (option == "--display")
            display = value;
        else if (option == "--processes")
            processes = std::max(1, std::atoi(value.c_str()));
        else if (option == "--clicks")
            clicks = std::max(1, std::atoi(value.c_str()));
        else if (option == "--ratios") {
            ratios.clear();
            for (const QString& ratio : QString::fromStdString(value).split(QLatin1Char(',')))
                if (ratio.toDouble() > 0)
                    ratios.push_back(ratio.toDouble());
        } else
            return usage();
    }
    if (ratios.empty())
        return usage();
    std::signal(SIGINT, endChildren);
    std::signal(SIGTERM, endChildren);

    QTemporaryDir scratch;
    QtPlatform platform;
    SettingsStore store(scratch.filePath(QStringLiteral("settings.ini")));
    const Form1 form(
        platform, store, [] { return true; }, scratch.path());
    const QSize mainSize = form.size();
    const QRect start = form.PushButton22->geometry();
    const QRect sample = form.PushButton3->geometry();
    const QSize previewSize = PreviewLayout::designSize();
    const QRect referenceBack = PreviewLayout::place(previewSize).pushButton8;

    std::vector<std::string> referenceArgs{reference};
    for (const int n : {mainSize.width(), mainSize.height(), start.x(), start.y(), start.width(),
                        start.height(), previewSize.width(), previewSize.height(), referenceBack.x(),
                        referenceBack.y(), referenceBack.width(), referenceBack.height()})
        referenceArgs.push_back(std::to_string(n));
    const auto previewBack = [](QSize client) { return PreviewLayout::place(client).pushButton8; };
    const std::vector<Target> targets{{"brindlewick", {program}, sample, start, previewBack, {}, {}},
                                      // Ten pages with a letterhead, "Page N of M", two tables and lists.
                                      {"brindlewick, ten-page own agreement",
                                       {program},
                                       sample,
                                       start,
                                       previewBack,
                                       QFileInfo(QString::fromUtf8(kTenPages)).completeBaseName(),
                                       QString::fromUtf8(kTenPages)},
                                      {"reference",
                                       referenceArgs,
                                       std::nullopt,
                                       start,
                                       [referenceBack](QSize) { return referenceBack; },
                                       {},
                                       {}}};

    XServer server;
    if (!server.start(display))
        return 1;
    std::printf("bench_window: %s beside %s, on %s%s; %d processes of %d steady clicks each per ratio; "
                "load average %s\n",
                program.c_str(), reference.c_str(), server.name().c_str(),
                server.own() ? (std::string(" (Xvfb ") + kScreen + ", openbox)").c_str() : "", processes,
                clicks, loadAverage().c_str());
    std::printf(
        "Times from the click's release (start-up: from the process's start) to the window mapped, its "
        "first drawing and the whole window drawn, as the X server reports them. Median / p90.\n");

    struct Row {
        const char* what;
        std::function<std::string(const Figures&)> value;
    };
    const std::vector<Row> rows{
        {"process start -> main window drawn first", [](const Figures& f) { return cell(f.startDrawn); }},
        {"process start -> main window drawn whole", [](const Figures& f) { return cell(f.startWhole); }},
        {"first click -> preview mapped",
         [](const Figures& f) { return cell(pick(f.first, &Swap::mapped)); }},
        {"first click -> preview drawn first",
         [](const Figures& f) { return cell(pick(f.first, &Swap::firstDrawn)); }},
        {"first click -> preview drawn whole",
         [](const Figures& f) { return cell(pick(f.first, &Swap::wholeDrawn)); }},
        {"steady click -> preview mapped",
         [](const Figures& f) { return cell(pick(f.steady, &Swap::mapped)); }},
        {"steady click -> preview drawn first",
         [](const Figures& f) { return cell(pick(f.steady, &Swap::firstDrawn)); }},
        {"steady click -> preview drawn whole",
         [](const Figures& f) { return cell(pick(f.steady, &Swap::wholeDrawn)); }},
        {"\"< Back\" -> main window drawn first",
         [](const Figures& f) { return cell(pick(f.back, &Swap::firstDrawn)); }},
        {"RSS after one preview", [](const Figures& f) { return cell(f.rssMb, "MB"); }},
    };

    std::vector<std::vector<Figures>> results(ratios.size(), std::vector<Figures>(targets.size()));
    bool complete = true;
    // The targets take turns, process by process, so that a change in the machine's load meets both.
    for (std::size_t r = 0; r < ratios.size(); ++r)
        for (int p = 0; p < processes; ++p)
            for (std::size_t t = 0; t < targets.size(); ++t)
                complete = runProcess(server, targets[t], ratios[r], clicks, results[r][t]) && complete;

    std::printf("\n| figure |");
    for (const double ratio : ratios)
        for (const Target& target : targets)
            std::printf(" %s, ratio %g |", target.name, ratio);
    std::printf("\n|---|");
    for (std::size_t i = 0; i < ratios.size() * targets.size(); ++i)
        std::printf("---|");
    std::printf("\n");
    for (const Row& row : rows) {
        std::printf("| %s |", row.what);
        for (const auto& byTarget : results)
            for (const Figures& figures : byTarget)
                std::printf(" %s |", row.value(figures).c_str());
        std::printf("\n");
    }
    std::printf("load average afterwards %s\n", loadAverage().c_str());
    return complete ? 0 : 1;
}
