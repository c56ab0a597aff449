#pragma once

#include "inventory/columnmapping.h"
#include "inventory/importvalues.h"
#include "inventory/textencoding.h"

#include <QChar>

namespace tessivane {

/// How a list file is read: what an import finds in it and the user may change.
struct ListForm
{
    TextEncoding encoding = TextEncoding::Utf8;
    QChar separator = QLatin1Char(',');
    DecimalMark decimal = DecimalMark::Point;
    DateOrder dates = DateOrder::YearMonthDay;
    /// The line (1-based) the header is on; 0 for a file without one, whose columns are taken
    /// in the list's order.
    int headerLine = 0;
    /// The field each column of the file goes to.
    ColumnFields columnFields;
    /// Refused values leave their cells empty and their rows are brought in, instead of the
    /// whole row being refused.
    bool keepRefusedRows = false;

    bool operator==(const ListForm&) const = default;
};

/// The parts of the form in the order they depend on each other: the separator is found in
/// the decoded text, the header among its records, the columns from the header, the number and
/// date forms from the columns' values.
enum class FormPart { Encoding, Separator, HeaderLine, Columns, Values };

} // namespace tessivane
