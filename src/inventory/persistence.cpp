#include "inventory/persistence.h"

#include "inventory/currency.h"
#include "inventory/fieldconversion.h"

#include <QRegularExpression>
#include <QSettings>
#include <QStringList>

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace tessivane {

namespace {

struct NumericReading
{
    double value = 0;
    bool wholeText = false; // the number took the entire text (blanks aside)
};

NumericReading readNumeric(const QString& text)
{
    std::string s;
    s.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n'))
            continue;
        s += c.unicode() < 128 ? char(c.unicode()) : '\x7f';
    }
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    NumericReading result;
    std::size_t i = 0;

    if (s.size() >= 2 && s[0] == '&'
        && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
        const bool hex = s[1] == 'H' || s[1] == 'h';
        i = 2;
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
        result.value = value;
        result.wholeText = i > 2 && i == s.size();
        return result;
    }

    std::string number;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        number += s[i++];
    std::string digits; // mantissa digits without the point, to judge over- and underflow
    int integerDigits = 0;
    while (i < s.size() && isDigit(s[i])) {
        digits += s[i];
        number += s[i++];
        ++integerDigits;
    }
    if (i < s.size() && s[i] == '.') {
        number += s[i++];
        while (i < s.size() && isDigit(s[i])) {
            digits += s[i];
            number += s[i++];
        }
    }
    if (digits.empty())
        return result;
    long long exponent = 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::size_t j = i + 1;
        bool negativeExponent = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-'))
            negativeExponent = s[j++] == '-';
        if (j < s.size() && isDigit(s[j])) {
            while (j < s.size() && isDigit(s[j])) {
                exponent = std::min(exponent * 10 + (s[j] - '0'), 1000000000LL);
                ++j;
            }
            if (negativeExponent)
                exponent = -exponent;
            number += 'e' + std::to_string(exponent);
            i = j;
        }
    }
    result.wholeText = i == s.size();
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec == std::errc::result_out_of_range) {
        const auto firstSignificant = digits.find_first_not_of('0');
        const long long magnitude = firstSignificant == std::string::npos
            ? std::numeric_limits<long long>::min()
            : integerDigits - static_cast<long long>(firstSignificant) - 1 + exponent;
        value = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        if (number[0] == '-')
            value = -value;
    }
    result.value = value;
    return result;
}

QString rowKey(int field, int row)
{
    return QStringLiteral("RowSource%1 %2").arg(field + 1).arg(row);
}

QString readText(const QSettings& settings, const QString& key, const QString& fallback)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return fallback;
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

// A stored number: the "." form first; a text in the locale's own number form (as earlier
// stores wrote money where the decimal mark is a comma) next; otherwise the numeric reading.
double storedNumber(const QString& text)
{
    const NumericReading reading = readNumeric(text);
    if (reading.wholeText)
        return reading.value;
    if (const auto localeNumber = ReadLocaleNumber(text))
        return *localeNumber;
    return reading.value;
}

QVariant loadedValue(const QSettings& settings, int field, int row)
{
    const QString key = rowKey(field, row);
    switch (kInventoryFields[field].type) {
    case FieldType::Text:
        return readText(settings, key, QString());
    case FieldType::Date: {
        const QDateTime date = ReadDateText(readText(settings, key, QString()));
        return date.isValid() ? QVariant(date) : QVariant();
    }
    case FieldType::Integer:
    case FieldType::Currency:
        break;
    }
    const double number = storedNumber(readText(settings, key, QStringLiteral("0")));
    if (field == kInitialValue)
        return CurrencyText(number); // the initial value comes back to whole cents
    return number;
}

// The highest row number that has keys in the store, for a count that cannot be trusted.
int rowsInStore(const QSettings& settings)
{
    static const QRegularExpression pattern(QStringLiteral("^RowSource(\\d+) (\\d+)$"));
    int rows = 0;
    const QStringList keys = settings.childKeys();
    for (const QString& key : keys) {
        const QRegularExpressionMatch match = pattern.match(key);
        if (!match.hasMatch())
            continue;
        bool ok = false;
        const int row = match.captured(2).toInt(&ok);
        if (ok && row <= kMaxStoredRows)
            rows = std::max(rows, row);
    }
    return rows;
}

std::unique_ptr<QSettings> openStore()
{
    auto settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope,
        QStringLiteral("Velmora"), QStringLiteral("Tessivane"));
    settings->beginGroup(QStringLiteral("Tessivane"));
    return settings;
}

} // namespace

double NumericValue(const QString& text)
{
    return readNumeric(text).value;
}

QString StoredText(const QVariant& value)
{
    if (!value.isValid())
        return {};
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Int:
        return QString::number(value.toInt());
    case QMetaType::Double:
        return QString::number(value.toDouble(), 'f', QLocale::FloatingPointShortest);
    case QMetaType::QDateTime:
        return IsoDateText(value.toDateTime());
    case QMetaType::QDate:
        return IsoDateText(QDateTime(value.toDate(), QTime(0, 0), Qt::UTC));
    default:
        return value.toString();
    }
}

StoredRows::StoredRows()
    : mSettings(openStore())
{ }

StoredRows::~StoredRows() = default;

int StoredRows::count(QString& problem) const
{
    problem.clear();
    const QString text = readText(*mSettings, QStringLiteral("RowCount"), QStringLiteral("16"));
    const double count = RoundHalfEven(NumericValue(text), 0);
    if (std::isfinite(count) && count <= kMaxStoredRows)
        return count < 1 ? 0 : int(count);
    const int rows = rowsInStore(*mSettings);
    problem = QStringLiteral("The saved row count \"%1\" is not a sane number of rows (at most "
                             "%2); the %3 rows found in the settings store are loaded instead.")
                  .arg(text.left(40))
                  .arg(kMaxStoredRows)
                  .arg(rows);
    return rows;
}

QVariant StoredRows::value(int field, int row) const
{
    return loadedValue(*mSettings, field, row);
}

void SaveRows(InventoryTable& table)
{
    if (!table.IsOpen())
        throw std::runtime_error("The inventory table is not open; the rows were not saved.");
    const std::unique_ptr<QSettings> settings = openStore();
    int rows = 0;
    if (table.RecordCount() > 0) {
        table.MoveFirst();
        while (!table.IsEOF()) {
            for (int field = 0; field < table.FieldCount(); ++field)
                settings->setValue(rowKey(field, rows + 1), StoredText(table.Value(field)));
            table.MoveNext();
            ++rows;
        }
        table.MoveFirst();
    }
    settings->setValue(QStringLiteral("RowCount"), QString::number(rows));
    settings->sync();
    if (settings->status() != QSettings::NoError) {
        throw std::runtime_error(
            QStringLiteral("The rows could not be written to the settings file %1.")
                .arg(settings->fileName())
                .toStdString());
    }
}

} // namespace tessivane
