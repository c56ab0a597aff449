#pragma once

#include "inventory/inventoryfields.h"

#include <QString>
#include <QVariant>

#include <optional>
#include <string_view>

namespace tessivane {

/// Converts a value to what the field stores: text as it is (at most `size` characters), whole
/// numbers rounded half to even, money rounded to four decimals (half to even), dates. Empty
/// text in a number, money or date field is Null. Throws std::runtime_error naming the column
/// and what it accepts when the field cannot hold the value.
QVariant convertForField(const FieldDef& field, const QVariant& value);

/// Throws as convertForField does when a value the user typed or pasted into a cell cannot go
/// into the field as it is: besides what convertForField refuses, a whole-number field takes no
/// number with a fraction, which would otherwise be rounded without a word.
void checkEnteredValue(const FieldDef& field, const QVariant& value);

/// What the field stores for a text the user typed or pasted into its cell: checkEnteredValue,
/// then convertForField. Throws the same sentences.
QVariant enteredValue(const FieldDef& field, const QString& text);

/// What the field stores for a text read from a file: as enteredValue, except that a plain
/// number with a point ("1234.5", "-3", "1e3") is read with the point as the decimal mark in
/// any locale, as files exchanged between programs write numbers.
QVariant FileValue(const FieldDef& field, const QString& text);

/// Reads a number the way a user or the currency text writes it in the user's locale (sign or
/// parentheses, grouping, decimal separator, currency symbol, exponent); also the "." form.
std::optional<double> readLocaleNumber(const QString& text);

/// What the numeric reading of a stored text gives: its value, and whether the number took
/// the entire text (blanks aside).
struct NumericReading
{
    double value = 0;
    bool wholeText = false;
};

/// Reads the number a stored text begins with, as the old store's numeric reading did: blanks
/// anywhere left out, "&H" hexadecimal or "&O" octal digits, or a sign, digits, a point and
/// digits and an exponent written with E or D, as far as they go (0 for none); the point is
/// the decimal mark in any locale; beyond the range of a double it is an infinity, or 0 below.
NumericReading readNumeric(const QString& text);

/// A number in the C form (an optional minus, digits, a point and digits, an exponent such as
/// "e-5") whatever the user's locale: nothing unless the whole text is such a number within
/// the range of a double.
std::optional<double> cFormNumber(std::string_view text);

/// The numeric test of the currency display: a number of any kind, or a text that reads as a
/// number in the user's locale. Null and dates are not numeric.
bool isNumericValue(const QVariant& value);

/// A number rounded half to even to `decimals` places, decided on its shortest decimal form
/// (so 2.675 counts as 2.675, not as the binary value just below it).
double roundHalfEven(double value, int decimals);

} // namespace tessivane
