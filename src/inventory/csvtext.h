#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace tessivane {

/// Text files as spreadsheets and other programs exchange them: RFC 4180 records (fields with
/// separators, quotes or line breaks quoted, quotes doubled), read leniently, written strictly.

/// One record of a delimited text and the line of the file it starts on (1-based).
struct CsvRecord
{
    int line = 0;
    QStringList fields;
};

/// The bytes as text: UTF-8 with or without a byte-order mark when they are valid UTF-8,
/// otherwise Windows-1252 (what older spreadsheets on Windows write).
QString decodeText(const QByteArray& bytes);

/// The separator a delimited text uses: tab, semicolon or comma, whichever splits its first
/// records (quotes respected) most evenly into more than one field, tab before semicolon before
/// comma when they split alike; comma when none splits.
QChar detectDelimiter(const QString& text);

/// The records of a delimited text. A field that starts with a quote runs to the closing quote
/// and may hold separators, doubled quotes and line breaks; CRLF, LF and CR end a record. A
/// last line break ends the text, it adds no empty record.
QList<CsvRecord> readDelimited(const QString& text, QChar delimiter);

/// Takes one record of a delimited text, and where the text has been read up to; returns
/// false to stop the reading.
using RecordTaker = std::function<bool(CsvRecord&& record, qsizetype position)>;

/// The records of a delimited text, as readDelimited reads them, handed to take one by one
/// as they are read, so that no more than one of them is held at a time.
void forEachDelimited(const QString& text, QChar delimiter, const RecordTaker& take);

/// One field as RFC 4180 writes it: quoted, with quotes doubled, when it holds the separator,
/// a quote or a line break.
QString QuotedField(const QString& field, QChar delimiter);

/// Records joined with the separator and lineEnd after each, fields quoted as needed.
QString writeDelimited(const QList<QStringList>& records, QChar delimiter, const QString& lineEnd);

} // namespace tessivane
