#include "inventory/listedit.h"

#include "inventory/csvtext.h"
#include "inventory/fieldconversion.h"
#include "inventory/inventoryfields.h"
#include "inventory/sampledata.h"

#include <algorithm>

namespace tessivane {

namespace {

constexpr int kFields = int(kInventoryFields.size());

/// Tries one value for a cell of a row of the change; a refusal is noted and leaves the cell.
void putValue(CellChange& change, int row, int field, const QString& text)
{
    ++change.offered;
    QVector<QVariant>& values = change.rows[row - change.first];
    try {
        values[field] = enteredValue(kInventoryFields[field], text);
    } catch (const std::exception& e) {
        change.refused.append({row, field, QString::fromUtf8(e.what())});
    }
}

/// The change over rows first..last, the rows beyond the list added as blank rows.
CellChange spanOf(const ListRows& rows, int first, int last)
{
    CellChange change;
    change.first = first;
    change.replaced = qMax(0, qMin(last, int(rows.size()) - 1) - first + 1);
    change.rows.reserve(last - first + 1);
    for (int row = first; row <= last; ++row)
        change.rows.append(row < rows.size() ? rows[row] : blankListRow());
    return change;
}

} // namespace

QVector<QVariant> blankListRow()
{
    QVector<QVariant> row(kFields);
    for (int field = 0; field < kFields; ++field) {
        switch (kInventoryFields[field].type) {
        case FieldType::Text:
            row[field] = QString();
            break;
        case FieldType::Integer:
            row[field] = 0;
            break;
        case FieldType::Currency:
            row[field] = 0.0;
            break;
        case FieldType::Date:
            break;
        }
    }
    return row;
}

bool isBlankRow(const QVector<QVariant>& row)
{
    return std::none_of(row.begin(), row.end(), isFilled);
}

QList<QStringList> clipboardBlock(const QString& text)
{
    QList<QStringList> block;
    const QList<CsvRecord> records = readDelimited(text, QLatin1Char('\t'));
    block.reserve(records.size());
    for (const CsvRecord& record : records)
        block.append(record.fields);
    return block;
}

QString clipboardText(const QList<QStringList>& block)
{
    return writeDelimited(block, QLatin1Char('\t'), QStringLiteral("\n"));
}

CellChange pasteBlock(const ListRows& rows, int row, int field, const QList<QStringList>& block)
{
    if (block.isEmpty() || row < 0 || field < 0 || field >= kFields)
        return CellChange {qMax(row, 0), 0, {}, 0, {}, 0};
    CellChange change = spanOf(rows, row, row + int(block.size()) - 1);
    for (int i = 0; i < block.size(); ++i) {
        const QStringList& values = block[i];
        for (int j = 0; j < values.size(); ++j) {
            if (field + j >= kFields)
                ++change.beyondLastColumn;
            else
                putValue(change, row + i, field + j, values[j]);
        }
    }
    return change;
}

CellChange fillCells(const ListRows& rows, const QList<QPoint>& cells, const QString& text)
{
    return putCells(rows, cells, QStringList(cells.size(), text));
}

CellChange putCells(const ListRows& rows, const QList<QPoint>& cells, const QStringList& texts)
{
    if (cells.isEmpty())
        return {};
    int first = int(rows.size());
    int last = -1;
    for (const QPoint& cell : cells) {
        first = std::min(first, cell.y());
        last = std::max(last, cell.y());
    }
    CellChange change = spanOf(rows, first, std::min(last, int(rows.size()) - 1));
    for (qsizetype i = 0; i < cells.size() && i < texts.size(); ++i) {
        const QPoint& cell = cells[i];
        if (cell.y() >= first && cell.y() < first + change.rows.size() && cell.x() >= 0
            && cell.x() < kFields)
            putValue(change, cell.y(), cell.x(), texts[i]);
    }
    return change;
}

} // namespace tessivane
