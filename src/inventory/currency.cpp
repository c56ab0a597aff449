#include "inventory/currency.h"

#include <QLocale>

namespace tessivane {

QString CurrencyText(double amount)
{
    const QLocale locale;
    // An amount that shows as zero is zero: no "-$0.00" for a tiny negative remainder.
    if (QLocale::c().toString(qAbs(amount), 'f', 2) == QLatin1String("0.00"))
        amount = 0.0;
    return locale.toCurrencyString(amount, QString(), 2);
}

} // namespace tessivane
