#pragma once

#include <QString>

namespace tessivane {

/// The amount in the user's locale currency form with exactly two decimals: the locale's
/// symbol and its position, grouping, decimal separator and negative form ($149.99,
/// $1,234.50, -$5.00 in English (United States); 1.234,50 € in German). An amount that
/// rounds to zero is shown without a sign.
QString CurrencyText(double amount);

} // namespace tessivane
