#include "office/session/cellwriter_p.h"

#include "office/session/cellblocks_p.h"
#include "office/session/officeinstance_p.h"

#include "core/failurereport.h"

#include <QDateTime>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>
#include <vector>

namespace tessivane {

namespace {

// Beyond this many buffered cells a put flushes on its own, to bound the memory.
constexpr size_t kMaxPendingCells = 100000;

} // namespace

void CellWriter::put(const std::shared_ptr<SheetState>& sheet, int row, int column, CellValue value)
{
    mInstance.checkAlive();
    if (!sheet->sheet.is())
        throw std::runtime_error("The workbook of this sheet has been closed.");
    ++mPutCount;
    if (sheet->pending.insert_or_assign({row, column}, std::move(value)).second)
        ++mPendingCount;
    const bool buffered = mInstance.settings().bufferedWrites;
    if (!buffered || mPendingCount >= kMaxPendingCells)
        flush();
}

void CellWriter::flush()
{
    if (mPendingCount == 0 || mFlushing)
        return;
    mFlushing = true;
    struct Reset
    {
        CellWriter& writer;
        ~Reset()
        {
            writer.mFlushing = false;
            writer.mPendingCount = 0;
            for (const auto& document : writer.mInstance.documents())
                for (const auto& sheet : document->sheets)
                    if (sheet)
                        sheet->pending.clear();
        }
    } reset {*this};

    const bool buffered = mInstance.settings().bufferedWrites;
    for (const auto& document : mInstance.documents()) {
        bool any = false;
        for (const auto& sheet : document->sheets)
            any = any || (sheet && !sheet->pending.empty());
        if (!any)
            continue;
        mInstance.guarded(QStringLiteral("write the cells"), [&] {
            // Where the rows keep their heights, the office does not measure every written
            // row's contents after each block either: some 30 % of its time for the writes.
            heldStill(document->model, document->keepRowHeights, [&] {
                for (const auto& sheet : document->sheets) {
                    if (!sheet || sheet->pending.empty())
                        continue;
                    if (buffered)
                        flushSheet(document, *sheet);
                    else
                        writeCellsDirectly(document, *sheet);
                }
            });
        });
    }
}

void heldStill(const Reference<css::frame::XModel>& model, bool keepRowHeights,
    const std::function<void()>& change)
{
    model->lockControllers();
    Reference<css::beans::XPropertySet> adjusting; // its row heights adjust again after
    const auto restore = [&] {
        model->unlockControllers();
        if (adjusting.is())
            adjusting->setPropertyValue("IsAdjustHeightEnabled", Any(true));
    };
    try {
        if (keepRowHeights) {
            const Reference<css::beans::XPropertySet> settings(model, UNO_QUERY_THROW);
            bool adjusted = false;
            settings->getPropertyValue("IsAdjustHeightEnabled") >>= adjusted;
            if (adjusted) {
                settings->setPropertyValue("IsAdjustHeightEnabled", Any(false));
                adjusting = settings;
            }
        }
        change();
    } catch (...) {
        swallow(restore);
        throw;
    }
    restore();
}

/// Writes the buffered cells of one sheet as few rectangular blocks as cover exactly them.
void CellWriter::flushSheet(const std::shared_ptr<DocumentState>& document, SheetState& sheet)
{
    std::vector<std::pair<int, int>> cells;
    cells.reserve(sheet.pending.size());
    for (const auto& [cell, value] : sheet.pending)
        cells.push_back(cell);
    for (const CellBlock& block : cellBlocks(cells)) {
        const int firstRow = block.firstRow, lastRow = block.lastRow;
        const int firstColumn = block.firstColumn, lastColumn = block.lastColumn;

        Sequence<Sequence<Any>> data(lastRow - firstRow + 1);
        std::vector<std::pair<int, int>> dateRuns; // column, first row of consecutive dates
        bool anyDate = false;
        for (int row = firstRow; row <= lastRow; ++row) {
            Sequence<Any> line(lastColumn - firstColumn + 1);
            for (int column = firstColumn; column <= lastColumn; ++column) {
                const CellValue& value = sheet.pending.at({row, column});
                Any& item = line[column - firstColumn];
                switch (value.kind) {
                case CellValue::Empty:
                    item <<= rtl::OUString(); // an empty text empties the cell; void would be #N/A
                    break;
                case CellValue::Text:
                    item <<= value.text;
                    break;
                case CellValue::Number:
                case CellValue::Date:
                    item <<= value.number;
                    anyDate = anyDate || value.kind == CellValue::Date;
                    break;
                }
            }
            data[row - firstRow] = line;
        }
        const Reference<css::table::XCellRange> range = sheet.sheet->getCellRangeByPosition(
            firstColumn - 1, firstRow - 1, lastColumn - 1, lastRow - 1);
        Reference<css::sheet::XCellRangeData>(range, UNO_QUERY_THROW)->setDataArray(data);

        if (!anyDate)
            continue;
        // Dates keep the cell's own date format; a General cell gets m/d/yyyy. Each run of
        // date cells in a column is one range whose formats are read in a few calls.
        for (int column = firstColumn; column <= lastColumn; ++column) {
            int runStart = 0;
            for (int row = firstRow; row <= lastRow + 1; ++row) {
                const bool isDate
                    = row <= lastRow && sheet.pending.at({row, column}).kind == CellValue::Date;
                if (isDate && runStart == 0)
                    runStart = row;
                if (!isDate && runStart != 0) {
                    applyDateFormat(document,
                        sheet.sheet->getCellRangeByPosition(
                            column - 1, runStart - 1, column - 1, row - 2));
                    runStart = 0;
                }
            }
        }
    }
}

/// One remote write per cell: kept to measure against the block writes.
void CellWriter::writeCellsDirectly(
    const std::shared_ptr<DocumentState>& document, SheetState& sheet)
{
    for (const auto& [cell, value] : sheet.pending) {
        const Reference<css::table::XCell> target
            = sheet.sheet->getCellByPosition(cell.second - 1, cell.first - 1);
        switch (value.kind) {
        case CellValue::Empty:
            target->setFormula(rtl::OUString());
            break;
        case CellValue::Text:
            // A formula text would be read as a formula; the layer writes texts as texts.
            {
                Sequence<Sequence<Any>> data(1);
                Sequence<Any> line(1);
                line[0] <<= value.text;
                data[0] = line;
                Reference<css::sheet::XCellRangeData>(
                    sheet.sheet->getCellRangeByPosition(
                        cell.second - 1, cell.first - 1, cell.second - 1, cell.first - 1),
                    UNO_QUERY_THROW)
                    ->setDataArray(data);
            }
            break;
        case CellValue::Number:
            target->setValue(value.number);
            break;
        case CellValue::Date:
            target->setValue(value.number);
            applyDateFormat(document,
                sheet.sheet->getCellRangeByPosition(
                    cell.second - 1, cell.first - 1, cell.second - 1, cell.first - 1));
            break;
        }
    }
}

void CellWriter::applyDateFormat(
    const std::shared_ptr<DocumentState>& document, const Reference<css::table::XCellRange>& range)
{
    // Grouped by format: a column of banded rows is a few groups, not a part a row.
    const Reference<css::container::XIndexAccess> parts
        = Reference<css::sheet::XUniqueCellFormatRangesSupplier>(range, UNO_QUERY_THROW)
              ->getUniqueCellFormatRanges();
    const sal_Int32 count = parts->getCount();
    for (sal_Int32 i = 0; i < count; ++i) {
        const Reference<css::beans::XPropertySet> part(parts->getByIndex(i), UNO_QUERY_THROW);
        sal_Int32 key = 0;
        part->getPropertyValue("NumberFormat") >>= key;
        if (const auto locale = generalLocale(*document, key))
            part->setPropertyValue("NumberFormat", Any(dateKey(*document, *locale)));
    }
}

/// The locale of a General format; none for any other format.
std::optional<css::lang::Locale> CellWriter::generalLocale(DocumentState& document, sal_Int32 key)
{
    if (const auto found = document.generalKeys.find(key); found != document.generalKeys.end())
        return found->second;
    const Reference<css::util::XNumberFormatsSupplier> supplier(document.model, UNO_QUERY_THROW);
    const Reference<css::util::XNumberFormats> formats = supplier->getNumberFormats();
    css::lang::Locale locale;
    formats->getByKey(key)->getPropertyValue("Locale") >>= locale;
    std::optional<css::lang::Locale> general;
    if (Reference<css::util::XNumberFormatTypes>(formats, UNO_QUERY_THROW)->getStandardIndex(locale)
        == key)
        general = locale;
    document.generalKeys[key] = general;
    return general;
}

/// m/d/yyyy in the locale of the General format it replaces, so that the saved format
/// carries no language tag of its own.
sal_Int32 CellWriter::dateKey(DocumentState& document, const css::lang::Locale& locale)
{
    const QString tag = toQString(locale.Language) + '-' + toQString(locale.Country) + '-'
        + toQString(locale.Variant);
    if (const auto found = document.dateKeys.find(tag); found != document.dateKeys.end())
        return found->second;
    const Reference<css::util::XNumberFormatsSupplier> supplier(document.model, UNO_QUERY_THROW);
    const Reference<css::util::XNumberFormats> formats = supplier->getNumberFormats();
    css::lang::Locale english;
    english.Language = "en";
    english.Country = "US";
    const rtl::OUString code("M/D/YYYY");
    sal_Int32 key = formats->queryKey(code, locale, false);
    if (key < 0) {
        try {
            key = formats->addNewConverted(code, english, locale);
        } catch (const css::uno::Exception&) {
            key = -1; // it exists in that locale under a code of its keywords
        }
    }
    if (key < 0) {
        key = formats->queryKey(code, english, false);
        if (key < 0)
            key = formats->addNew(code, english);
    }
    document.dateKeys[tag] = key;
    return key;
}

/// The 1900 date system: day 1 is 1900-01-01 as Excel counts it, so the serial is the day
/// count from 1899-12-30 for every date from March 1900 on.
double dateSerial(const QDate& date)
{
    static const QDate base(1899, 12, 30);
    return double(base.daysTo(date));
}

CellValue toCellValue(int row, int column, const QVariant& value)
{
    CellValue cell;
    if (!value.isValid())
        return cell;
    const auto fail = [&](const QString& why) {
        return std::runtime_error(
            Sentence(QStringLiteral("Cells(%1, %2): %3").arg(row).arg(column).arg(why)));
    };
    switch (value.typeId()) {
    case QMetaType::QString: {
        const QString text = value.toString();
        if (!text.isEmpty()) {
            cell.kind = CellValue::Text;
            cell.text = toOUString(text);
        }
        return cell;
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        cell.kind = CellValue::Number;
        cell.number = value.toDouble();
        return cell;
    case QMetaType::Double:
    case QMetaType::Float:
        cell.kind = CellValue::Number;
        cell.number = value.toDouble();
        if (!std::isfinite(cell.number))
            throw fail(QStringLiteral("a number that is not finite cannot be put into a cell."));
        return cell;
    case QMetaType::QDate:
    case QMetaType::QDateTime: {
        const QDateTime when = value.typeId() == QMetaType::QDate
            ? QDateTime(value.toDate(), QTime(0, 0))
            : value.toDateTime();
        if (!when.isValid())
            throw fail(QStringLiteral("an invalid date cannot be put into a cell."));
        cell.kind = CellValue::Date;
        cell.number = dateSerial(when.date()) + when.time().msecsSinceStartOfDay() / 86400000.0;
        if (cell.number < 1)
            throw fail(QStringLiteral("a date before 1900 cannot be put into a cell."));
        return cell;
    }
    default:
        throw fail(QStringLiteral("a value of type %1 cannot be put into a cell.")
                       .arg(QString::fromLatin1(value.typeName())));
    }
}

} // namespace tessivane
