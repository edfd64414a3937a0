#include "apptitle.h"
#include "form1.h"
#include "form2.h"
#include "platform.h"
#include "settingsstore.h"
#include "templatefilling.h"

#include <QApplication>
#include <QGuiApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillmark"));
    QApplication::setApplicationName(QLatin1String(kProductName));
    QGuiApplication::setDesktopFileName(QStringLiteral("example.quillmark.BrindlewickPaperworkStudio"));

    QtPlatform platform;
    SettingsStore store;
    const TemplateFilling::WordFactory wordFactory = engineWordFactory(platform);
    Form1 form(platform, store, [&wordFactory] {
        wordFactory()->Quit();
        return true;
    });
    TemplateFilling filling(form, platform, wordFactory, [&] {
        auto preview = std::make_unique<Form2>(platform, QCoreApplication::applicationDirPath(), &form);
        preview->setAppTitle(form.appTitle());
        return preview;
    });
    form.onStartCreatingTemplate = [&filling] { filling.PushButton22_Click(); };
    if (!form.load())
        return 0;
    form.show();
    return QApplication::exec();
}
