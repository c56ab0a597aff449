// The twip arithmetic of the preview without a window: rounding halves to even, 16-bit
// limits, the pixel geometry and the rows a screen reader is told are in view. The scroll, drag and
// zoom rules are tested through the window.
#include "core/twips.h"
#include "preview/viewrules.h"

#include "support/previewtesting.h"

#include <stdexcept>

using namespace tessivane;
using namespace tessivane::test;

class TestViewRules : public QObject
{
    Q_OBJECT

private slots:
    void roundingHalvesToEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("10.5") << 10.5 << 10;
        QTest::newRow("11.5") << 11.5 << 12;
        QTest::newRow("18.5") << 18.5 << 18;
        QTest::newRow("-2.5") << -2.5 << -2;
        QTest::newRow("-3.5") << -3.5 << -4;
        QTest::newRow("8.57") << 8.57 << 9;
        QTest::newRow("32767.4") << 32767.4 << 32767;
    }
    void roundingHalvesToEven()
    {
        QFETCH(double, value);
        QFETCH(int, expected);
        QCOMPARE(int(toInteger16(value)), expected);
        QCOMPARE(toInteger32(value), expected);
    }

    void sixteenBitsOverflow()
    {
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, toInteger16(32767.5));
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, toInteger16(-32769));
        QCOMPARE(int(toInteger16(-32768)), -32768);
    }

    void twipsMapToPixels()
    {
        QCOMPARE(TwipRect(120, 120, 9330, 7425).toPixels(), QRect(8, 8, 622, 495));
        QCOMPARE(TwipRect(4920, 8850, 4800, 405).toPixels(), QRect(328, 590, 320, 27));
        // The image box of a 1400-pixel picture is 2 twips narrower: still 1400 pixels.
        QCOMPARE(twipsToPixels(1400 * 15 - 2), 1400);
    }

    void theRowsInViewAreNamed_data()
    {
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<QString>("rows");
        // Rows 1 to 5: 600 twips, 300, a hidden one, 300, 300.
        QTest::newRow("the top") << 0.0 << 700.0 << "rows 1 to 2";
        QTest::newRow("inside one row") << 610.0 << 890.0 << "row 2";
        QTest::newRow("a hidden row is no row in view") << 900.0 << 1150.0 << "row 4";
        QTest::newRow("an edge touched is not in view") << 600.0 << 1200.0 << "rows 2 to 4";
        QTest::newRow("below the picture") << 1500.0 << 2000.0 << "";
    }

    void theRowsInViewAreNamed()
    {
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(QString, rows);
        QCOMPARE(rowsInView(1, {600, 300, 0, 300, 300}, from, to), rows);
        QCOMPARE(rowsInView(1, {}, from, to), QString()); // heights not known
    }
};

TESSIVANE_TEST_MAIN(TestViewRules)
#include "tst_viewrules.moc"
