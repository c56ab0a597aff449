#include "inventory/csvtext.h"

#include <QStringDecoder>

#include <array>

namespace tessivane {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; the five unused codes stay as C1.
constexpr std::array<char16_t, 32> kWindows1252High {u'\u20AC', u'\u0081', u'\u201A', u'\u0192',
    u'\u201E', u'\u2026', u'\u2020', u'\u2021', u'\u02C6', u'\u2030', u'\u0160', u'\u2039',
    u'\u0152', u'\u008D', u'\u017D', u'\u008F', u'\u0090', u'\u2018', u'\u2019', u'\u201C',
    u'\u201D', u'\u2022', u'\u2013', u'\u2014', u'\u02DC', u'\u2122', u'\u0161', u'\u203A',
    u'\u0153', u'\u009D', u'\u017E', u'\u0178'};

QString fromWindows1252(const QByteArray& bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        *out++ = code >= 0x80 && code < 0xA0 ? QChar(kWindows1252High[code - 0x80]) : QChar(code);
    }
    return text;
}

/// The number of fields of each of the first records with this separator.
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
        } else if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (lineHasText)
                counts.append(fields);
            fields = 1;
            lineHasText = false;
        } else {
            lineHasText = true;
        }
    }
    if (lineHasText && counts.size() < records)
        counts.append(fields);
    return counts;
}

} // namespace

QString decodeText(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError()) {
        if (text.startsWith(QChar(0xFEFF)))
            text.remove(0, 1);
        return text;
    }
    return fromWindows1252(bytes);
}

QChar detectDelimiter(const QString& text)
{
    constexpr int kRecordsLooked = 20;
    QChar best = QLatin1Char(',');
    int bestScore = 0;
    for (const QChar candidate : {QLatin1Char('\t'), QLatin1Char(';'), QLatin1Char(',')}) {
        const QList<int> counts = fieldCounts(text, candidate, kRecordsLooked);
        if (counts.isEmpty() || counts.first() < 2)
            continue;
        // Records that agree with the first one count; a separator that splits every record
        // alike wins over one that splits only some, and at a tie tab, then semicolon (whose
        // files use the comma as decimal mark) go first.
        int agreeing = 0;
        for (const int count : counts)
            agreeing += count == counts.first();
        const int score = agreeing * 1000 / int(counts.size());
        if (score > bestScore) {
            best = candidate;
            bestScore = score;
        }
    }
    return best;
}

QList<CsvRecord> readDelimited(const QString& text, QChar delimiter)
{
    QList<CsvRecord> records;
    forEachDelimited(text, delimiter, [&records](CsvRecord&& record, qsizetype) {
        records.append(std::move(record));
        return true;
    });
    return records;
}

void forEachDelimited(const QString& text, QChar delimiter, const RecordTaker& take)
{
    CsvRecord record;
    QString field;
    int line = 1;
    record.line = 1;
    bool quoted = false; // inside a quoted field
    bool wasQuoted = false; // the field began with a quote
    bool pending = false; // something of the current record has been read
    qsizetype fieldStart = 0; // where a quoted field's opening quote stands
    const qsizetype size = text.size();
    const auto endField = [&] {
        record.fields.append(field);
        field.clear();
        wasQuoted = false;
    };
    bool taking = true;
    qsizetype i = 0;
    const auto endRecord = [&] {
        endField();
        taking = take(std::move(record), i);
        record = CsvRecord();
        pending = false;
    };
    for (; i < size && taking; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < size && text[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                    // Text after the closing quote: the field was never quoted, as a
                    // spreadsheet puts a cell such as "Arc" lamp on the clipboard. It is
                    // taken as it stands.
                    if (i + 1 < size && text[i + 1] != delimiter && text[i + 1] != QLatin1Char('\r')
                        && text[i + 1] != QLatin1Char('\n'))
                        field = text.mid(fieldStart, i + 1 - fieldStart);
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
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < size && text[i + 1] == QLatin1Char('\n'))
                ++i;
            ++line;
            endRecord();
        } else if (c == QLatin1Char('"') && field.isEmpty() && !wasQuoted) {
            quoted = true;
            wasQuoted = true;
            fieldStart = i;
        } else {
            // Leniently, a quote inside an unquoted field (or after a closing one) is text.
            field += c;
        }
    }
    if (pending && taking)
        endRecord();
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
