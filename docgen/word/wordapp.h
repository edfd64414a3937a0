#pragma once

#include "doc/worddocument.h"
#include "docx/docxdocument.h"

#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>
#include <variant>
#include <vector>

// The automation interface the program drives around its documents. Its operations are the ones the
// program asks of a word processor (Documents.Open, Range.CopyAsPicture, Close, Quit), so the handlers
// read like the automation they describe; behind them stands our own engine. It knows documents, not
// pictures: what a copy as picture shows is drawn by whoever receives it.
namespace word
{

class Application;
class Document;

// What a document holds: a Word 97-2003 document or an Office Open XML one, as the engine read it.
using Content = std::variant<doc::WordDocument, docx::DocxDocument>;

// Failures of the automation carry a readable description, as an automation server's would.
class AutomationError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class Range
{
public:
    // Hands the range's document to the application's picture sink, which puts its picture on the
    // clipboard.
    void CopyAsPicture();

private:
    friend class Document;
    explicit Range(Document& document) : mDocument(document) {}
    Document& mDocument;
};

class Document
{
public:
    Range range(); // the whole main text
    // Unsaved changes are discarded: the engine has no one to ask.
    void Close();
    bool readOnly() const { return mReadOnly; }
    const QString& path() const { return mPath; }
    const Content& content() const { return *mContent; }

private:
    friend class Application;
    friend class Range;
    Document(Application& app, QString path, bool readOnly, std::shared_ptr<const Content> content)
        : mApp(app), mPath(std::move(path)), mReadOnly(readOnly), mContent(std::move(content))
    {
    }
    Application& mApp;
    QString mPath;
    bool mReadOnly;
    std::shared_ptr<const Content> mContent;
};

class Application
{
public:
    using PictureSink = std::function<void(const Content&)>;

    // pictures receives what CopyAsPicture copies.
    explicit Application(PictureSink pictures = {});
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Documents.Open of content, a document already read and parsed, under name; nothing is read.
    Document& Open(const QString& name, Content content, bool readOnly = false);
    // The same, sharing content with whoever holds it: no document is copied.
    Document& Open(const QString& name, std::shared_ptr<const Content> content, bool readOnly = false);
    // Many times an agreement, however long its particulars: the largest document file worth reading.
    static constexpr std::size_t kMaxDocumentBytes = std::size_t{16} << 20;
    // The document opened last and not yet closed.
    Document& ActiveDocument();
    void setDisplayAlerts(bool on) { mDisplayAlerts = on; }
    bool displayAlerts() const { return mDisplayAlerts; }
    // Closes every open document without saving; later calls fail like calls into an ended server.
    void Quit();

private:
    friend class Document;
    friend class Range;
    void requireRunning() const;

    PictureSink mPictures;
    std::vector<std::unique_ptr<Document>> mDocuments;
    bool mDisplayAlerts = true;
    bool mRunning = true;
};

} // namespace word
