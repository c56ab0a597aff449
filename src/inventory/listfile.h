#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>
#include <QVector>

#include "inventory/listform.h"

#include <functional>
#include <memory>
#include <stdexcept>

namespace tessivane {

/// The inventory list in and out of files: CSV and tab-separated text, the first sheet of a
/// workbook as an office hands it over, and the CSV an export writes.

class ListSource;

/// A row of a file that the list does not take: the line (or sheet row) it starts on, the
/// column of the file (1-based) and the field of its first refused value (0 and -1 when the
/// row itself is refused), why in the user's words ("needs a whole number, such as 5"), and
/// the value refused. Also a cell left empty when refused rows are brought in.
struct RowRefusal
{
    int line = 0;
    int field = -1;
    QString reason;
    int column = 0;
    QString value;
};

/// Where each line of a file went: every line is exactly one of these.
struct LineCounts
{
    int total = 0;
    int header = 0;
    /// Lines above the header (a title, blank lines), skipped.
    int above = 0;
    /// Lines of nothing but blanks, tabs, separators or an end-of-file mark.
    int blank = 0;
    /// Lines of good rows (a row may take more than one line).
    int good = 0;
    int refused = 0;
};

/// A column of a file as the user recognises it: its heading ("Column N" without a header)
/// and its first values.
struct FileColumn
{
    QString heading;
    QStringList firstValues;
};

/// How many refused rows a reading lists; the rest are only counted.
inline constexpr int kMaxListedRefusals = 1000;

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
    /// How the file was read, found or chosen.
    ListForm form;
    /// The file's columns, in the file's order.
    QList<FileColumn> columns;
    LineCounts lines;
    /// The cells left empty when form.keepRefusedRows brought their rows in.
    QList<RowRefusal> emptied;
    /// The file as read, to read it again in another form (nothing for a list read otherwise).
    std::shared_ptr<const ListSource> source;
};

/// A refused row or cell as the user reads it: line, column and its heading, field, reason and
/// the refused value.
QString refusalText(const ListRead& read, const RowRefusal& refusal);

/// The bytes of a list file, read in any form: the form guessed, and the list it gives.
class ListSource : public std::enable_shared_from_this<ListSource>
{
public:
    /// A delimited text as read from a file.
    static std::shared_ptr<const ListSource> ofText(const QByteArray& bytes);
    /// The first sheet of a workbook as an office converted it (UTF-8, comma-separated).
    static std::shared_ptr<const ListSource> ofSheet(
        const QString& sheetName, const QByteArray& csv);

    /// Whether its character set and separator are fixed (a workbook's sheet).
    bool isSheet() const { return mSheet; }

    /// The form found in the file: character set, separator, header line, columns from their
    /// headings, decimal mark and date order from the values.
    ListForm guessedForm() const;
    /// The form with its parts up to `changed` as given and those after it found anew: a new
    /// separator finds the header again, a new header the columns; the number and date forms
    /// follow the columns unless the user changed only those.
    ListForm guessedForm(const ListForm& given, FormPart changed) const;

    /// The list the file gives in this form.
    ListRead read(const ListForm& form, const ReadProgress& progress = {}) const;

private:
    ListSource(const QByteArray& bytes, bool sheet, bool generated);
    struct Parsed;
    Parsed parse(const ListForm& form) const;
    /// Finds the header record and the number of columns.
    void locate(Parsed& parsed, int headerLine) const;
    void readHead(Parsed& parsed, QChar separator) const;

    QByteArray mBytes;
    bool mSheet = false;
    /// A sheet of a workbook this program generated.
    bool mGenerated = false;
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

/// The rows of a delimited text (bytes as read from the file) in the form guessed from them:
/// ListSource::ofText(bytes), read in its guessed form.
ListRead readListText(const QByteArray& bytes, const ReadProgress& progress = {});

/// The rows of a workbook's first sheet. A sheet that this program generated (it carries the
/// template's sheet name) is read from row 4 in the template's columns, its loan rate as the
/// percent the list holds; any other sheet as a delimited text.
ListRead readListSheet(SheetText sheet, const ReadProgress& progress = {});

/// Whether the file's first bytes are those of a workbook (.xls, .xlsx, .ods containers).
bool looksLikeWorkbook(const QByteArray& head);

/// Reads a list file of any kind the import knows, the workbooks (those looksLikeWorkbook
/// knows, and .fods files) through readWorkbook, in the form guessed from it; the result's
/// source reads it again in another.
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
