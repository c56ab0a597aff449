#pragma once

#include <QString>

// Locale procedures of the module Main that the save-format rule uses.

namespace tessivane {

/// The current locale's decimal mark: the second character of 0.5 written in that locale.
QString DecimalSeparator();

/// toPeriod: every decimal mark becomes "."; otherwise every "." and then every "," becomes
/// the decimal mark.
QString NormalizeDecimalText(const QString& text, bool toPeriod);

} // namespace tessivane
