// The twip arithmetic of the preview without a window: rounding halves to even, 16-bit
// limits and the pixel geometry. The scroll, drag and zoom rules are tested through the window.
#include "core/twips.h"

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
};

TESSIVANE_TEST_MAIN(TestViewRules)
#include "tst_viewrules.moc"
