// One agreement end to end, as the user meets it: from the click on "Start Creating
// Template" to the preview shown, then "< Back" and again. Prints medians; asserts nothing.
//   bench_flow [runs] [--prepared]   (offscreen unless QT_QPA_PLATFORM says otherwise)
// --prepared lets the program make its idle preparations, as after the main window's first
// paint, before the first click.

#include "agreement/agreementtemplate.h"
#include "app/form1.h"
#include "app/program.h"
#include "app/settingsstore.h"
#include "app/templatefilling.h"
#include "benchstats.h"
#include "doc/worddocument.h"
#include "preview/form2.h"
#include "preview/picturebox.h"
#include "render/pagepicture.h"
#include "shell/workingfiles.h"
#include "support/fakeplatform.h"

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using agreement::Field;

namespace
{

using benchstats::median;
using benchstats::percentile;

double milliseconds(const std::function<void()>& action)
{
    QElapsedTimer timer;
    timer.start();
    action();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

void print(const char* what, const std::vector<double>& ms)
{
    std::printf("%-44s median %8.3f ms   p90 %8.3f ms   (%zu runs)\n", what, median(ms), percentile(ms, 0.9),
                ms.size());
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool prepared = arguments.contains(QStringLiteral("--prepared"));
    const int runs =
        !arguments.isEmpty() && arguments[0].toInt() > 0 ? std::max(2, arguments[0].toInt()) : 50;

    QTemporaryDir dir;
    const QString temp = dir.filePath(QStringLiteral("temp"));
    QDir().mkpath(temp);
    qputenv("TEMP", QFile::encodeName(temp));

    FakePlatform platform;
    SettingsStore store(dir.filePath(QStringLiteral("settings.ini")));
    Program program(platform, store, dir.path());
    Form1& form = program.form1();
    TemplateFilling& filling = program.filling();
    if (!program.start())
        return 1;
    form.findChild<QPushButton*>(QStringLiteral("PushButton3"))->click(); // sample data
    form.control<QDateEdit>(Field::AgreementDate)->setDate(QDate(2021, 6, 5));
    if (prepared) {
        program.prepareAfterFirstPaint();
        QElapsedTimer idle;
        idle.start();
        while (idle.elapsed() < 500)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }

    std::vector<double> first;
    std::vector<double> afterBack;
    std::vector<double> back;
    for (int run = 0; run < runs; ++run) {
        const double click = milliseconds([&] { form.PushButton22->click(); });
        if (!platform.messages.empty() || !filling.preview() || !filling.preview()->isVisible()) {
            std::fprintf(stderr, "run %d did not end in the preview: %s\n", run,
                         qPrintable(platform.messageTexts().join(QStringLiteral(" | "))));
            return 1;
        }
        (run == 0 ? first : afterBack).push_back(click);
        if (run + 1 < runs)
            back.push_back(milliseconds(
                [&] { filling.preview()->findChild<QPushButton*>(QStringLiteral("PushButton8"))->click(); }));
    }

    // The picture's share, measured on the last run's working document.
    const QString working = filling.preview()->mWordFile;
    const doc::WordDocument document =
        doc::WordDocument::load(std::filesystem::path(working.toStdU16String()));
    std::vector<double> readModel;
    std::vector<double> render;
    std::vector<double> export_;
    std::vector<double> clipboard;
    std::vector<double> raster;
    for (int run = 0; run < runs; ++run) {
        doc::ReadModel model;
        readModel.push_back(milliseconds([&] { model = document.readModel(); }));
        render::PagePicture page;
        render.push_back(milliseconds([&] { page = render::renderPage(model); }));
        clipboard.push_back(milliseconds([&] { render::pictureToMimeData(page); }));
        raster.push_back(milliseconds([&] { render::pictureToImage(page); }));
        const agreement::FilledAgreement filled(agreement::Template::document(), form.particulars(),
                                                QDate::currentDate(), QLocale());
        export_.push_back(milliseconds([&] { filling.SaveDocAsJPG(filled, working); }));
        DeleteFileQuietly(workingPath(QStringLiteral("temp.bmp")));
    }

    std::printf(
        "One agreement end to end (sample particulars), %d runs. Offscreen, until the click's handler "
        "returns: not the clipboard's ownership, the window's mapping or the final flush of its first paint "
        "(bench_window measures those on an X server)\n",
        runs);
    print(prepared ? "click to preview shown, first run, prepared" : "click to preview shown, first run",
          first);
    print("click to preview shown, after \"< Back\"", afterBack);
    print("\"< Back\"", back);
    print("SaveDocAsJPG (open, lay out, copy as picture, file)", export_);
    print("  read model of the filled document", readModel);
    print("  render::renderPage", render);
    print("  render::pictureToMimeData (image)     ", clipboard);
    print("    of which render::pictureToImage", raster);
    const double whole = median(afterBack);
    if (whole > 0.0)
        std::printf("share of the click: SaveDocAsJPG %.0f %%, renderPage %.0f %%\n",
                    100.0 * median(export_) / whole, 100.0 * median(render) / whole);
    // Long agreements: work descriptions of 30,000 and 100,000 characters, on many pages.
    for (const int characters : {30000, 100000}) {
        QString work;
        while (work.size() < characters)
            work += QStringLiteral(
                "Build a tree house with a ladder, a rope swing and a roof of cedar shingles. ");
        work.truncate(characters);
        form.control<QPlainTextEdit>(Field::WorkPerformed)->setPlainText(work);
        std::vector<double> longClick;
        for (int run = 0; run < 10; ++run) {
            filling.preview()->findChild<QPushButton*>(QStringLiteral("PushButton8"))->click();
            longClick.push_back(milliseconds([&] { form.PushButton22->click(); }));
        }
        const int pages =
            filling.preview()->findChild<PictureBox*>(QStringLiteral("Picture1"))->shown().pageCount();
        std::printf("%d-character work description, %d pages:\n", characters, pages);
        print("click to preview shown, after \"< Back\"", longClick);
    }
    return 0;
}
