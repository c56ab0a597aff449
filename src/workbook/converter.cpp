#include "workbook/converter.h"

#include "workbook/officedesktop.h"
#include "workbook/spreadsheet.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QUrl>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>

namespace tessivane {

namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;

struct Kind
{
    const char* extension;
    const char* filter;
};

// The PDF export prints with the document's own page styles: the template's paper,
// orientation, scaling and print titles.
constexpr Kind kKinds[] = {
    {"pdf", "calc_pdf_Export"},
    {"xlsx", "Calc MS Excel 2007 XML"},
    {"ods", "calc8"},
};

[[noreturn]] void Fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

const Kind& KindOf(const QString& target)
{
    const QString suffix = QFileInfo(target).suffix();
    for (const Kind& kind : kKinds)
        if (suffix.compare(QLatin1String(kind.extension), Qt::CaseInsensitive) == 0)
            return kind;
    Fail(QStringLiteral("%1 cannot be written: only .pdf, .xlsx and .ods files are converted.")
             .arg(target));
}

rtl::OUString FileUrl(const QString& path)
{
    const QString url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString();
    return rtl::OUString(reinterpret_cast<const sal_Unicode*>(url.utf16()), url.size());
}

css::beans::PropertyValue Property(const char* name, const Any& value)
{
    css::beans::PropertyValue property;
    property.Name = rtl::OUString::createFromAscii(name);
    property.Value = value;
    return property;
}

/// The permissions a new file of this user gets, or those of the file it replaces.
QFile::Permissions PermissionsFor(const QString& target)
{
    if (QFileInfo::exists(target))
        return QFile::permissions(target);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    const mode_t mode = 0666 & ~mask;
    QFile::Permissions permissions;
    if (mode & S_IRUSR)
        permissions |= QFile::ReadOwner | QFile::ReadUser;
    if (mode & S_IWUSR)
        permissions |= QFile::WriteOwner | QFile::WriteUser;
    if (mode & S_IRGRP)
        permissions |= QFile::ReadGroup;
    if (mode & S_IWGRP)
        permissions |= QFile::WriteGroup;
    if (mode & S_IROTH)
        permissions |= QFile::ReadOther;
    if (mode & S_IWOTH)
        permissions |= QFile::WriteOther;
    return permissions;
}

/// The instance and its one document; both go when the conversion ends, however it ends.
class Conversion
{
public:
    Conversion()
        : mApplication(CreateApplication())
    { }
    ~Conversion()
    {
        // Ending well here changes nothing about the file written: failures only mean that
        // the instance is ended the hard way, as dropping it does.
        try {
            if (mDocument.is())
                CallOnDesktop(*mApplication, QStringLiteral("close the workbook"),
                    [&](const auto&) { mDocument->close(true); });
        } catch (...) { }
        try {
            mApplication->Quit();
        } catch (...) { }
    }

    void open(const QString& workbook)
    {
        CallOnDesktop(*mApplication, QStringLiteral("open %1").arg(workbook),
            [&](const Reference<css::frame::XDesktop2>& desktop) {
                // Read-only: no lock file next to the workbook. With a view, as the run
                // loads it, so that the view settings (frozen panes, grid lines) go along.
                Sequence<css::beans::PropertyValue> arguments(2);
                arguments[0] = Property("ReadOnly", Any(true));
                arguments[1] = Property("MacroExecutionMode", Any(sal_Int16(0)));
                const Reference<css::lang::XComponent> component = desktop->loadComponentFromURL(
                    FileUrl(workbook), rtl::OUString("_blank"), 0, arguments);
                mDocument.set(component, UNO_QUERY);
                if (!mDocument.is())
                    Fail(QStringLiteral("LibreOffice could not open %1.").arg(workbook));
                if (!Reference<css::sheet::XSpreadsheetDocument>(component, UNO_QUERY).is())
                    Fail(QStringLiteral("%1 is not a spreadsheet.").arg(workbook));
            });
    }

    void store(const QString& path, const Kind& kind, const QString& target)
    {
        CallOnDesktop(*mApplication, QStringLiteral("write %1").arg(target), [&](const auto&) {
            Sequence<css::beans::PropertyValue> arguments(2);
            arguments[0] = Property("FilterName", Any(rtl::OUString::createFromAscii(kind.filter)));
            arguments[1] = Property("Overwrite", Any(true));
            Reference<css::frame::XStorable>(mDocument, css::uno::UNO_QUERY_THROW)
                ->storeToURL(FileUrl(path), arguments);
        });
    }

private:
    ApplicationPtr mApplication;
    Reference<css::util::XCloseable> mDocument;
};

} // namespace

void ConvertWorkbook(const QString& workbook, const QString& target)
{
    const Kind& kind = KindOf(target);
    if (!QFileInfo(workbook).isFile())
        Fail(QStringLiteral("The workbook %1 cannot be read: it does not exist.").arg(workbook));

    const QFileInfo targetInfo(target);
    // Next to the target, so that the rename below replaces it in one step.
    QTemporaryFile temporary(targetInfo.absolutePath() + QStringLiteral("/.")
        + targetInfo.fileName() + QStringLiteral(".XXXXXX"));
    if (!temporary.open())
        Fail(QStringLiteral("%1 cannot be written: %2").arg(target, temporary.errorString()));
    temporary.close();

    {
        Conversion conversion;
        conversion.open(workbook);
        conversion.store(temporary.fileName(), kind, target);
    }

    QFile::setPermissions(temporary.fileName(), PermissionsFor(target));
    if (std::rename(QFile::encodeName(temporary.fileName()).constData(),
            QFile::encodeName(targetInfo.absoluteFilePath()).constData())
        != 0)
        Fail(QStringLiteral("%1 cannot be written: %2")
                 .arg(target, QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace tessivane
