// The inventory table: pending new rows, bookmarks, deletion, moves and conversion on store.

#include "support/inventorytesting.h"

#include "inventory/inventorytable.h"

#include <QSignalSpy>

using namespace tessivane;
using namespace tessivane::test;

namespace {

QString failureOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

const QString kNoCurrentRow = QStringLiteral("Either BOF or EOF is True, or the current record has "
                                             "been deleted. Requested operation requires a "
                                             "current record.");

} // namespace

class TestInventoryTable : public QObject
{
    Q_OBJECT

private slots:
    void newRowIsCommittedByNextAddNewOrMove()
    {
        auto table = makeTable(0);
        QVERIFY(table->IsBOF() && table->IsEOF());
        table->AddNew();
        QVERIFY(table->HasPendingNewRow());
        QCOMPARE(table->RecordCount(), 1);
        QCOMPARE(table->Value(8), QVariant()); // every field starts Null
        table->AddNew();
        QCOMPARE(table->CurrentRow(), 1);
        table->MoveFirst();
        QVERIFY(!table->HasPendingNewRow());
        table->AddNew();
        table->Update();
        QVERIFY(!table->HasPendingNewRow());
        QCOMPARE(table->RecordCount(), 3);
    }

    void bookmarksStayWithTheirRows()
    {
        auto table = makeTable(5);
        QList<InventoryTable::Bookmark> marks;
        for (int row = 0; row < 5; ++row)
            marks.append(table->BookmarkAt(row));
        table->SetBookmark(marks[1]);
        table->Delete();
        table->AddNew(); // a new row never takes a deleted row's bookmark
        QVERIFY(!marks.contains(table->GetBookmark()));
        QCOMPARE(table->RowOf(marks[4]), 3);
        QCOMPARE(table->RowOf(marks[1]), -1);
        table->SetBookmark(marks[3]);
        QCOMPARE(table->Value(0).toString(), QStringLiteral("A4"));
        QVERIFY(!failureOf([&] { table->SetBookmark(marks[1]); }).isEmpty());
        QCOMPARE(table->Value(0).toString(), QStringLiteral("A4"));
    }

    void deletedRowStaysThePositionUntilTheNextMove_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("deleted");
        QTest::addColumn<QString>("afterNext"); // field 0 after MoveNext, empty for EOF
        QTest::newRow("middle") << 3 << 1 << "A3";
        QTest::newRow("first") << 3 << 0 << "A2";
        QTest::newRow("last") << 3 << 2 << "";
        QTest::newRow("only") << 1 << 0 << "";
    }

    void deletedRowStaysThePositionUntilTheNextMove()
    {
        QFETCH(int, rows);
        QFETCH(int, deleted);
        QFETCH(QString, afterNext);
        auto table = makeTable(rows);
        table->SetCurrentRow(deleted);
        table->Delete();
        QCOMPARE(table->RecordCount(), rows - 1);
        QVERIFY(!table->IsBOF() && !table->IsEOF());
        QVERIFY(table->IsOnDeletedRow());
        QCOMPARE(failureOf([&] { table->Value(0); }), kNoCurrentRow);
        QCOMPARE(failureOf([&] { table->Delete(); }), kNoCurrentRow);
        table->MoveNext();
        if (afterNext.isEmpty())
            QVERIFY(table->IsEOF());
        else
            QCOMPARE(table->Value(0).toString(), afterNext);
    }

    void movesAndEnds()
    {
        auto table = makeTable(3);
        table->Move(2);
        QCOMPARE(table->Value(0).toString(), QStringLiteral("A3"));
        table->MoveNext();
        QVERIFY(table->IsEOF() && !table->IsBOF());
        QCOMPARE(failureOf([&] { table->MoveNext(); }), kNoCurrentRow);
        QCOMPARE(failureOf([&] { table->Value(0); }), kNoCurrentRow);
        QCOMPARE(failureOf([&] { table->SetValue(0, QStringLiteral("x")); }), kNoCurrentRow);
        QCOMPARE(failureOf([&] { table->GetBookmark(); }), kNoCurrentRow);
        table->Move(-1); // back from EOF onto the last row
        QCOMPARE(table->Value(0).toString(), QStringLiteral("A3"));
        table->Move(-10);
        QVERIFY(table->IsBOF() && !table->IsEOF());
        QVERIFY(!failureOf([&] { table->Move(-1); }).isEmpty());
        table->Move(10);
        QVERIFY(table->IsEOF());
        auto empty = makeTable(0);
        QCOMPARE(failureOf([&] { empty->MoveFirst(); }), kNoCurrentRow);
        QVERIFY(!failureOf([&] { empty->MoveNext(); }).isEmpty());
    }

    void storedValuesTakeTheFieldsType_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QVariant>("given");
        QTest::addColumn<QVariant>("stored");

        const QVariant null;
        QTest::newRow("rate 7.5 to 8") << 10 << QVariant(7.5) << QVariant(8);
        QTest::newRow("rate 6.5 to 6") << 10 << QVariant(6.5) << QVariant(6);
        QTest::newRow("rate 0.5 to 0") << 10 << QVariant(0.5) << QVariant(0);
        QTest::newRow("rate -2.5 to -2") << 10 << QVariant(-2.5) << QVariant(-2);
        QTest::newRow("years as text") << 5 << QVariant(QStringLiteral("7.5")) << QVariant(8);
        QTest::newRow("money four decimals") << 7 << QVariant(12.3456) << QVariant(12.3456);
        QTest::newRow("money half to even, down") << 7 << QVariant(12.34565) << QVariant(12.3456);
        QTest::newRow("money half to even, up") << 7 << QVariant(12.34575) << QVariant(12.3458);
        QTest::newRow("money currency text")
            << 6 << QVariant(QStringLiteral("$1,234.50")) << QVariant(1234.5);
        QTest::newRow("money negative text")
            << 6 << QVariant(QStringLiteral("($5.00)")) << QVariant(-5.0);
        const QDateTime august11(QDate(2015, 8, 11), QTime(0, 0), Qt::UTC);
        QTest::newRow("date value") << 8 << QVariant(QDate(2015, 8, 11)) << QVariant(august11);
        QTest::newRow("date iso") << 8 << QVariant(QStringLiteral("2015-08-11"))
                                  << QVariant(august11);
        QTest::newRow("date two-digit year")
            << 8 << QVariant(QStringLiteral("8/11/15")) << QVariant(august11);
        QTest::newRow("date 30 is 1930")
            << 8 << QVariant(QStringLiteral("1/2/30"))
            << QVariant(QDateTime(QDate(1930, 1, 2), QTime(0, 0), Qt::UTC));
        QTest::newRow("date with time")
            << 8 << QVariant(QStringLiteral("2015-08-11T10:30:05"))
            << QVariant(QDateTime(QDate(2015, 8, 11), QTime(10, 30, 5), Qt::UTC));
        QTest::newRow("text 50 characters") << 0 << QVariant(QString(50, QLatin1Char('x')))
                                            << QVariant(QString(50, QLatin1Char('x')));
        QTest::newRow("text empty stays text") << 1 << QVariant(QString()) << QVariant(QString());
        QTest::newRow("text Null") << 2 << null << null;
        QTest::newRow("money Null") << 6 << null << null;
    }

    void storedValuesTakeTheFieldsType()
    {
        QFETCH(int, field);
        QFETCH(QVariant, given);
        QFETCH(QVariant, stored);
        auto table = makeTable(1);
        table->SetValue(field, given);
        const QVariant value = table->Value(field);
        QCOMPARE(value.typeId(), stored.typeId());
        QCOMPARE(value, stored);
    }

    void valuesTheFieldCannotHoldAreRefused_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QVariant>("given");
        QTest::addColumn<QString>("accepts");

        QTest::newRow("51 characters")
            << 0 << QVariant(QString(51, QLatin1Char('x'))) << "at most 50 characters";
        QTest::newRow("rate not a number")
            << 10 << QVariant(QStringLiteral("abc")) << "a whole number";
        QTest::newRow("rate beyond 32 bits") << 10 << QVariant(3e9) << "a whole number";
        QTest::newRow("money not a number")
            << 6 << QVariant(QStringLiteral("12 dollars")) << "an amount of money";
        QTest::newRow("money too large") << 6 << QVariant(1e16) << "an amount of money";
        QTest::newRow("date not a date") << 8 << QVariant(QStringLiteral("13/45/2015")) << "a date";
    }

    void valuesTheFieldCannotHoldAreRefused()
    {
        QFETCH(int, field);
        QFETCH(QVariant, given);
        QFETCH(QString, accepts);
        auto table = makeTable(1);
        const QVariant before = table->Value(field);
        QSignalSpy changes(table.get(), &InventoryTable::valueChanged);
        const QString message = failureOf([&] { table->SetValue(field, given); });
        QVERIFY2(message.contains(
                     QStringLiteral("\"%1\"").arg(QString::fromUtf8(kInventoryFields[field].name))),
            qPrintable(message));
        QVERIFY2(message.contains(accepts), qPrintable(message));
        QCOMPARE(table->Value(field), before);
        QCOMPARE(changes.count(), 0);
    }
};

TESSIVANE_CORE_TEST_MAIN(TestInventoryTable)
#include "tst_inventorytable.moc"
