// Start-up with long stored particulars: from the main window's creation to its first
// painting, with one 1,000,000-character value in each kind of box. Prints times; asserts nothing.
//   bench_startup      (offscreen unless QT_QPA_PLATFORM says otherwise)

#include "app/form1.h"
#include "app/settingsstore.h"
#include "support/fakeplatform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using agreement::Field;

namespace
{

// One million characters on one line: words of wordLength letters, or a single word when 0.
QString longLine(int wordLength)
{
    QString text(1000000, QLatin1Char('x'));
    for (int i = wordLength; wordLength > 0 && i < text.size(); i += wordLength + 1)
        text[i] = QLatin1Char(' ');
    return text;
}

double startupMs(const char* key, const QString& value)
{
    QTemporaryDir dir;
    SettingsStore store(dir.filePath(QStringLiteral("settings.ini")));
    store.write(key, value);
    FakePlatform platform;
    QElapsedTimer timer;
    timer.start();
    Form1 form(
        platform, store, [] { return true; }, dir.path());
    form.load();
    form.show();
    form.repaint();
    QCoreApplication::processEvents();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const struct {
        const char* key;
        int wordLength;
        const char* what;
    } cases[] = {{agreement::key(Field::WorkPerformed), 0, "work performed, one word"},
                 {agreement::key(Field::WorkPerformed), 7, "work performed, words of 7"},
                 {agreement::key(Field::PaymentProgress), 0, "progress payments, one word"},
                 {agreement::key(Field::Location), 0, "location, one word"}};
    std::printf("%-34s %10.1f ms\n", "empty store", startupMs(agreement::key(Field::Location), QString()));
    for (const auto& c : cases)
        std::printf("%-34s %10.1f ms\n", c.what, startupMs(c.key, longLine(c.wordLength)));
    return 0;
}
