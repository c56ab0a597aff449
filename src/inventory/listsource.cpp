// Reading a list file in a form: the records of the decoded text, the header among them, and
// the form guessed from them; the rows themselves are read by ListRowReader.
#include "inventory/listfile.h"

#include "inventory/csvtext.h"
#include "inventory/fieldconversion.h"
#include "inventory/inventoryfields.h"
#include "inventory/listrowreader.h"

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

/// The columns as the user sees them: the header's headings ("Column N" without one) and the
/// first values under them.
QList<FileColumn> fileColumns(const QList<CsvRecord>& records, int header, int count)
{
    QList<FileColumn> columns;
    for (int column = 0; column < count; ++column) {
        FileColumn shown;
        if (header >= 0 && column < records[header].fields.size())
            shown.heading = records[header].fields[column].trimmed();
        if (shown.heading.isEmpty())
            shown.heading = QStringLiteral("Column %1").arg(column + 1);
        columns.append(shown);
    }
    for (int i = header + 1; i < records.size(); ++i) {
        bool more = false;
        for (int column = 0; column < qMin<int>(records[i].fields.size(), count); ++column) {
            QStringList& first = columns[column].firstValues;
            if (first.size() < kFirstValuesShown && !isBlankText(records[i].fields[column])
                && records[i].openQuoteColumn == 0)
                first.append(records[i].fields[column].trimmed());
            more = more || first.size() < kFirstValuesShown;
        }
        if (!more)
            break;
    }
    return columns;
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
    result.lines.total = lineCount(parsed.decoded.text);
    result.columns = fileColumns(parsed.records, parsed.header, parsed.columns);

    ListRowReader rows(
        result, parsed.header, parsed.columns, parsed.decoded.badLines, mSheet, mGenerated);
    int i = -1;
    forEachDelimited(parsed.decoded.text, form.separator, [&](CsvRecord&& record) {
        ++i;
        if (progress && i % kRecordsBetweenReports == 0
            && !progress(record.line, result.lines.total))
            throw ReadCancelled();
        return rows.take(std::move(record));
    });

    const QList<CsvRecord>& records = parsed.records;
    const bool firstLineHeader
        = parsed.header == 0 && records[0].line == 1 && records[0].lastLine == 1;
    rows.addNotes(firstLineHeader,
        form.columnFields.contains(kDatePurchased) ? parsed.valuesOf(form, {kDatePurchased}, 200)
                                                   : QStringList());
    return result;
}

} // namespace tessivane
