// The records of a list file after its header: each one's values checked into a row or
// refused, every line accounted for, and what the user is told about the reading.
#include "inventory/listrowreader.h"

#include "inventory/fieldconversion.h"
#include "inventory/formulatext.h"
#include "inventory/importvalues.h"
#include "inventory/inventoryfields.h"
#include "inventory/listedit.h"
#include "inventory/persistence.h"
#include "inventory/textencoding.h"

#include <QDate>
#include <QLocale>

#include <algorithm>

namespace tessivane {

namespace {

constexpr int kFields = int(kInventoryFields.size());

bool isBlankRecord(const CsvRecord& record)
{
    if (record.openQuoteColumn > 0)
        return false;
    for (const QString& field : record.fields) {
        if (!isBlankText(field))
            return false;
    }
    return true;
}

int span(const CsvRecord& record)
{
    return record.lastLine - record.line + 1;
}

QString controlCharacter(const QString& text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != '\t' && u != '\n' && u != '\r') || u == 0x7F
            || (u >= 0x80 && u < 0xA0))
            return QStringLiteral("U+")
                + QString::number(u, 16).toUpper().rightJustified(4, QLatin1Char('0'));
    }
    return {};
}

QString orderWords(DateOrder order)
{
    switch (order) {
    case DateOrder::YearMonthDay:
        return QStringLiteral("year, month, day");
    case DateOrder::DayMonthYear:
        return QStringLiteral("day, month, year");
    case DateOrder::MonthDayYear:
        return QStringLiteral("month, day, year");
    }
    return {};
}

QString lineCountText(int lines)
{
    return lines == 1 ? QStringLiteral("1 line") : QStringLiteral("%1 lines").arg(lines);
}

} // namespace

bool isBlankText(const QString& text)
{
    for (const QChar c : text) {
        if (!c.isSpace() && c != QChar(0x1A)) // 0x1A: the end-of-file mark of DOS files
            return false;
    }
    return true;
}

ListRowReader::ListRowReader(ListRead& result, int header, int columns, const QList<int>& badLines,
    bool sheet, bool generated)
    : mResult(result)
    , mForm(result.form)
    , mHeader(header)
    , mColumns(columns)
    , mBadLines(badLines)
    , mSheet(sheet)
    , mGenerated(generated)
    , mRow(kFields)
{ }

bool ListRowReader::take(CsvRecord&& record)
{
    ++mIndex;
    if (mIndex < mHeader) {
        takeAbove(record);
        return true;
    }
    if (mIndex == mHeader) {
        mResult.lines.header += span(record);
        return true;
    }
    if (isBlankRecord(record)) {
        mResult.lines.blank += span(record);
        ++mResult.blankRows;
        return true;
    }
    if (refusedWhole(record))
        return true;
    const QList<RowRefusal> cells = readCells(record);
    const bool blank = isBlankRow(mRow);
    bool mappedValues = false;
    for (int column = 0; column < record.fields.size() && !mappedValues; ++column) {
        mappedValues = column < mForm.columnFields.size() && mForm.columnFields[column] >= 0
            && !isBlankText(record.fields[column]);
    }
    if (!cells.isEmpty() && (!mForm.keepRefusedRows || blank)) {
        refuseRow(record, cells.first());
    } else if (blank && !mappedValues && !mGenerated) {
        // Not blank, as the line holds something: nothing of it goes to a field (a generated
        // sheet leaves out the columns it computes).
        refuseRow(record,
            {record.line, -1, QStringLiteral("has values only in columns that are left out"), 0,
                record.fields.join(mForm.separator).simplified()});
    } else if (blank) {
        mResult.lines.blank += span(record);
        ++mResult.blankRows;
    } else if (mResult.rows.size() >= kMaxStoredRows) {
        mStoppedAtLine = record.line;
        return false;
    } else {
        if (mResult.emptied.size() < kMaxListedRefusals)
            mResult.emptied.append(cells);
        mResult.rows.append(mRow);
        mResult.lines.good += span(record);
    }
    return true;
}

void ListRowReader::takeAbove(const CsvRecord& record)
{
    mResult.lines.above += span(record);
    const QString text = record.fields.join(QLatin1Char(' ')).simplified();
    mAboveTexts.append(text.isEmpty() ? QStringLiteral("a blank line")
                                      : QLatin1Char('"') + text + QLatin1Char('"'));
}

bool ListRowReader::refusedWhole(const CsvRecord& record)
{
    if (record.openQuoteColumn > 0) {
        const int column = record.openQuoteColumn;
        refuseRow(record,
            {record.line, column <= mForm.columnFields.size() ? mForm.columnFields[column - 1] : -1,
                QStringLiteral("the quote opened in column %1 on line %2 is not closed")
                    .arg(column)
                    .arg(record.openQuoteLine),
                column, record.fields.last()});
        return true;
    }
    int extra = 0;
    for (int column = mColumns; column < record.fields.size(); ++column)
        extra += !isBlankText(record.fields[column]) ? 1 : 0;
    if (extra > 0 && !mGenerated) {
        refuseRow(record,
            {record.line, -1,
                QStringLiteral("has %1 values, the header names %2 columns")
                    .arg(record.fields.size())
                    .arg(mColumns),
                0, record.fields.mid(mColumns).join(mForm.separator)});
        return true;
    }
    return false;
}

QList<RowRefusal> ListRowReader::readCells(const CsvRecord& record)
{
    const bool badBytes = std::any_of(mBadLines.cbegin(), mBadLines.cend(),
        [&](int line) { return line >= record.line && line <= record.lastLine; });
    QList<RowRefusal> cells;
    mRow.fill(QVariant());
    for (int column = 0; column < qMin<int>(record.fields.size(), mColumns); ++column) {
        const int field = mForm.columnFields[column];
        if (field < 0)
            continue;
        const QString& text = record.fields[column];
        RowRefusal cell {record.line, field, cellRefusal(text, badBytes), column + 1, text};
        if (cell.reason.isEmpty()) {
            try {
                mRow[field] = valueOf(field, text);
                continue;
            } catch (const ValueRefused& refused) {
                cell.reason = refused.reason;
            } catch (const std::exception& e) {
                cell.reason = QString::fromUtf8(e.what());
            }
        }
        cells.append(cell);
    }
    return cells;
}

/// Why a value is refused before it is read at all; nothing when it may be read.
QString ListRowReader::cellRefusal(const QString& text, bool badBytes) const
{
    if (badBytes && text.contains(QChar::ReplacementCharacter)) {
        return QStringLiteral("holds bytes that are no %1 text: choose the character set the "
                              "file is in")
            .arg(encodingName(mForm.encoding));
    }
    if (const QString control = controlCharacter(text); !control.isEmpty())
        return QStringLiteral("holds the control character %1").arg(control);
    return {};
}

void ListRowReader::refuseRow(const CsvRecord& record, const RowRefusal& refusal)
{
    // Only the first refusals are listed: a file of refused lines stays in bounds.
    if (mResult.refused.size() < kMaxListedRefusals)
        mResult.refused.append(refusal);
    else
        ++mResult.moreRefused;
    mResult.lines.refused += span(record);
}

QVariant ListRowReader::valueOf(int field, const QString& fileText)
{
    // An export guards formula-like text with an apostrophe; it comes off here.
    const QString text = formulaSafeTextTakenBack(fileText);
    QString value = text;
    const QString trimmed = text.trimmed();
    if (field == kLoanRate && trimmed.endsWith(QLatin1Char('%'))) {
        value = trimmed.chopped(1);
    } else if (field == kLoanRate && mGenerated && !trimmed.isEmpty()) {
        // The generated sheet holds the loan rate as the fraction its percent cell shows.
        const double fraction = readFileNumber(trimmed, mForm.decimal).value;
        return importValue(kInventoryFields[field],
            QString::number(roundHalfEven(fraction * 100, 4), 'f', QLocale::FloatingPointShortest),
            DecimalMark::Point, mForm.dates);
    }
    bool differs = false;
    try {
        const QVariant stored
            = importValue(kInventoryFields[field], value, mForm.decimal, mForm.dates, &differs);
        if (differs && ++mOtherFormDiffers == 1)
            mDifferingExample = trimmed;
        return stored;
    } catch (const ValueRefused&) {
        // The office writes the dates of a sheet in its own fallback form (English, United
        // States) where the user's locale is none it knows.
        const QDate date = QDate::fromString(trimmed, QStringLiteral("MM/dd/yyyy"));
        if (!mSheet || field != kDatePurchased || !date.isValid())
            throw;
        return importValue(
            kInventoryFields[field], date.toString(Qt::ISODate), mForm.decimal, mForm.dates);
    }
}

void ListRowReader::addNotes(bool firstLineHeader, const QStringList& dateTexts)
{
    if (mStoppedAtLine > 0)
        mResult.notes.append(QStringLiteral("The list holds at most %L1 rows: the reading "
                                            "stopped there, and line %L2 on were left out.")
                                 .arg(kMaxStoredRows)
                                 .arg(mStoppedAtLine));
    addHeaderNote(firstLineHeader);
    addColumnNotes();
    addValueNotes(dateTexts);
    if (mGenerated)
        mResult.notes.append(QStringLiteral("A workbook made by this program: its rows are read "
                                            "from row %1 on.")
                                 .arg(kSheetFirstRow));
}

void ListRowReader::addHeaderNote(bool firstLineHeader)
{
    if (firstLineHeader) {
        mResult.notes.append(QStringLiteral("The first line names the columns."));
    } else if (mHeader >= 0) {
        mResult.notes.append(
            QStringLiteral("The header is on line %1; %2 above it skipped: %3.")
                .arg(mForm.headerLine)
                .arg(lineCountText(mResult.lines.above),
                    mAboveTexts.mid(0, 3).join(QStringLiteral(", "))
                        + (mAboveTexts.size() > 3 ? QStringLiteral(" …") : QString())));
    } else {
        mResult.notes.append(QStringLiteral("No line names the columns: they are taken in the "
                                            "list's order."));
    }
}

void ListRowReader::addColumnNotes()
{
    const QList<FileColumn>& columns = mResult.columns;
    QStringList leftOut;
    for (int column = 0; column < columns.size(); ++column) {
        if (mForm.columnFields[column] < 0)
            leftOut.append(QLatin1Char('"') + columns[column].heading + QLatin1Char('"'));
    }
    if (!columns.isEmpty() && leftOut.size() == columns.size())
        mResult.notes.append(QStringLiteral("No column goes to a field of the list: choose the "
                                            "field of each column."));
    else if (!leftOut.isEmpty() && !mGenerated)
        mResult.notes.append(
            QStringLiteral("Columns left out: %1.").arg(leftOut.join(QStringLiteral(", "))));
}

void ListRowReader::addValueNotes(const QStringList& dateTexts)
{
    if (mForm.columnFields.contains(kDatePurchased)) {
        bool decided = true;
        guessDateOrder(dateTexts, mForm.dates, &decided);
        mResult.notes.append(QStringLiteral("Dates are read %1%2.")
                                 .arg(orderWords(mForm.dates),
                                     decided ? QString()
                                             : QStringLiteral(": the dates fit more than one "
                                                              "order, check them")));
    }
    if (mOtherFormDiffers > 0) {
        mResult.notes.append(
            QStringLiteral("%1 such as \"%2\" would read differently with a %3: check the "
                           "decimal mark.")
                .arg(mOtherFormDiffers == 1 ? QStringLiteral("1 number")
                                            : QStringLiteral("%1 numbers").arg(mOtherFormDiffers),
                    mDifferingExample,
                    mForm.decimal == DecimalMark::Point ? QStringLiteral("decimal comma")
                                                        : QStringLiteral("decimal point")));
    }
    if (!mResult.emptied.isEmpty())
        mResult.notes.append(
            QStringLiteral("%1 refused left empty; their rows are brought in.")
                .arg(mResult.emptied.size() == 1
                        ? QStringLiteral("1 value")
                        : QStringLiteral("%1 values").arg(mResult.emptied.size())));
}

} // namespace tessivane
