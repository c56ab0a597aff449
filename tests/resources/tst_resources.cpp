// The carried template is the checked-in file, whole, and is written out byte for byte; the
// carried icon renders are sharp, with the grid's borders complete.
#include "core/fileprocs.h"
#include "core/windowlook.h"
#include "resources/resources.h"
#include "support/filetesting.h"
#include "support/testmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <stdexcept>

using namespace tessivane;
using namespace tessivane::test;

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void templateIsTheCheckedInWorkbook()
    {
        const QByteArray carried = templateBytes();
        const QByteArray checkedIn = ReadAll(QStringLiteral(TESSIVANE_TEMPLATE_FILE));
        QVERIFY(!checkedIn.isEmpty());
        QCOMPARE(carried.size(), checkedIn.size());
        QVERIFY(carried == checkedIn);
        // An OLE2 compound document, as Excel 97-2003 workbooks are.
        QVERIFY(carried.startsWith(QByteArray::fromHex("d0cf11e0a1b11ae1")));
    }

    void iconRendersAreSharp_data()
    {
        QTest::addColumn<int>("size");
        for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
            QTest::addRow("%d", size) << size;
    }

    void iconRendersAreSharp()
    {
        QFETCH(int, size);
        const QImage icon = QImage(QStringLiteral(":/icons/%1.png").arg(size))
                                .convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(icon.size(), QSize(size, size));
        // Only the drawing's two colours and clear pixels: nothing blended, nothing blurred.
        const QRgb line = qRgb(0x1e, 0x6e, 0x3c);
        const QRgb cell = qRgb(0xeb, 0xf5, 0xeb);
        QRect grid;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const QRgb pixel = icon.pixel(x, y);
                if (qAlpha(pixel) == 0)
                    continue;
                QVERIFY2(pixel == line || pixel == cell,
                    qPrintable(
                        QStringLiteral("pixel %1,%2 is #%3").arg(x).arg(y).arg(pixel, 8, 16)));
                grid |= QRect(x, y, 1, 1);
            }
        // A square grid inside a clear margin, its four border lines whole.
        QVERIFY(grid.width() == grid.height() && grid.width() > size / 2);
        QVERIFY(grid.left() > 0 && grid.top() > 0 && grid.right() < size - 1
            && grid.bottom() < size - 1);
        for (int i = grid.left(); i <= grid.right(); ++i) {
            QCOMPARE(icon.pixel(i, grid.top()), line);
            QCOMPARE(icon.pixel(i, grid.bottom()), line);
            QCOMPARE(icon.pixel(grid.left(), i - grid.left() + grid.top()), line);
            QCOMPARE(icon.pixel(grid.right(), i - grid.left() + grid.top()), line);
        }
        // The windows get the same render.
        QVERIFY(programIcon().availableSizes().contains(QSize(size, size)));
    }

    void missingResourceIsAReadableFailure()
    {
        try {
            ResourceBytes(QStringLiteral(":/no-such-resource.xlt"));
            QFAIL("no exception for a missing resource");
        } catch (const std::runtime_error& failure) {
            QVERIFY(QString::fromStdString(failure.what()).contains("no-such-resource.xlt"));
        }
    }

    void writtenTemplateIsByteForByte_data()
    {
        QTest::addColumn<QString>("relativePath");
        QTest::newRow("temporary folder") << QStringLiteral("template.xlt");
        QTest::newRow("folder with spaces and accents")
            << QStringLiteral("Données temporaires/template.xlt");
    }

    void writtenTemplateIsByteForByte()
    {
        QFETCH(QString, relativePath);
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        const QString path = folder.filePath(relativePath);
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()));

        const QByteArray bytes = templateBytes();
        WriteBytesToFile(bytes, path);

        QCOMPARE(QFileInfo(path).size(), qint64(bytes.size()));
        QVERIFY(ReadAll(path) == bytes);
    }
};

TESSIVANE_TEST_MAIN(TestResources)
#include "tst_resources.moc"
