#include "word/wordapp.h"

#include "doc/error.h"
#include "render/pagepicture.h"

#include <QDir>
#include <QMimeData>

#include <algorithm>

namespace word
{

namespace
{

std::u16string toU16(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

// Engine errors reach the handlers as automation errors with the engine's description.
template <class Action> auto engineCall(Action&& action)
{
    try {
        return action();
    } catch (const doc::Error& e) {
        throw AutomationError(e.what());
    }
}

} // namespace

void Selection::TypeText(const QString& text)
{
    mApp.requireRunning();
    Document* document = mApp.mSelectionDocument;
    if (!document)
        throw AutomationError("There is no selection to type into.");
    const std::uint32_t typed =
        engineCall([&] { return document->mContent.insertText(mApp.mSelectionPoint, toU16(text)); });
    mApp.mSelectionPoint += typed;
}

void Range::Select()
{
    Application& app = mDocument.mApp;
    app.requireRunning();
    if (mStart > mEnd || mStart >= mDocument.mContent.mainTextLength())
        throw AutomationError("The requested member of the collection does not exist.");
    app.mSelectionDocument = &mDocument;
    app.mSelectionPoint = mStart;
}

void Range::CopyAsPicture()
{
    Application& app = mDocument.mApp;
    app.requireRunning();
    const doc::ReadModel model = engineCall([&] { return mDocument.mContent.readModel(); });
    std::unique_ptr<QMimeData> data = render::pictureToMimeData(render::renderPage(model));
    if (app.mClipboard)
        app.mClipboard(std::move(data));
}

Range Document::range(std::uint32_t start, std::uint32_t end)
{
    return Range(*this, start, end);
}

Range Document::range()
{
    return Range(*this, 0, mContent.mainTextLength());
}

void Document::SaveAs(const QString& path)
{
    mApp.requireRunning();
    // Working documents hold names and prices: for the user's eyes only. Save copies them
    // to the user's file, which is the copy flushed to disk.
    engineCall([&] {
        mContent.save(std::filesystem::path(path.toStdU16String()), doc::fileio::Access::OwnerOnly,
                      doc::fileio::Flush::Skip);
    });
    mPath = path;
    mReadOnly = false;
}

void Document::Close()
{
    mApp.requireRunning();
    mApp.closeDocument(*this);
}

Application::Application(ClipboardSink clipboard) : mClipboard(std::move(clipboard)) {}

Application::~Application() = default;

namespace
{

// The engine's reason alone ("not a compound file") would not say which file it means.
doc::WordDocument parseNamed(std::span<const std::uint8_t> bytes, const QString& path)
{
    try {
        return doc::WordDocument::parse(bytes);
    } catch (const doc::Error& e) {
        throw AutomationError(QStringLiteral("%1: %2")
                                  .arg(QDir::toNativeSeparators(path), QString::fromUtf8(e.what()))
                                  .toStdString());
    }
}

} // namespace

Document& Application::Open(const QString& path, bool readOnly)
{
    requireRunning();
    const std::vector<std::uint8_t> bytes = engineCall([&] {
        return doc::fileio::readFile(std::filesystem::path(path.toStdU16String()), kMaxDocumentBytes,
                                     doc::fileio::Links::Refuse);
    });
    return Open(path, parseNamed(bytes, path), readOnly);
}

Document& Application::Open(const QString& name, doc::WordDocument content, bool readOnly)
{
    requireRunning();
    mDocuments.push_back(std::unique_ptr<Document>(new Document(*this, name, readOnly, std::move(content))));
    Document& document = *mDocuments.back();
    mSelectionDocument = &document;
    mSelectionPoint = 0;
    return document;
}

Document& Application::ActiveDocument()
{
    requireRunning();
    if (mDocuments.empty())
        throw AutomationError("This command is not available because no document is open.");
    return *mDocuments.back();
}

Selection& Application::selection()
{
    requireRunning();
    return mSelection;
}

void Application::Quit()
{
    requireRunning();
    mDocuments.clear();
    mSelectionDocument = nullptr;
    mRunning = false;
}

void Application::requireRunning() const
{
    if (!mRunning)
        throw AutomationError("The remote server machine does not exist or is unavailable");
}

void Application::closeDocument(Document& document)
{
    if (mSelectionDocument == &document)
        mSelectionDocument = nullptr;
    std::erase_if(mDocuments, [&](const std::unique_ptr<Document>& d) { return d.get() == &document; });
}

} // namespace word
