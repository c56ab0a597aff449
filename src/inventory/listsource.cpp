// Reading a list file in a form: the records of the decoded text, the header among them, each
// record's values checked into a row or refused, and every line accounted for.
#include "inventory/listfile.h"

#include "inventory/csvtext.h"
#include "inventory/fieldconversion.h"
#include "inventory/formulatext.h"
#include "inventory/inventoryfields.h"
#include "inventory/listedit.h"
#include "inventory/persistence.h"

#include <QDate>
#include <QLocale>

namespace tessivane {

namespace {

constexpr int kFields = int(kInventoryFields.size());
// How many records go between two questions whether to go on.
constexpr int kRecordsBetweenReports = 256;
// The header is looked for among the first lines, and so many first values are shown.
constexpr int kHeaderLinesLooked = 10;
constexpr int kFirstValuesShown = 3;
// The records kept whole: the header is looked for, and guesses made, among them.
constexpr int kHeadRecords = 2000;

bool isBlankText(const QString& text)
{
    for (const QChar c : text) {
        if (!c.isSpace() && c != QChar(0x1A)) // 0x1A: the end-of-file mark of DOS files
            return false;
    }
    return true;
}

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

/// The lines of a text, as readDelimited counts them.
int lineCount(const QString& text)
{
    int lines = 0;
    bool open = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('\n')
            || (c == QLatin1Char('\r')
                && (i + 1 >= text.size() || text[i + 1] != QLatin1Char('\n')))) {
            ++lines;
            open = false;
        } else if (c != QLatin1Char('\r')) {
            open = true;
        }
    }
    return lines + (open ? 1 : 0);
}

bool looksLikeValue(const QString& text)
{
    for (const DecimalMark decimal : {DecimalMark::Point, DecimalMark::Comma}) {
        try {
            readFileNumber(text, decimal);
            return true;
        } catch (const ValueRefused&) { }
    }
    return readFileDate(text, DateOrder::DayMonthYear).isValid()
        || readFileDate(text, DateOrder::MonthDayYear).isValid();
}

/// The cells of a record that hold something, and whether all of them are words (no number,
/// no date), as a header's are.
int filledCells(const CsvRecord& record, bool* allWords = nullptr)
{
    int filled = 0;
    if (allWords)
        *allWords = record.openQuoteColumn == 0;
    for (const QString& cell : record.fields) {
        if (isBlankText(cell))
            continue;
        ++filled;
        if (allWords && *allWords && looksLikeValue(cell))
            *allWords = false;
    }
    return filled;
}

/// The header among the first lines: the first record of words only, about as wide as the row
/// after it (a title has one cell where the rows have many), that names a field or whose next
/// row holds a number or a date under one of its words. Only before the first row of values;
/// -1 for none.
int findHeader(const QList<CsvRecord>& records, int linesLooked)
{
    for (int i = 0; i < records.size() && records[i].line <= linesLooked; ++i) {
        bool words = false;
        const int filled = filledCells(records[i], &words);
        if (filled == 0)
            continue;
        if (!words)
            return -1;
        int next = i + 1;
        while (next < records.size() && filledCells(records[next]) == 0)
            ++next;
        const CsvRecord* below = next < records.size() ? &records[next] : nullptr;
        if (below && filled * 2 < filledCells(*below))
            continue;
        int named = 0;
        for (const QString& cell : records[i].fields)
            named += likelyFieldOfHeading(cell) >= 0 ? 1 : 0;
        bool valuesBelow = false;
        const qsizetype shared = below ? qMin(records[i].fields.size(), below->fields.size()) : 0;
        for (qsizetype column = 0; column < shared; ++column) {
            valuesBelow = valuesBelow
                || (!isBlankText(records[i].fields[column])
                    && looksLikeValue(below->fields[column]));
        }
        if (named > 0 || (filled >= 2 && valuesBelow))
            return i;
    }
    return -1;
}

int recordAtLine(const QList<CsvRecord>& records, int line)
{
    for (int i = 0; i < records.size() && line > 0; ++i) {
        if (records[i].line <= line && line <= records[i].lastLine)
            return i;
    }
    return -1;
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

struct ListSource::Parsed
{
    DecodedText decoded;
    /// The first records only (the header is among them, and the values that guesses are made
    /// from): the rest are read one at a time, so that a long file is never held as records.
    QList<CsvRecord> records;
    /// The most values a record without an unclosed quote has, over the whole text.
    int widest = 0;
    /// The header record's index, -1 without one.
    int header = -1;
    /// The number of columns: the header's, or what most rows have.
    int columns = 0;

    /// The values of the columns going to these fields.
    QStringList valuesOf(const ListForm& form, const QList<int>& fields, int limit) const
    {
        QStringList values;
        for (int i = header + 1; i < records.size() && values.size() < limit; ++i) {
            const QStringList& cells = records[i].fields;
            for (int column = 0; column < qMin<int>(cells.size(), form.columnFields.size());
                 ++column) {
                if (fields.contains(form.columnFields[column]) && !isBlankText(cells[column]))
                    values.append(cells[column]);
            }
        }
        return values;
    }
};

ListSource::ListSource(const QByteArray& bytes, bool sheet, bool generated)
    : mBytes(bytes)
    , mSheet(sheet)
    , mGenerated(generated)
{ }

std::shared_ptr<const ListSource> ListSource::ofText(const QByteArray& bytes)
{
    return std::shared_ptr<const ListSource>(new ListSource(bytes, false, false));
}

std::shared_ptr<const ListSource> ListSource::ofSheet(
    const QString& sheetName, const QByteArray& csv)
{
    return std::shared_ptr<const ListSource>(
        new ListSource(csv, true, sheetName == QLatin1String(kSheetName)));
}

ListSource::Parsed ListSource::parse(const ListForm& form) const
{
    Parsed parsed;
    parsed.decoded = decodeBytes(mBytes, form.encoding);
    readHead(parsed, form.separator);
    locate(parsed, form.headerLine);
    return parsed;
}

void ListSource::readHead(Parsed& parsed, QChar separator) const
{
    parsed.records.clear();
    parsed.widest = 0;
    forEachDelimited(parsed.decoded.text, separator, [&parsed](CsvRecord&& record) {
        if (record.openQuoteColumn == 0)
            parsed.widest = qMax(parsed.widest, int(record.fields.size()));
        if (parsed.records.size() < kHeadRecords)
            parsed.records.append(std::move(record));
        return true;
    });
}

void ListSource::locate(Parsed& parsed, int headerLine) const
{
    parsed.header = recordAtLine(parsed.records, headerLine);
    parsed.columns = 0;
    if (parsed.header >= 0 && !mGenerated) {
        parsed.columns = int(parsed.records[parsed.header].fields.size());
        return;
    }
    // Without a header the widest row says how many columns there are (rows often leave
    // their empty last values out).
    parsed.columns = parsed.widest;
}

ListForm ListSource::guessedForm() const
{
    ListForm form;
    form.encoding = mSheet ? TextEncoding::Utf8 : guessEncoding(mBytes);
    return guessedForm(form, FormPart::Encoding);
}

ListForm ListSource::guessedForm(const ListForm& given, FormPart changed) const
{
    ListForm form = given;
    if (changed >= FormPart::Columns)
        return form;
    Parsed parsed;
    parsed.decoded = decodeBytes(mBytes, form.encoding);
    if (changed < FormPart::Separator)
        form.separator = mSheet ? QLatin1Char(',') : detectDelimiter(parsed.decoded.text);
    readHead(parsed, form.separator);
    if (changed < FormPart::HeaderLine) {
        form.headerLine = 0;
        if (mGenerated) {
            form.headerLine = kSheetFirstRow - 1;
        } else {
            const int header = findHeader(parsed.records, kHeaderLinesLooked);
            if (header >= 0)
                form.headerLine = parsed.records[header].line;
        }
    }
    locate(parsed, form.headerLine);
    if (changed < FormPart::Columns) {
        if (mGenerated && form.headerLine == kSheetFirstRow - 1) {
            form.columnFields = ColumnFields(qMax(parsed.columns, kSheetColumnOfField.back()), -1);
            for (int field = 0; field < kFields; ++field)
                form.columnFields[kSheetColumnOfField[field] - 1] = field;
        } else if (parsed.header >= 0) {
            form.columnFields = guessColumnFields(parsed.records[parsed.header].fields);
        } else {
            form.columnFields = fieldOrder(parsed.columns);
        }
    }
    form.columnFields.resize(parsed.columns, -1);
    if (changed < FormPart::Columns) {
        const DecimalMark usual = form.separator == QLatin1Char(';') ? DecimalMark::Comma
            : form.separator == QLatin1Char(',')                     ? DecimalMark::Point
            : QLocale().decimalPoint() == QLatin1String(",")         ? DecimalMark::Comma
                                                                     : DecimalMark::Point;
        form.decimal
            = guessDecimalMark(parsed.valuesOf(form, {5, 6, 7, 9, 10, 11, 12}, 200), usual);
        form.dates
            = guessDateOrder(parsed.valuesOf(form, {kDatePurchased}, 200), localeDateOrder());
    }
    return form;
}

ListRead ListSource::read(const ListForm& givenForm, const ReadProgress& progress) const
{
    ListRead result;
    result.source = shared_from_this();
    const Parsed parsed = parse(givenForm);
    ListForm& form = result.form;
    form = givenForm;
    form.columnFields.resize(parsed.columns, -1);
    const QList<CsvRecord>& records = parsed.records;
    result.lines.total = lineCount(parsed.decoded.text);

    // The columns as the user sees them.
    for (int column = 0; column < parsed.columns; ++column) {
        FileColumn shown;
        if (parsed.header >= 0 && column < records[parsed.header].fields.size())
            shown.heading = records[parsed.header].fields[column].trimmed();
        if (shown.heading.isEmpty())
            shown.heading = QStringLiteral("Column %1").arg(column + 1);
        result.columns.append(shown);
    }
    for (int i = parsed.header + 1; i < records.size(); ++i) {
        bool more = false;
        for (int column = 0; column < qMin<int>(records[i].fields.size(), parsed.columns);
             ++column) {
            QStringList& first = result.columns[column].firstValues;
            if (first.size() < kFirstValuesShown && !isBlankText(records[i].fields[column])
                && records[i].openQuoteColumn == 0)
                first.append(records[i].fields[column].trimmed());
            more = more || first.size() < kFirstValuesShown;
        }
        if (!more)
            break;
    }

    int otherFormDiffers = 0;
    QString differingExample;
    const auto valueOf = [&](int field, const QString& fileText) {
        // An export guards formula-like text with an apostrophe; it comes off here.
        const QString text = formulaSafeTextTakenBack(fileText);
        QString value = text;
        const QString trimmed = text.trimmed();
        if (field == kLoanRate && trimmed.endsWith(QLatin1Char('%'))) {
            value = trimmed.chopped(1);
        } else if (field == kLoanRate && mGenerated && !trimmed.isEmpty()) {
            // The generated sheet holds the loan rate as the fraction its percent cell shows.
            const double fraction = readFileNumber(trimmed, form.decimal).value;
            return importValue(kInventoryFields[field],
                QString::number(
                    roundHalfEven(fraction * 100, 4), 'f', QLocale::FloatingPointShortest),
                DecimalMark::Point, form.dates);
        }
        bool differs = false;
        try {
            const QVariant stored
                = importValue(kInventoryFields[field], value, form.decimal, form.dates, &differs);
            if (differs && ++otherFormDiffers == 1)
                differingExample = trimmed;
            return stored;
        } catch (const ValueRefused&) {
            // The office writes the dates of a sheet in its own fallback form (English, United
            // States) where the user's locale is none it knows.
            const QDate date = QDate::fromString(trimmed, QStringLiteral("MM/dd/yyyy"));
            if (!mSheet || field != kDatePurchased || !date.isValid())
                throw;
            return importValue(
                kInventoryFields[field], date.toString(Qt::ISODate), form.decimal, form.dates);
        }
    };

    QStringList aboveTexts;
    QVector<QVariant> row(kFields);
    int stoppedAtLine = 0;
    int i = -1;
    forEachDelimited(parsed.decoded.text, form.separator, [&](CsvRecord&& record) {
        ++i;
        if (progress && i % kRecordsBetweenReports == 0
            && !progress(record.line, result.lines.total))
            throw ReadCancelled();
        if (i < parsed.header) {
            result.lines.above += span(record);
            const QString text = record.fields.join(QLatin1Char(' ')).simplified();
            aboveTexts.append(text.isEmpty() ? QStringLiteral("a blank line")
                                             : QLatin1Char('"') + text + QLatin1Char('"'));
            return true;
        }
        if (i == parsed.header) {
            result.lines.header += span(record);
            return true;
        }
        if (isBlankRecord(record)) {
            result.lines.blank += span(record);
            ++result.blankRows;
            return true;
        }
        const auto refuseRow = [&](const RowRefusal& refusal) {
            // Only the first refusals are listed: a file of refused lines stays in bounds.
            if (result.refused.size() < kMaxListedRefusals)
                result.refused.append(refusal);
            else
                ++result.moreRefused;
            result.lines.refused += span(record);
        };
        const auto fieldOfColumn = [&](int column) {
            return column >= 1 && column <= form.columnFields.size() ? form.columnFields[column - 1]
                                                                     : -1;
        };
        if (record.openQuoteColumn > 0) {
            refuseRow({record.line, fieldOfColumn(record.openQuoteColumn),
                QStringLiteral("the quote opened in column %1 on line %2 is not closed")
                    .arg(record.openQuoteColumn)
                    .arg(record.openQuoteLine),
                record.openQuoteColumn, record.fields.last()});
            return true;
        }
        int extra = 0;
        for (int column = parsed.columns; column < record.fields.size(); ++column)
            extra += !isBlankText(record.fields[column]) ? 1 : 0;
        if (extra > 0 && !mGenerated) {
            refuseRow({record.line, -1,
                QStringLiteral("has %1 values, the header names %2 columns")
                    .arg(record.fields.size())
                    .arg(parsed.columns),
                0, record.fields.mid(parsed.columns).join(form.separator)});
            return true;
        }
        const bool badBytes
            = std::any_of(parsed.decoded.badLines.cbegin(), parsed.decoded.badLines.cend(),
                [&](int line) { return line >= record.line && line <= record.lastLine; });
        QList<RowRefusal> cells;
        row.fill(QVariant());
        for (int column = 0; column < qMin<int>(record.fields.size(), parsed.columns); ++column) {
            const int field = form.columnFields[column];
            if (field < 0)
                continue;
            const QString& text = record.fields[column];
            RowRefusal cell {record.line, field, {}, column + 1, text};
            if (badBytes && text.contains(QChar::ReplacementCharacter)) {
                cell.reason = QStringLiteral("holds bytes that are no %1 text: choose the "
                                             "character set the file is in")
                                  .arg(encodingName(form.encoding));
            } else if (const QString control = controlCharacter(text); !control.isEmpty()) {
                cell.reason = QStringLiteral("holds the control character %1").arg(control);
            } else {
                try {
                    row[field] = valueOf(field, text);
                    continue;
                } catch (const ValueRefused& refused) {
                    cell.reason = refused.reason;
                } catch (const std::exception& e) {
                    cell.reason = QString::fromUtf8(e.what());
                }
            }
            cells.append(cell);
        }
        const bool blank = isBlankRow(row);
        bool mappedValues = false;
        for (int column = 0; column < record.fields.size() && !mappedValues; ++column) {
            mappedValues = column < form.columnFields.size() && form.columnFields[column] >= 0
                && !isBlankText(record.fields[column]);
        }
        if (!cells.isEmpty() && (!form.keepRefusedRows || blank)) {
            refuseRow(cells.first());
        } else if (blank && !mappedValues && !mGenerated) {
            // Not blank, as the line holds something: nothing of it goes to a field (a
            // generated sheet leaves out the columns it computes).
            refuseRow(
                {record.line, -1, QStringLiteral("has values only in columns that are left out"), 0,
                    record.fields.join(form.separator).simplified()});
        } else if (blank) {
            result.lines.blank += span(record);
            ++result.blankRows;
        } else if (result.rows.size() >= kMaxStoredRows) {
            stoppedAtLine = record.line;
            return false;
        } else {
            if (result.emptied.size() < kMaxListedRefusals)
                result.emptied.append(cells);
            result.rows.append(row);
            result.lines.good += span(record);
        }
        return true;
    });

    // What the user is told about how it was read.
    if (stoppedAtLine > 0)
        result.notes.append(QStringLiteral("The list holds at most %L1 rows: the reading stopped "
                                           "there, and line %L2 on were left out.")
                                .arg(kMaxStoredRows)
                                .arg(stoppedAtLine));
    if (parsed.header == 0 && records[0].line == 1 && records[0].lastLine == 1) {
        result.notes.append(QStringLiteral("The first line names the columns."));
    } else if (parsed.header >= 0) {
        result.notes.append(
            QStringLiteral("The header is on line %1; %2 above it skipped: %3.")
                .arg(form.headerLine)
                .arg(lineCountText(result.lines.above),
                    aboveTexts.mid(0, 3).join(QStringLiteral(", "))
                        + (aboveTexts.size() > 3 ? QStringLiteral(" …") : QString())));
    } else {
        result.notes.append(QStringLiteral("No line names the columns: they are taken in the "
                                           "list's order."));
    }
    QStringList leftOut;
    for (int column = 0; column < result.columns.size(); ++column) {
        if (form.columnFields[column] < 0)
            leftOut.append(QLatin1Char('"') + result.columns[column].heading + QLatin1Char('"'));
    }
    if (!result.columns.isEmpty() && leftOut.size() == result.columns.size())
        result.notes.append(QStringLiteral("No column goes to a field of the list: choose the "
                                           "field of each column."));
    else if (!leftOut.isEmpty() && !mGenerated)
        result.notes.append(
            QStringLiteral("Columns left out: %1.").arg(leftOut.join(QStringLiteral(", "))));
    if (form.columnFields.contains(kDatePurchased)) {
        bool decided = true;
        guessDateOrder(parsed.valuesOf(form, {kDatePurchased}, 200), form.dates, &decided);
        result.notes.append(QStringLiteral("Dates are read %1%2.")
                                .arg(orderWords(form.dates),
                                    decided ? QString()
                                            : QStringLiteral(": the dates fit more than one "
                                                             "order, check them")));
    }
    if (otherFormDiffers > 0) {
        result.notes.append(
            QStringLiteral("%1 such as \"%2\" would read differently with a %3: check the "
                           "decimal mark.")
                .arg(otherFormDiffers == 1 ? QStringLiteral("1 number")
                                           : QStringLiteral("%1 numbers").arg(otherFormDiffers),
                    differingExample,
                    form.decimal == DecimalMark::Point ? QStringLiteral("decimal comma")
                                                       : QStringLiteral("decimal point")));
    }
    if (!result.emptied.isEmpty())
        result.notes.append(QStringLiteral("%1 refused left empty; their rows are brought in.")
                                .arg(result.emptied.size() == 1
                                        ? QStringLiteral("1 value")
                                        : QStringLiteral("%1 values").arg(result.emptied.size())));
    if (mGenerated)
        result.notes.append(QStringLiteral("A workbook made by this program: its rows are read "
                                           "from row %1 on.")
                                .arg(kSheetFirstRow));
    return result;
}

} // namespace tessivane
