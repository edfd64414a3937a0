#include "app/program.h"

#include "preview/form2.h"
#include "shell/workingfiles.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <functional>

namespace
{

QString folderOrExecutables(const QString& folder)
{
    return folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder;
}

// Runs an action once, after the first paint of the watched widget has reached the screen.
class AfterFirstPaint : public QObject
{
public:
    AfterFirstPaint(QWidget& widget, std::function<void()> action)
        : QObject(&widget), mAction(std::move(action))
    {
        widget.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Posted: the painting and its flush finish first.
            QTimer::singleShot(0, parent(), [action = std::move(mAction)] { action(); });
            deleteLater();
        }
        return false;
    }

private:
    std::function<void()> mAction;
};

} // namespace

Program::Program(Platform& platform, SettingsStore& store, const QString& programDirectory)
    : mPlatform(platform), mProgramDirectory(folderOrExecutables(programDirectory)),
      mWordFactory(engineWordFactory()), mForm1(
                                             platform, store,
                                             [this] {
                                                 mWordFactory({})->Quit();
                                                 return true;
                                             },
                                             mProgramDirectory),
      mFilling(mForm1, platform, mWordFactory, [this] {
          auto preview = std::make_unique<Form2>(mPlatform, mProgramDirectory, &mForm1);
          preview->setAppTitle(mForm1.appTitle());
          return preview;
      })
{
    mForm1.onStartCreatingTemplate = [this] { mFilling.PushButton22_Click(); };
}

bool Program::start()
{
    if (!mForm1.load())
        return false;
    mForm1.show();
    return true;
}

void Program::prepareAfterFirstPaint()
{
    new AfterFirstPaint(mForm1, [this] {
        prepareWorkingFolder();
        mFilling.prepare(mProgramDirectory);
    });
}

void Program::terminate()
{
    mTerminated = true;
    // A plain removal: letting events run here would run whatever the ending interrupted.
    removeWorkingDocument();
    mPlatform.endProgram();
}

void Program::finish()
{
    if (mTerminated)
        removeWorkingDocument();
}

void Program::removeWorkingDocument() const
{
    if (Form2* preview = mFilling.preview())
        preview->removeWorkingDocument(Form2::Removal::AtOnce);
}
