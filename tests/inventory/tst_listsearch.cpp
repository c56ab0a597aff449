// Finding, replacing and sorting in the list's rows, apart from the grid.

#include "support/inventorytesting.h"

#include "inventory/currency.h"
#include "inventory/datetext.h"
#include "inventory/fieldconversion.h"
#include "inventory/listsearch.h"
#include "inventory/listsort.h"

using namespace tessivane;
using namespace tessivane::test;

namespace {

QDateTime day(int y, int m, int d)
{
    return QDateTime(QDate(y, m, d), QTime(0, 0), Qt::UTC);
}

/// A row with an asset number, a description, years left, an initial value and a date.
QVector<QVariant> row(const QString& asset, const QString& description, const QVariant& years,
    const QVariant& money, const QVariant& date)
{
    QVector<QVariant> values = blankListRow();
    values[kAssetNumber] = asset;
    values[1] = description;
    values[5] = years;
    values[kInitialValue] = money;
    values[kDatePurchased] = date;
    return values;
}

/// What the grid shows for money and dates.
QString shown(const ListRows& rows, int r, int field)
{
    const QVariant& value = rows[r][field];
    if (field == kInitialValue)
        return CurrencyText(value.toDouble());
    if (field == kDatePurchased)
        return localeDateText(value.toDateTime());
    return QString::number(value.toInt());
}

ListRows findRows()
{
    return {row("SN-9", "Oak desk", 3, 1234.5, day(2021, 3, 1)),
        row("sn-10", "Desk lamp", 12, 99.99, day(2019, 12, 31)),
        row("SN-100", "", 0, 0.0, QVariant())};
}

using Cells = QList<QPoint>;

ListRows sortRowsTable()
{
    return {row("SN-10", "", 5, 10.0, day(2021, 1, 5)),
        row("SN-9", "", 5, QVariant(), day(2020, 1, 1)), row("", "x", 2, 7.5, QVariant()),
        row("Alpha", "", 7, 10.0, day(2019, 6, 30)), blankListRow(),
        row("SN-9", "", 2, 3.0, day(2021, 1, 5))};
}

} // namespace

class TestListSearch : public QObject
{
    Q_OBJECT

private slots:
    void findsWithEachOption_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("wholeCell");
        QTest::addColumn<int>("field");
        QTest::addColumn<QList<QRect>>("selection");
        QTest::addColumn<Cells>("found");
        const QList<QRect> all;
        QTest::newRow("any case") << "sn-1" << false << false << -1 << all
                                  << Cells {{0, 1}, {0, 2}};
        QTest::newRow("match case") << "SN-1" << true << false << -1 << all << Cells {{0, 2}};
        QTest::newRow("whole cell") << "sn-9" << false << true << -1 << all << Cells {{0, 0}};
        QTest::newRow("one column") << "3" << false << false << 5 << all << Cells {{5, 0}};
        QTest::newRow("all columns")
            << "3" << false << false << -1 << all << Cells {{5, 0}, {6, 0}, {8, 0}, {8, 1}};
        QTest::newRow("selection") << "desk" << false << false << -1
                                   << QList<QRect> {QRect(0, 1, 13, 2)} << Cells {{1, 1}};
        QTest::newRow("money shown")
            << "$1,234.50" << false << false << -1 << all << Cells {{6, 0}};
        QTest::newRow("money stored") << "1234.5" << false << false << -1 << all << Cells {{6, 0}};
        QTest::newRow("money typed otherwise, whole cell")
            << "1234.50" << false << true << -1 << all << Cells {{6, 0}};
        QTest::newRow("date stored")
            << "2021-03-01" << false << false << -1 << all << Cells {{8, 0}};
        QTest::newRow("date shown") << "3/1/2021" << false << true << -1 << all << Cells {{8, 0}};
        QTest::newRow("nothing") << "chair" << false << false << -1 << all << Cells {};
    }

    void findsWithEachOption()
    {
        QFETCH(QString, text);
        QFETCH(bool, matchCase);
        QFETCH(bool, wholeCell);
        QFETCH(int, field);
        QFETCH(QList<QRect>, selection);
        QFETCH(Cells, found);
        const ListRows rows = findRows();
        ListSearch search(
            rows, {text, matchCase, wholeCell}, [&](int r, int f) { return shown(rows, r, f); });
        search.setField(field);
        search.setCells(selection);
        QCOMPARE(search.all(), found);
    }

    void findNextWrapsBothWays()
    {
        const ListRows rows = findRows();
        const ListSearch search(rows, {QStringLiteral("desk"), false, false});
        bool wrapped = true;
        QCOMPARE(search.next({1, 0}, false, &wrapped), QPoint(1, 1));
        QVERIFY(!wrapped);
        QCOMPARE(search.next({1, 1}, false, &wrapped), QPoint(1, 0));
        QVERIFY(wrapped);
        QCOMPARE(search.next({1, 0}, true, &wrapped), QPoint(1, 1));
        QVERIFY(wrapped);
        // The only match is found again from itself, round the list.
        const ListSearch one(rows, {QStringLiteral("lamp"), false, false});
        QCOMPARE(one.next({1, 1}, false, &wrapped), QPoint(1, 1));
        QVERIFY(wrapped);
    }

    void replaceAllChecksEachValue()
    {
        const ListRows rows = findRows();
        // "12" is in 1234.5, in the years 12 and in the date 2019-12-31: none takes "twelve".
        ListSearch twelve(rows, {QStringLiteral("12"), false, false});
        const CellChange refused = twelve.replaceAll(QStringLiteral("twelve"));
        QCOMPARE(refused.offered, 3);
        QCOMPARE(refused.refused.size(), 3);
        QCOMPARE(refused.rows, rows.mid(0, 2));

        ListSearch money(rows, {QStringLiteral("1,234"), false, false},
            [&](int r, int f) { return shown(rows, r, f); });
        const CellChange amount = money.replaceAll(QStringLiteral("2,000"));
        QVERIFY(amount.refused.isEmpty());
        QCOMPARE(amount.rows.first()[kInitialValue], QVariant(2000.5));

        ListSearch date(rows, {QStringLiteral("2021-03"), false, false});
        const CellChange moved = date.replaceAll(QStringLiteral("2022-04"));
        QCOMPARE(moved.rows.first()[kDatePurchased], QVariant(day(2022, 4, 1)));

        ListSearch text(rows, {QStringLiteral("DESK"), false, false});
        const CellChange desks = text.replaceAll(QStringLiteral("Table"));
        QCOMPARE(desks.first, 0);
        QCOMPARE(desks.rows[0][1], QVariant("Oak Table"));
        QCOMPARE(desks.rows[1][1], QVariant("Table lamp"));
    }

    void sortsByEachTypeStably_data()
    {
        QTest::addColumn<QList<SortKey>>("keys");
        QTest::addColumn<QVector<int>>("which");
        QTest::addColumn<QVector<int>>("order");
        const QVector<int> all;
        QTest::newRow("text, natural numbers")
            << QList<SortKey> {{0, false}} << all << QVector<int> {3, 1, 5, 0, 2, 4};
        QTest::newRow("text descending, ties kept")
            << QList<SortKey> {{0, true}} << all << QVector<int> {0, 1, 5, 3, 2, 4};
        QTest::newRow("whole numbers")
            << QList<SortKey> {{5, false}} << all << QVector<int> {2, 5, 0, 1, 3, 4};
        QTest::newRow("money, blanks last")
            << QList<SortKey> {{6, false}} << all << QVector<int> {5, 2, 0, 3, 1, 4};
        QTest::newRow("money descending, blanks last")
            << QList<SortKey> {{6, true}} << all << QVector<int> {0, 3, 2, 5, 1, 4};
        QTest::newRow("dates") << QList<SortKey> {{8, false}} << all
                               << QVector<int> {3, 1, 0, 5, 2, 4};
        QTest::newRow("two keys") << QList<SortKey> {{5, false}, {0, true}} << all
                                  << QVector<int> {5, 2, 0, 1, 3, 4};
        QTest::newRow("selected rows only") << QList<SortKey> {{0, false}} << QVector<int> {3, 1, 2}
                                            << QVector<int> {0, 3, 1, 2, 4, 5};
    }

    void sortsByEachTypeStably()
    {
        QFETCH(QList<SortKey>, keys);
        QFETCH(QVector<int>, which);
        QFETCH(QVector<int>, order);
        const ListRows rows = sortRowsTable();
        QVector<int> from;
        const CellChange change = sortRows(rows, which, keys, &from);
        QVector<int> result(rows.size());
        for (int i = 0; i < result.size(); ++i)
            result[i] = i;
        for (int i = 0; i < from.size(); ++i) {
            result[change.first + i] = from[i];
            QCOMPARE(change.rows[i], rows[from[i]]);
        }
        QCOMPARE(result, order);
    }
};

TESSIVANE_CORE_TEST_MAIN(TestListSearch)
#include "tst_listsearch.moc"
