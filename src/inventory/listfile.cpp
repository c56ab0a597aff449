#include "inventory/listfile.h"

#include "inventory/csvtext.h"
#include "inventory/fieldconversion.h"
#include "inventory/formulatext.h"
#include "inventory/inventoryfields.h"
#include "inventory/listedit.h"
#include "inventory/persistence.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>

#include <new>
#include <stdexcept>
#include <utility>

namespace tessivane {

namespace {

constexpr int kFields = int(kInventoryFields.size());

[[noreturn]] void fail(const QString& sentence)
{
    throw std::runtime_error(sentence.toStdString());
}

/// Letters and digits only, in lower case: "Loan rate(%)", "LOAN RATE" and "Loan rate" meet.
QString headingKey(const QString& heading)
{
    QString key;
    key.reserve(heading.size());
    for (const QChar c : heading) {
        if (c.isLetterOrNumber())
            key += c.toLower();
    }
    return key;
}

/// Which field each column holds: -1 for a column the list has no field for.
using ColumnFields = QVector<int>;

ColumnFields fieldOrder(int columns)
{
    ColumnFields order(columns, -1);
    for (int column = 0; column < qMin(columns, kFields); ++column)
        order[column] = column;
    return order;
}

/// The columns of a header record, or nothing when the record is no header: more of its
/// filled cells name a field than not.
std::optional<ColumnFields> headerColumns(const QStringList& record)
{
    ColumnFields columns(record.size(), -1);
    QVector<bool> taken(kFields, false);
    int named = 0;
    int filled = 0;
    for (int column = 0; column < record.size(); ++column) {
        if (record[column].trimmed().isEmpty())
            continue;
        ++filled;
        const int field = fieldOfHeading(record[column]);
        if (field < 0 || taken[field])
            continue;
        taken[field] = true;
        columns[column] = field;
        ++named;
    }
    if (named == 0 || named * 2 < filled)
        return std::nullopt;
    return columns;
}

/// Checks one record's values into a row; false, with the refusal, when a value is refused.
bool readRow(const QStringList& record, const ColumnFields& columns, int line,
    const std::function<QVariant(int field, const QString&)>& valueOf, QVector<QVariant>& row,
    RowRefusal& refusal)
{
    QVector<QString> texts(kFields);
    for (int column = 0; column < record.size() && column < columns.size(); ++column) {
        if (columns[column] >= 0)
            texts[columns[column]] = record[column];
    }
    row.resize(kFields);
    for (int field = 0; field < kFields; ++field) {
        try {
            row[field] = valueOf(field, texts[field]);
        } catch (const std::exception& e) {
            refusal = {line, field, QString::fromUtf8(e.what())};
            return false;
        }
    }
    return true;
}

using ValueReader = std::function<QVariant(int, const QString&)>;

/// Takes the records of a text one by one into a result, so that what is held stays bounded:
/// the good rows up to the list's limit, the first refusals and a count of the others.
class RowTaker
{
public:
    RowTaker(ListRead& result, ValueReader valueOf, ReadProgress progress, qsizetype textSize)
        : mResult(result)
        , mValueOf(std::move(valueOf))
        , mProgress(std::move(progress))
        , mTextSize(textSize)
    { }

    /// Whether the reading was stopped for the list's limit, and at which line.
    int stoppedAtLine() const { return mStoppedAtLine; }

    /// Asks whether to go on, now and then; throws ReadCancelled when not.
    void tellProgress(qsizetype position)
    {
        if (mProgress && (++mSinceTold >= kRecordsBetweenReports || position == mTextSize)) {
            mSinceTold = 0;
            if (!mProgress(position, mTextSize))
                throw ReadCancelled();
        }
    }

    /// Checks the record into a row; false once the list's limit is reached (the record is
    /// not taken, and the reading stops there).
    bool take(const CsvRecord& record, const ColumnFields& columns)
    {
        if (mResult.rows.size() >= kMaxStoredRows) {
            mStoppedAtLine = record.line;
            return false;
        }
        RowRefusal refusal;
        if (!readRow(record.fields, columns, record.line, mValueOf, mRow, refusal)) {
            if (mResult.refused.size() < kMaxListedRefusals)
                mResult.refused.append(refusal);
            else
                ++mResult.moreRefused;
        } else if (isBlankRow(mRow)) {
            ++mResult.blankRows;
        } else {
            mResult.rows.append(mRow);
        }
        return true;
    }

    /// The note about a reading stopped at the list's limit, if it was.
    void noteLimit()
    {
        if (mStoppedAtLine > 0)
            mResult.notes.append(QStringLiteral("The list holds at most %L1 rows: the reading "
                                                "stopped there, and line %L2 on were left out.")
                                     .arg(kMaxStoredRows)
                                     .arg(mStoppedAtLine));
    }

private:
    static constexpr int kRecordsBetweenReports = 256;

    ListRead& mResult;
    ValueReader mValueOf;
    ReadProgress mProgress;
    qsizetype mTextSize;
    QVector<QVariant> mRow;
    int mSinceTold = 0;
    int mStoppedAtLine = 0;
};

QVariant fileValue(int field, const QString& fileText)
{
    // An export guards formula-like text with an apostrophe; it comes off here.
    const QString text = formulaSafeTextTakenBack(fileText);
    // A percent column may carry its sign.
    const QString trimmed = text.trimmed();
    if (field == kLoanRate && trimmed.endsWith(QLatin1Char('%')))
        return FileValue(kInventoryFields[field], trimmed.chopped(1));
    return FileValue(kInventoryFields[field], text);
}

/// A value of a sheet the office wrote: as in a file, and a date also in the office's own
/// fallback form (English, United States) where the user's locale is none it knows.
QVariant sheetValue(int field, const QString& text)
{
    try {
        return fileValue(field, text);
    } catch (const std::exception&) {
        if (field != kDatePurchased)
            throw;
        const QDate date = QDate::fromString(text.trimmed(), QStringLiteral("MM/dd/yyyy"));
        if (!date.isValid())
            throw;
        return FileValue(kInventoryFields[field], date.toString(Qt::ISODate));
    }
}

/// A delimited text read record by record: a first record that names fields is the header,
/// else the columns are taken in field order.
ListRead readText(const QString& text, QChar delimiter, const ReadProgress& progress,
    const ValueReader& valueOf = fileValue)
{
    ListRead result;
    RowTaker taker(result, valueOf, progress, text.size());
    std::optional<ColumnFields> columns;
    bool header = false;
    int widest = 0;
    forEachDelimited(text, delimiter, [&](CsvRecord&& record, qsizetype position) {
        taker.tellProgress(position);
        if (!columns) {
            columns = headerColumns(record.fields);
            if (columns) {
                header = true;
                QStringList unknown;
                for (int column = 0; column < columns->size(); ++column) {
                    const QString heading = record.fields[column].trimmed();
                    if ((*columns)[column] < 0 && !heading.isEmpty())
                        unknown.append(QLatin1Char('"') + heading + QLatin1Char('"'));
                }
                result.notes.append(QStringLiteral("The first line names the columns."));
                if (!unknown.isEmpty())
                    result.notes.append(
                        QStringLiteral("Columns the list has no field for were left out: %1.")
                            .arg(unknown.join(QStringLiteral(", "))));
                return true;
            }
            columns = fieldOrder(kFields);
            result.notes.append(QStringLiteral("No line names the columns: they are taken in "
                                               "the list's order."));
        }
        widest = qMax(widest, int(record.fields.size()));
        return taker.take(record, *columns);
    });
    if (!header && widest > kFields)
        result.notes.append(QStringLiteral("Columns after the thirteenth were left out."));
    taker.noteLimit();
    return result;
}

/// A sheet as the office wrote it: one this program generated (it carries the template's sheet
/// name) from row 4 in the template's columns, any other as a delimited text.
ListRead readGeneratedOrPlainSheet(SheetText& sheet, const ReadProgress& progress)
{
    // Only the text is kept while the rows are read.
    const QString text = decodeText(std::exchange(sheet.csv, QByteArray()));
    if (sheet.name != QLatin1String(kSheetName))
        return readText(text, QLatin1Char(','), progress, sheetValue);
    ColumnFields columns(kSheetColumnOfField.back(), -1);
    for (int field = 0; field < kFields; ++field)
        columns[kSheetColumnOfField[field] - 1] = field;
    // The sheet holds the loan rate as the fraction its percent cell shows.
    const auto generatedValue = [](int field, const QString& text) {
        const QString trimmed = text.trimmed();
        if (field != kLoanRate || trimmed.isEmpty() || trimmed.endsWith(QLatin1Char('%')))
            return sheetValue(field, text);
        const QVariant fraction = FileValue(kInventoryFields[kInitialValue], trimmed);
        return FileValue(kInventoryFields[field],
            QString::number(
                roundHalfEven(fraction.toDouble() * 100, 4), 'f', QLocale::FloatingPointShortest));
    };
    ListRead result;
    result.notes.append(QStringLiteral("A workbook made by this program: its rows are read from "
                                       "row %1 on.")
                            .arg(kSheetFirstRow));
    RowTaker taker(result, generatedValue, progress, text.size());
    int skipped = 0;
    forEachDelimited(text, QLatin1Char(','), [&](CsvRecord&& record, qsizetype position) {
        taker.tellProgress(position);
        return ++skipped < kSheetFirstRow || taker.take(record, columns);
    });
    taker.noteLimit();
    return result;
}

} // namespace

int fieldOfHeading(const QString& heading)
{
    const QString key = headingKey(heading);
    if (key.isEmpty())
        return -1;
    for (int field = 0; field < kFields; ++field) {
        if (headingKey(QString::fromUtf8(kInventoryFields[field].name)) == key)
            return field;
    }
    return -1;
}

int sheetRowsToRead()
{
    return kSheetFirstRow + kMaxStoredRows;
}

ListRead readListText(const QByteArray& bytes, const ReadProgress& progress)
{
    const QString text = decodeText(bytes);
    return readText(text, detectDelimiter(text), progress);
}

ListRead readListSheet(SheetText sheet, const ReadProgress& progress)
{
    ListRead result = readGeneratedOrPlainSheet(sheet, progress);
    if (sheet.rowsLeftOut > 0)
        result.notes.append(QStringLiteral("The sheet holds more rows than the list: its last "
                                           "%L1 rows were left out.")
                                .arg(sheet.rowsLeftOut));
    return result;
}

bool looksLikeWorkbook(const QByteArray& head)
{
    // The compound document of .xls, and the zip container of .xlsx and .ods.
    return head.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") || head.startsWith("PK\x03\x04");
}

ListRead readListFile(
    const QString& path, const WorkbookReader& readWorkbook, const ReadProgress& progress)
{
    const QFileInfo info(path);
    if (!info.exists())
        fail(QStringLiteral("%1 cannot be read: there is no such file.").arg(path));
    if (!info.isFile())
        fail(QStringLiteral("%1 cannot be read: it is not a file.").arg(path));
    if (info.size() > kMaxListFileBytes)
        fail(QStringLiteral("%1 is too large to be read: the list takes files of up to %2 MB.")
                 .arg(path)
                 .arg(kMaxListFileBytes / (1024 * 1024)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
    if (progress && !progress(0, 0))
        throw ReadCancelled();
    try {
        QByteArray bytes = file.read(kMaxListFileBytes + 1);
        if (file.error() != QFileDevice::NoError)
            fail(QStringLiteral("%1 cannot be read: %2").arg(path, file.errorString()));
        if (bytes.size() > kMaxListFileBytes)
            fail(QStringLiteral("%1 is too large to be read.").arg(path));
        if (bytes.trimmed().isEmpty())
            fail(QStringLiteral("%1 is empty: it holds no rows.").arg(path));
        // Flat OpenDocument spreadsheets are text, known by their name.
        const QString suffix = info.suffix().toLower();
        if (looksLikeWorkbook(bytes.left(8)) || suffix == QLatin1String("fods")) {
            if (!readWorkbook)
                fail(QStringLiteral("%1 is a workbook, and no office is at hand to read it.")
                         .arg(path));
            bytes = QByteArray();
            SheetText sheet;
            try {
                sheet = readWorkbook(path, progress);
            } catch (...) {
                // Stopped while the office worked: whatever it said, the user stopped it.
                if (progress && !progress(0, 0))
                    throw ReadCancelled();
                throw;
            }
            return readListSheet(std::move(sheet), progress);
        }
        if (bytes.left(64 * 1024).contains('\0'))
            fail(QStringLiteral("%1 is neither a text file nor a workbook: it cannot be read as "
                                "a list.")
                     .arg(path));
        // Only the text is kept while the rows are read.
        const QString text = decodeText(std::exchange(bytes, QByteArray()));
        return readText(text, detectDelimiter(text), progress);
    } catch (const std::bad_alloc&) {
        fail(QStringLiteral("%1 is too large to be read in the memory at hand.").arg(path));
    }
}

QByteArray listCsv(const QVector<QVector<QVariant>>& rows)
{
    QList<QStringList> records;
    records.reserve(rows.size() + 1);
    QStringList header;
    for (const FieldDef& field : kInventoryFields)
        header.append(QString::fromUtf8(field.name));
    records.append(header);
    for (const QVector<QVariant>& row : rows) {
        if (isBlankRow(row))
            continue;
        QStringList record;
        record.reserve(row.size());
        for (const QVariant& value : row) {
            // Text a spreadsheet would run as a formula goes out guarded.
            record.append(value.typeId() == QMetaType::QString ? formulaSafeText(value.toString())
                                                               : StoredText(value));
        }
        records.append(record);
    }
    return "\xEF\xBB\xBF"
        + writeDelimited(records, QLatin1Char(','), QStringLiteral("\r\n")).toUtf8();
}

} // namespace tessivane
