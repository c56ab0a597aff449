#pragma once

#include <QString>

namespace tessivane {

/// Text values that a spreadsheet would take for a formula when it opens a CSV file: those
/// starting with "=", "+", "-", "@", a tab or a carriage return. An export writes them with a
/// leading apostrophe, which spreadsheets show as text, and an import takes it off again.
///
/// So that a value that itself starts with apostrophes before such a character comes back
/// too, those get one more on the way out and lose one on the way in; any other value, an
/// apostrophe at its start or not, goes out and comes in as it is.

/// The value as an export writes it.
QString formulaSafeText(const QString& value);

/// The value as an import takes it: the apostrophe formulaSafeText added, taken off.
QString formulaSafeTextTakenBack(const QString& text);

} // namespace tessivane
