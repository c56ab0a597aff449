#pragma once

#include "inventory/listedit.h"

#include <QList>
#include <QVector>

namespace tessivane {

/// One key of a sort: the field and the direction.
struct SortKey
{
    int field = 0;
    bool descending = false;
    bool operator==(const SortKey&) const = default;
};

/// The order the rows take when sorted by the keys, the first key first: the indexes of
/// `which` (row indexes of rows) in their new order. Each field sorts by its type: text in the
/// user's language with numbers inside it in natural order ("SN-9" before "SN-10"), whole
/// numbers and money by value, dates by date. Empty cells (and every cell of a row with
/// nothing filled in) come last in either direction; rows that compare equal keep their order.
QVector<int> sortOrder(const ListRows& rows, const QVector<int>& which, const QList<SortKey>& keys);

/// The rows sorted among the places of `which` (every row when empty): the change spans the
/// first to the last of those places, the rows between them that are not sorted stay put.
/// from, when given, gets for each row of the change the index the row had before.
CellChange sortRows(const ListRows& rows, QVector<int> which, const QList<SortKey>& keys,
    QVector<int>* from = nullptr);

} // namespace tessivane
