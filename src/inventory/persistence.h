#pragma once

#include "inventory/inventorytable.h"

#include <QString>
#include <QVector>

#include <memory>
#include <optional>

class QSettings;

namespace tessivane {

class StoreFileTexts;

/// The numeric reading of stored texts: blanks, tabs and line feeds anywhere are skipped, then
/// the longest leading number is taken (sign, digits, "." as the decimal point whatever the
/// locale, exponent with E or D; "&H" hexadecimal, "&O" octal). No number gives 0; a number
/// too large for a double gives an infinite value.
double numericValue(const QString& text);

/// The longest list the program keeps: the most rows a stored row count may ask for, and so
/// the most that any change may make the list grow to. A store written by an older version
/// may hold more; those rows are loaded all the same (see StoredRows::count).
inline constexpr int kMaxStoredRows = 100000;

/// Why a change may not make a list of `rows` rows `after` rows long: the sentence naming the
/// limit, how many of the change's rows would fit (`fit`) and that nothing was changed; empty
/// when the list stays within kMaxStoredRows or does not grow. `change` names the command
/// ("This paste").
QString rowLimitRefusal(const QString& change, qsizetype rows, qsizetype after, qsizetype fit);

/// The saved rows as the settings store holds them, read for loading at start-up.
class StoredRows
{
public:
    StoredRows();
    ~StoredRows();

    /// How many rows to load. An absent count gives sixteen (blank) rows. A count above
    /// kMaxStoredRows is taken when the store really holds that many rows (an older version
    /// kept longer lists): they are loaded, never cut off. For a count that is not a number of
    /// rows (a text that is not wholly a number, a negative one, one above both
    /// kMaxStoredRows and the rows stored), the rows the store really holds, with problem set
    /// to a sentence saying so. Stored bytes that are not UTF-8 are read as Windows-1252 text and
    /// kept so in the store.
    int count(QString& problem) const;

    /// The value of one field of a stored row (1-based) as the table takes it.
    QVariant value(int field, int row) const;

    /// Why the settings file is there but cannot be read (no permission, a folder in its
    /// place); empty when it was read or is absent. Such a store gives sixteen blank rows.
    const QString& unreadable() const { return mUnreadable; }

private:
    /// The stored text of field 0.. of row 1.., or of the row count (field -1).
    std::optional<QString> storedText(int field, int row) const;
    QSettings& settings() const;

    /// The file read in one pass, when it is in the plain form the store writes.
    std::unique_ptr<StoreFileTexts> mFile;
    QString mUnreadable;
    /// The store itself, for what that pass leaves; opened when first needed.
    mutable std::unique_ptr<QSettings> mSettings;
};

/// The settings file that holds the rows ($XDG_CONFIG_HOME/Velmora/Tessivane.ini), without
/// reading it.
QString storeFileName();

/// The rows as a save writes them: the values of every row in table order. Taking them costs
/// next to nothing: the values are shared with the table until either side changes.
using RowValues = QVector<QVector<QVariant>>;

/// Takes the rows for a save and leaves the first row current (DataGrid1_Validate). Throws when
/// the table is not open.
RowValues takeRows(InventoryTable& table);

/// Writes every row and then the row count to the settings store; no rows write a count of 0.
/// Throws when the store could not be written (a damaged file that was read is no failure: it
/// is written anew). Uses a settings object of its own, so it may run on any thread. Rows the
/// file holds already, each text as it would be written, leave it untouched.
void writeRows(const RowValues& rows);

/// takeRows, then writeRows.
void saveRows(InventoryTable& table);

/// The text a field value is stored as: numbers with "." as the decimal point, dates as
/// ISO 8601 (the time only when it is not midnight), Null as the empty text.
QString StoredText(const QVariant& value);

} // namespace tessivane
