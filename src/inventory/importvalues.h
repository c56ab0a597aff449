#pragma once

#include "inventory/inventoryfields.h"

#include <QString>
#include <QVariant>

#include <optional>
#include <stdexcept>

namespace tessivane {

/// How a file writes the fraction of a number: 12.50 or 12,50.
enum class DecimalMark { Point, Comma };

/// The order of day, month and year in a file's dates.
enum class DateOrder { YearMonthDay, DayMonthYear, MonthDayYear };

/// A value of a file that its field cannot take, in the user's words: `reason` says what the
/// field needs ("needs a whole number, such as 5"), the value itself is shown beside it.
struct ValueRefused : std::runtime_error
{
    explicit ValueRefused(const QString& why)
        : std::runtime_error(why.toStdString())
        , reason(why)
    { }
    QString reason;
};

/// What a number reads as in a file of the given decimal form, and whether the other form
/// would read its digits differently (1,250 is 1.25 with a decimal comma, 1250 with a point).
struct FileNumber
{
    double value = 0;
    bool otherFormDiffers = false;
};

/// Reads a number as a file writes it: an optional sign or parentheses, a currency symbol or
/// code before or after, digits with the decimal mark of the form, thousands grouped by the
/// other mark. Throws ValueRefused when it is no number, or when it holds only the grouping
/// mark in groups of three, which the other form would read as a fraction (never a silent
/// factor of a thousand).
FileNumber readFileNumber(const QString& text, DecimalMark decimal);

/// Reads a date in the given order: year-month-day with a four-digit year first whatever the
/// order, day, month and year separated by "/", ".", "-" or a blank, an optional time, a
/// two-digit year as 1950 to 2049; a date with a month name as the user's locale writes it.
/// Invalid when it fits none of those.
QDateTime readFileDate(const QString& text, DateOrder order);

/// The order that a file's date texts fit: the one that no value rules out, else the one most
/// values fit; `fallback` when every value fits more than one.
DateOrder guessDateOrder(const QStringList& texts, DateOrder fallback, bool* decided = nullptr);

/// The decimal form that numbers written in it read unambiguously; `fallback` when they do not
/// tell.
DecimalMark guessDecimalMark(const QStringList& texts, DecimalMark fallback);

/// The order of the user's locale's short dates.
DateOrder localeDateOrder();

/// A date in the given order, as an example ("11/08/2015" for day-month-year).
QString dateExample(DateOrder order);

/// What the field stores for a text of a file read in this form. Throws ValueRefused.
QVariant importValue(const FieldDef& field, const QString& text, DecimalMark decimal,
    DateOrder dates, bool* otherFormDiffers = nullptr);

} // namespace tessivane
