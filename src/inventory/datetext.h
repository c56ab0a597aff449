#pragma once

#include <QDateTime>
#include <QString>

namespace tessivane {

/// A date and time as a date field stores it: whole seconds, no time zone (UTC stands for
/// none).
QDateTime storedDateTime(const QDate& date, const QTime& time);

/// Reads a date: ISO 8601 first (yyyy-MM-dd, optionally with THH:mm[:ss]), then the user's
/// locale's short and long forms (a two-digit year falls in 1930..2029). Invalid when none fits.
QDateTime readDateText(const QString& text);

/// A date as ISO 8601: yyyy-MM-dd, with THH:mm:ss only when the time is not midnight.
QString isoDateText(const QDateTime& dateTime);

/// A date in the user's locale short form with a four-digit year, the time only when not
/// midnight (the grid's display and edit text).
QString localeDateText(const QDateTime& dateTime);

} // namespace tessivane
