#include "inventory/listsearch.h"

#include "inventory/datetext.h"
#include "inventory/fieldconversion.h"
#include "inventory/inventoryfields.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace tessivane {

ListSearch::ListSearch(const ListRows& rows, FindOptions options, ShownText shown)
    : mRows(rows)
    , mOptions(std::move(options))
    , mShown(std::move(shown))
    , mCase(mOptions.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive)
    , mFields(int(kInventoryFields.size()))
{
    // The stored forms of numbers and dates hold only these characters: a text with any other
    // is never in them, and they need not be made.
    const auto onlyOf = [this](QLatin1String allowed) {
        return std::all_of(mOptions.text.begin(), mOptions.text.end(),
            [&](QChar c) { return allowed.contains(c, mCase); });
    };
    mInNumberForm = onlyOf(QLatin1String("0123456789.-e+"));
    mInDateForm = onlyOf(QLatin1String("0123456789-T:"));
    // A whole-cell search for "3/1/21" or "$1,234.50" finds the date or amount however it is
    // shown or stored.
    if (mOptions.wholeCell && !isEmpty()) {
        mNumber = readLocaleNumber(mOptions.text);
        mDate = readDateText(mOptions.text);
    }
}

void ListSearch::setField(int field)
{
    mField = field >= 0 && field < mFields ? field : -1;
}

void ListSearch::setCells(const QList<QRect>& areas)
{
    mCellsOnly = !areas.isEmpty();
    mCells = QBitArray();
    if (!mCellsOnly)
        return;
    const int rows = int(mRows.size());
    mCells.resize(qsizetype(rows) * mFields);
    const QRect list(0, 0, mFields, rows);
    for (const QRect& area : areas) {
        const QRect within = area & list;
        for (int row = within.top(); row <= within.bottom(); ++row) {
            for (int field = within.left(); field <= within.right(); ++field)
                mCells.setBit(qsizetype(row) * mFields + field);
        }
    }
}

bool ListSearch::inScope(int row, int field) const
{
    return (mField < 0 || field == mField)
        && (!mCellsOnly || mCells.testBit(qsizetype(row) * mFields + field));
}

bool ListSearch::matchesText(const QString& text) const
{
    if (mOptions.wholeCell)
        return text.compare(mOptions.text, mCase) == 0;
    return text.contains(mOptions.text, mCase);
}

bool ListSearch::sameValue(int field, const QVariant& value) const
{
    switch (kInventoryFields[field].type) {
    case FieldType::Integer:
    case FieldType::Currency:
        // Money is kept to four decimals: closer than half the last one is the same amount.
        return mNumber && std::abs(value.toDouble() - *mNumber) < 0.00005;
    case FieldType::Date:
        return mDate.isValid() && value.toDateTime() == mDate;
    case FieldType::Text:
        break;
    }
    return false;
}

QString ListSearch::storedText(int field, const QVariant& value) const
{
    switch (kInventoryFields[field].type) {
    case FieldType::Text:
        return value.toString();
    case FieldType::Integer:
        return QString::number(value.toInt());
    case FieldType::Currency:
        return QLocale::c().toString(value.toDouble(), 'f', QLocale::FloatingPointShortest);
    case FieldType::Date:
        return isoDateText(value.toDateTime());
    }
    return value.toString();
}

QString ListSearch::shownText(int row, int field) const
{
    return mShown ? mShown(row, field) : QString();
}

bool ListSearch::matches(int row, int field) const
{
    if (isEmpty() || row < 0 || row >= mRows.size() || field < 0 || field >= mFields
        || field >= mRows[row].size())
        return false;
    const QVariant& value = mRows[row][field];
    if (!value.isValid() || value.isNull())
        return false;
    if (kInventoryFields[field].type == FieldType::Text)
        return matchesText(value.toString());
    const bool date = kInventoryFields[field].type == FieldType::Date;
    if ((date ? mInDateForm : mInNumberForm) && matchesText(storedText(field, value)))
        return true;
    if (mOptions.wholeCell && sameValue(field, value))
        return true;
    return mShown && matchesText(shownText(row, field));
}

std::optional<QPoint> ListSearch::next(QPoint from, bool backward, bool* wrapped) const
{
    if (wrapped)
        *wrapped = false;
    const qint64 total = qint64(mRows.size()) * mFields;
    if (isEmpty() || total == 0)
        return std::nullopt;
    qint64 at;
    if (from.y() < 0 || from.y() >= mRows.size())
        at = backward ? total : -1; // no cell yet: from the start (or the end) on
    else
        at = qint64(from.y()) * mFields + qBound(0, from.x(), mFields - 1);
    const int step = backward ? -1 : 1;
    for (qint64 visited = 0; visited < total; ++visited) {
        at += step;
        if (at >= total || at < 0) {
            at = backward ? total - 1 : 0;
            if (wrapped)
                *wrapped = true;
        }
        const int row = int(at / mFields);
        const int field = int(at % mFields);
        if (inScope(row, field) && matches(row, field))
            return QPoint(field, row);
    }
    return std::nullopt;
}

QList<QPoint> ListSearch::all() const
{
    QList<QPoint> found;
    if (isEmpty())
        return found;
    for (int row = 0; row < mRows.size(); ++row) {
        for (int field = 0; field < mFields; ++field) {
            if (inScope(row, field) && matches(row, field))
                found.append(QPoint(field, row));
        }
    }
    return found;
}

std::optional<QString> ListSearch::replaced(int row, int field, const QString& with) const
{
    if (!matches(row, field))
        return std::nullopt;
    if (mOptions.wholeCell)
        return with;
    const QVariant& value = mRows[row][field];
    QStringList forms;
    if (kInventoryFields[field].type == FieldType::Text) {
        forms.append(value.toString());
    } else {
        // What the user sees is what the user meant; the stored form when only that matched.
        if (mShown)
            forms.append(shownText(row, field));
        forms.append(storedText(field, value));
    }
    for (QString& form : forms) {
        if (matchesText(form))
            return form.replace(mOptions.text, with, mCase);
    }
    return with;
}

CellChange ListSearch::replaceAll(const QString& with) const
{
    const QList<QPoint> cells = all();
    QStringList texts;
    texts.reserve(cells.size());
    for (const QPoint& cell : cells)
        texts.append(replaced(cell.y(), cell.x(), with).value_or(QString()));
    return putCells(mRows, cells, texts);
}

} // namespace tessivane
