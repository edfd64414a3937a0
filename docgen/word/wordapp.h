#pragma once

#include "doc/worddocument.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QMimeData;

// The automation interface the program drives to fill and picture its documents. Its
// operations are the ones the program asks of a word processor (Documents.Open,
// Range.Select, Selection.TypeText, SaveAs, Close, Quit, Range.CopyAsPicture), so the
// handlers read like the automation they describe; behind them stands our own engine.
namespace word
{

class Application;
class Document;

// Failures of the automation carry a readable description, as an automation server's would.
class AutomationError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class Selection
{
public:
    // Types text at the insertion point, which then stands after the typed text.
    void TypeText(const QString& text);

private:
    friend class Application;
    friend class Range;
    explicit Selection(Application& app) : mApp(app) {}
    Application& mApp;
};

class Range
{
public:
    // Collapses the selection to this range's start: the insertion point moves there.
    void Select();
    // Puts a picture of the range's page onto the clipboard.
    void CopyAsPicture();

private:
    friend class Document;
    Range(Document& document, std::uint32_t start, std::uint32_t end)
        : mDocument(document), mStart(start), mEnd(end)
    {
    }
    Document& mDocument;
    std::uint32_t mStart;
    std::uint32_t mEnd;
};

class Document
{
public:
    Range range(std::uint32_t start, std::uint32_t end);
    Range range(); // the whole main text
    Application& application() { return mApp; }
    void SaveAs(const QString& path);
    // Unsaved changes are discarded: the engine has no one to ask.
    void Close();
    bool readOnly() const { return mReadOnly; }
    const QString& path() const { return mPath; }
    const doc::WordDocument& content() const { return mContent; }

private:
    friend class Application;
    friend class Range;
    friend class Selection;
    Document(Application& app, QString path, bool readOnly, doc::WordDocument content)
        : mApp(app), mPath(std::move(path)), mReadOnly(readOnly), mContent(std::move(content))
    {
    }
    Application& mApp;
    QString mPath;
    bool mReadOnly;
    doc::WordDocument mContent;
};

class Application
{
public:
    using ClipboardSink = std::function<void(std::unique_ptr<QMimeData>)>;

    // clipboard receives what CopyAsPicture copies.
    explicit Application(ClipboardSink clipboard);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Documents.Open. The file is read whole; opening read-only never writes it. Every file
    // the program opens is one of its working files, so a link at the name is refused, a
    // FIFO does not block, and a file over kMaxDocumentBytes is refused unread.
    Document& Open(const QString& path, bool readOnly = false);
    // Opens content, a document already read and parsed, under name; nothing is read.
    Document& Open(const QString& name, doc::WordDocument content, bool readOnly = false);
    // Many times an agreement, however long its particulars.
    static constexpr std::size_t kMaxDocumentBytes = std::size_t{16} << 20;
    // The document opened last and not yet closed.
    Document& ActiveDocument();
    Selection& selection();
    void setDisplayAlerts(bool on) { mDisplayAlerts = on; }
    bool displayAlerts() const { return mDisplayAlerts; }
    // Closes every open document without saving; later calls fail like calls into an ended server.
    void Quit();

private:
    friend class Document;
    friend class Range;
    friend class Selection;
    void requireRunning() const;
    void closeDocument(Document& document);

    ClipboardSink mClipboard;
    std::vector<std::unique_ptr<Document>> mDocuments;
    Document* mSelectionDocument = nullptr;
    std::uint32_t mSelectionPoint = 0;
    Selection mSelection{*this};
    bool mDisplayAlerts = true;
    bool mRunning = true;
};

} // namespace word
