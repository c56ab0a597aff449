#include "inventory/sampledata.h"

#include "inventory/currency.h"
#include "inventory/fieldconversion.h"

#include <QDate>
#include <QDateTime>

#include <array>

namespace tessivane {

SampleRow sampleRowValues(int which)
{
    const QString vendor = QStringLiteral("John's  manufacture");
    if (which == 1) {
        return {QStringLiteral("1189785"), QStringLiteral("Desk g-785"), QStringLiteral("Office"),
            QStringLiteral("Normal"), vendor, 2, CurrencyText(149.99), 0, QDate(2015, 8, 11), 1,
            0.5, 10, 0};
    }
    return {QStringLiteral("11899588"), QStringLiteral("Locker f-588"), QStringLiteral("Office"),
        QStringLiteral("age-worn"), vendor, 6, CurrencyText(849.99), 0, QDate(2011, 7, 22), 0, 0, 0,
        0};
}

namespace {

// A date counts as the number of days since 30 December 1899, so only that midnight is zero.
const QDateTime kZeroDate(QDate(1899, 12, 30), QTime(0, 0), Qt::UTC);

} // namespace

bool isFilled(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return false;
    switch (value.typeId()) {
    case QMetaType::QString: {
        const QString text = value.toString();
        if (text.isEmpty())
            return false;
        const auto number = readLocaleNumber(text);
        return !number || *number != 0;
    }
    case QMetaType::QDateTime:
        return value.toDateTime() != kZeroDate;
    case QMetaType::QDate:
        return value.toDate() != kZeroDate.date();
    default:
        return value.toDouble() != 0;
    }
}

} // namespace tessivane
