#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>
#include <stdexcept>

namespace tessivane {

/// The inventory list in and out of files: CSV and tab-separated text, the first sheet of a
/// workbook as an office hands it over, and the CSV an export writes.

/// A row of a file that the list does not take: the line (or sheet row) it starts on, the
/// field of its first refused value (-1 when the row itself is refused) and why.
struct RowRefusal
{
    int line = 0;
    int field = -1;
    QString reason;
};

/// How many refused rows a reading lists; the rest are only counted.
inline constexpr int kMaxListedRefusals = 1000;

/// What a file holds for the list, checked value by value as typed values are. Reading stops
/// once the list's limit of rows (kMaxStoredRows) is read; a note says where.
struct ListRead
{
    /// The good rows, every value as its field stores it.
    QVector<QVector<QVariant>> rows;
    /// One entry per refused row, the first kMaxListedRefusals of them.
    QList<RowRefusal> refused;
    /// Refused rows beyond those listed.
    int moreRefused = 0;
    /// Rows with nothing filled in, left out.
    int blankRows = 0;
    /// Sentences about how the file was read (the header it had, columns left out).
    QStringList notes;
};

/// The first sheet of a workbook as a fresh office converted it: the sheet's name and its
/// cells as UTF-8 CSV (comma, RFC 4180 quoting), the values unformatted; rowsLeftOut rows at
/// its end, past what the list can hold, were not converted.
struct SheetText
{
    QString name;
    QByteArray csv;
    int rowsLeftOut = 0;
};

/// Told how far a reading has come (done of total; total 0 while that is not known); returns
/// false to stop it. Called on the thread that reads.
using ReadProgress = std::function<bool(qint64 done, qint64 total)>;

/// Thrown when a ReadProgress stopped a reading.
class ReadCancelled : public std::runtime_error
{
public:
    ReadCancelled()
        : std::runtime_error("The reading was cancelled.")
    { }
};

/// Converts a workbook's first sheet, no more rows of it than the list holds (kMaxStoredRows
/// after the sheet's first rows); throws a readable sentence when it cannot, ReadCancelled
/// once progress says stop. May be called on any thread.
using WorkbookReader
    = std::function<SheetText(const QString& workbook, const ReadProgress& progress)>;

/// The most rows of a sheet a workbook reader converts: the list's limit, after the first
/// rows of a sheet this program generated, and one more to find that there are more.
int sheetRowsToRead();

/// The largest file an import reads.
inline constexpr qint64 kMaxListFileBytes = 64 * 1024 * 1024;

/// The field a column heading names: the field names and the grid's captions, in any letter
/// case, with or without blanks, the percent sign or parentheses. -1 for none.
int fieldOfHeading(const QString& heading);

/// The rows of a delimited text (bytes as read from the file; encoding and separator are
/// found from them). A first record that names fields is the header and says which column
/// holds which field; without one the columns are taken in field order.
ListRead readListText(const QByteArray& bytes, const ReadProgress& progress = {});

/// The rows of a workbook's first sheet. A sheet that this program generated (it carries the
/// template's sheet name) is read from row 4 in the template's columns, its loan rate as the
/// percent the list holds; any other sheet as a delimited text.
ListRead readListSheet(SheetText sheet, const ReadProgress& progress = {});

/// Whether the file's first bytes are those of a workbook (.xls, .xlsx, .ods containers).
bool looksLikeWorkbook(const QByteArray& head);

/// Reads a list file of any kind the import knows, the workbooks (those looksLikeWorkbook
/// knows, and .fods files) through readWorkbook.
/// Throws a readable sentence when the file cannot be read: missing, unreadable, empty,
/// binary, larger than kMaxListFileBytes, or a workbook that cannot be converted;
/// ReadCancelled once progress says stop. Memory stays within a few times the file's size
/// however many lines it holds. May be called on any thread.
ListRead readListFile(
    const QString& path, const WorkbookReader& readWorkbook, const ReadProgress& progress = {});

/// The list as an export writes it: UTF-8 with a byte-order mark, a header of the thirteen
/// field names, one record per row that has anything filled in, comma-separated, RFC 4180
/// quoting, CRLF line ends, dates as yyyy-mm-dd, numbers with a point.
QByteArray listCsv(const QVector<QVector<QVariant>>& rows);

} // namespace tessivane
