#include "shell/errorreport.h"
#include "product/product.h"

QString ErrorReport::locationText(const QString& formName, const QString& handlerName)
{
    return QStringLiteral("in %1.%2.%3 ").arg(QLatin1String(Product::kProjectTag), formName, handlerName);
}

QString ErrorReport::messageText(const QString& description, const QString& location, int number)
{
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ") +
           QString::number(number) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to ") +
           QLatin1String(Product::kSupportEmail);
}

void ErrorReport::report(const QString& description, int number)
{
    mPlatform.showMessage(messageText(description, mLocation, number), caption(), Platform::Icon::Warning);
}
