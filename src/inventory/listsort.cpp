#include "inventory/listsort.h"

#include "inventory/inventoryfields.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QDateTime>

#include <algorithm>
#include <optional>

namespace tessivane {

namespace {

/// One row's value for one key, made once before the sort so that comparing is cheap.
struct KeyValue
{
    bool empty = true;
    double number = 0;
    std::optional<QCollatorSortKey> text;
};

KeyValue keyValue(const QCollator& collator, FieldType type, const QVariant& value)
{
    KeyValue key;
    if (!value.isValid() || value.isNull())
        return key;
    switch (type) {
    case FieldType::Text: {
        const QString text = value.toString();
        if (text.trimmed().isEmpty())
            return key;
        key.text = collator.sortKey(text);
        break;
    }
    case FieldType::Integer:
    case FieldType::Currency:
        key.number = value.toDouble();
        break;
    case FieldType::Date:
        key.number = double(value.toDateTime().toMSecsSinceEpoch());
        break;
    }
    key.empty = false;
    return key;
}

int compareKeys(const KeyValue& a, const KeyValue& b)
{
    if (a.text && b.text)
        return a.text->compare(*b.text);
    return a.number < b.number ? -1 : (a.number > b.number ? 1 : 0);
}

} // namespace

QVector<int> sortOrder(const ListRows& rows, const QVector<int>& which, const QList<SortKey>& keys)
{
    QCollator collator; // the user's language
    collator.setNumericMode(true);
    const int fields = int(kInventoryFields.size());
    QList<SortKey> used;
    for (const SortKey& key : keys) {
        if (key.field >= 0 && key.field < fields)
            used.append(key);
    }
    // keys[k][i]: the value of key k for which[i].
    QVector<QVector<KeyValue>> values(used.size(), QVector<KeyValue>(which.size()));
    for (qsizetype i = 0; i < which.size(); ++i) {
        const QVector<QVariant>& row = rows[which[i]];
        for (qsizetype k = 0; k < used.size(); ++k) {
            const int field = used[k].field;
            KeyValue& key = values[k][i];
            key = keyValue(collator, kInventoryFields[field].type,
                field < row.size() ? row[field] : QVariant());
            // A row with nothing filled in is empty in every column, its zeros too (a blank
            // row's texts and date are empty already).
            if (!key.empty && !key.text && key.number == 0 && isBlankRow(row))
                key.empty = true;
        }
    }
    QVector<int> order(which.size());
    for (int i = 0; i < order.size(); ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        for (qsizetype k = 0; k < used.size(); ++k) {
            const KeyValue& x = values[k][a];
            const KeyValue& y = values[k][b];
            if (x.empty != y.empty)
                return y.empty;
            if (x.empty)
                continue;
            const int cmp = compareKeys(x, y);
            if (cmp != 0)
                return used[k].descending ? cmp > 0 : cmp < 0;
        }
        return false;
    });
    for (int& index : order)
        index = which[index];
    return order;
}

CellChange sortRows(
    const ListRows& rows, QVector<int> which, const QList<SortKey>& keys, QVector<int>* from)
{
    if (which.isEmpty()) {
        which.resize(rows.size());
        for (int i = 0; i < which.size(); ++i)
            which[i] = i;
    }
    std::sort(which.begin(), which.end());
    which.erase(std::unique(which.begin(), which.end()), which.end());
    which.erase(std::remove_if(which.begin(), which.end(),
                    [&](int row) { return row < 0 || row >= rows.size(); }),
        which.end());
    CellChange change;
    if (which.isEmpty())
        return change;
    change.first = which.first();
    change.replaced = which.last() - which.first() + 1;
    change.rows = rows.mid(change.first, change.replaced);
    const QVector<int> order = sortOrder(rows, which, keys);
    if (from) {
        from->resize(change.replaced);
        for (int i = 0; i < change.replaced; ++i)
            (*from)[i] = change.first + i;
    }
    for (qsizetype i = 0; i < which.size(); ++i) {
        change.rows[which[i] - change.first] = rows[order[i]];
        if (from)
            (*from)[which[i] - change.first] = order[i];
    }
    return change;
}

} // namespace tessivane
