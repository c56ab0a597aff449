#include "core/failurereport.h"

#include "core/apptitle.h"
#include "core/messagebox.h"

#include <stdexcept>

namespace tessivane {

QString LocationText(const char* object, const char* procedure)
{
    return QStringLiteral("in Tessivane2021/08/31.%1.%2 ")
        .arg(QString::fromLatin1(object), QString::fromLatin1(procedure));
}

QString FailureMessage(const QString& description, const QString& location, int line)
{
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ")
        + QString::number(line) + QStringLiteral("\r\r")
        + QStringLiteral("Please email screenshot of this message to ")
        + QString::fromLatin1(kSupportAddress);
}

void ReportFailure(const QString& description, const QString& location, int line)
{
    MsgBox(FailureMessage(description, location, line), vbExclamation,
        QStringLiteral("Application Error"));
}

QString CurrentFailureDescription()
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

Steps::Steps(const char* object, const char* procedure)
    : mLocation(LocationText(object, procedure))
{ }

void Steps::report() noexcept
{
    ++mFailures;
    try {
        ReportFailure(CurrentFailureDescription(), mLocation, mLine);
    } catch (...) {
        // The report itself must never end the program.
    }
}

} // namespace tessivane
