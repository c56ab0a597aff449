#include "office/picture/sheetpicture_p.h"

#include "office/picture/bandscript_p.h"

#include <QFileInfo>

#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/datatransfer/DataFlavor.hpp>
#include <com/sun/star/datatransfer/XTransferable.hpp>
#include <com/sun/star/datatransfer/XTransferableSupplier.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <algorithm>
#include <cmath>
#include <map>

namespace tessivane {

namespace {

constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 1024;

/// Where a row or column (0-based) starts, in twips from the sheet's edge: the office tells
/// it in 1/100 mm rounded once from whole twips, which round back exactly. Hidden lines
/// take no room. One past the sheet's last line is where that line ends.
long LineStart(const Reference<css::sheet::XSpreadsheet>& sheet, bool rows, int line)
{
    const int probe = std::min(line, (rows ? kMaxRows : kMaxColumns) - 1);
    const Reference<css::beans::XPropertySet> cell(
        sheet->getCellByPosition(rows ? 0 : probe, rows ? probe : 0), UNO_QUERY_THROW);
    css::awt::Point position;
    cell->getPropertyValue("Position") >>= position;
    long hundredths = rows ? position.Y : position.X;
    if (line > probe) {
        css::awt::Size size; // one more than the rounded ends' distance
        cell->getPropertyValue("Size") >>= size;
        hundredths += (rows ? size.Height : size.Width) - 1;
    }
    return std::lround(double(hundredths) * 72.0 / 127.0);
}

} // namespace

/// The used range as the spreadsheet application counts it: every cell with content or
/// with formatting of its own. LibreOffice's used area leaves out cells whose formatting
/// does not show (a font, an alignment), so the formatted regions are added to it.
css::table::CellRangeAddress usedArea(const Reference<css::sheet::XSpreadsheet>& sheet)
{
    const Reference<css::sheet::XSheetCellCursor> cursor = sheet->createCursor();
    const Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
    used->gotoStartOfUsedArea(false);
    used->gotoEndOfUsedArea(true);
    css::table::CellRangeAddress area
        = Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)->getRangeAddress();
    const css::table::CellRangeAddress whole
        = Reference<css::sheet::XCellRangeAddressable>(sheet, UNO_QUERY_THROW)->getRangeAddress();
    const Reference<css::container::XIndexAccess> groups
        = Reference<css::sheet::XUniqueCellFormatRangesSupplier>(sheet, UNO_QUERY_THROW)
              ->getUniqueCellFormatRanges();
    const sal_Int32 count = groups->getCount();
    for (sal_Int32 i = 0; i < count; ++i) {
        const Sequence<css::table::CellRangeAddress> ranges
            = Reference<css::sheet::XSheetCellRanges>(groups->getByIndex(i), UNO_QUERY_THROW)
                  ->getRangeAddresses();
        // The unformatted rest of the sheet is the group that holds its last cell.
        bool unformatted = false;
        for (const auto& range : ranges)
            unformatted = unformatted
                || (range.EndRow == whole.EndRow && range.EndColumn == whole.EndColumn);
        if (unformatted)
            continue;
        for (const auto& range : ranges) {
            // Formats of whole rows or columns are not cells of the used range.
            if (range.EndRow == whole.EndRow || range.EndColumn == whole.EndColumn)
                continue;
            area.StartRow = std::min(area.StartRow, range.StartRow);
            area.StartColumn = std::min(area.StartColumn, range.StartColumn);
            area.EndRow = std::max(area.EndRow, range.EndRow);
            area.EndColumn = std::max(area.EndColumn, range.EndColumn);
        }
    }
    return area;
}

PictureBand pictureOf(const Reference<css::frame::XController>& controller,
    const Reference<css::view::XSelectionSupplier>& selection,
    const Reference<css::table::XCellRange>& range)
{
    selection->select(Any(range));
    // The same object a copy to the clipboard hands over: the range drawn as the screen
    // shows it, without row and column headers, at 96 dpi. Its bitmap flavour is the same
    // picture as its PNG flavour, a third faster without the compression both ways.
    const Reference<css::datatransfer::XTransferable> transferable
        = Reference<css::datatransfer::XTransferableSupplier>(controller, UNO_QUERY_THROW)
              ->getTransferable();
    css::datatransfer::DataFlavor flavor;
    flavor.MimeType = "image/bmp";
    flavor.HumanPresentableName = "BMP";
    flavor.DataType = cppu::UnoType<Sequence<sal_Int8>>::get();
    // Left in the sequence it arrived in: a tall band is a hundred megabytes.
    const auto bytes = std::make_shared<Sequence<sal_Int8>>();
    transferable->getTransferData(flavor) >>= *bytes;
    return {bytes,
        QByteArrayView(reinterpret_cast<const char*>(bytes->getConstArray()), bytes->getLength()),
        {}};
}

/// The heights of the rows (or widths of the columns) first..last in twips, 0 when hidden.
/// Runs of lines of one size, the common case, are found with a few questions each
/// instead of one per line.
std::vector<int> lineTwips(
    const Reference<css::sheet::XSpreadsheet>& sheet, bool rows, int first, int last)
{
    std::map<int, long> starts;
    const auto start = [&](int line) {
        const auto found = starts.find(line);
        return found != starts.end() ? found->second
                                     : (starts[line] = LineStart(sheet, rows, line));
    };
    std::vector<int> twips(size_t(last - first + 1));
    std::vector<std::pair<int, int>> open {{first, last}};
    while (!open.empty()) {
        const auto [from, to] = open.back();
        open.pop_back();
        const long size = start(from + 1) - start(from);
        if (from == to
            || (start(to + 1) - start(from) == size * (to - from + 1)
                && start(to + 1) - start(to) == size)) {
            std::fill(twips.begin() + (from - first), twips.begin() + (to - first + 1), int(size));
            continue;
        }
        const int middle = from + (to - from) / 2;
        open.emplace_back(middle + 1, to);
        open.emplace_back(from, middle);
    }
    return twips;
}

void WarmUp(const Reference<css::frame::XDesktop2>& desktop, const QString& path,
    const QString& savePath, BandScript& script)
{
    Sequence<css::beans::PropertyValue> arguments(1);
    arguments[0] = Property("MacroExecutionMode", Any(kNeverExecuteMacros));
    const Reference<css::lang::XComponent> component = desktop->loadComponentFromURL(
        path.isEmpty() ? rtl::OUString("private:factory/scalc") : fileUrl(path),
        rtl::OUString("_blank"), 0, arguments);
    const Reference<css::util::XCloseable> closeable(component, UNO_QUERY_THROW);
    if (!path.isEmpty()) {
        try {
            const Reference<css::frame::XModel> model(component, UNO_QUERY_THROW);
            const Reference<css::frame::XController> controller = model->getCurrentController();
            const Reference<css::sheet::XSpreadsheet> sheet(
                Reference<css::container::XIndexAccess>(
                    Reference<css::sheet::XSpreadsheetDocument>(model, UNO_QUERY_THROW)
                        ->getSheets(),
                    UNO_QUERY_THROW)
                    ->getByIndex(0),
                UNO_QUERY_THROW);
            // Through the script too, if there is one: its first band starts Python.
            script.picture(controller,
                Reference<css::view::XSelectionSupplier>(controller, UNO_QUERY_THROW),
                sheet->getCellRangeByPosition(0, 0, 17, 9), QFileInfo(savePath).absolutePath());
            Sequence<css::beans::PropertyValue> save(2);
            save[0] = Property("FilterName", Any(rtl::OUString("MS Excel 97")));
            save[1] = Property("Overwrite", Any(true));
            Reference<css::frame::XStorable>(model, UNO_QUERY_THROW)
                ->storeToURL(fileUrl(savePath), save);
        } catch (...) {
            closeable->close(true);
            throw;
        }
    }
    closeable->close(true);
}

} // namespace tessivane
