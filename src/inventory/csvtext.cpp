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

namespace {

/// The reading of forEachDelimited: where it stands in the text and the record it builds.
class DelimitedReader
{
public:
    DelimitedReader(const QString& text, QChar delimiter, const RecordTaker& take)
        : mText(text)
        , mDelimiter(delimiter)
        , mTake(take)
        , mSize(text.size())
    { }

    void run()
    {
        for (qsizetype i = 0; mTaking; ++i) {
            if (i >= mSize) {
                if (!mQuoted)
                    break;
                abandonQuote(i);
                continue;
            }
            if (mQuoted)
                readQuoted(i);
            else
                readUnquoted(i);
        }
        if (mPending && mTaking)
            endRecord();
    }

private:
    void endField()
    {
        mRecord.fields.append(mField);
        mField.clear();
        mWasQuoted = false;
    }

    void endRecord()
    {
        endField();
        mRecord.lastLine = mLine;
        mTaking = mTake(std::move(mRecord));
        mRecord = CsvRecord();
        mPending = false;
    }

    // A quote that never closed: the record ends with the rest of the quote's line as it
    // stands, and reading goes on from the next line. Leaves i on that line's break.
    void abandonQuote(qsizetype& i)
    {
        mRecord.openQuoteColumn = int(mRecord.fields.size()) + 1;
        mRecord.openQuoteLine = mQuoteLine;
        qsizetype end = mFieldStart;
        while (end < mSize && !isLineBreak(mText[end]))
            ++end;
        mField = mText.mid(mFieldStart, end - mFieldStart);
        if (end + 1 < mSize && mText[end] == QLatin1Char('\r')
            && mText[end + 1] == QLatin1Char('\n'))
            ++end;
        mQuoted = false;
        mLine = mQuoteLine;
        endRecord();
        mLine = mQuoteLine + 1;
        i = end;
    }

    /// One character inside a quoted field.
    void readQuoted(qsizetype& i)
    {
        const QChar c = mText[i];
        if (c != QLatin1Char('"')) {
            if (c == QLatin1Char('\n')
                || (c == QLatin1Char('\r')
                    && (i + 1 >= mSize || mText[i + 1] != QLatin1Char('\n'))))
                ++mLine;
            mField += c;
        } else if (i + 1 < mSize && mText[i + 1] == QLatin1Char('"')) {
            mField += c;
            ++i;
        } else if (i + 1 < mSize && mText[i + 1] != mDelimiter && !isLineBreak(mText[i + 1])) {
            // Text after the closing quote: the field was never quoted, as a spreadsheet puts
            // a cell such as "Arc" lamp on the clipboard, and it is taken as it stands; across
            // lines, the quote that opened it never closed.
            if (mLine > mQuoteLine) {
                abandonQuote(i);
                return;
            }
            mQuoted = false;
            mField = mText.mid(mFieldStart, i + 1 - mFieldStart);
        } else {
            mQuoted = false;
        }
    }

    /// One character outside a quoted field.
    void readUnquoted(qsizetype& i)
    {
        const QChar c = mText[i];
        if (!mPending) {
            mRecord.line = mLine;
            mPending = true;
        }
        if (c == mDelimiter) {
            endField();
        } else if (isLineBreak(c)) {
            if (c == QLatin1Char('\r') && i + 1 < mSize && mText[i + 1] == QLatin1Char('\n'))
                ++i;
            endRecord();
            ++mLine;
        } else if (c == QLatin1Char('"') && mField.isEmpty() && !mWasQuoted) {
            mQuoted = true;
            mWasQuoted = true;
            mFieldStart = i;
            mQuoteLine = mLine;
        } else {
            // Leniently, a quote inside an unquoted field (or after a closing one) is text.
            mField += c;
        }
    }

    const QString& mText;
    const QChar mDelimiter;
    const RecordTaker& mTake;
    const qsizetype mSize;
    CsvRecord mRecord;
    QString mField;
    int mLine = 1;
    bool mQuoted = false; // inside a quoted field
    bool mWasQuoted = false; // the field began with a quote
    bool mPending = false; // something of the current record has been read
    qsizetype mFieldStart = 0; // where a quoted field's opening quote stands
    int mQuoteLine = 0; // the line it stands on
    bool mTaking = true; // the taker wants more
};

} // namespace

void forEachDelimited(const QString& text, QChar delimiter, const RecordTaker& take)
{
    DelimitedReader(text, delimiter, take).run();
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
