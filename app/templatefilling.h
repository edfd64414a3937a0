#pragma once

#include "agreement/filledagreement.h"
#include "shell/platform.h"
#include "shell/workingfiles.h"
#include "word/wordapp.h"

#include "render/pagepicture.h"
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class Form1;
class Form2;

// "Start Creating Template": fills the template the program carries with the main
// window's particulars into one agreement, saves it as the working document, pictures its page
// and swaps the main window for the preview. Also the page picture export it calls.
class TemplateFilling
{
public:
    // Starts a new instance of the automation engine, whose copies as picture go to the sink given;
    // throws when none can be started.
    using WordFactory = std::function<std::unique_ptr<word::Application>(word::Application::PictureSink)>;
    // Creates the preview window the first time it is needed.
    using PreviewFactory = std::function<std::unique_ptr<Form2>()>;

    TemplateFilling(Form1& form1, Platform& platform, WordFactory wordFactory, PreviewFactory previewFactory);
    ~TemplateFilling();

    void PushButton22_Click();
    // Makes ready, without anything the user could notice, what the first click would
    // otherwise wait for: the wait cursor read from its theme, the page fonts matched and
    // their glyphs drawn with the template laid out once, and the preview window made hidden
    // when making it has nothing to report. Never throws.
    void prepare(const QString& programDirectory);
    // Gives the clipboard the agreement's page picture and writes it to "temp.bmp" in the temporary
    // folder; path is the agreement's working document. Returns the picture, or nullopt when none was made.
    std::optional<render::PagePicture> SaveDocAsJPG(const agreement::FilledAgreement& filled,
                                                    const QString& path);

    // The preview window, once the first run has created it.
    Form2* preview() const { return mForm2.get(); }

    static constexpr int kMaxNameDraws = 1000;
    // Said once a run when the user's own "template.doc" (%1, its path) cannot be filled.
    static constexpr char kUnusableTemplateNote[] =
        "%1 is not a template this program can fill, so the agreement was made from the program's own "
        "template. The file was left as it is.";

private:
    Form2& form2();
    QString drawWorkingDocumentName(agreement::DocumentFormat format);

    Form1& mForm1;
    Platform& mPlatform;
    WordFactory mWordFactory;
    PreviewFactory mPreviewFactory;
    std::unique_ptr<Form2> mForm2;
    bool mUnusableTemplateNoted = false;
};

// The engine as the program starts it: its self-test is opening the template it ships.
TemplateFilling::WordFactory engineWordFactory();
// The template resource's bytes; throws when it is missing or unreadable.
QByteArray templateResource();
// How a "template.doc" suits the filling: builtIn byte for byte; another Word document
// within the engine's size bound whose text, as far as the insertions reach, is the
// template's; or neither.
enum class TemplateFit { BuiltIn, Fits, Unfit };
struct CheckedTemplate {
    TemplateFit fit;
    std::optional<doc::WordDocument> document; // the file as parsed, when it Fits
};
CheckedTemplate templateFit(const QString& path, const QByteArray& builtIn);
