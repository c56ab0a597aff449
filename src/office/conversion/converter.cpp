#include "office/conversion/converter.h"

#include "core/safefile.h"
#include "office/connection/unobridge_p.h"
#include "office/services/services.h"
#include "office/workbook/officedesktop_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableRows.hpp>
#include <com/sun/star/task/PasswordRequest.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionHandler.hpp>
#include <com/sun/star/task/XInteractionRequest.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cppuhelper/implbase1.hxx>
#include <rtl/ref.hxx>

#include <algorithm>
#include <atomic>
#include <optional>
#include <stdexcept>

namespace tessivane {

namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

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

rtl::OUString fileUrl(const QString& path)
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

/// Answers the office's questions while it loads a document: a password it asks for is never
/// given (the load is aborted), but remembered, so that the user is told why.
class PasswordRefusal : public cppu::WeakImplHelper1<css::task::XInteractionHandler>
{
public:
    void SAL_CALL handle(const Reference<css::task::XInteractionRequest>& request) override
    {
        css::task::PasswordRequest password;
        if (request->getRequest() >>= password)
            mAsked = true;
        const Sequence<Reference<css::task::XInteractionContinuation>> choices
            = request->getContinuations();
        for (const auto& choice : choices) {
            const Reference<css::task::XInteractionAbort> abort(choice, UNO_QUERY);
            if (abort.is()) {
                abort->select();
                return;
            }
        }
    }

    bool asked() const { return mAsked; }

private:
    std::atomic<bool> mAsked {false};
};

/// The instance and its one document; both go when the conversion ends, however it ends.
class Conversion
{
public:
    explicit Conversion(const Services& services, const WaitHook& whileWaiting = {})
        : mApplication(createApplication(services, whileWaiting))
    { }
    ~Conversion()
    {
        // Ending well here changes nothing about the file written: failures only mean that
        // the instance is ended the hard way, as dropping it does.
        try {
            if (mDocument.is())
                callOnDesktop(*mApplication, QStringLiteral("close the workbook"),
                    [&](const auto&) { mDocument->close(true); });
        } catch (...) { }
        try {
            mApplication->Quit();
        } catch (...) { }
    }

    void open(const QString& workbook)
    {
        const rtl::Reference<PasswordRefusal> questions(new PasswordRefusal);
        try {
            callOnDesktop(*mApplication, QStringLiteral("open %1").arg(workbook),
                [&](const Reference<css::frame::XDesktop2>& desktop) {
                    // Read-only: no lock file next to the workbook. With a view, as the run
                    // loads it, so that the view settings (frozen panes, grid lines) go along.
                    Sequence<css::beans::PropertyValue> arguments(3);
                    arguments[0] = Property("ReadOnly", Any(true));
                    arguments[1] = Property("MacroExecutionMode", Any(kNeverExecuteMacros));
                    arguments[2] = Property("InteractionHandler",
                        Any(Reference<css::task::XInteractionHandler>(questions.get())));
                    const Reference<css::lang::XComponent> component
                        = desktop->loadComponentFromURL(
                            fileUrl(workbook), rtl::OUString("_blank"), 0, arguments);
                    mDocument.set(component, UNO_QUERY);
                    if (!mDocument.is() && !questions->asked())
                        Fail(QStringLiteral("LibreOffice could not open %1.").arg(workbook));
                    if (mDocument.is()
                        && !Reference<css::sheet::XSpreadsheetDocument>(component, UNO_QUERY).is())
                        Fail(QStringLiteral("%1 is not a spreadsheet.").arg(workbook));
                });
        } catch (const std::exception&) {
            if (!questions->asked())
                throw;
        }
        if (questions->asked())
            Fail(QStringLiteral("%1 is protected by a password, which the import cannot give.\r\n"
                                "Open it in LibreOffice Calc or Excel, save a copy without the "
                                "password (or export it as CSV), and import that copy.")
                     .arg(workbook));
    }

    /// Kills the office at once (from any thread): the call in progress fails.
    void abort() noexcept { mApplication->abort(); }

    /// Removes the first sheet's rows after its first maxRows; returns how many there were.
    int keepRows(int maxRows)
    {
        int removed = 0;
        callOnDesktop(*mApplication, QStringLiteral("leave out the rows the list cannot hold"),
            [&](const auto&) {
                const Reference<css::container::XIndexAccess> sheets(
                    Reference<css::sheet::XSpreadsheetDocument>(mDocument, UNO_QUERY_THROW)
                        ->getSheets(),
                    UNO_QUERY_THROW);
                const Reference<css::sheet::XSpreadsheet> sheet(
                    sheets->getByIndex(0), UNO_QUERY_THROW);
                const Reference<css::sheet::XUsedAreaCursor> cursor(
                    sheet->createCursor(), UNO_QUERY_THROW);
                cursor->gotoEndOfUsedArea(false);
                const int rows
                    = Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)
                          ->getRangeAddress()
                          .EndRow
                    + 1;
                if (rows <= maxRows)
                    return;
                Reference<css::table::XColumnRowRange>(sheet, UNO_QUERY_THROW)
                    ->getRows()
                    ->removeByIndex(maxRows, rows - maxRows);
                removed = rows - maxRows;
            });
        return removed;
    }

    /// The name of the workbook's first sheet.
    QString firstSheetName()
    {
        QString name;
        callOnDesktop(*mApplication, QStringLiteral("read the sheets' names"), [&](const auto&) {
            const Reference<css::container::XIndexAccess> sheets(
                Reference<css::sheet::XSpreadsheetDocument>(mDocument, css::uno::UNO_QUERY_THROW)
                    ->getSheets(),
                css::uno::UNO_QUERY_THROW);
            if (sheets->getCount() < 1)
                Fail(QStringLiteral("The workbook has no sheet."));
            const Reference<css::container::XNamed> first(
                sheets->getByIndex(0), css::uno::UNO_QUERY_THROW);
            const rtl::OUString text = first->getName();
            name = QString(reinterpret_cast<const QChar*>(text.getStr()), text.getLength());
        });
        return name;
    }

    void store(
        const QString& path, const Kind& kind, const QString& target, const char* options = nullptr)
    {
        callOnDesktop(*mApplication, QStringLiteral("write %1").arg(target), [&](const auto&) {
            Sequence<css::beans::PropertyValue> arguments(options ? 3 : 2);
            arguments[0] = Property("FilterName", Any(rtl::OUString::createFromAscii(kind.filter)));
            arguments[1] = Property("Overwrite", Any(true));
            if (options)
                arguments[2]
                    = Property("FilterOptions", Any(rtl::OUString::createFromAscii(options)));
            Reference<css::frame::XStorable>(mDocument, css::uno::UNO_QUERY_THROW)
                ->storeToURL(fileUrl(path), arguments);
        });
    }

private:
    ApplicationPtr mApplication;
    Reference<css::util::XCloseable> mDocument;
};

} // namespace

void checkConvertedFile(const QString& written, const QString& target)
{
    const Kind& kind = KindOf(target);
    QFile file(written);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        Fail(QStringLiteral("LibreOffice did not write %1; nothing was put in its place.")
                 .arg(target));
    const bool pdf = qstrcmp(kind.extension, "pdf") == 0;
    const QByteArray head = file.read(8);
    // A zip file's directory ends within its last 64 KB (the longest comment) and 22 bytes.
    const qint64 tail = std::min<qint64>(file.size(), pdf ? 1024 : 65536 + 22);
    file.seek(file.size() - tail);
    const QByteArray end = file.read(tail);
    const bool whole = pdf ? head.startsWith("%PDF-") && end.contains("%%EOF")
                           : head.startsWith("PK\x03\x04") && end.contains("PK\x05\x06");
    if (!whole)
        Fail(QStringLiteral("LibreOffice wrote %1 only in part; nothing was put in its place.")
                 .arg(target));
}

void convertWorkbook(const Services& services, const QString& workbook, const QString& target)
{
    const Kind& kind = KindOf(target);
    const QFileInfo source(workbook);
    if (!source.isFile())
        Fail(QStringLiteral("The workbook %1 cannot be read: it does not exist.").arg(workbook));

    // LibreOffice writes into a folder of its own beside the workbook, never into the
    // target's folder: while storing it keeps a lock file and a scratch file next to what it
    // writes, which an office ended part way would leave in the user's folder.
    QTemporaryDir scratch(source.absolutePath() + QStringLiteral("/convert-XXXXXX"));
    if (!scratch.isValid())
        Fail(QStringLiteral("A working folder for the conversion cannot be made in %1: %2")
                 .arg(source.absolutePath(), scratch.errorString()));
    const QString written
        = scratch.filePath(QStringLiteral("converted.") + QLatin1String(kind.extension));
    try {
        {
            Conversion conversion(services);
            conversion.open(workbook);
            conversion.store(written, kind, target);
        }
        checkConvertedFile(written, target);
    } catch (...) {
        // The office's own reason for a write that found no room is seldom that.
        if (diskIsFull(scratch.path()))
            Fail(fullDiskSentence(source.absolutePath(), target));
        throw;
    }
    copyFileSafely(written, target);
}

FirstSheetCsv convertFirstSheetToCsv(const Services& services, const QString& workbook,
    const QString& folder, int maxRows, const std::function<bool()>& cancelled)
{
    if (!QFileInfo(workbook).isFile())
        Fail(QStringLiteral("The workbook %1 cannot be read: it does not exist.").arg(workbook));
    // Comma, quote, UTF-8 (76), from line 1, the values as they are rather than as shown, and
    // only sheet 1; the filter then names the file after the sheet.
    constexpr Kind kText {"csv", "Text - txt - csv (StarCalc)"};
    constexpr const char* kOptions = "44,34,76,1,,0,false,true,false,false,false,1";
    FirstSheetCsv sheet;
    {
        // A stop is looked for while the office works; the office is ended then, which makes
        // the call under way fail at once.
        std::optional<Conversion> conversion;
        bool stopped = false;
        const auto stopIfCancelled = [&] {
            if (cancelled && !stopped && cancelled() && conversion) {
                stopped = true;
                conversion->abort();
            }
        };
        const auto checkStopped = [&] {
            if (stopped || (cancelled && cancelled()))
                Fail(QStringLiteral("The conversion of %1 was stopped.").arg(workbook));
        };
        try {
            conversion.emplace(services, stopIfCancelled);
            checkStopped();
            conversion->open(workbook);
            sheet.sheetName = conversion->firstSheetName();
            if (maxRows > 0)
                sheet.rowsLeftOut = conversion->keepRows(maxRows);
            checkStopped();
            conversion->store(QDir(folder).filePath(QStringLiteral("sheet.csv")), kText,
                QStringLiteral("the first sheet of %1 as text").arg(workbook), kOptions);
        } catch (...) {
            checkStopped();
            throw;
        }
    }
    const QStringList written = QDir(folder).entryList({QStringLiteral("sheet*.csv")}, QDir::Files);
    if (written.size() != 1)
        Fail(QStringLiteral("LibreOffice did not write the first sheet of %1 as text.")
                 .arg(workbook));
    sheet.path = QDir(folder).filePath(written.first());
    return sheet;
}

} // namespace tessivane
