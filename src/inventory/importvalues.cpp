#include "inventory/importvalues.h"

#include "inventory/datetext.h"
#include "inventory/fieldconversion.h"

#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>
#include <limits>

namespace tessivane {

namespace {

QChar markChar(DecimalMark decimal)
{
    return decimal == DecimalMark::Point ? QLatin1Char('.') : QLatin1Char(',');
}

QString markName(DecimalMark decimal)
{
    return decimal == DecimalMark::Point ? QStringLiteral("decimal point")
                                         : QStringLiteral("decimal comma");
}

bool allDigits(QStringView text)
{
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

/// Digits grouped by thousands with this mark: 1 to 3 digits, then groups of exactly 3.
bool groupedDigits(QStringView text, QChar group)
{
    const QList<QStringView> parts = text.split(group);
    if (parts.size() < 2 || parts[0].isEmpty() || parts[0].size() > 3 || !allDigits(parts[0]))
        return false;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (parts[i].size() != 3 || !allDigits(parts[i]))
            return false;
    }
    return true;
}

QString ungrouped(QStringView text, QChar group)
{
    QString digits = text.toString();
    digits.remove(group);
    return digits;
}

/// The text without a currency symbol or a three-letter currency code at either end.
QString withoutCurrency(QString s)
{
    while (!s.isEmpty() && s.front().category() == QChar::Symbol_Currency)
        s.remove(0, 1);
    while (!s.isEmpty() && s.back().category() == QChar::Symbol_Currency)
        s.chop(1);
    const auto isCode = [](QStringView code) {
        for (const QChar c : code) {
            if (c < QLatin1Char('A') || c > QLatin1Char('Z'))
                return false;
        }
        return true;
    };
    if (s.size() > 3 && isCode(QStringView(s).left(3)))
        s.remove(0, 3);
    if (s.size() > 3 && isCode(QStringView(s).right(3)))
        s.chop(3);
    return s;
}

ValueRefused notANumber()
{
    return ValueRefused(QStringLiteral("is not a number"));
}

/// A file's number without blanks and format marks, its minus sign as "-".
QString numberCharacters(const QString& text)
{
    QString s;
    s.reserve(text.size());
    for (const QChar c : text) {
        if (!c.isSpace() && c.category() != QChar::Other_Format)
            s += c == QChar(0x2212) ? QLatin1Char('-') : c;
    }
    return s;
}

/// Takes the sign off a number (parentheses, a minus before or after it, a plus before it)
/// and the currency around it; whether the number is negative.
bool takeSign(QString& s)
{
    bool negative = false;
    if (s.size() >= 2 && s.startsWith(QLatin1Char('(')) && s.endsWith(QLatin1Char(')'))) {
        negative = true;
        s = s.mid(1, s.size() - 2);
    }
    s = withoutCurrency(s);
    if (s.startsWith(QLatin1Char('-')) || s.startsWith(QLatin1Char('+'))) {
        if (s.startsWith(QLatin1Char('-')))
            negative = !negative;
        s = withoutCurrency(s.mid(1));
    } else if (s.endsWith(QLatin1Char('-'))) {
        negative = !negative;
        s.chop(1);
    }
    return negative;
}

/// Takes the exponent ("e-5") off a number, as it is written; throws when it has no digits.
QString takeExponent(QString& s)
{
    QString exponent;
    const qsizetype e = s.indexOf(QLatin1Char('e'), 0, Qt::CaseInsensitive);
    if (e >= 0) {
        exponent = s.mid(e);
        s.truncate(e);
        const QStringView power = QStringView(exponent).mid(1);
        const QStringView powerDigits
            = power.startsWith(QLatin1Char('-')) || power.startsWith(QLatin1Char('+'))
            ? power.mid(1)
            : power;
        if (powerDigits.isEmpty() || !allDigits(powerDigits))
            throw notANumber();
    }
    return exponent;
}

/// The whole digits and the fraction of a number's digits and marks, the thousands marks
/// taken out; `otherFormDiffers` when the other form would read them differently. Throws
/// ValueRefused.
std::pair<QString, QString> wholeAndFraction(
    const QString& s, DecimalMark decimal, bool& otherFormDiffers)
{
    const DecimalMark other
        = decimal == DecimalMark::Point ? DecimalMark::Comma : DecimalMark::Point;
    const QChar mark = markChar(decimal), group = markChar(other);
    for (const QChar c : s) {
        if (c != mark && c != group && (c < QLatin1Char('0') || c > QLatin1Char('9')))
            throw notANumber();
    }
    const qsizetype marks = s.count(mark), groups = s.count(group);
    const auto otherForm = [&] {
        return QStringLiteral("is written with a %1, but the file is read with a "
                              "%2: choose the %1 for it")
            .arg(markName(other), markName(decimal));
    };
    if (marks > 1 || (groups > 0 && marks == 1 && s.lastIndexOf(group) > s.indexOf(mark))) {
        throw ValueRefused(
            groupedDigits(s, mark) || marks == 1 ? otherForm() : QStringLiteral("is not a number"));
    }
    if (marks == 1) {
        const qsizetype at = s.indexOf(mark);
        QString whole = s.left(at);
        const QString fraction = s.mid(at + 1);
        if (groups > 0) {
            if (!groupedDigits(whole, group))
                throw notANumber();
            whole = ungrouped(whole, group);
        } else {
            otherFormDiffers = !whole.isEmpty() && whole.size() <= 3 && fraction.size() == 3;
        }
        return {whole, fraction};
    }
    if (groups == 1) {
        if (!groupedDigits(s, group))
            throw ValueRefused(otherForm());
        const QString asWhole = ungrouped(s, group);
        const QString asFraction = QString(s).replace(group, QLatin1Char('.'));
        throw ValueRefused(QStringLiteral("could mean %1 or %2: write it without the thousands "
                                          "mark, or choose the decimal mark the file uses")
                               .arg(asWhole, asFraction));
    }
    if (groups > 1 && !groupedDigits(s, group))
        throw notANumber();
    return {groups > 1 ? ungrouped(s, group) : s, QString()};
}

const QRegularExpression& numericDate()
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d{1,4})([./\\- ])(\\d{1,2})\\2(\\d{1,4})\\.?"
                       "(?:(?:T|\\s+)(\\d{1,2}):(\\d{2})(?::(\\d{2}))?\\s*([AaPp][Mm])?)?$"));
    return pattern;
}

int yearOf(QStringView digits)
{
    if (digits.size() == 4)
        return digits.toInt();
    if (digits.size() == 2) {
        const int year = digits.toInt();
        return year < 50 ? 2000 + year : 1900 + year;
    }
    return 0;
}

QDate dateInOrder(const QRegularExpressionMatch& m, DateOrder order)
{
    const QStringView first = m.capturedView(1), second = m.capturedView(3),
                      third = m.capturedView(4);
    if (first.size() == 4)
        return third.size() <= 2 ? QDate(first.toInt(), second.toInt(), third.toInt()) : QDate();
    if (first.size() > 2)
        return {};
    switch (order) {
    case DateOrder::YearMonthDay:
        return third.size() <= 2 ? QDate(yearOf(first), second.toInt(), third.toInt()) : QDate();
    case DateOrder::DayMonthYear:
        return QDate(yearOf(third), second.toInt(), first.toInt());
    case DateOrder::MonthDayYear:
        return QDate(yearOf(third), first.toInt(), second.toInt());
    }
    return {};
}

} // namespace

FileNumber readFileNumber(const QString& text, DecimalMark decimal)
{
    QString s = numberCharacters(text);
    const bool negative = takeSign(s);
    const QString exponent = takeExponent(s);
    if (s.isEmpty())
        throw notANumber();
    FileNumber number;
    const auto [whole, fraction] = wholeAndFraction(s, decimal, number.otherFormDiffers);
    if ((whole.isEmpty() && fraction.isEmpty()) || !allDigits(whole) || !allDigits(fraction))
        throw notANumber();
    const QByteArray plain = (whole.isEmpty() ? QStringLiteral("0") : whole).toLatin1()
        + (fraction.isEmpty() ? QByteArray() : "." + fraction.toLatin1()) + exponent.toLatin1();
    const std::optional<double> value = cFormNumber(std::string_view(plain.data(), plain.size()));
    if (!value)
        throw ValueRefused(QStringLiteral("is too large a number"));
    number.value = negative ? -*value : *value;
    return number;
}

QDateTime readFileDate(const QString& text, DateOrder order)
{
    const QString s = text.trimmed();
    const QRegularExpressionMatch m = numericDate().match(s);
    if (!m.hasMatch()) {
        for (const QChar c : s) {
            if (c.isLetter() && c != QLatin1Char('T'))
                return readDateText(s); // a month by name, as the user's locale writes it
        }
        return {};
    }
    const QDate date = dateInOrder(m, order);
    if (!date.isValid())
        return {};
    QTime time(0, 0);
    if (m.hasCaptured(5)) {
        int hour = m.capturedView(5).toInt();
        if (m.hasCaptured(8)) {
            if (hour < 1 || hour > 12)
                return {};
            const bool pm = m.capturedView(8).startsWith(QLatin1Char('p'), Qt::CaseInsensitive);
            hour = hour % 12 + (pm ? 12 : 0);
        }
        time = QTime(hour, m.capturedView(6).toInt(), m.capturedView(7).toInt());
        if (!time.isValid())
            return {};
    }
    return QDateTime(date, time, Qt::UTC);
}

DateOrder guessDateOrder(const QStringList& texts, DateOrder fallback, bool* decided)
{
    int dated = 0, dayFirst = 0, monthFirst = 0, yearFirst = 0, dotted = 0;
    for (const QString& text : texts) {
        const QRegularExpressionMatch m = numericDate().match(text.trimmed());
        if (!m.hasMatch())
            continue;
        ++dated;
        if (m.capturedView(1).size() == 4) {
            ++yearFirst;
            continue;
        }
        dotted += m.capturedView(2) == QLatin1String(".");
        dayFirst += dateInOrder(m, DateOrder::DayMonthYear).isValid();
        monthFirst += dateInOrder(m, DateOrder::MonthDayYear).isValid();
    }
    if (decided)
        *decided = true;
    const int other = dated - yearFirst;
    if (dated > 0 && other == 0)
        return DateOrder::YearMonthDay;
    if (other > 0 && dayFirst == other && monthFirst < other)
        return DateOrder::DayMonthYear;
    if (other > 0 && monthFirst == other && dayFirst < other)
        return DateOrder::MonthDayYear;
    if (other > 0 && dayFirst != monthFirst)
        return dayFirst > monthFirst ? DateOrder::DayMonthYear : DateOrder::MonthDayYear;
    if (decided)
        *decided = false;
    // Dates with dots are written day first wherever they are used.
    if (other > 0 && dotted == other)
        return DateOrder::DayMonthYear;
    return fallback;
}

DecimalMark guessDecimalMark(const QStringList& texts, DecimalMark fallback)
{
    int points = 0, commas = 0;
    for (const QString& text : texts) {
        if (text.trimmed().isEmpty())
            continue;
        for (const DecimalMark decimal : {DecimalMark::Point, DecimalMark::Comma}) {
            try {
                const QString other
                    = decimal == DecimalMark::Point ? QStringLiteral(",") : QStringLiteral(".");
                if (!text.contains(other) && !text.contains(markChar(decimal)))
                    continue; // no mark at all tells nothing
                if (!readFileNumber(text, decimal).otherFormDiffers)
                    ++(decimal == DecimalMark::Point ? points : commas);
            } catch (const ValueRefused&) { }
        }
    }
    // A number that reads in both forms votes for both; only the difference tells.
    if (points == commas)
        return fallback;
    return points > commas ? DecimalMark::Point : DecimalMark::Comma;
}

DateOrder localeDateOrder()
{
    const QString format = QLocale().dateFormat(QLocale::ShortFormat);
    const qsizetype day = format.indexOf(QLatin1Char('d')),
                    month = format.indexOf(QLatin1Char('M')),
                    year = format.indexOf(QLatin1Char('y'));
    if (year >= 0 && year < day && year < month)
        return DateOrder::YearMonthDay;
    if (month >= 0 && day >= 0 && month < day)
        return DateOrder::MonthDayYear;
    return DateOrder::DayMonthYear;
}

QString dateExample(DateOrder order)
{
    switch (order) {
    case DateOrder::YearMonthDay:
        return QStringLiteral("2015-08-11");
    case DateOrder::DayMonthYear:
        return QStringLiteral("11/08/2015");
    case DateOrder::MonthDayYear:
        return QStringLiteral("08/11/2015");
    }
    return {};
}

QVariant importValue(const FieldDef& field, const QString& text, DecimalMark decimal,
    DateOrder dates, bool* otherFormDiffers)
{
    if (field.type == FieldType::Text) {
        if (field.size > 0 && text.size() > field.size)
            throw ValueRefused(QStringLiteral("holds %1 characters; the column takes at most %2")
                                   .arg(text.size())
                                   .arg(field.size));
        return text;
    }
    if (text.trimmed().isEmpty())
        return {};
    if (field.type == FieldType::Date) {
        const QDateTime date = readFileDate(text, dates);
        if (!date.isValid() || date.date().year() < 100 || date.date().year() > 9999) {
            throw ValueRefused(QStringLiteral("needs a date such as %1").arg(dateExample(dates))
                + (dates == DateOrder::YearMonthDay ? QString()
                                                    : QStringLiteral(" or 2015-08-11")));
        }
        return convertForField(field, date);
    }
    const bool whole = field.type == FieldType::Integer;
    const auto example = [whole, decimal]() -> QString {
        return whole ? QStringLiteral("needs a whole number, such as 5")
                     : QStringLiteral("needs an amount of money, such as 149") + markChar(decimal)
                + QStringLiteral("99");
    };
    FileNumber number;
    try {
        number = readFileNumber(text, decimal);
    } catch (const ValueRefused& refused) {
        if (refused.reason == QLatin1String("is not a number"))
            throw ValueRefused(example());
        throw;
    }
    if (otherFormDiffers)
        *otherFormDiffers = number.otherFormDiffers;
    if (whole) {
        if (number.value != std::trunc(number.value))
            throw ValueRefused(example());
        if (number.value < double(std::numeric_limits<int>::min())
            || number.value > double(std::numeric_limits<int>::max()))
            throw ValueRefused(QStringLiteral("needs a whole number between -2147483648 and "
                                              "2147483647"));
    }
    try {
        return convertForField(field, number.value);
    } catch (const std::runtime_error&) {
        throw ValueRefused(QStringLiteral("is too large an amount of money"));
    }
}

} // namespace tessivane
