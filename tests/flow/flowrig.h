#pragma once

#include "agreement/particulars.h"
#include "app/form1.h"
#include "app/program.h"
#include "app/settingsstore.h"
#include "app/templatefilling.h"
#include "doc/worddocument.h"
#include "preview/form2.h"
#include "support/fakeplatform.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

using agreement::Field;

// The program as main() wires it, on a fake platform: its own temporary folder (TEMP),
// program folder and settings file, so every run starts from nothing.
struct FlowRig {
    QTemporaryDir dir;
    QString temp = dir.filePath(QStringLiteral("temp"));
    QString programDir = dir.filePath(QStringLiteral("program"));
    QByteArray previousTemp = qgetenv("TEMP");
    FakePlatform platform;
    SettingsStore store{dir.filePath(QStringLiteral("settings.ini"))};
    Program program{platform, store, programDir};
    Form1& form = program.form1();
    TemplateFilling& filling = program.filling();
    bool loaded = false;

    FlowRig()
    {
        QDir().mkpath(temp);
        QDir().mkpath(programDir);
        qputenv("TEMP", QFile::encodeName(temp));
        loaded = program.start();
        // Start-up draws its one-in-a-hundred chance; what is scripted later is the name's.
        platform.randomValues.clear();
    }
    ~FlowRig()
    {
        if (previousTemp.isNull())
            qunsetenv("TEMP");
        else
            qputenv("TEMP", previousTemp);
    }
    FlowRig(const FlowRig&) = delete;
    FlowRig& operator=(const FlowRig&) = delete;

    Form2* preview() const { return filling.preview(); }
    QPushButton* previewButton(const char* name) const
    {
        return preview() ? preview()->findChild<QPushButton*>(QLatin1String(name)) : nullptr;
    }
    void start() { form.PushButton22->click(); }
    void back()
    {
        if (QPushButton* button = previewButton("PushButton8"))
            button->click();
    }
    void save(const QString& target)
    {
        platform.saveFileAnswers.push_back(target);
        if (QPushButton* button = previewButton("PushButton6"))
            button->click();
    }
    bool oneWindowVisible() const { return form.isVisible() != (preview() && preview()->isVisible()); }
    QStringList tempFiles() const
    {
        return QDir(temp).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                    QDir::Name);
    }
};

using agreement::Particulars;
Q_DECLARE_METATYPE(agreement::Particulars)

// Types the particulars into the form's boxes, as the user does.
inline void enterInto(const Particulars& particulars, Form1& form)
{
    for (const agreement::Particular& row : agreement::kParticulars) {
        QWidget* control = form.control(row.field);
        if (auto* date = qobject_cast<QDateEdit*>(control))
            date->setDate(particulars.agreementDate);
        else if (auto* line = qobject_cast<QLineEdit*>(control))
            line->setText(particulars[row.field]);
        else
            qobject_cast<QPlainTextEdit*>(control)->setPlainText(particulars[row.field]);
    }
}

// The document's paragraphs without their marks; paragraph n is element n - 1.
inline QStringList paragraphsOf(const QString& path)
{
    const doc::WordDocument document = doc::WordDocument::load(std::filesystem::path(path.toStdU16String()));
    return QString::fromStdU16String(document.mainText()).split(QLatin1Char('\r'));
}

inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
