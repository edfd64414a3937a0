#pragma once

#include "shell/platform.h"

#include <QMimeData>
#include <QPrinter>
#include <QStringList>

#include <deque>
#include <functional>

// Records every effect and answers from scripted queues; never blocks, never opens anything.
class FakePlatform final : public Platform
{
public:
    struct Message {
        QString text;
        QString caption;
        Icon icon;
    };

    struct Question {
        QString text;
        QString caption;
        Answer defaultAnswer;
    };

    std::vector<Message> messages;
    std::vector<QString> questions;
    std::vector<Question> askedQuestions; // the same questions with caption and default button
    std::deque<bool> yesNoAnswers;        // default Yes when empty
    std::deque<QString> saveFileAnswers;  // default cancel (empty) when empty
    std::vector<SaveDialog> saveDialogs;
    std::deque<QString> openFileAnswers; // default cancel (empty) when empty
    std::vector<OpenDialog> openDialogs;
    std::vector<QUrl> openedUrls;
    QString printToFile; // the print dialog's printer writes a PDF here; empty: cancelled
    int printDialogs = 0;
    std::vector<QStringList> menus;
    int menuChoice = -1;             // the item every menu answers with
    std::deque<double> randomValues; // default 0.5 when empty
    QDate todayValue = QDate(2022, 4, 23);
    int endProgramCalls = 0;
    std::unique_ptr<QMimeData> clipboardData;
    std::function<void(const Message&)> onMessage; // runs while the "box" is open

    void showMessage(const QString& text, const QString& caption, Icon icon) override
    {
        messages.push_back({text, caption, icon});
        if (onMessage)
            onMessage(messages.back());
    }
    bool askYesNo(const QString& text, const QString& caption, Answer defaultAnswer) override
    {
        questions.push_back(text);
        askedQuestions.push_back({text, caption, defaultAnswer});
        if (yesNoAnswers.empty())
            return true;
        const bool answer = yesNoAnswers.front();
        yesNoAnswers.pop_front();
        return answer;
    }
    QString getSaveFileName(const SaveDialog& dialog) override
    {
        saveDialogs.push_back(dialog);
        if (saveFileAnswers.empty())
            return QString();
        QString answer = saveFileAnswers.front();
        saveFileAnswers.pop_front();
        return answer;
    }
    QString getOpenFileName(const OpenDialog& dialog) override
    {
        openDialogs.push_back(dialog);
        if (openFileAnswers.empty())
            return QString();
        QString answer = openFileAnswers.front();
        openFileAnswers.pop_front();
        return answer;
    }
    bool choosePrinter(QPrinter& printer) override
    {
        ++printDialogs;
        if (!printToFile.isEmpty()) {
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(printToFile);
        }
        return !printToFile.isEmpty();
    }
    int chooseFromMenu(const QStringList& items, const QPoint&) override
    {
        menus.push_back(items);
        return menuChoice;
    }
    void setClipboard(std::unique_ptr<QMimeData> data) override { clipboardData = std::move(data); }
    QDate today() override { return todayValue; }
    double randomFraction() override
    {
        if (randomValues.empty())
            return 0.5;
        const double value = randomValues.front();
        randomValues.pop_front();
        return value;
    }
    void openUrl(const QUrl& url) override { openedUrls.push_back(url); }
    void endProgram() override { ++endProgramCalls; }

    QStringList messageTexts() const
    {
        QStringList out;
        for (const Message& m : messages)
            out << m.text;
        return out;
    }
};
