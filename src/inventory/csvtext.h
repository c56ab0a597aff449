#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace tessivane {

/// Text files as spreadsheets and other programs exchange them: RFC 4180 records (fields with
/// separators, quotes or line breaks quoted, quotes doubled), read leniently, written strictly.

/// One record of a delimited text and the lines of the file it takes (1-based).
struct CsvRecord
{
    int line = 0;
    int lastLine = 0;
    QStringList fields;
    /// Where a quote opened a field that it never closed (1-based column and line), 0 when it
    /// did not happen. Such a record ends on the quote's line, its last field holding the rest
    /// of that line as it stands, and the next record starts on the line after.
    int openQuoteColumn = 0;
    int openQuoteLine = 0;
};

/// The separator a delimited text uses: tab, semicolon or comma, whichever splits most of its
/// first non-blank lines (quotes respected) into the same number of fields, more than one,
/// tab before semicolon before comma when they split alike; comma when none splits. A title
/// line above the header does not decide.
QChar detectDelimiter(const QString& text);

/// The records of a delimited text. A field that starts with a quote runs to the closing quote
/// and may hold separators, doubled quotes and line breaks; CRLF, LF and CR end a record. A
/// last line break ends the text, it adds no empty record. Every line belongs to one record
/// (an empty line is a record of one empty field). A quote that runs to the end of the text,
/// or that closes on a later line with text after it, never closed: see CsvRecord.
QList<CsvRecord> readDelimited(const QString& text, QChar delimiter);

/// Takes one record; false to stop the reading there.
using RecordTaker = std::function<bool(CsvRecord&& record)>;

/// The records of readDelimited handed over one at a time, so that a long text need not be
/// held as records all at once.
void forEachDelimited(const QString& text, QChar delimiter, const RecordTaker& take);

/// One field as RFC 4180 writes it: quoted, with quotes doubled, when it holds the separator,
/// a quote or a line break.
QString QuotedField(const QString& field, QChar delimiter);

/// Records joined with the separator and lineEnd after each, fields quoted as needed.
QString writeDelimited(const QList<QStringList>& records, QChar delimiter, const QString& lineEnd);

} // namespace tessivane
