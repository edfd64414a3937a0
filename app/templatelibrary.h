#pragma once

#include "agreement/tagtemplate.h"
#include "app/settingsstore.h"
#include "shell/platform.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

// What the library says when a template cannot be added or used.
namespace TemplateLibraryText
{
// %1 is the name, %2 the file being added.
inline constexpr char kReplace[] = "There is a template named \u201c%1\u201d already. Replace it with %2?";
// %1 is the name.
inline constexpr char kBuiltInName[] = "the program has a template of its own named \u201c%1\u201d; "
                                       "rename the file to add it";
inline constexpr char kNoName[] = "its file has no name";
// %1 is the templates folder.
inline constexpr char kGone[] = "it is no longer in %1";
// %1 is the templates folder, %2 the reason.
inline constexpr char kCannotCopy[] = "it cannot be copied into %1: %2";
} // namespace TemplateLibraryText

// The agreements the window offers: the standard agreement (the default), the program's home
// improvement agreement, then the user's own templates by name, kept as copies in a folder of the
// program's (a .doc or a .docx, as the template is), so that a template moved or edited where it came
// from still fills as it was added.
// The choice is kept in the settings store.
class TemplateLibrary
{
public:
    static constexpr char kChoiceKey[] = "cboAgreement";

    // folder holds the user's templates; empty means userFolder().
    explicit TemplateLibrary(SettingsStore& store, QString folder = QString());

    // The program's data folder's "templates".
    static QString userFolder();
    const QString& folder() const { return mFolder; }

    // Built-ins first, then the user's, by name without regard to case.
    QStringList names() const;
    static bool isBuiltIn(const QString& name);
    // The name as the list spells it, or empty when none is listed so, compared without regard to case.
    QString listed(const QString& name) const;

    // The choice stored last; the standard agreement when none is.
    QString chosen() const;
    // False when the store could not keep it.
    bool choose(const QString& name);

    // The template named; null for the standard agreement, whose places are no tags. Throws
    // agreement::TemplateRefused when it is gone or cannot be used.
    std::shared_ptr<const agreement::TagTemplate> load(const QString& name) const;

    struct Choice {
        QString name;
        std::shared_ptr<const agreement::TagTemplate> tagTemplate; // null for the standard agreement
        // The stored choice that gave way to the standard agreement, and why.
        QString refused;
        QStringList faults;
    };
    // The stored choice loaded; one that is gone or cannot be used gives way to the standard
    // agreement, which is then stored.
    Choice loadChosen();

    // Checks the file at path and copies it in under its file's name, asking first when a template of
    // that name is there. The name added, or empty when the user kept the one there. Throws
    // agreement::TemplateRefused with the file's faults; nothing is copied then.
    QString add(const QString& path, Platform& platform, const QString& caption);
    // Removes one of the user's templates; false, with errorString(), when it cannot be.
    bool remove(const QString& name);
    const QString& errorString() const { return mError; }

    // Where an extra particular of a template is stored: the template's name and the extra's name as
    // names are matched, so a respelt tag keeps its value.
    static QByteArray extraKey(const QString& templateName, const QString& extraName);

private:
    // The copy of that name in that format, there or not.
    QString pathOf(const QString& name, agreement::DocumentFormat format) const;
    // The copy of that name, in whichever format it is there; empty when there is none.
    QString pathOf(const QString& name) const;

    SettingsStore& mStore;
    QString mFolder;
    QString mError;
};
