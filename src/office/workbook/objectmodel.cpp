#include "office/workbook/objectmodel_p.h"

#include "core/failurereport.h"
#include "core/fileprocs.h"
#include "office/picture/bandscript_p.h"
#include "office/picture/sheetpicture_p.h"
#include "office/picture/sheetpicturejob_p.h"
#include "office/session/cellwriter_p.h"
#include "office/session/officeinstance_p.h"
#include "office/workbook/builtinformats_p.h"
#include "office/workbook/sheetrows_p.h"

#include <QFileInfo>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>

#include <algorithm>
#include <optional>
#include <stdexcept>

namespace tessivane {

namespace {

constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 1024;

class LibreOfficeWorksheet : public Worksheet
{
public:
    LibreOfficeWorksheet(std::shared_ptr<OfficeInstance> instance,
        std::shared_ptr<DocumentState> document, std::shared_ptr<SheetState> sheet)
        : mInstance(std::move(instance))
        , mDocument(std::move(document))
        , mSheet(std::move(sheet))
    { }

    void PutCell(int row, int column, const QVariant& value) override
    {
        if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
            throw std::runtime_error(Sentence(
                QStringLiteral("Cells(%1, %2) is outside the sheet.").arg(row).arg(column)));
        mInstance->writer().put(mSheet, row, column, toCellValue(row, column, value));
    }

    int UsedRangeLastRow() override { return usedArea().EndRow + 1; }
    int UsedRangeLastColumn() override { return usedArea().EndColumn + 1; }

    void CopyPicture(PictureClipboard& clipboard) override
    {
        copySheetPicture(mInstance, mDocument, mSheet, usedArea(), clipboard);
    }

    void extendTable(int firstPatternRow, int lastPatternRow, int lastBodyRow, int lastRow) override
    {
        checkRows({firstPatternRow, lastPatternRow, lastBodyRow, lastRow});
        const int lastColumn = usedArea().EndColumn;
        mInstance->call(QStringLiteral("extend the table down to row %1").arg(lastRow), [&] {
            heldStill(mDocument->model, true, [&] {
                tessivane::extendTable(mSheet->sheet, lastColumn, firstPatternRow - 1,
                    lastPatternRow - 1, lastBodyRow - 1, lastRow - 1);
            });
        });
        mArea.reset(); // the copies may have reached past the used range
    }

    void keepRowHeights() override
    {
        mInstance->checkAlive();
        mDocument->keepRowHeights = true;
    }

    void copyFormulas(int sourceRow, int targetRow) override
    {
        checkRows({sourceRow, targetRow});
        mInstance->call(QStringLiteral("copy the formulas of row %1").arg(sourceRow), [&] {
            heldStill(mDocument->model, true,
                [&] { tessivane::copyFormulas(mSheet->sheet, sourceRow - 1, targetRow - 1); });
        });
    }

    void setPrintTitleRows(int firstRow, int lastRow) override
    {
        checkRows({firstRow, lastRow});
        mInstance->call(QStringLiteral("set the print titles"),
            [&] { tessivane::setPrintTitleRows(mSheet->sheet, firstRow - 1, lastRow - 1); });
    }

private:
    static void checkRows(std::initializer_list<int> rows)
    {
        for (const int row : rows)
            if (row < 1 || row > kMaxRows)
                throw std::runtime_error(
                    Sentence(QStringLiteral("Row %1 is outside the sheet.").arg(row)));
    }

    /// Found once for the last row, the last column and the picture, which follow one
    /// another; found again after any put into the instance.
    css::table::CellRangeAddress usedArea()
    {
        const quint64 puts = mInstance->writer().putCount();
        if (!mArea || mAreaPuts != puts) {
            mArea = mInstance->call(QStringLiteral("find the used range"), [&] {
                if (!mSheet->sheet.is())
                    throw std::runtime_error("The workbook of this sheet has been closed.");
                return tessivane::usedArea(mSheet->sheet);
            });
            mAreaPuts = puts;
        }
        mInstance->checkAlive();
        if (!mSheet->sheet.is())
            throw std::runtime_error("The workbook of this sheet has been closed.");
        return *mArea;
    }

    std::shared_ptr<OfficeInstance> mInstance; // first: the UNO references below go before it
    std::shared_ptr<DocumentState> mDocument;
    std::shared_ptr<SheetState> mSheet;
    std::optional<css::table::CellRangeAddress> mArea;
    quint64 mAreaPuts = 0;
};

class LibreOfficeWorkbook : public Workbook
{
public:
    LibreOfficeWorkbook(
        std::shared_ptr<OfficeInstance> instance, std::shared_ptr<DocumentState> document)
        : mInstance(std::move(instance))
        , mDocument(std::move(document))
    { }

    void SaveAs(const QString& path, int fileFormat) override
    {
        if (fileFormat != xlExcel8 && fileFormat != xlWorkbookNormal)
            throw std::runtime_error(Sentence(
                QStringLiteral("SaveAs: the file format %1 is not supported (56 and -4143 save "
                               "an Excel 97-2003 workbook).")
                    .arg(fileFormat)));
        checkOpen();
        mInstance->call(QStringLiteral("save %1").arg(path), [&] {
            Sequence<css::beans::PropertyValue> arguments(2);
            arguments[0] = Property("FilterName", Any(rtl::OUString("MS Excel 97")));
            arguments[1] = Property("Overwrite", Any(true));
            Reference<css::frame::XStorable>(mDocument->model, UNO_QUERY_THROW)
                ->storeAsURL(fileUrl(path), arguments);
        });
        mDocument->path = QFileInfo(path).absoluteFilePath();
        mDocument->savedHere = true;
        // The office writes the template's built-in formats as formats of its own; a reader
        // elsewhere shows those in their own way.
        restoreBuiltInFormats(path);
    }

    void Close() override
    {
        checkOpen();
        auto& documents = mInstance->documents();
        mInstance->call(QStringLiteral("close the workbook"), [&] {
            Reference<css::util::XCloseable>(mDocument->model, UNO_QUERY_THROW)->close(true);
        });
        documents.erase(
            std::remove(documents.begin(), documents.end(), mDocument), documents.end());
        mDocument->release();
    }

    std::shared_ptr<Worksheet> ActiveSheet() override
    {
        checkOpen();
        const int index = mInstance->call(QStringLiteral("find the active sheet"), [&] {
            const Reference<css::sheet::XSpreadsheetView> view(
                mDocument->model->getCurrentController(), UNO_QUERY_THROW);
            return int(Reference<css::sheet::XCellRangeAddressable>(
                view->getActiveSheet(), UNO_QUERY_THROW)
                           ->getRangeAddress()
                           .Sheet);
        });
        return std::make_shared<LibreOfficeWorksheet>(
            mInstance, mDocument, mInstance->sheetOf(mDocument, index));
    }

private:
    void checkOpen()
    {
        mInstance->checkAlive();
        if (mDocument->closed)
            throw std::runtime_error("The workbook has been closed.");
    }

    std::shared_ptr<OfficeInstance> mInstance;
    std::shared_ptr<DocumentState> mDocument;
};

class LibreOfficeWorkbooks : public Workbooks
{
public:
    explicit LibreOfficeWorkbooks(std::shared_ptr<OfficeInstance> instance)
        : mInstance(std::move(instance))
    { }

    std::shared_ptr<Workbook> Open(const QString& path) override
    {
        return std::make_shared<LibreOfficeWorkbook>(mInstance, mInstance->open(path));
    }

    int count() override
    {
        mInstance->checkAlive();
        return int(mInstance->documents().size());
    }

    std::shared_ptr<Workbook> item(int index) override
    {
        mInstance->checkAlive();
        if (index < 1 || size_t(index) > mInstance->documents().size())
            throw std::runtime_error(Sentence(
                QStringLiteral("Workbooks(%1): there is no open workbook with that number.")
                    .arg(index)));
        return std::make_shared<LibreOfficeWorkbook>(
            mInstance, mInstance->documents()[size_t(index - 1)]);
    }

private:
    std::shared_ptr<OfficeInstance> mInstance;
};

class LibreOfficeApplication : public Application
{
public:
    explicit LibreOfficeApplication(std::shared_ptr<OfficeInstance> instance)
        : mInstance(std::move(instance))
        , mWorkbooks(mInstance)
    { }

    Workbooks& workbooks() override { return mWorkbooks; }

    void proveSpreadsheet() override
    {
        // The blank spreadsheet only: the full warm-up follows in the background.
        BandScript none; // nothing is drawn
        mInstance->call(QStringLiteral("open a spreadsheet"),
            [&] { WarmUp(mInstance->desktop(), QString(), QString(), none); });
    }

    std::shared_ptr<Worksheet> Worksheets(int index) override
    {
        const auto document = mInstance->activeDocument();
        return std::make_shared<LibreOfficeWorksheet>(
            mInstance, document, mInstance->sheetOf(document, index - 1));
    }

    void Range_Select(const QString& address) override
    {
        const auto document = mInstance->activeDocument();
        mInstance->call(QStringLiteral("select %1").arg(address), [&] {
            const Reference<css::frame::XController> controller
                = document->model->getCurrentController();
            const Reference<css::sheet::XSpreadsheetView> view(controller, UNO_QUERY_THROW);
            Reference<css::table::XCellRange> range;
            try {
                range = Reference<css::table::XCellRange>(view->getActiveSheet(), UNO_QUERY_THROW)
                            ->getCellRangeByName(toOUString(address));
            } catch (const css::uno::RuntimeException&) {
                // An office that died or was ended as hung is gone, not given a bad address.
                if (!mInstance->alive())
                    throw;
                throw std::runtime_error(Sentence(
                    QStringLiteral("Range(\"%1\") is not a valid range address.").arg(address)));
            }
            Reference<css::view::XSelectionSupplier>(controller, UNO_QUERY_THROW)
                ->select(Any(range));
        });
    }

    // A headless instance has no window to show; the property is kept for the caller.
    void setVisible(bool visible) override
    {
        mInstance->checkAlive();
        mVisible = visible;
    }

    QString Version() override
    {
        if (!mInstance->version().isEmpty()) {
            mInstance->checkAlive();
            return mInstance->version();
        }
        const QString full = mInstance->call(QStringLiteral("tell its version"), [&] {
            const Reference<css::uno::XComponentContext> context = mInstance->remoteContext();
            const Reference<css::lang::XMultiServiceFactory> provider(
                context->getServiceManager()->createInstanceWithContext(
                    "com.sun.star.configuration.ConfigurationProvider", context),
                UNO_QUERY_THROW);
            Sequence<Any> arguments(1);
            arguments[0]
                <<= Property("nodepath", Any(rtl::OUString("/org.openoffice.Setup/Product")));
            const Reference<css::container::XNameAccess> product(
                provider->createInstanceWithArguments(
                    "com.sun.star.configuration.ConfigurationAccess", arguments),
                UNO_QUERY_THROW);
            rtl::OUString text;
            product->getByName("ooSetupVersion") >>= text;
            Reference<css::lang::XComponent>(product, UNO_QUERY_THROW)->dispose();
            return toQString(text);
        });
        // The major.minor number text, the form callers compare as a version number.
        const QStringList parts = full.trimmed().split('.');
        mInstance->setVersion(parts.size() >= 2 ? parts[0] + '.' + parts[1] : full.trimmed());
        if (mInstance->version().isEmpty())
            throw std::runtime_error("LibreOffice did not tell its version.");
        return mInstance->version();
    }

    // A headless instance never shows an alert; closing and quitting never prompt.
    void setDisplayAlerts(bool displayAlerts) override
    {
        mInstance->checkAlive();
        mDisplayAlerts = displayAlerts;
    }

    void Quit() override
    {
        try {
            mInstance->checkAlive();
        } catch (...) {
            mInstance->end(false); // what is left of it still goes
            throw;
        }
        OfficeInstance::quit(mInstance);
    }

    bool isAlive() const override { return mInstance->alive(); }

    void abort() noexcept override { mInstance->abort(); }

    void flushCellWrites() override
    {
        mInstance->checkAlive();
        if (mInstance->writer().hasPending())
            mInstance->writer().flush();
    }

    void setWaitHook(WaitHook whileWaiting) override
    {
        mInstance->setWaitHook(std::move(whileWaiting));
    }

    const std::shared_ptr<OfficeInstance>& sharedInstance() const { return mInstance; }

private:
    std::shared_ptr<OfficeInstance> mInstance;
    LibreOfficeWorkbooks mWorkbooks;
    bool mVisible = false;
    bool mDisplayAlerts = true;
};

} // namespace

ApplicationPtr makeApplication(std::shared_ptr<OfficeInstance> instance)
{
    return std::make_shared<LibreOfficeApplication>(std::move(instance));
}

std::shared_ptr<OfficeInstance> instanceOf(const Application& application)
{
    const auto* office = dynamic_cast<const LibreOfficeApplication*>(&application);
    return office ? office->sharedInstance() : nullptr;
}

} // namespace tessivane
