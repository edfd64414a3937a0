#include "cli/commandline.h"
#include "cli/rowworkers.h"

#include "agreement/agreementtemplate.h"
#include "agreement/clientlist.h"
#include "agreement/filledagreement.h"
#include "agreement/readback.h"
#include "agreement/tagtemplate.h"
#include "doc/error.h"
#include "doc/fileio.h"
#include "product/product.h"
#include "render/pictures.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <set>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace cli
{

namespace
{

constexpr char kUsageText[] = R"(Usage:
  brindlewick                       start the window
  brindlewick fill OPTIONS -o OUT   write one agreement as OUT's name ends: .doc, .docx or .pdf;
                                    -o - writes the template's own format to standard output
%1
      [--template TEMPLATE [--field "NAME=VALUE" ...]]
                                    fill your own template (.doc or .docx): the options it
                                    uses, and a --field for each particular of its own;
                                    its agreements are written in its format or as PDF
  brindlewick merge CLIENTS.csv --out FOLDER [--format doc|docx|pdf] [--name COLUMN] [--force]
      [--locale NAME] [--template TEMPLATE]
                                    one agreement per row of a client list, into FOLDER
                                    (made when missing), in the template's format unless
                                    --format (or --pdf) says otherwise
  brindlewick template TEMPLATE     print the particulars a template uses, or its faults;
                                    "%3" names the one the program carries
  brindlewick read AGREEMENT [--json] [--locale NAME]
                                    print the particulars of a saved agreement (.doc or .docx)
  brindlewick --help | --version

Dates are written 2027-03-15 or in the locale's short form, whose order of day and month a
named --locale settles. The price is checked and shown as the form shows it, in the
locale's currency (--locale de_DE; the system's by default). A client list's header names the
particulars: %2, or their settings keys, and an own template's particulars;
its fields are separated by commas, semicolons or tabs, in UTF-8, UTF-16 or Windows-1252.
Exit status: 0 done, 1 input that could not be used or rows not made, 2 a wrong command line.
)";

// The usage text's lines end before this column.
constexpr qsizetype kUsageWidth = 80;

// kUsageText with fill's options, one for each particular, and the particulars' names.
QString usageText()
{
    const QString indent(6, QLatin1Char(' '));
    QStringList options;
    QStringList names;
    for (const agreement::Particular& p : agreement::kParticulars) {
        const char* value = p.kind == agreement::Kind::Date     ? "DATE"
                            : p.kind == agreement::Kind::Amount ? "AMOUNT"
                                                                : "TEXT";
        options << QStringLiteral("--%1 %2").arg(QLatin1String(p.plain), QLatin1String(value));
        names << QLatin1String(p.plain);
    }
    options << QStringLiteral("[--%1 DATE]").arg(QLatin1String(agreement::kSigningDateName))
            << QStringLiteral("[--locale NAME]");
    QStringList lines{indent + options.takeFirst()};
    for (const QString& option : options) {
        if (lines.back().size() + 1 + option.size() < kUsageWidth)
            lines.back() += QLatin1Char(' ') + option;
        else
            lines << indent + option;
    }
    return QString::fromUtf8(kUsageText)
        .arg(lines.join(QLatin1Char('\n')), names.join(QStringLiteral(", ")),
             QLatin1String(agreement::HomeImprovement::kName));
}

constexpr std::size_t kMaxClientListBytes = std::size_t{1} << 30;
// A merge this long shows its progress on a terminal.
constexpr std::size_t kProgressRows = 100;
constexpr int kProgressWidth = 40;
// Agreements merged into PDFs together: enough that the fonts Qt's PDF engine embeds once for all of them
// cost little beside the painting, few enough that every core gets its share of a short list.
constexpr std::size_t kPdfBatch = 32;

void out(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
}

void err(const QString& text)
{
    const QByteArray bytes = (QStringLiteral("brindlewick: ") + text + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
}

QString say(const char* text, const QString& a)
{
    return QString::fromUtf8(text).arg(a);
}

std::filesystem::path fsPath(const QString& path)
{
    return std::filesystem::path(path.toStdU16String());
}

std::span<const std::uint8_t> byteSpan(const QByteArray& bytes)
{
    return {reinterpret_cast<const std::uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
}

// A wrong command line; nothing has been written.
struct UsageError {
    QString text;
};

// The options and arguments of one command. "--name value", "--name=value" and "-o value".
class Arguments
{
public:
    Arguments(const QStringList& args, const std::set<QString>& valued, const std::set<QString>& flags,
              const std::set<QString>& repeated = {})
    {
        for (qsizetype i = 0; i < args.size(); ++i) {
            const QString& arg = args[i];
            if (!arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-")) {
                mPositional << arg;
                continue;
            }
            QString name = arg.startsWith(QLatin1String("--")) ? arg.mid(2) : arg.mid(1);
            std::optional<QString> value;
            if (const qsizetype eq = name.indexOf(QLatin1Char('=')); eq >= 0) {
                value = name.mid(eq + 1);
                name.truncate(eq);
            }
            if (flags.contains(name) && !value) {
                mFlags.insert(name);
            } else if (valued.contains(name) || repeated.contains(name)) {
                if (!value) {
                    if (i + 1 >= args.size())
                        throw UsageError{say(Text::kMissingValue, arg)};
                    value = args[++i];
                }
                if (repeated.contains(name))
                    mRepeated[name] << *value;
                else
                    mValues[name] = *value;
            } else {
                throw UsageError{say(Text::kUnknownOption, arg)};
            }
        }
    }

    bool flag(const QString& name) const { return mFlags.contains(name); }
    QStringList values(const QString& name) const
    {
        const auto found = mRepeated.find(name);
        return found == mRepeated.end() ? QStringList() : found->second;
    }
    std::optional<QString> value(const QString& name) const
    {
        const auto found = mValues.find(name);
        return found == mValues.end() ? std::nullopt : std::optional(found->second);
    }
    QString required(const QString& name, const QString& shown) const
    {
        const std::optional<QString> v = value(name);
        if (!v)
            throw UsageError{say(Text::kMissingOption, shown)};
        return *v;
    }
    // The one positional argument a command takes.
    QString single(const QString& what) const
    {
        if (mPositional.isEmpty())
            throw UsageError{say(Text::kMissingOption, what)};
        if (mPositional.size() > 1)
            throw UsageError{say(Text::kExtraArgument, mPositional[1])};
        return mPositional.front();
    }
    void noPositional() const
    {
        if (!mPositional.isEmpty())
            throw UsageError{say(Text::kExtraArgument, mPositional.front())};
    }

private:
    std::map<QString, QString> mValues;
    std::map<QString, QStringList> mRepeated;
    std::set<QString> mFlags;
    QStringList mPositional;
};

QLocale localeOption(const Arguments& args)
{
    const std::optional<QString> name = args.value(QStringLiteral("locale"));
    if (!name)
        return QLocale();
    const QLocale locale(*name);
    if (locale.language() == QLocale::C && name->compare(QLatin1String("C"), Qt::CaseInsensitive) != 0)
        throw UsageError{say(Text::kBadLocale, *name)};
    return locale;
}

// A locale the user names settles the order of day and month; the system's may not be the one
// the date was written under.
AgreementDate::DateOrder dateOrder(const Arguments& args)
{
    return args.value(QStringLiteral("locale")) ? AgreementDate::DateOrder::OfTheLocale
                                                : AgreementDate::DateOrder::Unsure;
}

QDate dateOption(const Arguments& args, const char* name, QDate fallback, const QLocale& locale)
{
    const std::optional<QString> text = args.value(QLatin1String(name));
    if (!text)
        return fallback;
    const std::variant<QDate, QString> date =
        agreement::ClientList::dateFromText(*text, locale, dateOrder(args));
    if (const QString* reason = std::get_if<QString>(&date))
        throw UsageError{
            QString::fromUtf8(Text::kBadValue).arg(QStringLiteral("--") + QLatin1String(name), *reason)};
    return std::get<QDate>(date);
}

// PDF needs Qt's painting, which needs a GUI application; a display it does not. Windows keeps
// its own platform, which needs none either: offscreen's fonts there are only the carried ones,
// so a script they lack would show as boxes instead of in the system's fonts.
class PaintingSupport
{
public:
    void ensure()
    {
        if (mApp)
            return;
#ifndef _WIN32
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
        mApp = std::make_unique<QGuiApplication>(mArgc, mArgv);
    }

private:
    int mArgc = 1;
    char mName[12] = "brindlewick";
    char* mArgv[2] = {mName, nullptr};
    std::unique_ptr<QGuiApplication> mApp;
};

// fill's name for standard output.
constexpr char kStandardOutput[] = "-";

// The format a file's name ends in, or null.
const OutputFormat* formatOf(const QString& path)
{
    for (const OutputFormat& f : kOutputFormats) {
        if (path.endsWith(QLatin1String(f.extension), Qt::CaseInsensitive))
            return &f;
    }
    return nullptr;
}

// merge's --format: an extension without its dot.
const OutputFormat* formatNamed(const QString& name)
{
    for (const OutputFormat& f : kOutputFormats) {
        if (name.compare(QLatin1String(f.extension + 1), Qt::CaseInsensitive) == 0)
            return &f;
    }
    return nullptr;
}

// The Word format's entry, or PDF's for none.
const OutputFormat& outputFormat(std::optional<agreement::DocumentFormat> format)
{
    const auto* found = std::find_if(std::begin(kOutputFormats), std::end(kOutputFormats),
                                     [format](const OutputFormat& f) { return f.document == format; });
    Q_ASSERT(found != std::end(kOutputFormats));
    return *found;
}

// A Word document is written only in a format the template is written in; named is the file or the
// option that asks for it.
void checkWritten(const OutputFormat& format, const agreement::TagTemplate* tagTemplate, const QString& named)
{
    const std::vector<agreement::DocumentFormat> formats = agreement::FilledAgreement::formatsOf(tagTemplate);
    if (!format.document || std::find(formats.begin(), formats.end(), *format.document) != formats.end())
        return;
    throw UsageError{
        QString::fromUtf8(Text::kBadValue)
            .arg(named, QString::fromUtf8(agreement::FilledAgreement::kOnlyFormat)
                            .arg(tagTemplate->name(), QLatin1String(agreement::extension(formats.front()))))};
}

// ".doc and .pdf"
QString writtenExtensions()
{
    QStringList extensions;
    for (const OutputFormat& f : kOutputFormats)
        extensions << QLatin1String(f.extension);
    const QString last = extensions.takeLast();
    return extensions.isEmpty() ? last
                                : extensions.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
}

// Throws with the system's reason, such as a full disk, when not every byte is written.
void writeStandardOutput(const QByteArray& bytes)
{
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const auto size = static_cast<std::size_t>(bytes.size());
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, size, stdout) != size || std::fflush(stdout) != 0)
        throw std::runtime_error(
            say(Text::kStandardOutputFailed, QString::fromLocal8Bit(std::strerror(errno))).toStdString());
}

// undrawn receives what FilledAgreement::pdf gives it; nothing for a Word document, which holds the text.
QByteArray agreementBytes(const agreement::FilledAgreement& filled, const OutputFormat& format,
                          PaintingSupport& painting, QString* undrawn = nullptr)
{
    if (!format.document) {
        painting.ensure();
        return filled.pdf(QLatin1String(Product::kDocumentName), undrawn);
    }
    const std::vector<std::uint8_t>& bytes = filled.bytes(*format.document);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

// A template file, or the carried one of tags by its name when no file has that name. Throws
// TemplateRefused.
agreement::TagTemplate tagTemplateNamed(const QString& file)
{
    if (!QFileInfo::exists(file) &&
        file.compare(QLatin1String(agreement::HomeImprovement::kName), Qt::CaseInsensitive) == 0)
        return agreement::HomeImprovement::get();
    return agreement::TagTemplate::fromFile(file);
}

// The template --template names, or none for the standard one. Throws TemplateRefused.
std::optional<agreement::TagTemplate> templateOption(const Arguments& args)
{
    const std::optional<QString> file = args.value(QStringLiteral("template"));
    if (!file)
        return std::nullopt;
    return tagTemplateNamed(*file);
}

// Every fault of a refused template, one line each, named by its file.
int refused(const QString& file, const agreement::TemplateRefused& e)
{
    for (const QString& fault : e.faults())
        err(file + QStringLiteral(": ") + fault);
    return kFailed;
}

// fill's --field NAME=VALUE options, for the extra particulars wanted; one that names none is
// told and left unread.
QList<agreement::Extra> extraFields(const Arguments& args, const agreement::Wanted& wanted)
{
    QList<agreement::Extra> given;
    for (const QString& field : args.values(QStringLiteral("field"))) {
        const qsizetype eq = field.indexOf(QLatin1Char('='));
        if (eq <= 0)
            throw UsageError{say(Text::kBadField, field)};
        const QString key = agreement::matchingName(field.left(eq));
        const auto name = std::find_if(wanted.extras.begin(), wanted.extras.end(), [&](const QString& extra) {
            return agreement::matchingName(extra) == key;
        });
        if (name == wanted.extras.end())
            err(say(Text::kUnknownField, field.left(eq)));
        else
            given.append(agreement::Extra{*name, field.mid(eq + 1)});
    }
    QList<agreement::Extra> extras;
    for (const QString& name : wanted.extras) {
        const auto value = std::find_if(given.cbegin(), given.cend(),
                                        [&](const agreement::Extra& extra) { return extra.name == name; });
        if (value == given.cend())
            throw UsageError{say(Text::kMissingField, name)};
        extras.append(*value);
    }
    return extras;
}

// The template's pictures the preview cannot draw, one line each on standard error.
void tellUndrawnPictures(const QString& file, const agreement::TagTemplate& tagTemplate)
{
    const doc::ReadModel model = tagTemplate.readModel();
    const std::vector<agreement::PicturePlace> places = agreement::picturePlaces(model);
    for (std::size_t i = 0; i < places.size(); ++i) {
        const doc::Picture& picture = model.pictures[places[i].picture];
        if (!render::pictureImage(picture).isNull())
            continue;
        err(QString::fromUtf8(Text::kUndrawnPicture)
                .arg(file)
                .arg(i + 1)
                .arg(QString::fromUtf8(places[i].story))
                .arg(places[i].paragraph)
                .arg(render::pictureName(picture.format)));
    }
}

int templateCommand(const QStringList& argv)
{
    const Arguments args(argv, {}, {});
    const QString file = args.single(QStringLiteral("TEMPLATE"));
    try {
        QString names;
        const agreement::TagTemplate tagTemplate = tagTemplateNamed(file);
        for (const agreement::TemplateParticular& p : tagTemplate.particulars())
            names += agreement::plainName(p) + QLatin1Char('\n');
        out(names);
        tellUndrawnPictures(file, tagTemplate);
    } catch (const agreement::TemplateRefused& e) {
        return refused(file, e);
    }
    return kOk;
}

int fill(const QStringList& argv, PaintingSupport& painting)
{
    std::set<QString> valued = {QStringLiteral("o"), QStringLiteral("out"), QStringLiteral("signed"),
                                QStringLiteral("locale"), QStringLiteral("template")};
    for (const agreement::Particular& f : agreement::kParticulars)
        valued.insert(QLatin1String(f.plain));
    const Arguments args(argv, valued, {}, {QStringLiteral("field")});
    args.noPositional();
    const QLocale locale = localeOption(args);
    std::optional<agreement::TagTemplate> tagTemplate;
    try {
        tagTemplate = templateOption(args);
    } catch (const agreement::TemplateRefused& e) {
        return refused(*args.value(QStringLiteral("template")), e);
    }
    const agreement::Wanted wanted = tagTemplate ? tagTemplate->wanted() : agreement::Wanted::everyField();

    agreement::Particulars p;
    for (const agreement::Particular& f : agreement::kParticulars) {
        const QString option = QStringLiteral("--") + QLatin1String(f.plain);
        const std::optional<QString> given = args.value(QLatin1String(f.plain));
        if (!given && !wanted.fields[agreement::indexOf(f.field)])
            continue;
        // Only the date and the price can be refused.
        if (const std::optional<QString> reason = agreement::ClientList::setFromText(
                p, f.field, args.required(QLatin1String(f.plain), option), locale, dateOrder(args)))
            throw UsageError{QString::fromUtf8(Text::kBadValue).arg(option, *reason)};
    }
    p.extras = extraFields(args, wanted);
    const QDate signing = dateOption(args, agreement::kSigningDateName, QDate::currentDate(), locale);
    if (!p.agreementDate.isValid())
        p.agreementDate = signing;
    const std::optional<QString> outOption = args.value(QStringLiteral("o"));
    const QString target =
        outOption ? *outOption : args.required(QStringLiteral("out"), QStringLiteral("-o"));
    const bool toStandardOutput = target == QLatin1String(kStandardOutput);
    // Standard output takes the template's own format.
    const agreement::TagTemplate* chosenTemplate = tagTemplate ? &*tagTemplate : nullptr;
    const OutputFormat* format =
        toStandardOutput ? &outputFormat(agreement::FilledAgreement::formatsOf(chosenTemplate).front())
                         : formatOf(target);
    if (!format)
        throw UsageError{say(Text::kUnwrittenFormat, target).arg(writtenExtensions())};
    checkWritten(*format, chosenTemplate, target);
    if (toStandardOutput && isatty(fileno(stdout)))
        throw UsageError{QLatin1String(Text::kTerminal)};

    try {
        const agreement::FilledAgreement filled =
            tagTemplate ? agreement::FilledAgreement(*tagTemplate, p, signing, locale)
                        : agreement::FilledAgreement(agreement::Template::document(), p, signing, locale);
        if (toStandardOutput) {
            writeStandardOutput(agreementBytes(filled, *format, painting));
        } else if (!format->document) {
            painting.ensure();
            const QString undrawn = filled.exportPdf(fsPath(target), QLatin1String(Product::kDocumentName));
            if (!undrawn.isEmpty())
                err(say(Text::kUndrawn, target).arg(filled.undrawnWhere(undrawn)));
        } else {
            doc::fileio::replaceFile(fsPath(target), filled.bytes(*format->document),
                                     doc::fileio::Access::UsersFile);
        }
    } catch (const std::exception& e) {
        err(QString::fromUtf8(e.what()));
        return kFailed;
    }
    return kOk;
}

// key=value lines keep to one line each: a backslash, a line break and a tab are escaped.
QString escapedLine(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            out += QLatin1String("\\t");
        else
            out += c;
    }
    return out;
}

QString jsonString(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + c;
        else if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\t'))
            out += QLatin1String("\\t");
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

int read(const QStringList& argv)
{
    const Arguments args(argv, {QStringLiteral("locale")}, {QStringLiteral("json")});
    const QString file = args.single(QStringLiteral("AGREEMENT"));
    const QLocale locale = localeOption(args);
    agreement::ReadBack back;
    try {
        back = agreement::readBackFile(fsPath(file), locale);
    } catch (const std::exception& e) {
        err(file + QStringLiteral(": ") + QString::fromUtf8(e.what()));
        return kFailed;
    }
    std::vector<std::pair<QString, QString>> lines;
    for (const agreement::Particular& f : agreement::kParticulars) {
        lines.emplace_back(QLatin1String(f.plain), f.kind == agreement::Kind::Date
                                                       ? agreement::dateText(back.particulars.agreementDate)
                                                       : back.particulars[f.field]);
    }
    lines.emplace_back(QLatin1String(agreement::kSigningDateName), agreement::dateText(back.signingDate));
    for (const agreement::Extra& extra : back.particulars.extras)
        lines.emplace_back(extra.name, extra.value);
    QString text;
    if (args.flag(QStringLiteral("json"))) {
        QStringList members;
        for (const auto& [key, value] : lines)
            members << QStringLiteral("  %1: %2").arg(jsonString(key), jsonString(value));
        text = QStringLiteral("{\n") + members.join(QStringLiteral(",\n")) + QStringLiteral("\n}\n");
    } else {
        for (const auto& [key, value] : lines)
            text += key + QLatin1Char('=') + escapedLine(value) + QLatin1Char('\n');
    }
    out(text);
    return kOk;
}

// A bar on the terminal, redrawn when it grows; error lines are written above it.
class Progress
{
public:
    Progress(std::size_t total) : mTotal(total), mShown(total >= kProgressRows && isatty(fileno(stderr))) {}
    ~Progress() { clear(); }

    void update(std::size_t done)
    {
        if (!mShown)
            return;
        const int filled = static_cast<int>(done * kProgressWidth / mTotal);
        if (filled == mFilled && done != mTotal)
            return;
        mFilled = filled;
        std::fprintf(stderr, "\r[%s%s] %zu/%zu", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(kProgressWidth - filled), ' ').c_str(), done,
                     mTotal);
        std::fflush(stderr);
    }
    void clear()
    {
        if (mShown && mFilled >= 0)
            std::fprintf(stderr, "\r\033[K");
        mFilled = -1;
    }

private:
    std::size_t mTotal;
    bool mShown;
    int mFilled = -1;
};

int merge(const QStringList& argv, PaintingSupport& painting)
{
    const Arguments args(argv,
                         {QStringLiteral("out"), QStringLiteral("name"), QStringLiteral("locale"),
                          QStringLiteral("template"), QStringLiteral("format")},
                         {QStringLiteral("pdf"), QStringLiteral("force")});
    const QString listFile = args.single(QStringLiteral("CLIENTS.csv"));
    const QString folder = args.required(QStringLiteral("out"), QStringLiteral("--out"));
    const QLocale locale = localeOption(args);
    const std::optional<QString> formatName = args.value(QStringLiteral("format"));
    const OutputFormat* askedFormat = formatName ? formatNamed(*formatName) : nullptr;
    if (formatName && !askedFormat)
        throw UsageError{
            say(Text::kUnwrittenFormat, QStringLiteral("--format ") + *formatName).arg(writtenExtensions())};
    // --pdf is what --format pdf was before there was a choice.
    if (args.flag(QStringLiteral("pdf"))) {
        if (askedFormat && askedFormat->document)
            throw UsageError{say(Text::kExtraArgument, QStringLiteral("--pdf"))};
        askedFormat = &outputFormat(std::nullopt);
    }
    const bool force = args.flag(QStringLiteral("force"));
    const QString nameColumn = args.value(QStringLiteral("name")).value_or(QString());
    QElapsedTimer clock;
    clock.start();
    std::optional<agreement::TagTemplate> tagTemplate;
    try {
        tagTemplate = templateOption(args);
    } catch (const agreement::TemplateRefused& e) {
        return refused(*args.value(QStringLiteral("template")), e);
    }
    const agreement::TagTemplate* chosenTemplate = tagTemplate ? &*tagTemplate : nullptr;
    const OutputFormat& format =
        askedFormat ? *askedFormat
                    : outputFormat(agreement::FilledAgreement::formatsOf(chosenTemplate).front());
    checkWritten(format, chosenTemplate, QStringLiteral("--format ") + QLatin1String(format.extension + 1));

    // A missing folder is made, once the list has been read, but not the folders above it.
    const QFileInfo folderInfo(QDir::cleanPath(folder));
    const bool makeFolder = !folderInfo.exists() && !folderInfo.isSymLink();
    if (makeFolder && !QFileInfo(folderInfo.path()).isDir()) {
        err(say(Text::kNoFolder, folderInfo.path()));
        return kFailed;
    }
    if (!makeFolder && !folderInfo.isDir()) {
        err(say(Text::kNotAFolder, folder));
        return kFailed;
    }
    if (!makeFolder && !folderInfo.isWritable()) {
        err(say(Text::kUnwritableFolder, folder));
        return kFailed;
    }
    std::vector<std::uint8_t> list;
    agreement::ClientList::Columns columns;
    std::vector<QString> header;
    std::vector<agreement::CsvReader::Record> rows;
    const doc::WordDocument* blank = nullptr;
    try {
        blank = &agreement::Template::document();
        list = doc::fileio::readFile(fsPath(listFile), kMaxClientListBytes);
        agreement::CsvReader reader(
            QByteArrayView(reinterpret_cast<const char*>(list.data()), static_cast<qsizetype>(list.size())));
        if (reader.encoding() == agreement::CsvReader::Encoding::Windows1252)
            err(listFile + QStringLiteral(": ") + QLatin1String(Text::kReadAsWindows1252));
        agreement::CsvReader::Record record;
        if (!reader.next(record))
            throw agreement::ClientList::BadHeader(agreement::ClientList::Text::kEmpty);
        if (!record.error.isEmpty())
            throw agreement::ClientList::BadHeader(
                say(Text::kRowProblem, QString::number(record.row)).arg(record.error).toStdString());
        header = record.fields;
        columns = agreement::ClientList::columns(
            header, nameColumn, tagTemplate ? tagTemplate->wanted() : agreement::Wanted::everyField());
        while (reader.next(record))
            rows.push_back(std::move(record));
    } catch (const std::exception& e) {
        err(listFile + QStringLiteral(": ") + QString::fromUtf8(e.what()));
        return kFailed;
    }
    for (const QString& unknown : columns.unknown)
        err(listFile + QStringLiteral(": ") + say(Text::kUnknownColumn, unknown));
    if (makeFolder) {
        std::error_code error;
        std::filesystem::create_directory(fsPath(folder), error);
        if (error) {
            err(say(Text::kFolderNotMade, folder).arg(QString::fromLocal8Bit(error.message())));
            return kFailed;
        }
    }

    std::vector<agreement::ClientList::NamedRow> asked;
    asked.reserve(rows.size());
    for (const agreement::CsvReader::Record& row : rows) {
        const auto column = static_cast<std::size_t>(columns.name);
        asked.push_back({row.row, columns.name >= 0 && column < row.fields.size()
                                      ? agreement::ClientList::safeFileName(row.fields[column])
                                      : QString()});
    }
    const std::vector<QString> names = agreement::ClientList::fileNames(asked);

    std::size_t made = 0;
    std::size_t skipped = 0;
    std::size_t failed = 0;
    const QString suffix = QLatin1String(format.extension);
    const QDate signing = QDate::currentDate();
    Progress progress(rows.size());
    const auto report = [&](const QString& text) {
        progress.clear();
        err(listFile + QStringLiteral(": ") + text);
    };
    const auto particularsOf = [&](std::size_t i) {
        return agreement::ClientList::particulars(rows[i], columns, header, locale, dateOrder(args));
    };
    const auto targetOf = [&](std::size_t i) { return QDir(folder).filePath(names[i] + suffix); };
    // A row's agreement and what its turn tells, or the error it met, kept for its turn.
    struct Made {
        bool done = false;
        QByteArray bytes;
        QString undrawnWhere;
        std::exception_ptr error;
    };
    const auto fill = [&](std::size_t i) {
        agreement::Particulars particulars = std::get<agreement::Particulars>(particularsOf(i));
        if (!particulars.agreementDate.isValid())
            particulars.agreementDate = signing;
        return tagTemplate ? agreement::FilledAgreement(*tagTemplate, std::move(particulars), signing, locale)
                           : agreement::FilledAgreement(*blank, std::move(particulars), signing, locale);
    };
    // The agreements of rows first to end that are to be made. PDFs are made together, which saves Qt's
    // PDF engine embedding the same fonts in every one.
    const auto make = [&](std::size_t first, std::size_t end) {
        std::vector<Made> out(end - first);
        std::vector<agreement::FilledAgreement> filled;
        std::vector<Made*> pdfMade;
        for (std::size_t i = first; i < end; ++i) {
            if (!std::holds_alternative<agreement::Particulars>(particularsOf(i)) ||
                (!force && QFileInfo::exists(targetOf(i))))
                continue;
            Made& row = out[i - first];
            row.done = true;
            try {
                filled.push_back(fill(i));
                if (format.document)
                    row.bytes = agreementBytes(filled.back(), format, painting);
                else
                    pdfMade.push_back(&row);
            } catch (...) {
                row.error = std::current_exception();
            }
        }
        if (format.document || filled.empty())
            return out;
        try {
            std::vector<render::WrittenPdf> pdfs =
                agreement::FilledAgreement::pdfs(filled, QLatin1String(Product::kDocumentName));
            for (std::size_t k = 0; k < pdfs.size(); ++k) {
                pdfMade[k]->bytes = std::move(pdfs[k].bytes);
                if (!pdfs[k].undrawn.isEmpty())
                    pdfMade[k]->undrawnWhere = filled[k].undrawnWhere(pdfs[k].undrawn);
            }
        } catch (...) {
            for (Made* row : pdfMade)
                row->error = std::current_exception();
        }
        return out;
    };
    // The agreements are made on every core ahead of their rows' turns below, where each is told of and
    // published in order; the rows the loop leaves unmade are left by the workers too. Painting is set up
    // here, on the program's own thread.
    if (!format.document)
        painting.ensure();
    RowWorkers<Made> ahead(rows.size(), format.document ? 1 : kPdfBatch, make);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const agreement::CsvReader::Record& row = rows[i];
        progress.update(i);
        Made ready = ahead.take(i);
        const QString rowNumber = QString::number(row.row);
        const auto result = particularsOf(i);
        if (const auto* problem = std::get_if<agreement::ClientList::RowProblem>(&result)) {
            report(problem->column.isEmpty()
                       ? say(Text::kRowProblem, rowNumber).arg(problem->reason)
                       : say(Text::kRowColumnProblem, rowNumber).arg(problem->column, problem->reason));
            ++failed;
            continue;
        }
        const QString target = targetOf(i);
        if (!force && QFileInfo::exists(target)) {
            report(say(Text::kExists, target));
            ++skipped;
            continue;
        }
        try {
            // The file was there when the workers looked, and is gone.
            if (!ready.done)
                ready = std::move(make(i, i + 1).front());
            if (ready.error)
                std::rethrow_exception(ready.error);
            // Each file is whole once named; the disk is waited for once, at the end.
            if (force)
                doc::fileio::replaceFile(fsPath(target), byteSpan(ready.bytes),
                                         doc::fileio::Access::UsersFile, doc::fileio::Flush::Skip);
            else
                doc::fileio::publishFile(fsPath(target), byteSpan(ready.bytes),
                                         doc::fileio::Access::UsersFile, doc::fileio::Flush::Skip);
            ++made;
            if (!ready.undrawnWhere.isEmpty())
                report(say(Text::kUndrawn, target).arg(ready.undrawnWhere));
        } catch (const std::exception& e) {
            report(say(Text::kRowProblem, rowNumber).arg(QString::fromUtf8(e.what())));
            ++failed;
        }
    }
    doc::fileio::flushFileSystemOf(fsPath(folder));
    progress.update(rows.size());
    progress.clear();
    out(listFile + QStringLiteral(": ") +
        QString::fromUtf8(Text::kSummary)
            .arg(made)
            .arg(skipped)
            .arg(failed)
            .arg(QString::number(static_cast<double>(clock.nsecsElapsed()) / 1e9, 'f', 2)) +
        QLatin1Char('\n'));
    return failed == 0 && skipped == 0 ? kOk : kFailed;
}

} // namespace

int run(int argc, char** argv)
{
    QStringList args;
    for (int i = 2; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QString command = QString::fromLocal8Bit(argv[1]);
    if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
        args.contains(QLatin1String("--help"))) {
        out(usageText());
        return kOk;
    }
    if (command == QLatin1String("--version")) {
        out(QStringLiteral("brindlewick %1\n").arg(QLatin1String(BRINDLEWICK_VERSION)));
        return kOk;
    }
    doc::fileio::takeChargeOfTemporaries();
    PaintingSupport painting;
    try {
        if (command == QLatin1String("fill"))
            return fill(args, painting);
        if (command == QLatin1String("merge"))
            return merge(args, painting);
        if (command == QLatin1String("read"))
            return read(args);
        if (command == QLatin1String("template"))
            return templateCommand(args);
        throw UsageError{say(
            command.startsWith(QLatin1Char('-')) ? Text::kUnknownOption : Text::kUnknownCommand, command)};
    } catch (const UsageError& e) {
        err(e.text);
        err(QStringLiteral("try 'brindlewick --help'"));
        return kUsage;
    }
}

} // namespace cli
