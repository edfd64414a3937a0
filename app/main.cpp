#include "app/apptitle.h"
#include "app/program.h"
#include "app/settingsstore.h"
#include "cli/commandline.h"
#include "shell/platform.h"
#include "shell/product.h"
#include "shell/terminationsignals.h"
#include "shell/workingfiles.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTimer>

int main(int argc, char* argv[])
{
    if (argc > 1)
        return cli::run(argc, argv);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QLatin1String(Product::kOrganization));
    QApplication::setApplicationName(QLatin1String(Product::kName));
    QGuiApplication::setDesktopFileName(QLatin1String(Product::kDesktopId));

    QtPlatform platform;
    SettingsStore store;
    Program program(platform, store);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::requested, &app, [&program] { program.terminate(); });
    if (!program.start())
        return 0;
    QTimer::singleShot(0, [] { prepareWorkingFolder(); });
    const int status = QApplication::exec();
    program.finish();
    return status;
}
