#include "apptitle.h"
#include "form1.h"
#include "platform.h"
#include "settingsstore.h"

#include <QApplication>
#include <QFile>

namespace {

// Until the document engine is wired in, the engine can be made exactly when its template can be read.
bool templateReadable()
{
    QFile file(QStringLiteral(":/CUSTOM/101"));
    return file.open(QIODevice::ReadOnly) && file.size() > 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillmark"));
    QApplication::setApplicationName(QLatin1String(kProductName));

    QtPlatform platform;
    SettingsStore store;
    Form1 form(platform, store, templateReadable);
    if (!form.load())
        return 0;
    form.show();
    return QApplication::exec();
}
