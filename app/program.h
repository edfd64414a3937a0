#pragma once

#include "app/form1.h"
#include "app/settingsstore.h"
#include "app/templatefilling.h"
#include "shell/platform.h"

#include <QString>

class Form2;

// The program's windows wired together: the main window, the template filling it starts
// and the preview that filling creates. main() runs one; tests and benchmarks run theirs
// on a fake platform.
class Program
{
public:
    // programDirectory holds the optional skin and hand cursor; empty means the executable's folder.
    Program(Platform& platform, SettingsStore& store, const QString& programDirectory = QString());

    // The start-up sequence, then the main window on screen. False when start-up ended the
    // program (no document engine); no window is shown then.
    bool start();

    // Once the main window has painted: the working folder's clean-up and the first click's
    // preparations (prepareWorkingFolder, TemplateFilling::prepare); main() asks for them,
    // tests do not.
    void prepareAfterFirstPaint();

    // Ends the program the way closing the preview does, for a logout or a hung-up
    // terminal: the working document goes, and no window's closing steps run.
    void terminate();
    // Once the event loop has returned. A termination in one of the filling's message boxes
    // ends that box's loop too; the filling then goes on to write its working document,
    // which has to go as well.
    void finish();

    Form1& form1() { return mForm1; }
    TemplateFilling& filling() { return mFilling; }
    // The preview, once the first agreement has created it.
    Form2* preview() const { return mFilling.preview(); }

private:
    Platform& mPlatform;
    QString mProgramDirectory;
    TemplateFilling::WordFactory mWordFactory;
    Form1 mForm1;
    TemplateFilling mFilling;
    bool mTerminated = false;

    void removeWorkingDocument() const;
};
