#include "office/workbook/sheetrows_p.h"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeMovement.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XFormulaTokens.hpp>
#include <com/sun/star/sheet/XPrintAreas.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/table/BorderLine2.hpp>
#include <com/sun/star/table/TableBorder2.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>

#include <algorithm>
#include <stdexcept>

namespace tessivane {

namespace {

Reference<css::beans::XPropertySet> rowsOf(
    const Reference<css::sheet::XSpreadsheet>& sheet, int firstRow, int lastRow)
{
    return Reference<css::beans::XPropertySet>(
        Reference<css::table::XColumnRowRange>(
            sheet->getCellRangeByPosition(0, firstRow, 0, lastRow), UNO_QUERY_THROW)
            ->getRows(),
        UNO_QUERY_THROW);
}

} // namespace

void extendTable(const Reference<css::sheet::XSpreadsheet>& sheet, int lastColumn,
    int firstPatternRow, int lastPatternRow, int lastBodyRow, int lastRow)
{
    if (firstPatternRow < 0 || lastPatternRow < firstPatternRow || lastBodyRow < lastPatternRow
        || lastRow <= lastBodyRow || lastColumn < 0)
        throw std::runtime_error(Sentence(
            QStringLiteral("Rows %1 to %2 cannot be repeated from after row %3 down to row %4.")
                .arg(firstPatternRow + 1)
                .arg(lastPatternRow + 1)
                .arg(lastBodyRow + 1)
                .arg(lastRow + 1)));
    // The line that closes the table, as its last row's first cell has it, and the rows'
    // height, both read before the fill replaces them.
    css::table::BorderLine2 closing;
    Reference<css::beans::XPropertySet>(sheet->getCellByPosition(0, lastBodyRow), UNO_QUERY_THROW)
        ->getPropertyValue("BottomBorder2")
        >>= closing;
    sal_Int32 height = 0;
    rowsOf(sheet, firstPatternRow, firstPatternRow)->getPropertyValue("Height") >>= height;

    // The pattern rows' formats and formulas (each with its own row's references) are copied
    // down in blocks that double, whole patterns each: a few copies instead of a fill that
    // works row by row, at twice its speed. The table's old last row becomes an inner one.
    const Reference<css::sheet::XCellRangeMovement> movement(sheet, UNO_QUERY_THROW);
    const sal_Int16 sheetIndex
        = Reference<css::sheet::XCellRangeAddressable>(sheet, UNO_QUERY_THROW)
              ->getRangeAddress()
              .Sheet;
    for (int target = lastPatternRow + 1; target <= lastRow;) {
        const int rows = std::min(target - firstPatternRow, lastRow - target + 1);
        movement->copyRange(css::table::CellAddress(sheetIndex, 0, target),
            css::table::CellRangeAddress(
                sheetIndex, 0, firstPatternRow, lastColumn, firstPatternRow + rows - 1));
        target += rows;
    }
    rowsOf(sheet, lastPatternRow + 1, lastRow)->setPropertyValue("Height", Any(height));

    // Only the bottom line of the new last row is set; its other lines stay as copied.
    css::table::TableBorder2 border;
    border.BottomLine = closing;
    border.IsBottomLineValid = true;
    Reference<css::beans::XPropertySet>(
        sheet->getCellRangeByPosition(0, lastRow, lastColumn, lastRow), UNO_QUERY_THROW)
        ->setPropertyValue("TableBorder2", Any(border));
}

void copyFormulas(const Reference<css::sheet::XSpreadsheet>& sheet, int sourceRow, int targetRow)
{
    // The whole row is asked: a formula is content, within the used range wherever it is,
    // and the used range of a formatted sheet takes the office longer to tell than the
    // copy itself.
    const sal_Int32 lastColumn
        = Reference<css::sheet::XCellRangeAddressable>(sheet, UNO_QUERY_THROW)
              ->getRangeAddress()
              .EndColumn;
    const Reference<css::sheet::XSheetCellRanges> found
        = Reference<css::sheet::XCellRangesQuery>(
            sheet->getCellRangeByPosition(0, sourceRow, lastColumn, sourceRow), UNO_QUERY_THROW)
              ->queryContentCells(css::sheet::CellFlags::FORMULA);
    // A formula's tokens keep its relative references as offsets from its cell, so that the
    // same tokens in another row refer to that row; the target cells' formats stay.
    for (const css::table::CellRangeAddress& range : found->getRangeAddresses()) {
        for (sal_Int32 column = range.StartColumn; column <= range.EndColumn; ++column) {
            const Sequence<css::sheet::FormulaToken> tokens = Reference<css::sheet::XFormulaTokens>(
                sheet->getCellByPosition(column, sourceRow), UNO_QUERY_THROW)
                                                                  ->getTokens();
            Reference<css::sheet::XFormulaTokens>(
                sheet->getCellByPosition(column, targetRow), UNO_QUERY_THROW)
                ->setTokens(tokens);
        }
    }
}

void setPrintTitleRows(const Reference<css::sheet::XSpreadsheet>& sheet, int firstRow, int lastRow)
{
    css::table::CellRangeAddress rows
        = Reference<css::sheet::XCellRangeAddressable>(sheet, UNO_QUERY_THROW)->getRangeAddress();
    rows.StartRow = firstRow;
    rows.EndRow = lastRow;
    rows.StartColumn = 0;
    rows.EndColumn = 0;
    const Reference<css::sheet::XPrintAreas> areas(sheet, UNO_QUERY_THROW);
    // Setting the rows turns their printing on as well; each change lays the sheet's pages
    // out again, so the second is only made when the first did not.
    areas->setTitleRows(rows);
    if (!areas->getPrintTitleRows())
        areas->setPrintTitleRows(true);
}

} // namespace tessivane
