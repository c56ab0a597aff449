// Dates as the list stores, shows and reads them.
#include "inventory/datetext.h"

#include <QLocale>
#include <QStringList>

namespace tessivane {

namespace {

QString withFourDigitYear(QString format)
{
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

QString withSeconds(QString timeFormat)
{
    if (!timeFormat.contains(QLatin1String("ss")))
        timeFormat.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
    return timeFormat;
}

// A two-digit year reads into 1930..2029, as the old store's short dates meant it.
QDate windowedYear(QDate date)
{
    if (date.isValid() && date.year() < 1930)
        date = date.addYears(100);
    return date;
}

QDateTime readWithFormat(const QString& text, const QString& dateFormat, const QString& timeFormat)
{
    const bool twoDigitYear = !dateFormat.contains(QLatin1String("yyyy"));
    if (timeFormat.isEmpty()) {
        const QDate date = QDate::fromString(text, dateFormat);
        if (!date.isValid())
            return {};
        return storedDateTime(twoDigitYear ? windowedYear(date) : date, QTime(0, 0));
    }
    const QDateTime dateTime
        = QDateTime::fromString(text, dateFormat + QLatin1Char(' ') + timeFormat);
    if (!dateTime.isValid())
        return {};
    const QDate date = twoDigitYear ? windowedYear(dateTime.date()) : dateTime.date();
    return storedDateTime(date, dateTime.time());
}

} // namespace

QDateTime storedDateTime(const QDate& date, const QTime& time)
{
    return QDateTime(date, QTime(time.hour(), time.minute(), time.second()), Qt::UTC);
}

QDateTime readDateText(const QString& text)
{
    const QString s = text.trimmed();
    if (s.isEmpty())
        return {};
    // The date alone, as the store writes it, read directly: the general reading below asks
    // the system's time zone on every call.
    const auto digits = [&](qsizetype from, qsizetype count) {
        int value = 0;
        for (qsizetype i = from; i < from + count; ++i) {
            const char16_t c = s[i].unicode();
            if (c < u'0' || c > u'9')
                return -1;
            value = value * 10 + (c - u'0');
        }
        return value;
    };
    if (s.size() == 10 && s[4] == QLatin1Char('-') && s[7] == QLatin1Char('-')) {
        const int year = digits(0, 4), month = digits(5, 2), day = digits(8, 2);
        const QDate date(year, month, day);
        if (year >= 0 && month >= 0 && day >= 0 && date.isValid())
            return storedDateTime(date, QTime(0, 0));
    }
    for (const char* iso : {"yyyy-MM-dd", "yyyy-MM-ddTHH:mm:ss", "yyyy-MM-ddTHH:mm",
             "yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm"}) {
        const QString format = QString::fromLatin1(iso);
        const QDateTime dateTime = QDateTime::fromString(s, format);
        if (dateTime.isValid())
            return storedDateTime(dateTime.date(), dateTime.time());
        if (format.size() == 10) {
            const QDate date = QDate::fromString(s, format);
            if (date.isValid())
                return storedDateTime(date, QTime(0, 0));
        }
    }
    const QLocale locale;
    QStringList dateFormats;
    for (const auto kind : {QLocale::ShortFormat, QLocale::LongFormat}) {
        const QString format = locale.dateFormat(kind);
        dateFormats << withFourDigitYear(format) << format;
    }
    dateFormats.removeDuplicates();
    QStringList timeFormats {QString()};
    const QString shortTime = locale.timeFormat(QLocale::ShortFormat);
    timeFormats << withSeconds(shortTime) << shortTime;
    timeFormats.removeDuplicates();
    for (const QString& dateFormat : dateFormats) {
        for (const QString& timeFormat : timeFormats) {
            const QDateTime dateTime = readWithFormat(s, dateFormat, timeFormat);
            if (dateTime.isValid())
                return dateTime;
        }
    }
    return {};
}

QString isoDateText(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return {};
    if (dateTime.time() == QTime(0, 0))
        return dateTime.date().toString(QStringLiteral("yyyy-MM-dd"));
    return dateTime.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QString localeDateText(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return {};
    const QLocale locale;
    QString text = locale.toString(
        dateTime.date(), withFourDigitYear(locale.dateFormat(QLocale::ShortFormat)));
    const QTime time = dateTime.time();
    if (time != QTime(0, 0)) {
        const QString shortTime = locale.timeFormat(QLocale::ShortFormat);
        text += QLatin1Char(' ')
            + locale.toString(time, time.second() != 0 ? withSeconds(shortTime) : shortTime);
    }
    return text;
}

} // namespace tessivane
