#include "inventory/textencoding.h"

#include <QStringDecoder>

namespace tessivane {

namespace {

// Windows-1252 differs from Latin-1 only in 0x80..0x9F; the five unused codes stay as C1.
constexpr std::array<char16_t, 32> kWindows1252High {u'\u20AC', u'\u0081', u'\u201A', u'\u0192',
    u'\u201E', u'\u2026', u'\u2020', u'\u2021', u'\u02C6', u'\u2030', u'\u0160', u'\u2039',
    u'\u0152', u'\u008D', u'\u017D', u'\u008F', u'\u0090', u'\u2018', u'\u2019', u'\u201C',
    u'\u201D', u'\u2022', u'\u2013', u'\u2014', u'\u02DC', u'\u2122', u'\u0161', u'\u203A',
    u'\u0153', u'\u009D', u'\u017E', u'\u0178'};

// Mac Roman from 0x80 on (the classic Mac OS character set, 0xDB as the euro sign).
constexpr std::array<char16_t, 128> kMacRomanHigh {0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6,
    0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB,
    0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3, 0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9,
    0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9,
    0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8, 0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5,
    0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA, 0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1,
    0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB, 0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5,
    0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178,
    0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02, 0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2,
    0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2,
    0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC, 0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD,
    0x02DB, 0x02C7};

QString fromSingleBytes(const QByteArray& bytes, TextEncoding encoding)
{
    QString text(bytes.size(), Qt::Uninitialized);
    QChar* out = text.data();
    for (const char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        if (code < 0x80)
            *out++ = QChar(code);
        else if (encoding == TextEncoding::MacRoman)
            *out++ = QChar(kMacRomanHigh[code - 0x80]);
        else
            *out++ = code < 0xA0 ? QChar(kWindows1252High[code - 0x80]) : QChar(code);
    }
    return text;
}

/// How much the bytes above 0x7F read as letters in words in this character set: a small
/// letter in a word, a capital that starts one, a quote mark or currency sign beside a word
/// score; a capital after a small letter, a letter standing alone, a symbol inside a word or an
/// unused code lose.
int wordScore(const QByteArray& bytes, TextEncoding encoding)
{
    const QString text = fromSingleBytes(bytes, encoding);
    int score = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80)
            continue;
        const QChar c = text[i];
        const QChar before = i > 0 ? text[i - 1] : QLatin1Char(' ');
        const QChar after = i + 1 < text.size() ? text[i + 1] : QLatin1Char(' ');
        const bool inWord = before.isLetter() || after.isLetter();
        if (c.category() == QChar::Other_Control)
            score -= 3;
        else if (c.isLetter() && !inWord)
            score -= 1;
        else if (c.isLower())
            score += 2;
        else if (c.isUpper())
            score += before.isLower() ? -2 : 1;
        else if (before.isLetter() && after.isLetter())
            score -= 2;
        else if (c.category() == QChar::Symbol_Currency
            || c.category() == QChar::Punctuation_InitialQuote
            || c.category() == QChar::Punctuation_FinalQuote
            || c.category() == QChar::Punctuation_Dash)
            score += 1;
    }
    return score;
}

QList<int> linesWithReplacements(const QString& text)
{
    QList<int> lines;
    int line = 1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QChar::ReplacementCharacter) {
            if (lines.isEmpty() || lines.last() != line)
                lines.append(line);
        } else if (c == QLatin1Char('\n')
            || (c == QLatin1Char('\r')
                && (i + 1 >= text.size() || text[i + 1] != QLatin1Char('\n')))) {
            ++line;
        }
    }
    return lines;
}

} // namespace

QString encodingName(TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case TextEncoding::Utf16LE:
        return QStringLiteral("UTF-16 LE");
    case TextEncoding::Utf16BE:
        return QStringLiteral("UTF-16 BE");
    case TextEncoding::Windows1252:
        return QStringLiteral("Windows-1252");
    case TextEncoding::MacRoman:
        return QStringLiteral("Mac Roman");
    }
    return {};
}

TextEncoding guessEncoding(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return TextEncoding::Utf8;
    if (bytes.startsWith("\xFF\xFE"))
        return TextEncoding::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return TextEncoding::Utf16BE;
    // Text in UTF-16 has a zero in one half of most characters and rarely in the other.
    const qsizetype looked = qMin<qsizetype>(bytes.size(), 64 * 1024) & ~qsizetype(1);
    qsizetype evenZeros = 0, oddZeros = 0;
    for (qsizetype i = 0; i < looked; ++i) {
        if (bytes[i] == '\0')
            ++(i % 2 ? oddZeros : evenZeros);
    }
    const qsizetype pairs = looked / 2;
    if (pairs > 0 && oddZeros * 4 >= pairs && evenZeros * 16 <= oddZeros)
        return TextEncoding::Utf16LE;
    if (pairs > 0 && evenZeros * 4 >= pairs && oddZeros * 16 <= evenZeros)
        return TextEncoding::Utf16BE;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return TextEncoding::Utf8;
    qsizetype valid = 0, invalid = 0;
    for (const QChar c : text) {
        if (c == QChar::ReplacementCharacter)
            ++invalid;
        else if (c.unicode() >= 0x80)
            ++valid;
    }
    if (valid > 0 && invalid <= valid)
        return TextEncoding::Utf8;
    return wordScore(bytes, TextEncoding::MacRoman) > wordScore(bytes, TextEncoding::Windows1252)
        ? TextEncoding::MacRoman
        : TextEncoding::Windows1252;
}

DecodedText decodeBytes(const QByteArray& bytes, TextEncoding encoding)
{
    DecodedText decoded;
    if (encoding == TextEncoding::Windows1252 || encoding == TextEncoding::MacRoman) {
        decoded.text = fromSingleBytes(bytes, encoding);
        return decoded;
    }
    const auto kind = encoding == TextEncoding::Utf8 ? QStringDecoder::Utf8
        : encoding == TextEncoding::Utf16LE          ? QStringDecoder::Utf16LE
                                                     : QStringDecoder::Utf16BE;
    QStringDecoder decoder(kind, QStringDecoder::Flag::Stateless);
    decoded.text = decoder.decode(bytes);
    if (decoded.text.startsWith(QChar(QChar::ByteOrderMark))) {
        decoded.text.remove(0, 1);
        decoded.byteOrderMark = true;
    }
    decoded.badLines = linesWithReplacements(decoded.text);
    return decoded;
}

} // namespace tessivane
