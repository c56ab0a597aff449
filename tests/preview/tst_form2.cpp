// The preview window: layout, handover, zoom, scroll bars, drag-panning and hover pointers.
#include "core/bitmapfile.h"
#include "preview/form2.h"
#include "preview/picturebox.h"
#include "preview/viewrules.h"

#include "support/previewtesting.h"

#include <QFile>
#include <QGroupBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <cmath>

using namespace tessivane;
using namespace previewtesting;
using namespace tessivane::test;

namespace {

/// A shown, initialised preview of one picture.
struct Preview
{
    ScriptedBoxes boxes; // any failure report would land here
    Form2 form {nullptr, {}, boxes};

    explicit Preview(const PagedPicture& picture)
    {
        form.setPicture(picture);
        ShowActive(form);
    }
};

/// The resident memory of this process, in megabytes.
double ResidentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    return -1;
}

/// A top-down 24-bit BMP of width x height at path, as the snapshot writes one: black but for
/// its last `painted` rows, red. Only those rows are written;
/// the rest of the file is a hole, so that a picture of hundreds of megabytes costs no disk.
bool WriteTallBitmap(const QString& path, int width, int height, int painted)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bitmapHeader(width, height)) != 54)
        return false;
    const qsizetype stride = bitmapStride(width);
    QByteArray red(stride, '\0');
    for (int x = 0; x < width; ++x)
        red[3 * x + 2] = char(0xFF);
    if (!file.seek(54 + stride * qint64(height - painted)))
        return false;
    for (int y = height - painted; y < height; ++y)
        if (file.write(red) != stride)
            return false;
    return true;
}

// A 1400 x 700 picture: 20998 x 10498 twips in the box, 11668 and 3073 twips of overflow.
const QSize kWide(1400, 700);

} // namespace

class TestForm2 : public QObject
{
    Q_OBJECT

private slots:
    void layoutInPixels_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("Picture2") << "Picture2" << QRect(8, 8, 622, 495);
        QTest::newRow("VScroll1") << "VScroll1" << QRect(630, 8, 17, 495);
        QTest::newRow("HScroll1") << "HScroll1" << QRect(8, 503, 622, 17);
        QTest::newRow("Frame1") << "Frame1" << QRect(8, 524, 640, 57);
        QTest::newRow("PushButton1") << "PushButton1" << QRect(16, 20, 296, 27);
        QTest::newRow("PushButton2") << "PushButton2" << QRect(320, 20, 304, 27);
        QTest::newRow("PushButton8") << "PushButton8" << QRect(8, 590, 312, 27);
        QTest::newRow("PushButton6") << "PushButton6" << QRect(328, 590, 320, 27);
    }
    void layoutInPixels()
    {
        QFETCH(QString, control);
        QFETCH(QRect, expected);
        UnexpectedBoxes boxes;
        Form2 form(nullptr, {}, boxes);
        const QHash<QString, QWidget*> controls {{"Picture2", form.picture2()},
            {"VScroll1", form.vScroll1()}, {"HScroll1", form.hScroll1()}, {"Frame1", form.frame1()},
            {"PushButton1", form.pushButton(1)}, {"PushButton2", form.pushButton(2)},
            {"PushButton8", form.pushButton(8)}, {"PushButton6", form.pushButton(6)}};
        QCOMPARE(controls.value(control)->geometry(), expected);
    }

    void creationSetsTheLook()
    {
        UnexpectedBoxes boxes;
        Form2 form(nullptr, {}, boxes);
        QCOMPARE(form.size(), QSize(656, 624));
        QCOMPARE(form.windowTitle(), QStringLiteral("Tessivane"));
        QVERIFY(!form.windowIcon().isNull());
        QVERIFY(form.mousePointer().hasMouseIcon());
        QVERIFY(form.firstActivate());
        QCOMPARE(form.frame1()->title(), QStringLiteral("Zoom:"));
        QCOMPARE(form.pushButton(6)->text(), QStringLiteral("Save Results To Excel File"));
        QCOMPARE(form.pushButton(8)->text(), QStringLiteral("< Back"));
        QCOMPARE(form.picture2()->palette().color(QPalette::Window), QColor(Qt::white));
        QVERIFY(form.zoomOri()->isHidden());
        QCOMPARE(form.hScroll1()->maximum(), 32767);
        QVERIFY(!form.hScroll1()->hasTracking());
    }

    void activationInitialisesOnceAfterEachHandover()
    {
        Preview preview(Picture(kWide.width(), kWide.height()));
        Form2& form = preview.form;
        QVERIFY(!form.firstActivate());
        QCOMPARE(form.zoom(), 1.0f);
        QCOMPARE(form.origWidth(), 20998);
        QCOMPARE(form.origHeight(), 10498);
        QCOMPARE(form.picture1()->Width(), 20998.0f);
        QCOMPARE(form.picture1()->size(), kWide);
        QCOMPARE(form.hScroll1()->maximum(), 1167);
        QCOMPARE(int(form.hStep()), 10);
        QCOMPARE(form.vScroll1()->maximum(), 307);
        QCOMPARE(form.picture1()->paintCount(), 1);
        // At 1.0 the box shows the zoom source itself, not a second copy of it.
        QCOMPARE(
            form.picture1()->surface().cacheKey(), form.zoomOri()->Picture().image().cacheKey());
        // Becoming active again without a handover changes nothing.
        form.PushButton2_Click();
        form.Form_Activate();
        QCOMPARE(form.zoom(), 0.75f);
        QVERIFY(preview.boxes.calls.isEmpty());
    }

    void zoomLimits_data()
    {
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("presses");
        QTest::addColumn<float>("zoom");
        QTest::addColumn<int>("paints");
        // Five steps lead from 1.0 to 2.25 and three to 0.25; presses past them paint nothing.
        QTest::newRow("8 in") << 0 << 8 << 2.25f << 5;
        QTest::newRow("9 in") << 0 << 9 << 2.25f << 5;
        QTest::newRow("4 out") << 1 << 4 << 0.25f << 3;
        QTest::newRow("5 out") << 1 << 5 << 0.25f << 3;
    }
    void zoomLimits()
    {
        QFETCH(int, direction);
        QFETCH(int, presses);
        QFETCH(float, zoom);
        QFETCH(int, paints);
        // 700 x 600 pixels fits even at 2.25: 23620 x 20245 twips.
        const QImage picture = Picture(700, 600);
        Preview preview(picture);
        Form2& form = preview.form;
        const int paintsBefore = form.picture1()->paintCount();
        QPushButton* button = direction == 0 ? form.pushButton(1) : form.pushButton(2);
        for (int i = 0; i < presses; ++i)
            QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(form.zoom(), zoom);
        QCOMPARE(form.picture1()->paintCount() - paintsBefore, paints);
        const qint32 width = qint32(std::floor(double(zoom) * 10498));
        QCOMPARE(form.imageWidth(), width);
        QCOMPARE(form.picture1()->Width(), float(width));
        QCOMPARE(form.picture1()->width(), twipsToPixels(width));
        // The whole picture, scaled to the box.
        QImage scaled(form.picture1()->size(), QImage::Format_RGB32);
        QPainter painter(&scaled);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(scaled.rect(), picture);
        painter.end();
        QCOMPARE(form.picture1()->surface(), scaled);
        QVERIFY(preview.boxes.calls.isEmpty());
    }

    void oversizeZoomIsRefusedAndRestartsFromOne()
    {
        // One pixel wide and 600,000 tall: 8999998 twips, 15749996 at 1.75; at 2.0 it would
        // pass what the box holds exactly (2^24 twips).
        Preview preview(Picture(1, 600000));
        Form2& form = preview.form;
        for (int i = 0; i < 3; ++i)
            form.PushButton1_Click();
        QCOMPARE(form.zoom(), 1.75f);
        QCOMPARE(form.picture1()->Height(), 15749996.0f);
        form.vScroll1()->setValue(50);
        const int paints = form.picture1()->paintCount();
        const float top = form.picture1()->Top();
        QVERIFY(top < 0);

        form.PushButton1_Click(); // 2.0 is too tall
        QCOMPARE(form.zoom(), 1.0f);
        QCOMPARE(form.picture1()->paintCount(), paints);
        QCOMPARE(form.picture1()->Height(), 15749996.0f);
        QCOMPARE(form.vScroll1()->value(), 50);
        QCOMPARE(form.picture1()->Top(), top);

        form.PushButton1_Click();
        QCOMPARE(form.zoom(), 1.25f);
        QCOMPARE(form.picture1()->Height(), 11249997.0f);
        QCOMPARE(form.picture1()->Top(), 0.0f);
        QCOMPARE(form.picture1()->paintCount(), paints + 1);
        QVERIFY(preview.boxes.calls.isEmpty());
    }

    void largeAtOneIsPaintedAndScrollsFar()
    {
        // 44998 x 22498 twips painted: 35670 twips of overflow, more than a 16-bit offset holds.
        Preview preview(Picture(3000, 1500));
        Form2& form = preview.form;
        QCOMPARE(form.picture1()->paintCount(), 1);
        QCOMPARE(form.picture1()->size(), QSize(3000, 1500));
        QCOMPARE(form.hScroll1()->maximum(), 3567);
        QCOMPARE(form.vScroll1()->maximum(), 1507); // painted at 1.0: 22498 twips high
        form.hScroll1()->setValue(3567);
        QCOMPARE(form.picture1()->Left(), -35670.0f);
        QVERIFY(preview.boxes.calls.isEmpty());
    }

    void bottomOfAVeryTallPictureAtEveryZoom()
    {
        // 400,000 rows, a sheet of some 20,000 inventory rows: 300 MB of pixels, read in place
        // from the file (deleted at once, as the run does) and painted only where they show.
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("temp.bmp"));
        QVERIFY(WriteTallBitmap(path, 256, 400000, 3000));
        const PagedPicture picture = PagedPicture::mapBitmapFile(path);
        QVERIFY(picture.isMapped());
        QFile::remove(path);
        const double before = ResidentMegabytes();
        Preview preview(picture);
        Form2& form = preview.form;
        for (float zoom = kMinZoom; zoom <= kMaxZoom; zoom += kZoomStep) {
            form.SetZoom(zoom);
            QCOMPARE(form.zoom(), zoom);
            QCOMPARE(form.picture1()->height(), int(std::floor(zoom * 400000)));
            form.vScroll1()->setValue(form.vScroll1()->maximum());
            const QImage shown = form.picture2()->grab().toImage();
            // The bar's far end puts the picture's last row at the viewport's bottom (to a unit
            // of the bar): the last rows, red, are painted there.
            const int bottom = form.picture1()->y() + form.picture1()->height() - 1;
            QVERIFY(std::abs(bottom - (shown.height() - 1)) <= form.vStep() / 15 + 1);
            QCOMPARE(QColor(shown.pixel(10, shown.height() - 20)), QColor(Qt::red));
            QCOMPARE(QColor(shown.pixel(5, shown.height() - 300)), QColor(Qt::red));
        }
        // A picture decoded whole would take 400 MB.
        QVERIFY2(ResidentMegabytes() - before < 40,
            qPrintable(QStringLiteral("%1 MB more").arg(ResidentMegabytes() - before)));
        QVERIFY(form.zoomOri()->Picture().isMapped());
        QVERIFY(preview.boxes.calls.isEmpty());
    }

    void barsReachTheFarEdgeBeyondSixteenBits()
    {
        // 329670 twips of overflow: ten twips a unit would need 32967 units.
        Preview preview(Picture(22600, 10));
        Form2& form = preview.form;
        QCOMPARE(int(form.hStep()), 11);
        QCOMPARE(form.hScroll1()->maximum(), 29970);
        form.hScroll1()->setValue(29970);
        QCOMPARE(form.picture1()->Left(), -329670.0f);
        QVERIFY(preview.boxes.calls.isEmpty());
    }

    void scrollbarsForOverflows_data()
    {
        QTest::addColumn<float>("overflow");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("step");
        QTest::newRow("as wide") << 0.0f << false << 32767 << 0;
        QTest::newRow("100 wider") << 100.0f << true << 100 << 1;
        QTest::newRow("101 wider") << 101.0f << true << 10 << 10;
        QTest::newRow("105 wider") << 105.0f << true << 10 << 10;
        QTest::newRow("115 wider") << 115.0f << true << 12 << 10;
    }
    void scrollbarsForOverflows()
    {
        QFETCH(float, overflow);
        QFETCH(bool, enabled);
        QFETCH(int, max);
        QFETCH(int, step);
        ScriptedBoxes boxes;
        Form2 form(nullptr, {}, boxes);
        form.picture1()->setWidth(9330 + overflow);
        form.picture1()->setHeight(7425 + overflow);
        form.picture1()->Move(-40, -40);
        form.SetupScrollbars();
        QCOMPARE(form.picture1()->Left(), 0.0f);
        QCOMPARE(form.picture1()->Top(), 0.0f);
        for (QScrollBar* bar : {form.hScroll1(), form.vScroll1()}) {
            QCOMPARE(bar->isEnabled(), enabled);
            QCOMPARE(bar->maximum(), max);
            QCOMPARE(bar->value(), 0);
        }
        QCOMPARE(int(form.hStep()), step);
        QCOMPARE(int(form.vStep()), step);
    }

    void scrollingMovesTheBoxWithoutRepainting()
    {
        Preview preview(Picture(kWide.width(), kWide.height()));
        Form2& form = preview.form;
        const int paints = form.picture1()->paintCount();
        form.hScroll1()->setValue(100);
        form.vScroll1()->setValue(307);
        QCOMPARE(form.picture1()->Left(), -1000.0f);
        QCOMPARE(form.picture1()->Top(), -3070.0f);
        QCOMPARE(form.picture1()->pos(), QPoint(-67, -205));
        QCOMPARE(form.picture1()->paintCount(), paints);
    }

    void percentProcedures_data()
    {
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("percent");
        QTest::addColumn<int>("expected");
        QTest::newRow("-1 % leaves the bar") << 37 << -1 << 5;
        QTest::newRow("50 % of 37") << 37 << 50 << 18;
        QTest::newRow("101 % leaves the bar") << 37 << 101 << 5;
        QTest::newRow("100 %") << 37 << 100 << 37;
    }
    void percentProcedures()
    {
        QFETCH(int, max);
        QFETCH(int, percent);
        QFETCH(int, expected);
        UnexpectedBoxes boxes;
        Form2 form(nullptr, {}, boxes);
        for (QScrollBar* bar : {form.hScroll1(), form.vScroll1()}) {
            bar->setMaximum(max);
            bar->setValue(5);
        }
        form.SetHScrollbarByPercent(form.hScroll1(), qint16(percent));
        form.SetVScrollbarByPercent(form.vScroll1(), qint16(percent));
        QCOMPARE(form.hScroll1()->value(), expected);
        QCOMPARE(form.vScroll1()->value(), expected);
    }

    void dragClampsAndSnaps_data()
    {
        QTest::addColumn<QPointF>("by"); // twips the pointer moves after the press
        QTest::addColumn<QPointF>("dragged"); // Left, Top while dragging
        QTest::addColumn<QPointF>("released"); // Left, Top after the release
        // 1000/11668 → 9 % → value 105; 500/3073 → 16 % → value 49.
        QTest::newRow("snaps to the bars")
            << QPointF(-1000, -500) << QPointF(-1000, -500) << QPointF(-1050, -490);
        QTest::newRow("past the left and top edges")
            << QPointF(3000, 900) << QPointF(0, 0) << QPointF(0, 0);
        QTest::newRow("past the far edges")
            << QPointF(-30000, -9000) << QPointF(-11668, -3073) << QPointF(-11670, -3070);
        // 15/11668 → 0 %: the bar keeps its value, so the picture stays where it was left.
        QTest::newRow("bar unchanged")
            << QPointF(-15, -15) << QPointF(-15, -15) << QPointF(-15, -15);
    }
    void dragClampsAndSnaps()
    {
        QFETCH(QPointF, by);
        QFETCH(QPointF, dragged);
        QFETCH(QPointF, released);
        Preview preview(Picture(kWide.width(), kWide.height()));
        Form2& form = preview.form;
        const int paints = form.picture1()->paintCount();
        form.picture1_MouseDown(Qt::RightButton, 3000, 3000);
        form.picture1_MouseMove(Qt::RightButton, float(3000 + by.x()), float(3000 + by.y()));
        QCOMPARE(QPointF(form.picture1()->Left(), form.picture1()->Top()), dragged);
        QCOMPARE(form.hScroll1()->value(), 0); // the bars wait for the release
        form.Picture1_MouseUp(Qt::RightButton, 0, 0);
        QCOMPARE(QPointF(form.picture1()->Left(), form.picture1()->Top()), released);
        QCOMPARE(form.picture1()->paintCount(), paints);
        QVERIFY(preview.boxes.calls.isEmpty());
    }

    void moveWithoutButtonDoesNotDrag()
    {
        Preview preview(Picture(kWide.width(), kWide.height()));
        Form2& form = preview.form;
        form.picture1_MouseDown(Qt::LeftButton, 3000, 3000);
        form.picture1_MouseMove(Qt::NoButton, 1000, 1000);
        QCOMPARE(form.picture1()->Left(), 0.0f);
    }

    void smallPictureDoesNotMove()
    {
        Preview preview(Picture(200, 100));
        Form2& form = preview.form;
        form.picture1_MouseDown(Qt::LeftButton, 100, 100);
        form.picture1_MouseMove(Qt::LeftButton, 1600, 1600);
        form.picture1_MouseMove(Qt::LeftButton, -1600, -1600);
        form.Picture1_MouseUp(Qt::LeftButton, 0, 0);
        QCOMPARE(form.picture1()->pos(), QPoint(0, 0));
    }

    void realMouseDragWithTheRightButton()
    {
        Preview preview(Picture(kWide.width(), kWide.height()));
        Form2& form = preview.form;
        PictureBox* box = form.picture1();
        QTest::mousePress(box, Qt::RightButton, {}, QPoint(300, 200));
        // The box moves under the pointer: each position is relative to where it is now.
        QTest::mouseMove(box, QPoint(250, 180) - box->pos());
        QTest::mouseMove(box, QPoint(200, 160) - box->pos());
        QCOMPARE(box->pos(), QPoint(-100, -40));
        QCOMPARE(box->Left(), -1500.0f);
        QTest::mouseRelease(box, Qt::RightButton, {}, QPoint(200, 160) - box->pos());
        // 1500/11668 → 13 % → value 152; 600/3073 → 20 % → value 61.
        QCOMPARE(form.hScroll1()->value(), 152);
        QCOMPARE(form.vScroll1()->value(), 61);
        QCOMPARE(box->Left(), -1520.0f);
        QCOMPARE(box->Top(), -610.0f);
    }

    void secondHandoverShowsAndZoomsTheNewPicture()
    {
        ScriptedBoxes boxes;
        Form2 form(nullptr, {}, boxes);
        form.setPicture(Picture(kWide.width(), kWide.height(), Qt::red));
        QVERIFY(ShowActive(form));
        form.PushButton2_Click();
        form.hScroll1()->setValue(40);
        form.hide();
        form.setPicture(Picture(400, 300, Qt::blue));
        QVERIFY(form.firstActivate());
        QVERIFY(ShowActive(form));
        QVERIFY(!form.firstActivate());
        QCOMPARE(form.zoom(), 1.0f);
        QCOMPARE(form.origWidth(), 5998);
        QCOMPARE(form.picture1()->pos(), QPoint(0, 0));
        QVERIFY(!form.hScroll1()->isEnabled());
        QCOMPARE(int(form.hStep()), 0);
        form.PushButton1_Click();
        QCOMPARE(form.picture1()->size(), QSize(500, 375));
        const QImage shown = form.picture1()->surface();
        QCOMPARE(shown.size(), QSize(500, 375));
        QCOMPARE(QColor(shown.pixel(250, 180)), QColor(Qt::blue));
        QVERIFY(boxes.calls.isEmpty());
    }

    void aHandoverWithoutAPictureShowsNone()
    {
        ScriptedBoxes boxes;
        Form2 form(nullptr, {}, boxes);
        form.setPicture(Picture(kWide.width(), kWide.height(), Qt::red));
        QVERIFY(ShowActive(form));
        form.hide();
        form.setPicture({});
        QVERIFY(ShowActive(form));
        form.PushButton1_Click();
        form.PushButton2_Click();
        QVERIFY(form.picture1()->Picture().isNull());
        QVERIFY(boxes.calls.isEmpty());
    }

    void hoverPointers()
    {
        UnexpectedBoxes boxes;
        Form2 form(nullptr, {}, boxes);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        MousePointer& pointer = form.mousePointer();
        QTest::mouseMove(form.pushButton(1), QPoint(10, 10));
        QCOMPARE(pointer.value(), int(vbCustom));
        QTest::mouseMove(form.frame1(), QPoint(4, 50));
        QCOMPARE(pointer.value(), int(vbDefault));
        QTest::mouseMove(form.pushButton(6), QPoint(10, 10));
        QCOMPARE(pointer.value(), int(vbCustom));
        QTest::mouseMove(&form, QPoint(650, 3));
        QCOMPARE(pointer.value(), int(vbDefault));
        pointer.set(vbHourglass);
        QTest::mouseMove(form.pushButton(8), QPoint(10, 10));
        QTest::mouseMove(form.frame1(), QPoint(4, 50));
        QCOMPARE(pointer.value(), int(vbHourglass));
    }

    void wheelAndKeysDriveTheButtonsAndBars_data()
    {
        QTest::addColumn<QPoint>("turn"); // the wheel's angle delta, or none for a key
        QTest::addColumn<QKeyCombination>("keys");
        QTest::addColumn<int>("times");
        QTest::addColumn<int>("zoomSteps"); // the same as clicks: + "Zoom In", - "Zoom Out"
        QTest::addColumn<int>("hUnits"); // ... or as moving the bars by this much
        QTest::addColumn<int>("vUnits");
        const QKeyCombination none;
        const QKeyCombination ctrl(Qt::ControlModifier);
        const QKeyCombination shift(Qt::ShiftModifier);
        // A notch is 900 twips: 90 units of a bar whose step is 10.
        QTest::newRow("wheel down") << QPoint(0, -120) << none << 1 << 0 << 0 << 90;
        QTest::newRow("wheel up at the top") << QPoint(0, 120) << none << 1 << 0 << 0 << -90;
        QTest::newRow("wheel down past the end") << QPoint(0, -120) << none << 3 << 0 << 0 << 270;
        QTest::newRow("fine wheel, an eighth notch") << QPoint(0, -15) << none << 1 << 0 << 0 << 11;
        QTest::newRow("Shift+wheel") << QPoint(0, -120) << shift << 2 << 0 << 180 << 0;
        QTest::newRow("sideways wheel") << QPoint(-120, 0) << none << 1 << 0 << 90 << 0;
        QTest::newRow("Ctrl+wheel up") << QPoint(0, 120) << ctrl << 1 << 1 << 0 << 0;
        QTest::newRow("Ctrl+wheel down, to the limit")
            << QPoint(0, -120) << ctrl << 4 << -4 << 0 << 0;
        QTest::newRow("Ctrl+wheel up, half notches") << QPoint(0, 60) << ctrl << 3 << 1 << 0 << 0;
        QTest::newRow("Ctrl+wheel up, five notches") << QPoint(0, 120) << ctrl << 5 << 5 << 0 << 0;
        QTest::newRow("Ctrl+Plus") << QPoint() << (Qt::CTRL | Qt::Key_Plus) << 2 << 2 << 0 << 0;
        QTest::newRow("Ctrl+=") << QPoint() << (Qt::CTRL | Qt::Key_Equal) << 1 << 1 << 0 << 0;
        QTest::newRow("Ctrl+Minus") << QPoint() << (Qt::CTRL | Qt::Key_Minus) << 4 << -4 << 0 << 0;
    }
    void wheelAndKeysDriveTheButtonsAndBars()
    {
        QFETCH(QPoint, turn);
        QFETCH(QKeyCombination, keys);
        QFETCH(int, times);
        QFETCH(int, zoomSteps);
        QFETCH(int, hUnits);
        QFETCH(int, vUnits);
        // 900 x 600 pixels: both bars step 10 (Max 417 and 158).
        const QImage picture = Picture(900, 600);
        Preview byHabit(picture);
        for (int i = 0; i < times; ++i) {
            if (turn.isNull()) {
                QTest::keyClick(&byHabit.form, keys.key(), keys.keyboardModifiers());
            } else {
                const QPointF at(100, 100);
                QWheelEvent wheel(at, byHabit.form.picture1()->mapToGlobal(at), QPoint(), turn,
                    Qt::NoButton, keys.keyboardModifiers(), Qt::NoScrollPhase, false);
                QApplication::sendEvent(byHabit.form.picture1(), &wheel);
            }
        }
        Preview byControls(picture);
        for (int i = 0; i < std::abs(zoomSteps); ++i)
            QTest::mouseClick(
                zoomSteps > 0 ? byControls.form.pushButton(1) : byControls.form.pushButton(2),
                Qt::LeftButton);
        byControls.form.hScroll1()->setValue(byControls.form.hScroll1()->value() + hUnits);
        byControls.form.vScroll1()->setValue(byControls.form.vScroll1()->value() + vUnits);

        const auto state = [](Form2& form) {
            return QList<float> {form.zoom(), float(form.imageWidth()),
                float(form.hScroll1()->value()), float(form.vScroll1()->value()),
                form.picture1()->Left(), form.picture1()->Top()};
        };
        QCOMPARE(state(byHabit.form), state(byControls.form));
        QVERIFY(byHabit.boxes.calls.isEmpty());
    }
};

TESSIVANE_TEST_MAIN(TestForm2)
#include "tst_form2.moc"
