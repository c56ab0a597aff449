// The twip arithmetic of the preview, without a window: rounding, scroll-bar set-up, drag
// clamping, percentages and zoom steps.
#include "preview/twips.h"
#include "preview/viewrules.h"

#include "previewtesting.h"

#include <stdexcept>

using namespace tessivane;

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
        QCOMPARE(int(ToInteger16(value)), expected);
        QCOMPARE(ToInteger32(value), expected);
    }

    void sixteenBitsOverflow()
    {
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, ToInteger16(32767.5));
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, ToInteger16(-32769));
        QCOMPARE(int(ToInteger16(-32768)), -32768);
    }

    void twipsMapToPixels()
    {
        QCOMPARE(TwipRect(120, 120, 9330, 7425).toPixels(), QRect(8, 8, 622, 495));
        QCOMPARE(TwipRect(4920, 8850, 4800, 405).toPixels(), QRect(328, 590, 320, 27));
        // The image box of a 1400-pixel picture is 2 twips narrower: still 1400 pixels.
        QCOMPARE(TwipsToPixels(1400 * 15 - 2), 1400);
    }

    void scrollbarSetup_data()
    {
        QTest::addColumn<float>("overflow");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("step");
        QTest::newRow("smaller") << -500.0f << false << 0 << 0;
        QTest::newRow("as wide") << 0.0f << false << 0 << 0;
        QTest::newRow("1 wider") << 1.0f << true << 1 << 1;
        QTest::newRow("100 wider") << 100.0f << true << 100 << 1;
        QTest::newRow("101 wider") << 101.0f << true << 10 << 10;
        QTest::newRow("105 wider, 10.5 to even") << 105.0f << true << 10 << 10;
        QTest::newRow("115 wider, 11.5 to even") << 115.0f << true << 12 << 10;
        QTest::newRow("far wider") << 35670.0f << true << 3567 << 10;
    }
    void scrollbarSetup()
    {
        QFETCH(float, overflow);
        QFETCH(bool, enabled);
        QFETCH(int, max);
        QFETCH(int, step);
        const ScrollbarSetup setup = SetupScrollbar(9330 + overflow, 9330);
        QCOMPARE(setup.enabled, enabled);
        QCOMPARE(int(setup.step), step);
        if (enabled)
            QCOMPARE(int(setup.max), max);
    }

    void scrollbarMaxBeyondSixteenBitsIsAnOverflow()
    {
        QVERIFY_THROWS_EXCEPTION(std::overflow_error, SetupScrollbar(9330 + 327680, 9330));
    }

    void dragClamp_data()
    {
        QTest::addColumn<float>("offset");
        QTest::addColumn<float>("boxOuter");
        QTest::addColumn<float>("expected");
        QTest::newRow("inside the range") << -1000.0f << 20998.0f << -1000.0f;
        QTest::newRow("past the left edge") << 500.0f << 20998.0f << 0.0f;
        QTest::newRow("past the right edge") << -20000.0f << 20998.0f << -11668.0f;
        QTest::newRow("smaller picture stays") << -300.0f << 5000.0f << 0.0f;
        QTest::newRow("smaller picture, pushed right") << 300.0f << 5000.0f << 0.0f;
        QTest::newRow("as wide as the viewport") << -15.0f << 9330.0f << 0.0f;
    }
    void dragClamp()
    {
        QFETCH(float, offset);
        QFETCH(float, boxOuter);
        QFETCH(float, expected);
        QCOMPARE(ClampDragOffset(offset, 9330, boxOuter), expected);
    }

    void dragPercent_data()
    {
        QTest::addColumn<float>("offset");
        QTest::addColumn<float>("boxOuter");
        QTest::addColumn<int>("expected"); // -1: none formed
        QTest::newRow("at the start") << 0.0f << 20998.0f << 0;
        QTest::newRow("8.57 %") << -1000.0f << 20998.0f << 9;
        QTest::newRow("at the far edge") << -11668.0f << 20998.0f << 100;
        QTest::newRow("half of 10 twips to even") << -1.0f << 9530.0f << 0;
        QTest::newRow("not wider") << 0.0f << 9330.0f << -1;
        QTest::newRow("narrower") << 0.0f << 5000.0f << -1;
    }
    void dragPercent()
    {
        QFETCH(float, offset);
        QFETCH(float, boxOuter);
        QFETCH(int, expected);
        const std::optional<qint16> percent = DragPercent(offset, boxOuter, 9330);
        QCOMPARE(percent.has_value(), expected >= 0);
        if (percent)
            QCOMPARE(int(*percent), expected);
    }

    void valueForPercent_data()
    {
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("expected"); // -1: the bar is left alone
        QTest::newRow("-1 %") << -1 << 37 << -1;
        QTest::newRow("0 %") << 0 << 37 << 0;
        QTest::newRow("50 % of 37, 18.5 to even") << 50 << 37 << 18;
        QTest::newRow("100 %") << 100 << 37 << 37;
        QTest::newRow("101 %") << 101 << 37 << -1;
        QTest::newRow("101 % of 0") << 101 << 0 << 0;
    }
    void valueForPercent()
    {
        QFETCH(int, percent);
        QFETCH(int, max);
        QFETCH(int, expected);
        const std::optional<int> value = ScrollValueForPercent(qint16(percent), max);
        QCOMPARE(value.has_value(), expected >= 0);
        if (value)
            QCOMPARE(*value, expected);
    }

    void zoomLimitsAndScaledSizes()
    {
        QVERIFY(!ZoomAccepted(NextZoom(kMaxZoom, 0)));
        QVERIFY(ZoomAccepted(kMaxZoom) && ZoomAccepted(kMinZoom));
        QVERIFY(!ZoomAccepted(NextZoom(kMinZoom, 1)));
        QVERIFY(!ZoomAccepted(NextZoom(kMinZoom, 7))); // any direction but 0 zooms out
        QCOMPARE(ScaledSize(1.25f, 13498), 16872); // 16872.5 rounded down
        QVERIFY(!ScaledSizeFits(24700, 100));
        QVERIFY(!ScaledSizeFits(100, 20800));
        QVERIFY(ScaledSizeFits(24699, 20799));
    }
};

PREVIEW_TEST_MAIN(TestViewRules)
#include "tst_viewrules.moc"
