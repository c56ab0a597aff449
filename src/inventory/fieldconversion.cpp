#include "inventory/fieldconversion.h"

#include "inventory/datetext.h"

#include <QLocale>
#include <QStringList>

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace tessivane {

namespace {

// The range of the fixed-point money type the table imitates (64 bits, four decimals).
constexpr double kMaxCurrency = 922337203685477.5807;
constexpr double kMinCurrency = -922337203685477.5808;

constexpr QLatin1String kWholeNumberAccepts("a whole number between -2147483648 and 2147483647");

[[noreturn]] void refuse(const FieldDef& field, const QString& accepts, const QString& given)
{
    QString shown = given;
    if (shown.size() > 40)
        shown = shown.left(40) + QStringLiteral("…");
    const QString message = QStringLiteral("The column \"%1\" accepts %2; \"%3\" cannot be stored.")
                                .arg(QString::fromUtf8(field.name), accepts, shown);
    throw std::runtime_error(message.toStdString());
}

QString shownValue(const QVariant& value)
{
    if (value.typeId() == QMetaType::QDateTime)
        return isoDateText(value.toDateTime());
    return value.toString();
}

bool isNumber(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return true;
    default:
        return false;
    }
}

QString stripped(const QString& text, bool dropFormatMarks)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (c.isSpace())
            continue;
        if (dropFormatMarks && c.category() == QChar::Other_Format)
            continue;
        result += c;
    }
    return result;
}

std::optional<double> readNumberText(QString s, const QLocale& locale, bool dropFormatMarks)
{
    s = stripped(s, dropFormatMarks);
    bool negative = false;
    if (s.size() >= 2 && s.startsWith(QLatin1Char('(')) && s.endsWith(QLatin1Char(')'))) {
        negative = true;
        s = s.mid(1, s.size() - 2);
    }
    for (const auto kind : {QLocale::CurrencySymbol, QLocale::CurrencyIsoCode}) {
        const QString symbol = stripped(locale.currencySymbol(kind), dropFormatMarks);
        if (!symbol.isEmpty())
            s.remove(symbol);
    }
    if (s.isEmpty())
        return std::nullopt;
    bool ok = false;
    double value = locale.toDouble(s, &ok);
    if (!ok)
        value = QLocale::c().toDouble(s, &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    if (negative) {
        if (value < 0)
            return std::nullopt;
        value = -value;
    }
    return value;
}

/// A number as programs write it into files: optional sign, digits, an optional point and
/// digits, an optional exponent; nothing else (no grouping, no symbol).
std::optional<double> plainNumber(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 64)
        return std::nullopt;
    const QByteArray latin = trimmed.toLatin1();
    const char* begin = latin.constData();
    const char* end = begin + latin.size();
    if (*begin == '+')
        ++begin;
    bool digits = false;
    for (const char* c = begin; c != end && *c != 'e' && *c != 'E'; ++c)
        digits = digits || (*c >= '0' && *c <= '9');
    if (!digits)
        return std::nullopt;
    return cFormNumber(std::string_view(begin, std::size_t(end - begin)));
}

/// A stored text as the numeric reading sees it: blanks (space, tab, line feed) left out, a
/// character beyond ASCII as one that no number holds.
std::string numericCharacters(const QString& text)
{
    std::string s;
    s.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n'))
            continue;
        s += c.unicode() < 128 ? char(c.unicode()) : '\x7f';
    }
    return s;
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/// The digits after "&H" (hexadecimal) or "&O" (octal).
NumericReading readRadixDigits(const std::string& s)
{
    const bool hex = s[1] == 'H' || s[1] == 'h';
    std::size_t i = 2;
    double value = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        int digit = -1;
        if (c >= '0' && c <= (hex ? '9' : '7'))
            digit = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        if (digit < 0)
            break;
        value = value * (hex ? 16 : 8) + digit;
    }
    return {value, i > 2 && i == s.size()};
}

/// The sign, digits, point and digits a text begins with: `number` as the C form writes it,
/// `digits` without sign and point (to judge over- and underflow), `end` where they stop.
struct Mantissa
{
    std::string number;
    std::string digits;
    int integerDigits = 0;
    std::size_t end = 0;
};

Mantissa readMantissa(const std::string& s)
{
    Mantissa m;
    std::size_t& i = m.end;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        // The C form takes no plus sign.
        if (s[i] == '-')
            m.number += s[i];
        ++i;
    }
    while (i < s.size() && isDigit(s[i])) {
        m.digits += s[i];
        m.number += s[i++];
        ++m.integerDigits;
    }
    if (i < s.size() && s[i] == '.') {
        m.number += s[i++];
        while (i < s.size() && isDigit(s[i])) {
            m.digits += s[i];
            m.number += s[i++];
        }
    }
    return m;
}

/// The exponent written with E or D at `i`, kept within a billion; where it ends (`i` when
/// there is none, as after an E without digits).
std::size_t readExponent(const std::string& s, std::size_t i, long long& exponent)
{
    if (i >= s.size() || (s[i] != 'E' && s[i] != 'e' && s[i] != 'D' && s[i] != 'd'))
        return i;
    std::size_t j = i + 1;
    bool negativeExponent = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-'))
        negativeExponent = s[j++] == '-';
    if (j >= s.size() || !isDigit(s[j]))
        return i;
    while (j < s.size() && isDigit(s[j])) {
        exponent = std::min(exponent * 10 + (s[j] - '0'), 1000000000LL);
        ++j;
    }
    if (negativeExponent)
        exponent = -exponent;
    return j;
}

/// The value of a mantissa and exponent; beyond the range of a double an infinity, or 0 below.
double mantissaValue(const Mantissa& m, long long exponent)
{
    const std::string number = m.number + 'e' + std::to_string(exponent);
    if (const auto value = cFormNumber(number))
        return *value;
    const auto firstSignificant = m.digits.find_first_not_of('0');
    const long long magnitude = firstSignificant == std::string::npos
        ? std::numeric_limits<long long>::min()
        : m.integerDigits - static_cast<long long>(firstSignificant) - 1 + exponent;
    const double value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return number[0] == '-' ? -value : value;
}

} // namespace

double roundHalfEven(double value, int decimals)
{
    if (!std::isfinite(value))
        return value;
    char buffer[512];
    const auto [end, ec]
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (ec != std::errc())
        return value;
    std::string text(buffer, end);
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.erase(0, 1);
    }
    const auto point = text.find('.');
    if (point == std::string::npos || text.size() - point - 1 <= std::size_t(decimals))
        return value;
    std::string kept = text.substr(0, point) + text.substr(point + 1, decimals);
    const std::string rest = text.substr(point + 1 + decimals);
    bool up
        = rest[0] > '5' || (rest[0] == '5' && rest.find_first_not_of('0', 1) != std::string::npos);
    if (rest[0] == '5' && !up)
        up = (kept.back() - '0') % 2 == 1; // exactly half: to the even neighbour
    if (up) {
        int i = int(kept.size()) - 1;
        while (i >= 0 && kept[i] == '9')
            kept[i--] = '0';
        if (i < 0)
            kept.insert(kept.begin(), '1');
        else
            ++kept[i];
    }
    std::string result = kept.substr(0, kept.size() - decimals);
    if (decimals > 0)
        result += '.' + kept.substr(kept.size() - decimals);
    // from_chars, not strtod: the C library's decimal point follows the user's locale.
    double rounded = 0;
    std::from_chars(result.data(), result.data() + result.size(), rounded);
    return negative ? -rounded : rounded;
}

std::optional<double> cFormNumber(std::string_view text)
{
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

NumericReading readNumeric(const QString& text)
{
    const std::string s = numericCharacters(text);
    if (s.size() >= 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o'))
        return readRadixDigits(s);
    const Mantissa mantissa = readMantissa(s);
    if (mantissa.digits.empty())
        return {};
    long long exponent = 0;
    const std::size_t end = readExponent(s, mantissa.end, exponent);
    return {mantissaValue(mantissa, exponent), end == s.size()};
}

std::optional<double> readLocaleNumber(const QString& text)
{
    const QLocale locale;
    if (auto value = readNumberText(text, locale, false))
        return value;
    return readNumberText(text, locale, true);
}

void checkEnteredValue(const FieldDef& field, const QVariant& value)
{
    if (field.type != FieldType::Integer)
        return;
    std::optional<double> number;
    if (value.typeId() == QMetaType::QString)
        number = readLocaleNumber(value.toString());
    else if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float)
        number = value.toDouble();
    if (number && std::isfinite(*number) && *number != std::trunc(*number))
        refuse(field, kWholeNumberAccepts, shownValue(value));
}

QVariant enteredValue(const FieldDef& field, const QString& text)
{
    checkEnteredValue(field, text);
    return convertForField(field, text);
}

QVariant FileValue(const FieldDef& field, const QString& text)
{
    if (field.type == FieldType::Integer || field.type == FieldType::Currency) {
        if (const auto number = plainNumber(text)) {
            checkEnteredValue(field, *number);
            return convertForField(field, *number);
        }
    }
    return enteredValue(field, text);
}

namespace {

QVariant textForField(const FieldDef& field, const QVariant& value)
{
    const bool isDate
        = value.typeId() == QMetaType::QDateTime || value.typeId() == QMetaType::QDate;
    const QString stored = isDate ? localeDateText(storedDateTime(value.toDate(), value.toTime()))
                                  : value.toString();
    if (field.size > 0 && stored.size() > field.size)
        refuse(field,
            QStringLiteral("text of at most %1 characters (this one has %2)")
                .arg(field.size)
                .arg(stored.size()),
            stored);
    return stored;
}

QVariant numberForField(const FieldDef& field, const QVariant& value)
{
    const bool isText = value.typeId() == QMetaType::QString;
    const QString text = isText ? value.toString() : QString();
    const bool whole = field.type == FieldType::Integer;
    const auto accepts = [whole] {
        return whole ? QString(kWholeNumberAccepts)
                     : QStringLiteral("an amount of money such as %1")
                           .arg(QLocale().toString(149.99, 'f', 2));
    };
    if (isText && text.trimmed().isEmpty())
        return {};
    double number = 0;
    if (isText) {
        const auto read = readLocaleNumber(text);
        if (!read)
            refuse(field, accepts(), text);
        number = *read;
    } else if (isNumber(value)) {
        number = value.toDouble();
    } else {
        refuse(field, accepts(), shownValue(value));
    }
    number = roundHalfEven(number, whole ? 0 : 4);
    if (!std::isfinite(number))
        refuse(field, accepts(), shownValue(value));
    if (whole) {
        if (number < double(std::numeric_limits<int>::min())
            || number > double(std::numeric_limits<int>::max()))
            refuse(field, accepts(), shownValue(value));
        return int(number);
    }
    if (number < kMinCurrency || number > kMaxCurrency)
        refuse(field, accepts(), shownValue(value));
    return number == 0 ? 0.0 : number; // no negative zero
}

QVariant dateForField(const FieldDef& field, const QVariant& value)
{
    const auto accepts = [] {
        return QStringLiteral("a date such as %1 or 2015-08-11")
            .arg(localeDateText(storedDateTime(QDate(2015, 8, 11), QTime(0, 0))));
    };
    QDateTime stored;
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString();
        if (text.trimmed().isEmpty())
            return {};
        stored = readDateText(text);
    } else if (value.typeId() == QMetaType::QDateTime) {
        const QDateTime given = value.toDateTime();
        stored = storedDateTime(given.date(), given.time());
    } else if (value.typeId() == QMetaType::QDate) {
        stored = storedDateTime(value.toDate(), QTime(0, 0));
    }
    if (!stored.isValid() || stored.date().year() < 100 || stored.date().year() > 9999)
        refuse(field, accepts(), shownValue(value));
    return stored;
}

} // namespace

QVariant convertForField(const FieldDef& field, const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (field.type) {
    case FieldType::Text:
        return textForField(field, value);
    case FieldType::Integer:
    case FieldType::Currency:
        return numberForField(field, value);
    case FieldType::Date:
        return dateForField(field, value);
    }
    return {};
}

bool isNumericValue(const QVariant& value)
{
    if (isNumber(value))
        return true;
    return value.typeId() == QMetaType::QString && readLocaleNumber(value.toString()).has_value();
}

} // namespace tessivane
