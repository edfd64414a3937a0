#pragma once

#include "shell/platform.h"

#include <QString>

#include <exception>
#include <stdexcept>
#include <utility>

// A failure inside a handler step. Anything derived from std::exception is reported the
// same way; this type only carries a description made from a QString.
class StepFailure : public std::runtime_error
{
public:
    explicit StepFailure(const QString& description) : std::runtime_error(description.toStdString()) {}
};

// The "Application Error" convention of the larger handlers: each numbered step runs
// under a trap; a failing step is reported with its number and the handler goes on
// with the next step. A failure inside a procedure the step calls abandons the rest
// of that procedure, because the exception unwinds it up to the step.
class ErrorReport
{
public:
    ErrorReport(Platform& platform, QString formName, QString handlerName)
        : mPlatform(platform), mLocation(locationText(formName, handlerName))
    {
    }

    // Runs action as step number; returns false when it failed (and was reported).
    template <class Action> bool step(int number, Action&& action)
    {
        try {
            std::forward<Action>(action)();
            return true;
        } catch (const std::exception& e) {
            report(QString::fromUtf8(e.what()), number);
        } catch (...) {
            report(QStringLiteral("Unknown error"), number);
        }
        return false;
    }

    void report(const QString& description, int number);

    static QString locationText(const QString& formName, const QString& handlerName);
    static QString messageText(const QString& description, const QString& location, int number);
    static QString caption() { return QStringLiteral("Application Error"); }

private:
    Platform& mPlatform;
    QString mLocation;
};
