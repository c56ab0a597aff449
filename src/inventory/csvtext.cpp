#include "inventory/csvtext.h"

#include <QMap>

namespace tessivane {

namespace {

bool isLineBreak(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

/// The number of fields of each of the first non-blank lines with this separator.
QList<int> fieldCounts(const QString& text, QChar delimiter, int records)
{
    QList<int> counts;
    int fields = 1;
    bool quoted = false;
    bool lineHasText = false;
    for (qsizetype i = 0; i < text.size() && counts.size() < records; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"'))
                quoted = false; // a doubled quote re-opens at once
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            lineHasText = true;
        } else if (c == delimiter) {
            ++fields;
            lineHasText = true;
        } else if (isLineBreak(c)) {
            if (lineHasText)
                counts.append(fields);
            fields = 1;
            lineHasText = false;
        } else if (!c.isSpace()) {
            lineHasText = true;
        }
    }
    if (lineHasText && counts.size() < records)
        counts.append(fields);
    return counts;
}

} // namespace

QChar detectDelimiter(const QString& text)
{
    constexpr int kRecordsLooked = 30;
    QChar best = QLatin1Char(',');
    int bestScore = 0;
    for (const QChar candidate : {QLatin1Char('\t'), QLatin1Char(';'), QLatin1Char(',')}) {
        const QList<int> counts = fieldCounts(text, candidate, kRecordsLooked);
        // The lines that split into the most common number of fields (above one) count: a
        // separator that splits every line alike wins over one that splits only some, and at
        // a tie tab, then semicolon (whose files use the comma as decimal mark) go first.
        QMap<int, int> lines;
        for (const int count : counts) {
            if (count > 1)
                ++lines[count];
        }
        int agreeing = 0;
        for (const int same : std::as_const(lines))
            agreeing = qMax(agreeing, same);
        if (agreeing == 0)
            continue;
        const int score = agreeing * 1000 / int(counts.size());
        if (score > bestScore) {
            best = candidate;
            bestScore = score;
        }
    }
    return best;
}

void forEachDelimited(const QString& text, QChar delimiter, const RecordTaker& take)
{
    CsvRecord record;
    QString field;
    int line = 1;
    bool quoted = false; // inside a quoted field
    bool wasQuoted = false; // the field began with a quote
    bool pending = false; // something of the current record has been read
    qsizetype fieldStart = 0; // where a quoted field's opening quote stands
    int quoteLine = 0; // the line it stands on
    bool taking = true; // the taker wants more
    const qsizetype size = text.size();
    const auto endField = [&] {
        record.fields.append(field);
        field.clear();
        wasQuoted = false;
    };
    const auto endRecord = [&] {
        endField();
        record.lastLine = line;
        taking = take(std::move(record));
        record = CsvRecord();
        pending = false;
    };
    // A quote that never closed: the record ends with the rest of the quote's line as it
    // stands, and reading goes on from the next line. Leaves i on that line's break.
    const auto abandonQuote = [&](qsizetype& i) {
        record.openQuoteColumn = int(record.fields.size()) + 1;
        record.openQuoteLine = quoteLine;
        qsizetype end = fieldStart;
        while (end < size && !isLineBreak(text[end]))
            ++end;
        field = text.mid(fieldStart, end - fieldStart);
        if (end + 1 < size && text[end] == QLatin1Char('\r') && text[end + 1] == QLatin1Char('\n'))
            ++end;
        quoted = false;
        line = quoteLine;
        endRecord();
        line = quoteLine + 1;
        i = end;
    };
    for (qsizetype i = 0; taking; ++i) {
        if (i >= size) {
            if (!quoted)
                break;
            abandonQuote(i);
            continue;
        }
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < size && text[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else if (i + 1 < size && text[i + 1] != delimiter && !isLineBreak(text[i + 1])) {
                    // Text after the closing quote: the field was never quoted, as a
                    // spreadsheet puts a cell such as "Arc" lamp on the clipboard, and it is
                    // taken as it stands; across lines, the quote that opened it never closed.
                    if (line > quoteLine) {
                        abandonQuote(i);
                        continue;
                    }
                    quoted = false;
                    field = text.mid(fieldStart, i + 1 - fieldStart);
                } else {
                    quoted = false;
                }
            } else {
                if (c == QLatin1Char('\n')
                    || (c == QLatin1Char('\r')
                        && (i + 1 >= size || text[i + 1] != QLatin1Char('\n'))))
                    ++line;
                field += c;
            }
            continue;
        }
        if (!pending) {
            record.line = line;
            pending = true;
        }
        if (c == delimiter) {
            endField();
        } else if (isLineBreak(c)) {
            if (c == QLatin1Char('\r') && i + 1 < size && text[i + 1] == QLatin1Char('\n'))
                ++i;
            endRecord();
            ++line;
        } else if (c == QLatin1Char('"') && field.isEmpty() && !wasQuoted) {
            quoted = true;
            wasQuoted = true;
            fieldStart = i;
            quoteLine = line;
        } else {
            // Leniently, a quote inside an unquoted field (or after a closing one) is text.
            field += c;
        }
    }
    if (pending && taking)
        endRecord();
}

QList<CsvRecord> readDelimited(const QString& text, QChar delimiter)
{
    QList<CsvRecord> records;
    forEachDelimited(text, delimiter, [&records](CsvRecord&& record) {
        records.append(std::move(record));
        return true;
    });
    return records;
}

QString QuotedField(const QString& field, QChar delimiter)
{
    const bool needsQuotes = field.contains(delimiter) || field.contains(QLatin1Char('"'))
        || field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r'));
    if (!needsQuotes)
        return field;
    QString quoted = field;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString writeDelimited(const QList<QStringList>& records, QChar delimiter, const QString& lineEnd)
{
    QString text;
    for (const QStringList& record : records) {
        for (qsizetype i = 0; i < record.size(); ++i) {
            if (i > 0)
                text += delimiter;
            text += QuotedField(record[i], delimiter);
        }
        text += lineEnd;
    }
    return text;
}

} // namespace tessivane
