#include "core/failurereport.h"

#include "core/apptitle.h"
#include "core/messagebox.h"

#include <stdexcept>

namespace tessivane {

QString locationText(const char* object, const char* procedure)
{
    return QStringLiteral("in Tessivane2021/08/31.%1.%2 ")
        .arg(QString::fromLatin1(object), QString::fromLatin1(procedure));
}

QString failureMessage(const QString& description, const QString& location, int line)
{
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ")
        + QString::number(line) + QStringLiteral("\r\r")
        + QStringLiteral("Please email screenshot of this message to ")
        + QString::fromLatin1(kSupportAddress);
}

void reportFailure(
    const MessageBoxes& boxes, const QString& description, const QString& location, int line)
{
    boxes.MsgBox(failureMessage(description, location, line), vbExclamation,
        QStringLiteral("Application Error"));
}

QString currentFailureDescription()
{
    try {
        throw;
    } catch (const std::exception& e) {
        const QString text = QString::fromUtf8(e.what());
        return text.isEmpty() ? QStringLiteral("Unknown failure.") : text;
    } catch (...) {
        return QStringLiteral("Unknown failure.");
    }
}

Steps::Steps(const MessageBoxes& boxes, const char* object, const char* procedure)
    : mBoxes(boxes)
    , mLocation(locationText(object, procedure))
{ }

void Steps::report() noexcept
{
    ++mFailures;
    try {
        QString description = currentFailureDescription();
        const QString cause = mCause ? mCause() : QString();
        if (!cause.isEmpty() && !description.startsWith(QLatin1String("The disk holding ")))
            description = cause + QLatin1Char(' ') + description;
        reportFailure(mBoxes, description, mLocation, mLine);
    } catch (...) {
        // The report itself must never end the program.
    }
}

} // namespace tessivane
