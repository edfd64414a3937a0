#include "app/templatefilling.h"

#include "agreement/agreementtemplate.h"
#include "agreement/insertions.h"
#include "app/form1.h"
#include "app/insertionplan.h"
#include "doc/fileio.h"
#include "preview/form2.h"
#include "render/pagepicture.h"
#include "render/units.h"
#include "shell/errorreport.h"
#include "shell/workingfiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLocale>
#include <QMimeData>
#include <QPainter>
#include <QWidget>

namespace
{

constexpr char kTemplateFile[] = "template.doc";
constexpr char kPictureFile[] = "temp.bmp";

// What a call on an automation object that was never created fails with.
[[noreturn]] void noObject()
{
    throw StepFailure(QStringLiteral("Object variable or With block variable not set"));
}

// The main text as a screen reader reads it: paragraphs and line breaks as new lines,
// anchors and field marks left out.
QString readableText(const std::u16string& text)
{
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()));
    for (const char16_t c : text) {
        if (c == u'\r' || c == 0x0B)
            out += QLatin1Char('\n');
        else if (c == u'\t' || c >= 0x20)
            out += QChar(c);
    }
    return out.trimmed();
}

} // namespace

QByteArray templateResource()
{
    try {
        return agreement::Template::bytes();
    } catch (const std::exception&) {
        throw StepFailure(QStringLiteral("Resource with identifier '101' not found"));
    }
}

CheckedTemplate templateFit(const QString& path, const QByteArray& builtIn)
{
    try {
        const std::vector<std::uint8_t> bytes = doc::fileio::readFile(
            filePath(path), word::Application::kMaxDocumentBytes, doc::fileio::Links::Refuse);
        if (std::equal(bytes.begin(), bytes.end(), builtIn.begin(), builtIn.end()))
            return {TemplateFit::BuiltIn, std::nullopt};
        doc::WordDocument document = doc::WordDocument::parse(bytes);
        if (!agreement::Template::fits(document))
            return {TemplateFit::Unfit, std::nullopt};
        return {TemplateFit::Fits, std::move(document)};
    } catch (const std::exception&) {
        return {TemplateFit::Unfit, std::nullopt};
    }
}

TemplateFilling::WordFactory engineWordFactory()
{
    return [](word::Application::PictureSink pictures) -> std::unique_ptr<word::Application> {
        // The engine's self-test, opening the template it ships, gives the same answer all run long.
        static const bool templateOpens = [] {
            try {
                agreement::Template::document();
                return true;
            } catch (const std::exception&) {
                return false;
            }
        }();
        if (!templateOpens)
            throw StepFailure(QStringLiteral("ActiveX component can't create object"));
        return std::make_unique<word::Application>(std::move(pictures));
    };
}

TemplateFilling::TemplateFilling(Form1& form1, Platform& platform, WordFactory wordFactory,
                                 PreviewFactory previewFactory)
    : mForm1(form1), mPlatform(platform), mWordFactory(std::move(wordFactory)),
      mPreviewFactory(std::move(previewFactory))
{
}

TemplateFilling::~TemplateFilling() = default;

Form2& TemplateFilling::form2()
{
    if (!mForm2)
        mForm2 = mPreviewFactory();
    return *mForm2;
}

void TemplateFilling::PushButton22_Click()
{
    ErrorReport report(mPlatform, QStringLiteral("Form1"), QStringLiteral("PushButton22_Click"));
    std::unique_ptr<word::Application> wordApp;
    word::Document* document = nullptr;
    auto app = [&]() -> word::Application& {
        if (!wordApp)
            noObject();
        return *wordApp;
    };
    auto activeDocument = [&]() -> word::Document& {
        if (!document)
            noObject();
        return *document;
    };

    QByteArray templateBytes;
    QString templatePath;
    // A template of tags is filled as it was chosen: no "template.doc" of the working folder, no typing.
    const std::shared_ptr<const agreement::TagTemplate> tagTemplate = mForm1.tagTemplate();
    report.step(100, [&] { mForm1.mousePointer().set(MousePointer::Busy); });
    report.step(102, [&] { templateBytes = templateResource(); });
    if (!tagTemplate) {
        report.step(104, [&] {
            templatePath = workingPath(QLatin1String(kTemplateFile));
            // A dangling link makes no file "exist", yet the name is taken all the same.
            if (!FileExists(templatePath) && !QFileInfo(templatePath).isSymLink())
                WriteBytesToFile(templateBytes, templatePath);
        });
    }
    report.step(106, [&] { wordApp = mWordFactory({}); });
    // In a shared temporary folder another user may have planted the template: only a file
    // of ours that no one else can change is used; otherwise the template comes straight
    // from the resources, and the planted file is left alone. So is a file of the user's
    // own that is not a template the insertions fit.
    bool templateIsOurs = false;
    if (!tagTemplate) {
        report.step(108, [&] {
            templateIsOurs = doc::fileio::isPrivateFile(filePath(templatePath));
            CheckedTemplate checked = templateIsOurs ? templateFit(templatePath, templateBytes)
                                                     : CheckedTemplate{TemplateFit::Unfit, std::nullopt};
            if (templateIsOurs && checked.fit == TemplateFit::Unfit) {
                templateIsOurs = false;
                if (!std::exchange(mUnusableTemplateNoted, true))
                    mPlatform.showMessage(QString::fromLatin1(kUnusableTemplateNote)
                                              .arg(QDir::toNativeSeparators(templatePath)),
                                          mForm1.appTitle(), Platform::Icon::None);
            }
            // The file is not read again: what is filled is the document that was checked, whatever
            // the file holds by now. A file holding the program's own template byte for byte opens
            // as the resource, whose parse is kept for the run.
            if (templateIsOurs && checked.fit == TemplateFit::Fits)
                document = &app().Open(templatePath, std::move(*checked.document), true);
            else
                document = &app().Open(QLatin1String(agreement::Template::kResource),
                                       agreement::Template::document(), true);
        });
    }

    // The particulars as the boxes show them (110 to 124) and the signing date (126, 128);
    // their twelve texts are the agreement's.
    agreement::Particulars particulars;
    QDate signingDate;
    report.step(110, [&] { particulars = mForm1.particulars(); });
    report.step(126, [&] { signingDate = mPlatform.today(); });

    // The agreement is filled as the command line fills it. The 16-bit counters are kept as the
    // steps report them, an overflow included; the texts go in at their true positions, so a long
    // particular does not cost the agreement its price, payments, date or signatures.
    std::int16_t runningLength = 0;
    const auto typing = [&](std::size_t k, const agreement::Insertion& insertion,
                            const std::function<void()>& type) {
        const InsertionPlan::Lines lines = InsertionPlan::lines(k);
        const auto length = static_cast<int>(insertion.typedLength);
        if (k == 0) {
            report.step(lines.position, [&] { runningLength = 0; });
            report.step(lines.runningLength, [&] { runningLength = Counter16::add(0, length); });
        } else {
            report.step(lines.position,
                        [&] { Counter16::add(runningLength, static_cast<int>(insertion.base)); });
            report.step(lines.runningLength, [&] { runningLength = Counter16::add(runningLength, length); });
        }
        report.step(lines.typeText, type);
    };
    std::shared_ptr<const agreement::FilledAgreement> filled;
    if (tagTemplate) {
        // Filled in one step, at the typing's first line; the filled agreement is the document open.
        report.step(InsertionPlan::lines(0).position, [&] {
            filled = std::make_shared<const agreement::FilledAgreement>(*tagTemplate, particulars,
                                                                        signingDate, QLocale());
            document = &app().Open(tagTemplate->name(), filled->engine(), true);
        });
    } else if (document) {
        filled = std::make_shared<const agreement::FilledAgreement>(
            std::get<doc::WordDocument>(document->content()), particulars, signingDate, QLocale(), typing);
    } else {
        const agreement::Insertions planned = agreement::insertions(particulars, signingDate, QLocale());
        for (std::size_t k = 0; k < planned.size(); ++k)
            typing(k, planned[k], [] { noObject(); });
    }
    const auto filledAgreement = [&]() -> const agreement::FilledAgreement& {
        if (!filled)
            noObject();
        return *filled;
    };

    QString workingDocument;
    // The working document is in the agreement's own format: an own .docx template's is a .docx.
    report.step(InsertionPlan::kFirstLineAfterTyping, [&] {
        workingDocument =
            drawWorkingDocumentName(filled ? filled->document().format() : agreement::DocumentFormat::Doc);
    });
    // Held from the moment the document is written, so that another copy's clean-up leaves it alone.
    WorkingFileLock workingDocumentLock;
    report.step(270, [&] {
        // Working documents hold names and prices: for the user's eyes only. Save copies the
        // agreement to the user's file, which is the copy flushed to disk.
        doc::fileio::replaceFile(filePath(workingDocument), filledAgreement().bytes(),
                                 doc::fileio::Access::OwnerOnly, doc::fileio::Flush::Skip);
        workingDocumentLock = WorkingFileLock(workingDocument);
    });
    report.step(272, [&] { app().setDisplayAlerts(false); });
    report.step(274, [&] {
        word::Document& open = activeDocument();
        document = nullptr;
        open.Close();
    });
    report.step(276, [&] { app().Quit(); });
    report.step(278, [&] { document = nullptr; });
    report.step(280, [&] { wordApp.reset(); });

    std::optional<render::PagePicture> picture;
    report.step(282, [&] { picture = SaveDocAsJPG(filledAgreement(), workingDocument); });
    report.step(284, [&] { mForm1.mousePointer().set(MousePointer::Default); });
    // The agreement's own picture, not what "temp.bmp" holds by now: another running copy
    // writes the same name. Without a picture the preview shows an empty page, never an
    // earlier agreement.
    report.step(286, [&] {
        form2().placePicture(picture.value_or(render::PagePicture()),
                             filled ? readableText(filled->document().mainText()) : QString());
    });
    report.step(288, [&] {
        form2().mWordFile = workingDocument;
        form2().mWordFileLock = std::move(workingDocumentLock);
        form2().setAgreement(filled);
    });
    report.step(290, [&] { form2().show(); });
    report.step(292, [&] { mForm1.hide(); });
    report.step(294, [&] {
        const QString picturePath = workingPath(QLatin1String(kPictureFile));
        if (!doc::fileio::isAnotherUsers(filePath(picturePath)))
            DeleteFileQuietly(picturePath);
    });
    if (templateIsOurs)
        report.step(296, [&] { DeleteFileQuietly(workingPath(QLatin1String(kTemplateFile))); });
}

void TemplateFilling::prepare(const QString& programDirectory)
{
    try {
        QWidget probe;
        probe.setAttribute(Qt::WA_DontShowOnScreen);
        probe.winId();
        probe.setCursor(Qt::WaitCursor);
        const render::PagePicture picture = render::renderPage(agreement::Template::document().readModel());
        const qreal ratio = mForm1.devicePixelRatioF();
        QImage top(QSize(render::roundTwipsToPixels(render::kViewportInnerSize.width),
                         render::roundTwipsToPixels(render::kViewportInnerSize.height)) *
                       ratio,
                   QImage::Format_RGB32);
        top.setDevicePixelRatio(ratio);
        QPainter painter(&top);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        picture.paint(painter, QRectF(QPointF(0, 0), top.deviceIndependentSize()));
        painter.end();
        if (WindowPointer::loadsQuietly(programDirectory))
            form2().winId();
    } catch (const std::exception&) {
    }
}

QString TemplateFilling::drawWorkingDocumentName(agreement::DocumentFormat format)
{
    for (int draw = 0; draw < kMaxNameDraws; ++draw) {
        QString name = QStringLiteral("vellum");
        for (int digit = 0; digit < 8; ++digit)
            name += QChar(u'1' + static_cast<int>(mPlatform.randomFraction() * 9));
        const QString path = workingPath(name + QLatin1String(agreement::extension(format)));
        if (!FileExists(path))
            return path;
    }
    throw StepFailure(QStringLiteral("No free name for the working document in %1").arg(temporaryFolder()));
}

std::optional<render::PagePicture> TemplateFilling::SaveDocAsJPG(const agreement::FilledAgreement& filled,
                                                                 const QString& path)
{
    ErrorReport report(mPlatform, QStringLiteral("Form1"), QStringLiteral("SaveDocAsJPG"));
    std::unique_ptr<word::Application> wordApp;
    auto app = [&]() -> word::Application& {
        if (!wordApp)
            noObject();
        return *wordApp;
    };
    // The document copied is the agreement's, so its picture is the agreement's, laid out once.
    report.step(116, [&] {
        wordApp = mWordFactory(
            [this, &filled](const word::Content&) { mPlatform.setClipboard(filled.pictureMimeData()); });
    });
    report.step(118, [&] { app().Open(path, filled.engine()); });
    report.step(120, [&] { app().ActiveDocument().range().CopyAsPicture(); });
    std::optional<render::PagePicture> picture;
    report.step(122, [&] {
        picture = filled.picture();
        // The preview shows the picture kept here, whatever becomes of the file. Another
        // user's file at the name in a shared folder is theirs: left as it is, without a word.
        const QString picturePath = workingPath(QLatin1String(kPictureFile));
        if (!doc::fileio::isAnotherUsers(filePath(picturePath)))
            render::savePictureFile(*picture, picturePath);
    });
    report.step(124, [&] { app().ActiveDocument().Close(); });
    report.step(126, [&] { app().Quit(); });
    return picture;
}
