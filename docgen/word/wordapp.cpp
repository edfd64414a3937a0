#include "word/wordapp.h"

#include <algorithm>

namespace word
{

void Range::CopyAsPicture()
{
    Application& app = mDocument.mApp;
    app.requireRunning();
    if (app.mPictures)
        app.mPictures(*mDocument.mContent);
}

Range Document::range()
{
    return Range(*this);
}

void Document::Close()
{
    mApp.requireRunning();
    std::erase_if(mApp.mDocuments, [this](const std::unique_ptr<Document>& d) { return d.get() == this; });
}

Application::Application(PictureSink pictures) : mPictures(std::move(pictures)) {}

Application::~Application() = default;

Document& Application::Open(const QString& name, Content content, bool readOnly)
{
    return Open(name, std::make_shared<const Content>(std::move(content)), readOnly);
}

Document& Application::Open(const QString& name, std::shared_ptr<const Content> content, bool readOnly)
{
    requireRunning();
    mDocuments.push_back(std::unique_ptr<Document>(new Document(*this, name, readOnly, std::move(content))));
    return *mDocuments.back();
}

Document& Application::ActiveDocument()
{
    requireRunning();
    if (mDocuments.empty())
        throw AutomationError("This command is not available because no document is open.");
    return *mDocuments.back();
}

void Application::Quit()
{
    requireRunning();
    mDocuments.clear();
    mRunning = false;
}

void Application::requireRunning() const
{
    if (!mRunning)
        throw AutomationError("The remote server machine does not exist or is unavailable");
}

} // namespace word
