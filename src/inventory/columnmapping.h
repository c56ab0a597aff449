#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace tessivane {

/// Which field each column of a file goes to: one entry a column, the field number or -1 for
/// a column left out. No field is named twice.
using ColumnFields = QVector<int>;

/// The field a column heading names: the field names and the grid's captions, in any letter
/// case, with or without blanks, the percent sign or parentheses. -1 for none.
int fieldOfHeading(const QString& heading);

/// The field a heading most likely means: as fieldOfHeading, else the names asset managers and
/// spreadsheets commonly give it ("Asset Tag", "Serial Number", "Supplier", "Purchase Cost"
/// ...). Also the rank of the name among those for the field, 0 the best; -1 for none.
int likelyFieldOfHeading(const QString& heading, int* rank = nullptr);

/// The mapping guessed from a header's headings: each field to the column whose heading names
/// it best (an exact name before a common one, the earlier column at a tie), never one field
/// twice; the rest left out.
ColumnFields guessColumnFields(const QStringList& headings);

/// The columns in the list's field order (a file without a header).
ColumnFields fieldOrder(int columns);

/// Mappings the user chose, offered again for a file with the same header: kept in the
/// program's settings store under a group of their own, apart from the list's rows.
class ColumnMemory
{
public:
    /// The mapping last chosen for these headings, when there is one that fits them.
    std::optional<ColumnFields> recall(const QStringList& headings) const;
    /// Keeps the mapping for these headings; throws a sentence when the store cannot be
    /// written.
    void remember(const QStringList& headings, const ColumnFields& fields) const;
};

} // namespace tessivane
