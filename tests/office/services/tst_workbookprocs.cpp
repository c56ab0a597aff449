// The module procedures around the spreadsheet instance, on test doubles: the save-format
// rule in both decimal conventions, the start-up check, the snapshot's steps, and a call that
// waits while its caller repaints.
#include "support/fakespreadsheet.h"
#include "support/filetesting.h"
#include "support/scopedenvironment.h"
#include "support/scriptedboxes.h"
#include "support/startupcheck.h"
#include "support/testmain.h"

#include "core/apptitle.h"
#include "core/bitmapfile.h"
#include "core/messagebox.h"
#include "office/automation/whilewaiting.h"
#include "office/picture/bandbitmapwriter.h"
#include "office/picture/banddrawing.h"
#include "office/picture/bandpicture.h"
#include "office/services/backgroundreleases.h"
#include "office/services/excel1.h"
#include "office/services/isinstalled.h"
#include "office/services/libreoffice.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLocale>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>
#include <QtEndian>

#include <future>
#include <optional>
#include <thread>

using namespace tessivane;
using namespace tessivane::test;

namespace {

/// A band picture as BMP bytes: 8 bits indexed and 24 bits bottom-up by Qt's writer, 32 bits
/// top-down written here. The picture as it decodes goes to decoded.
QByteArray BandBmp(const QImage& source, int bits, QImage& decoded)
{
    QByteArray bytes;
    if (bits != 32) {
        const QImage picture = bits == 8 ? source.convertToFormat(QImage::Format_Indexed8) : source;
        decoded = picture.convertToFormat(QImage::Format_RGB32);
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        picture.save(&buffer, "BMP");
        return bytes;
    }
    decoded = source.convertToFormat(QImage::Format_RGB32);
    bytes.resize(54, '\0');
    const auto put = [&](int at, quint32 value) { qToLittleEndian(value, bytes.data() + at); };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put(10, 54);
    put(14, 40);
    put(18, quint32(decoded.width()));
    put(22, quint32(-decoded.height()));
    qToLittleEndian(quint16(1), bytes.data() + 26);
    qToLittleEndian(quint16(32), bytes.data() + 28);
    for (int y = 0; y < decoded.height(); ++y) // B, G, R, unused: RGB32 in memory
        bytes.append(reinterpret_cast<const char*>(decoded.constScanLine(y)), decoded.width() * 4);
    return bytes;
}

} // namespace

class WorkbookProcsTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        mRecord = FakeOffice();
        mRecord.version = QStringLiteral("16.0");
        mMessages.calls.clear();
        mMessages.during = nullptr;
        mEnds = 0;
        mInstalled.emplace(mServices, mRecord);
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void cleanup()
    {
        mInstalled.reset();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void decimalSeparatorFollowsTheLocale()
    {
        QCOMPARE(DecimalSeparator(), QStringLiteral("."));
        QCOMPARE(NormalizeDecimalText(QStringLiteral("1,234.5"), false), QStringLiteral("1.234.5"));
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(DecimalSeparator(), QStringLiteral(","));
        QCOMPARE(NormalizeDecimalText(QStringLiteral("16.0"), false), QStringLiteral("16,0"));
        QCOMPARE(NormalizeDecimalText(QStringLiteral("2,5,1"), true), QStringLiteral("2.5.1"));
    }

    void saveFormatFromVersion_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("format");
        for (const char* locale : {"en_US", "de_DE"}) {
            for (const char* version : {"8.0", "9.0", "10.0", "11.0", "7.4", "11,0"})
                QTest::addRow("%s %s", locale, version) << locale << version << -4143;
            for (const char* version : {"12.0", "14.0", "15.0", "16.0", "16,0", " 16.0 "})
                QTest::addRow("%s %s", locale, version) << locale << version << 56;
            // 11.5 rounds to 12 (halves to even), 12.5 to 12: both above 11.
            QTest::addRow("%s 11.5", locale) << locale << "11.5" << 56;
            QTest::addRow("%s 10.5", locale) << locale << "10.5" << -4143;
        }
    }

    void saveFormatFromVersion()
    {
        QFETCH(QString, locale);
        QFETCH(QString, version);
        QFETCH(int, format);
        QLocale::setDefault(QLocale(locale));
        QCOMPARE(saveFormatForVersion(version), format);
    }

    void versionThatIsNoNumberFails_data()
    {
        QTest::addColumn<QString>("version");
        QTest::newRow("empty") << QString();
        QTest::newRow("words") << QStringLiteral("seven");
        QTest::newRow("two marks") << QStringLiteral("7.4.7.2");
        QTest::newRow("beyond 16 bits") << QStringLiteral("40000");
    }

    void versionThatIsNoNumberFails()
    {
        QFETCH(QString, version);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, saveFormatForVersion(version));
    }

    void excelSaveFormatAsksTheGivenInstance()
    {
        const ApplicationPtr app = createApplication(mServices);
        QCOMPARE(mRecord.created, 1);
        mRecord.version = QStringLiteral("11.0");
        QCOMPARE(ExcelSaveFormat(mServices, app), -4143);
        QCOMPARE(mRecord.created, 1); // no probe of its own
        QCOMPARE(mRecord.versionReads, 1);
        QCOMPARE(mRecord.quits, 0);
    }

    void excelSaveFormatWithoutInstanceStartsAndQuitsAProbe()
    {
        QCOMPARE(ExcelSaveFormat(mServices, nullptr), 56);
        QCOMPARE(mRecord.created, 1);
        QCOMPARE(mRecord.versionReads, 1);
        QCOMPARE(mRecord.quits, 1);
        QCOMPARE(mRecord.destroyed, 1);
    }

    void startAndReleaseExcel()
    {
        ApplicationPtr xlApp;
        StartExcel(xlApp, mServices);
        QVERIFY(xlApp);
        ReleaseExcel(xlApp);
        QVERIFY(!xlApp);
        QCOMPARE(mRecord.quits, 0); // releasing makes no call
        QCOMPARE(mRecord.destroyed, 1);
    }

    void aBlockedCallLetsItsCallerRunTheHook()
    {
        // The call ends only once the hook has run three times meanwhile: on the caller's
        // thread, while the call is on another one.
        const auto caller = std::this_thread::get_id();
        std::promise<void> third;
        int hooks = 0;
        bool hookOnCaller = true;
        const auto hook = [&] {
            hookOnCaller = hookOnCaller && std::this_thread::get_id() == caller;
            if (++hooks == 3)
                third.set_value();
        };
        std::thread::id callThread;
        const int answer = runWhileWaiting(hook, [&] {
            callThread = std::this_thread::get_id();
            third.get_future().wait();
            return 42;
        });
        QCOMPARE(answer, 42);
        QVERIFY(hooks >= 3);
        QVERIFY(hookOnCaller);
        QVERIFY(callThread != caller);
        // A failure of the call reaches the caller.
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
            runWhileWaiting(hook, []() -> int { throw std::runtime_error("failed"); }));
    }

    void startUpCheckWithAnInstanceShowsNothing()
    {
        CheckAtStartUp(mServices, mMessages, &mEnds);
        mServices.releases->waitForAll();
        QCOMPARE(mRecord.created, 1);
        QCOMPARE(mRecord.destroyed, 1);
        QCOMPARE(mRecord.versionReads + mRecord.quits, 0); // released, nothing asked
        QVERIFY(mMessages.calls.isEmpty());
        QCOMPARE(mEnds, 0);
    }

    void startUpCheckWithoutInstanceShowsTheMessageAndEnds()
    {
        mServices.makeApplication
            = []() -> ApplicationPtr { throw std::runtime_error("LibreOffice is not installed."); };
        CheckAtStartUp(mServices, mMessages, &mEnds);
        QCOMPARE(mMessages.calls.size(), 1);
        QCOMPARE(mMessages.calls[0].buttons, int(vbOKOnly));
        QCOMPARE(mMessages.calls[0].title, ApplicationTitle());
        QCOMPARE(mMessages.calls[0].prompt,
            QStringLiteral(
                "Error 842001. A normal instance of Excel could not be created.\r\n\r\n"
                "1. Please make sure Excel is installed on this computer.\r\n\r\n"
                "2. Please open Excel normally and make sure a blank spreadsheet opens "
                "immediately without any interrupting window (such as an Excel file recovery "
                "window).\r\n\r\n"
                "3. Please make sure that when you double-click on a XLS or XLSX file that "
                "Excel opens normally without any interrupting messages.\r\n\r\n"
                "4. All versions of Excel are supported by this software except for the rare "
                "Excel Starter and Student editions."));
        QCOMPARE(mEnds, 1);

        // A factory that yields nothing counts as a failure too.
        mServices.makeApplication = [] { return ApplicationPtr(); };
        CheckAtStartUp(mServices, mMessages, &mEnds);
        QCOMPARE(mMessages.calls.size(), 2);
        QCOMPARE(mEnds, 2);
    }

    // An office that cannot do the work, or a temporary folder where nothing can be made: one
    // message, with no office left while it is up, and the program ends.
    void startUpCheckFailsWithOneMessage_data()
    {
        QTest::addColumn<QString>("broken");
        QTest::newRow("an office without its spreadsheet module") << "module";
        QTest::newRow("TEMP is a file") << "TEMP";
        QTest::newRow("TMPDIR is a file") << "TMPDIR";
        QTest::newRow("TEMP is not there") << "TEMP gone";
    }
    void startUpCheckFailsWithOneMessage()
    {
        QFETCH(QString, broken);
        QTemporaryDir folder;
        const QString file = folder.filePath("file");
        QVERIFY(WriteAll(file, "x"));
        ScopedEnvironment environment;
        QString folderNamed;
        if (broken == "module") {
            mRecord.noSpreadsheetModule = true;
        } else {
            folderNamed = broken == "TEMP gone" ? folder.filePath("gone") : file;
            environment.set(
                broken.startsWith("TEMP") ? "TEMP" : "TMPDIR", QFile::encodeName(folderNamed));
        }
        int officesAtMessage = -1;
        mMessages.during = [&](const MessageBoxCall&) {
            officesAtMessage = mRecord.created - mRecord.destroyed;
        };
        CheckAtStartUp(mServices, mMessages, &mEnds);
        QCOMPARE(mMessages.calls.size(), 1);
        QCOMPARE(mEnds, 1);
        QCOMPARE(officesAtMessage, 0);
        if (folderNamed.isEmpty()) {
            QCOMPARE(mMessages.calls[0].prompt, noSpreadsheetMessage());
        } else {
            QCOMPARE(mRecord.created, 0); // said before any office starts
            QVERIFY2(mMessages.calls[0].prompt.startsWith(
                         "The temporary folder " + folderNamed + " cannot be written ("),
                qPrintable(mMessages.calls[0].prompt));
            QCOMPARE(mMessages.calls[0].buttons, int(vbOKOnly));
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList {"file"});
    }

    void snapshotWritesABitmap()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("temp.bmp"));
        QFile stale(path);
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write(QByteArray(100000, 'x')); // replaced, not written over
        stale.close();
        mRecord.picture = QImage(301, 120, QImage::Format_RGB32); // rows with padding
        mRecord.picture.fill(Qt::darkCyan);
        QPainter(&mRecord.picture).fillRect(0, 0, 10, 10, Qt::red);

        saveCellsActivesheet(std::make_shared<FakeBook>(mRecord), path, mMessages);

        QVERIFY(mMessages.calls.isEmpty());
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), QByteArray("bmp"));
        const QImage written = reader.read();
        QCOMPARE(written.size(), QSize(301, 120));
        QCOMPARE(written.pixel(5, 5), QColor(Qt::red).rgb());
        QCOMPARE(written.pixel(300, 119), QColor(Qt::darkCyan).rgb());
    }

    void snapshotSkipsASheetOfOneRowOrColumn_data()
    {
        QTest::addColumn<int>("lastRow");
        QTest::addColumn<int>("lastColumn");
        QTest::newRow("one row") << 1 << 18;
        QTest::newRow("one column") << 44 << 1;
        QTest::newRow("one cell") << 1 << 1;
    }

    void snapshotSkipsASheetOfOneRowOrColumn()
    {
        QFETCH(int, lastRow);
        QFETCH(int, lastColumn);
        mRecord.lastRow = lastRow;
        mRecord.lastColumn = lastColumn;
        mRecord.picture = QImage(10, 10, QImage::Format_RGB32);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("temp.bmp"));
        saveCellsActivesheet(std::make_shared<FakeBook>(mRecord), path, mMessages);
        QVERIFY(!QFile::exists(path));
        QVERIFY(mMessages.calls.isEmpty());
    }

    void snapshotFailuresAreReportedWithTheirLines()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("temp.bmp"));

        // No workbook: every step that needs it reports, then the test lets nothing in.
        saveCellsActivesheet(nullptr, path, mMessages);
        QCOMPARE(mMessages.calls.size(), 3);
        const int lines[] = {100, 102, 104};
        for (int i = 0; i < 3; ++i) {
            QVERIFY(mMessages.calls[i].prompt.contains(
                QStringLiteral("in Tessivane2021/08/31.Excel1.saveCellsActivesheet at line %1")
                    .arg(lines[i])));
            QCOMPARE(mMessages.calls[i].title, QStringLiteral("Application Error"));
        }
        QVERIFY(!QFile::exists(path));

        // A failed copy reports at 110; a picture on the system clipboard is not written as
        // the sheet's (line 112 reports instead).
        mMessages.calls.clear();
        QImage earlier(20, 20, QImage::Format_RGB32);
        earlier.fill(Qt::red);
        QGuiApplication::clipboard()->setImage(earlier);
        mRecord.copyFails = true;
        saveCellsActivesheet(std::make_shared<FakeBook>(mRecord), path, mMessages);
        QCOMPARE(mMessages.calls.size(), 2);
        QVERIFY(
            mMessages.calls[0].prompt.startsWith(QStringLiteral("The picture could not be made.")));
        QVERIFY(mMessages.calls[0].prompt.contains(QStringLiteral("at line 110")));
        QVERIFY(mMessages.calls[1].prompt.contains(QStringLiteral("at line 112")));
        QVERIFY(!QFile::exists(path));

        // A copy that hands over no picture: line 112 reports, no file.
        mMessages.calls.clear();
        mRecord.copyFails = false;
        mRecord.picture = QImage();
        saveCellsActivesheet(std::make_shared<FakeBook>(mRecord), path, mMessages);
        QCOMPARE(mMessages.calls.size(), 1);
        QVERIFY(mMessages.calls[0].prompt.startsWith(QStringLiteral("There is no picture")));
        QVERIFY(mMessages.calls[0].prompt.contains(QStringLiteral("at line 112")));
        QVERIFY(!QFile::exists(path));
    }

    void bandsJoinAsDrawn_data()
    {
        QTest::addColumn<QList<int>>("bits"); // of each band
        QTest::addColumn<QList<int>>("widths");
        QTest::newRow("one band") << QList<int> {24} << QList<int> {40};
        QTest::newRow("two, the second narrower and top-down")
            << QList<int> {24, 32} << QList<int> {40, 33};
        QTest::newRow("three, one indexed") << QList<int> {24, 8, 24} << QList<int> {40, 40, 40};
    }

    void bandsJoinAsDrawn()
    {
        // Each band is cut to where the office's drawing ends; the bands overlap by one pixel
        // row, where the darker of the two stays; beside a narrower band the picture is white.
        QFETCH(QList<int>, bits);
        QFETCH(QList<int>, widths);
        const std::vector<int> columnTwips {300, 200};
        const std::vector<int> rowTwips {255, 255};
        QRandomGenerator random(7);
        std::vector<PictureBand> bands;
        QList<QImage> cut;
        for (int i = 0; i < bits.size(); ++i) {
            QImage source(widths[i], 30, QImage::Format_RGB32);
            for (int y = 0; y < source.height(); ++y)
                for (int x = 0; x < source.width(); ++x)
                    source.setPixel(x, y, random.generate() | 0xFF000000u);
            QImage decoded;
            const auto bytes = std::make_shared<QByteArray>(BandBmp(source, bits[i], decoded));
            bands.push_back({bytes, QByteArrayView(*bytes), rowTwips});
            cut << decoded.copy(0, 0, drawnPixels(columnTwips, decoded.width()),
                drawnPixels(rowTwips, decoded.height()));
        }
        QCOMPARE(cut[0].size(), QSize(39, 29)); // a pixel short in each direction

        int width = 0;
        int height = 1;
        for (const QImage& band : cut) {
            width = std::max(width, band.width());
            height += band.height() - 1;
        }
        QImage expected(width, height, QImage::Format_RGB32);
        expected.fill(Qt::white);
        QPainter painter(&expected);
        painter.setCompositionMode(QPainter::CompositionMode_Darken);
        int top = 0;
        for (const QImage& band : cut) {
            painter.drawImage(0, top, band);
            top += band.height() - 1;
        }
        painter.end();

        // Written a band at a time into the file, and read back in place.
        QTemporaryFile file;
        QVERIFY(file.open());
        BandBitmapWriter writer(file, columnTwips);
        for (PictureBand& band : bands)
            QVERIFY(writer.add(std::move(band)));
        QVERIFY(writer.finish());
        QVERIFY(file.flush());
        QCOMPARE(writer.size(), expected.size());
        const PagedPicture joined = PagedPicture::mapBitmapFile(file.fileName());
        QVERIFY(joined.isMapped());
        QCOMPARE(joined.image().convertToFormat(QImage::Format_RGB32), expected);
    }

    void bandsDrawnTogether_data()
    {
        QTest::addColumn<bool>("helper");
        QTest::addColumn<int>("helperFailsAt"); // 0: while it opens; n: at its nth band
        QTest::addColumn<int>("mainFailsAt");
        QTest::newRow("alone") << false << -1 << -1;
        QTest::newRow("with a helper") << true << -1 << -1;
        QTest::newRow("the helper fails opening") << true << 0 << -1;
        QTest::newRow("the helper fails on a band") << true << 2 << -1;
        QTest::newRow("the main drawer fails") << true << -1 << 3;
    }

    void bandsDrawnTogether()
    {
        // Whoever draws which band, and whatever a helper fails at, the file holds the bands
        // in order; a failing main drawer stops the helper, which still ends.
        QFETCH(bool, helper);
        QFETCH(int, helperFailsAt);
        QFETCH(int, mainFailsAt);
        const std::vector<int> columnTwips {300, 200};
        const std::vector<int> rowTwips {255, 255};
        QRandomGenerator random(11);
        std::vector<QByteArray> bmps;
        for (int i = 0; i < 12; ++i) {
            QImage source(40, 30, QImage::Format_RGB32);
            for (int y = 0; y < source.height(); ++y)
                for (int x = 0; x < source.width(); ++x)
                    source.setPixel(x, y, random.generate() | 0xFF000000u);
            QImage decoded;
            bmps.push_back(BandBmp(source, 24, decoded));
        }
        const auto draw = [&](int band) {
            const auto bytes = std::make_shared<QByteArray>(bmps[size_t(band)]);
            return PictureBand {bytes, QByteArrayView(*bytes), rowTwips};
        };
        const auto write
            = [&](QTemporaryFile& file, const std::function<bool(BandBitmapWriter&)>& add) {
                  BandBitmapWriter writer(file, columnTwips);
                  return file.open() && add(writer) && writer.finish() && file.flush();
              };
        QTemporaryFile expected;
        QVERIFY(write(expected, [&](BandBitmapWriter& writer) {
            for (int i = 0; i < int(bmps.size()); ++i)
                if (!writer.add(draw(i)))
                    return false;
            return true;
        }));

        std::atomic<int> helperBands = 0;
        std::atomic<bool> helperDone = false;
        int mainBands = 0;
        QTemporaryFile file;
        bool failed = false;
        const bool written = write(file, [&](BandBitmapWriter& writer) {
            BandDrawing drawing(writer, int(bmps.size()));
            if (helper)
                drawing.addHelper(
                    [&] {
                        if (helperFailsAt == 0)
                            throw std::runtime_error("gone");
                    },
                    [&](int band) {
                        if (++helperBands == helperFailsAt)
                            throw std::runtime_error("gone");
                        std::this_thread::yield();
                        return draw(band);
                    },
                    [&] { helperDone = true; });
            try {
                return drawing.run(
                    [&](int band) {
                        if (++mainBands == mainFailsAt)
                            throw std::runtime_error("gone");
                        return draw(band);
                    },
                    [](const std::function<void()>& wait) { wait(); });
            } catch (const std::runtime_error&) {
                failed = true;
                return false;
            }
        });
        QCOMPARE(helperDone.load(), helper);
        QCOMPARE(failed, mainFailsAt > 0);
        if (mainFailsAt > 0)
            return;
        QVERIFY(written);
        QVERIFY(file.seek(0) && expected.seek(0));
        QCOMPARE(file.readAll(), expected.readAll());
    }

private:
    ScriptedBoxes mMessages;
    Services mServices;
    FakeOffice mRecord;
    std::optional<FakeOffice::Installed> mInstalled;
    int mEnds = 0;
};

TESSIVANE_TEST_MAIN(WorkbookProcsTest)
#include "tst_workbookprocs.moc"
