#include "office/sheetpicture.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/datatransfer/DataFlavor.hpp>
#include <com/sun/star/datatransfer/XTransferable.hpp>
#include <com/sun/star/datatransfer/XTransferableSupplier.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>

#include <algorithm>

namespace tessivane::office {

namespace {

// The tallest picture asked of LibreOffice in one piece, in pixels: it fails to draw one
// much taller than 32,000 (about 1,900 rows of the template), so taller ones come in bands.
constexpr double kMaxBandPixels = 24000;

} // namespace

/// The used range as the spreadsheet application counts it: every cell with content or
/// with formatting of its own. LibreOffice's used area leaves out cells whose formatting
/// does not show (a font, an alignment), so the formatted regions are added to it.
css::table::CellRangeAddress UsedArea(const Reference<css::sheet::XSpreadsheet>& sheet)
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

std::vector<std::pair<int, int>> PictureBands(
    const Reference<css::sheet::XSpreadsheet>& sheet, const css::table::CellRangeAddress& area)
{
    std::vector<std::pair<int, int>> bands;
    std::vector<std::pair<int, int>> open {{area.StartRow, area.EndRow}};
    while (!open.empty()) {
        const auto [first, last] = open.back();
        open.pop_back();
        css::awt::Size size;
        Reference<css::beans::XPropertySet>(
            sheet->getCellRangeByPosition(area.StartColumn, first, area.EndColumn, last),
            UNO_QUERY_THROW)
            ->getPropertyValue("Size")
            >>= size;
        const double pixels = size.Height / 2540.0 * 96.0; // 1/100 mm at 96 dpi
        if (pixels <= kMaxBandPixels || first == last) {
            bands.emplace_back(first, last);
        } else {
            const int middle = first + (last - first) / 2;
            open.emplace_back(middle + 1, last); // popped after the upper half
            open.emplace_back(first, middle);
        }
    }
    return bands;
}

QByteArray PictureOf(const Reference<css::frame::XController>& controller,
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
    Sequence<sal_Int8> bytes;
    transferable->getTransferData(flavor) >>= bytes;
    return QByteArray(reinterpret_cast<const char*>(bytes.getConstArray()), bytes.getLength());
}

QImage Stacked(const std::vector<QByteArray>& bands) // BMP each
{
    std::vector<QImage> pictures;
    int width = 0;
    int height = 0;
    // A band of a wide sheet can pass Qt's default limit for decoded pictures (128 MB).
    const int limit = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(0);
    struct Restore
    {
        int limit;
        ~Restore() { QImageReader::setAllocationLimit(limit); }
    } restore {limit};
    for (const QByteArray& bmp : bands) {
        QBuffer buffer;
        buffer.setData(bmp);
        QImage picture = QImageReader(&buffer, "BMP").read();
        if (picture.isNull())
            return QImage();
        width = std::max(width, picture.width());
        height += picture.height();
        pictures.push_back(std::move(picture));
    }
    if (pictures.size() == 1)
        return pictures.front();
    QImage whole(width, height, QImage::Format_RGB32);
    whole.fill(Qt::white);
    QPainter painter(&whole);
    int top = 0;
    for (const QImage& picture : pictures) {
        painter.drawImage(0, top, picture);
        top += picture.height();
    }
    return whole;
}

} // namespace tessivane::office
