#include "app/apptitle.h"
#include "app/program.h"
#include "app/settingsstore.h"
#include "shell/platform.h"
#include "shell/product.h"
#include "shell/terminationsignals.h"
#include "shell/workingfiles.h"

#include <QApplication>
#include <QDateTime>
#include <QGuiApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QLatin1String(Product::kOrganization));
    QApplication::setApplicationName(QLatin1String(Product::kName));
    QGuiApplication::setDesktopFileName(QLatin1String(Product::kDesktopId));

    // What a killed run left in the temporary folder holds names and prices.
    try {
        removeStaleWorkingDocuments(temporaryFolder(), QDateTime::currentDateTime().addDays(-1));
    } catch (const std::exception&) {
    }

    QtPlatform platform;
    SettingsStore store;
    Program program(platform, store);
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::requested, &app, [&program] { program.terminate(); });
    if (!program.start())
        return 0;
    const int status = QApplication::exec();
    program.finish();
    return status;
}
