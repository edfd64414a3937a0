#include "app/templatelibrary.h"

#include "agreement/agreementtemplate.h"
#include "doc/error.h"
#include "doc/fileio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

#include <filesystem>
#include <system_error>

namespace
{

// Between the parts of an extra's key; percent-encoding never leaves it in a part.
constexpr char kKeySeparator = '|';
constexpr char kExtraKeyPrefix[] = "extra";

const QStringList& builtInNames()
{
    static const QStringList names{QLatin1String(agreement::Template::kName),
                                   QLatin1String(agreement::HomeImprovement::kName)};
    return names;
}

std::filesystem::path fsPath(const QString& path)
{
    return std::filesystem::path(path.toStdU16String());
}

[[noreturn]] void refuse(const QString& fault)
{
    throw agreement::TemplateRefused({fault});
}

} // namespace

TemplateLibrary::TemplateLibrary(SettingsStore& store, QString folder)
    : mStore(store), mFolder(folder.isEmpty() ? userFolder() : std::move(folder))
{
}

QString TemplateLibrary::userFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/templates");
}

QStringList TemplateLibrary::names() const
{
    QStringList names = builtInNames();
    QStringList patterns;
    for (const agreement::DocumentFormatName& format : agreement::kDocumentFormats)
        patterns << QLatin1String("*") + QLatin1String(format.extension);
    const QStringList files =
        QDir(mFolder).entryList(patterns, QDir::Files | QDir::CaseSensitive, QDir::Name | QDir::IgnoreCase);
    for (const QString& file : files) {
        const QString name = QFileInfo(file).completeBaseName();
        // A copy named like one of the program's own would stand for it in the list and the store.
        if (!name.isEmpty() && !isBuiltIn(name) && !names.contains(name))
            names << name;
    }
    return names;
}

bool TemplateLibrary::isBuiltIn(const QString& name)
{
    return builtInNames().contains(name, Qt::CaseInsensitive);
}

QString TemplateLibrary::listed(const QString& name) const
{
    for (const QString& entry : names())
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return entry;
    return {};
}

QString TemplateLibrary::chosen() const
{
    const QString stored = mStore.read(kChoiceKey);
    return stored.isEmpty() ? QLatin1String(agreement::Template::kName) : stored;
}

bool TemplateLibrary::choose(const QString& name)
{
    return mStore.write(kChoiceKey, name);
}

std::shared_ptr<const agreement::TagTemplate> TemplateLibrary::load(const QString& name) const
{
    if (name == QLatin1String(agreement::Template::kName))
        return nullptr;
    if (name == QLatin1String(agreement::HomeImprovement::kName))
        // The program keeps its own for the run.
        return {std::shared_ptr<const void>(), &agreement::HomeImprovement::get()};
    // Only a name the folder lists: a stored name never reaches outside the folder.
    if (listed(name) != name)
        refuse(QString::fromUtf8(TemplateLibraryText::kGone).arg(QDir::toNativeSeparators(mFolder)));
    return std::make_shared<const agreement::TagTemplate>(agreement::TagTemplate::fromFile(pathOf(name)));
}

TemplateLibrary::Choice TemplateLibrary::loadChosen()
{
    const QString name = chosen();
    try {
        return {name, load(name), {}, {}};
    } catch (const agreement::TemplateRefused& refused) {
        const QString standard = QLatin1String(agreement::Template::kName);
        choose(standard);
        return {standard, nullptr, name, refused.faults()};
    }
}

QString TemplateLibrary::add(const QString& path, Platform& platform, const QString& caption)
{
    const QString name = QFileInfo(path).completeBaseName();
    if (name.isEmpty())
        refuse(QString::fromUtf8(TemplateLibraryText::kNoName));
    if (isBuiltIn(name))
        refuse(QString::fromUtf8(TemplateLibraryText::kBuiltInName).arg(name));
    agreement::TagTemplate::fromFile(path);
    // What is copied is checked again: the file may have changed since.
    std::vector<std::uint8_t> bytes;
    try {
        bytes = doc::fileio::readFile(fsPath(path), agreement::TagTemplate::kMaxBytes);
    } catch (const doc::Error& error) {
        refuse(
            QString::fromUtf8(agreement::TagTemplateText::kUnreadable).arg(QString::fromUtf8(error.what())));
    }
    const agreement::DocumentFormat format =
        agreement::TagTemplate::fromBytes(name, bytes, QFileInfo(path).fileName()).format();
    const QString target = pathOf(name, format);

    const QString there = listed(name);
    if (!there.isEmpty() &&
        !platform.askYesNo(
            QString::fromUtf8(TemplateLibraryText::kReplace).arg(there, QDir::toNativeSeparators(path)),
            caption, Platform::Answer::No))
        return {};
    try {
        if (!QDir().mkpath(mFolder))
            throw doc::Error(doc::Error::Kind::Io, "the folder cannot be made");
        doc::fileio::replaceFile(fsPath(target), bytes, doc::fileio::Access::UsersFile);
    } catch (const doc::Error& error) {
        refuse(QString::fromUtf8(TemplateLibraryText::kCannotCopy)
                   .arg(QDir::toNativeSeparators(mFolder), QString::fromUtf8(error.what())));
    }
    // The copy replaced may be in the other format, or, where the file system tells case apart, under
    // the other spelling: it is not left beside the new one.
    if (!there.isEmpty()) {
        for (const agreement::DocumentFormatName& other : agreement::kDocumentFormats) {
            const QString old = pathOf(there, other.format);
            std::error_code error;
            if (QFileInfo::exists(old) && !std::filesystem::equivalent(fsPath(old), fsPath(target), error) &&
                !error)
                QFile::remove(old);
        }
    }
    return name;
}

bool TemplateLibrary::remove(const QString& name)
{
    if (isBuiltIn(name) || listed(name) != name) {
        mError = QString::fromUtf8(TemplateLibraryText::kGone).arg(QDir::toNativeSeparators(mFolder));
        return false;
    }
    QFile file(pathOf(name));
    if (!file.remove()) {
        mError = file.errorString();
        return false;
    }
    mError.clear();
    return true;
}

QByteArray TemplateLibrary::extraKey(const QString& templateName, const QString& extraName)
{
    // Keys are Latin-1 and plain: no folder separator, nothing outside ASCII.
    return QByteArray(kExtraKeyPrefix) + kKeySeparator + QUrl::toPercentEncoding(templateName) +
           kKeySeparator + QUrl::toPercentEncoding(agreement::matchingName(extraName));
}

QString TemplateLibrary::pathOf(const QString& name, agreement::DocumentFormat format) const
{
    return mFolder + QLatin1Char('/') + name + QLatin1String(agreement::extension(format));
}

QString TemplateLibrary::pathOf(const QString& name) const
{
    for (const agreement::DocumentFormatName& format : agreement::kDocumentFormats)
        if (const QString path = pathOf(name, format.format); QFileInfo::exists(path))
            return path;
    return {};
}
