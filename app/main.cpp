#include "app/apptitle.h"
#include "app/program.h"
#include "app/settingsstore.h"
#include "cli/commandline.h"
#include "product/product.h"
#include "shell/platform.h"
#include "shell/terminationsignals.h"

#include <QApplication>
#include <QGuiApplication>

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char* argv[])
{
    if (argc > 1)
        return cli::run(argc, argv);
#ifdef __GLIBC__
    // Large blocks (a zoomed page's renderings, an image another program pasted) are mapped
    // and unmapped whole, so the heap does not hold on to the last one once it is freed.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
#endif
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
    program.prepareAfterFirstPaint();
    const int status = QApplication::exec();
    program.finish();
    return status;
}
