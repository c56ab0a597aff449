// The frame's shared pieces: the failure report, the message box seam, the file and
// clipboard procedures, the application title and the cursor file.
#include "support/filetesting.h"
#include "support/scriptedboxes.h"
#include "support/testmain.h"

#include "core/apptitle.h"
#include "core/bitmapfile.h"
#include "core/failurereport.h"
#include "core/fileprocs.h"
#include "core/messagebox.h"
#include "core/safefile.h"
#include "core/spoolreserve.h"
#include "core/windowlook.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <stdexcept>
#include <utility>

#include <unistd.h>

using namespace tessivane;
using namespace tessivane::test;

class TestFrame : public QObject
{
    Q_OBJECT

private slots:
    void failureMessageHasTheFixedShape()
    {
        const QString location = locationText("Form1", "Form_Load");
        QCOMPARE(location, QStringLiteral("in Tessivane2021/08/31.Form1.Form_Load "));
        QCOMPARE(failureMessage(QStringLiteral("Type mismatch"), location, 164),
            QStringLiteral("Type mismatch\r\nin Tessivane2021/08/31.Form1.Form_Load at line "
                           "164\r\rPlease email screenshot of this message to ")
                + QString::fromLatin1(kSupportAddress));
    }

    void locationTexts_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("procedure");
        QTest::addColumn<QString>("expected");
        const char* table[][2] = {
            {"Form1", "Form_Load"},
            {"Form1", "Form_QueryUnload"},
            {"Form1", "PushButton6_Click"},
            {"Form1", "MyFmt_Format"},
            {"Form1", "PushButton1_Click"},
            {"Form1", "PushButton2_Click"},
            {"Form1", "PushButton3_Click"},
            {"Form1", "PushButton7_Click"},
            {"Form1", "PushButton22_Click"},
            {"Excel1", "saveCellsActivesheet"},
            {"Form2", "Form_Load"},
            {"Form2", "Form_Activate"},
            {"Form2", "Form_QueryUnload"},
            {"Form2", "PushButton1_Click"},
            {"Form2", "PushButton2_Click"},
            {"Form2", "PushButton6_Click"},
            {"Form2", "PushButton8_Click"},
            {"Form2", "picture1_MouseDown"},
            {"Form2", "picture1_MouseMove"},
            {"Form2", "Picture1_MouseUp"},
            {"Form2", "RedrawImage"},
        };
        for (const auto& row : table) {
            const QString expected
                = QStringLiteral("in Tessivane2021/08/31.%1.%2 ").arg(row[0], row[1]);
            QTest::newRow(qPrintable(expected)) << row[0] << row[1] << expected;
        }
    }

    void locationTexts()
    {
        QFETCH(QString, object);
        QFETCH(QString, procedure);
        QFETCH(QString, expected);
        QCOMPARE(locationText(object.toLatin1().constData(), procedure.toLatin1().constData()),
            expected);
    }

    void stepsReportEachFailureAndGoOn()
    {
        ScriptedBoxes boxes;
        Steps step(boxes, "Form1", "Form_Load");
        QStringList ran;
        step(100, [&] { throw std::runtime_error("first"); });
        step(102, [&] { ran << "102"; });
        step(102, [&] { throw std::runtime_error("second"); });
        step(104, [&] { ran << "104"; });
        QCOMPARE(ran, (QStringList {"102", "104"}));
        QCOMPARE(boxes.calls.size(), 2);
        QCOMPARE(boxes.calls[0].title, QStringLiteral("Application Error"));
        QCOMPARE(boxes.calls[0].buttons, int(vbExclamation));
        QVERIFY(boxes.calls[0].prompt.startsWith(
            "first\r\nin Tessivane2021/08/31.Form1.Form_Load at line 100\r\r"));
        QVERIFY(boxes.calls[1].prompt.contains("Form_Load at line 102\r\r"));
        QCOMPARE(step.failures(), 2);
    }

    void failingConditionLetsExecutionIn()
    {
        ScriptedBoxes boxes;
        Steps step(boxes, "Form2", "RedrawImage");
        bool guarded = false;
        if (step.test(104, [&]() -> bool { throw std::runtime_error("Overflow"); }))
            guarded = true;
        QVERIFY(guarded);
        QCOMPARE(boxes.calls.size(), 1);
        QVERIFY(boxes.calls[0].prompt.contains("at line 104"));
    }

    void failureInsideSharedProcedureNamesTheCaller()
    {
        ScriptedBoxes boxes;
        Steps step(boxes, "Form1", "PushButton22_Click");
        QTemporaryDir dir;
        step(110, [&] { WriteBytesToFile("x", dir.path() + "/missing/folder/template.xlt"); });
        QCOMPARE(boxes.calls.size(), 1);
        QVERIFY(boxes.calls[0].prompt.contains("Form1.PushButton22_Click at line 110"));
        QVERIFY(boxes.calls[0].prompt.contains("template.xlt"));
    }

    void unknownExceptionsAreReportedToo()
    {
        ScriptedBoxes boxes;
        Steps step(boxes, "Form2", "PushButton6_Click");
        step(134, [&] { throw 42; });
        QCOMPARE(boxes.calls.size(), 1);
        QVERIFY(boxes.calls[0].prompt.startsWith("Unknown failure."));
    }

    void messageBoxDefaultsToTheApplicationTitle()
    {
        ScriptedBoxes boxes;
        SetApplicationTitle();
        boxes.MsgBox(QStringLiteral("Done."));
        boxes.MsgBox(QStringLiteral("Do you really want clear ?"), vbYesNo | vbDefaultButton2,
            QStringLiteral("Question"));
        QCOMPARE(boxes.calls[0].title, QStringLiteral("Tessivane"));
        QCOMPARE(boxes.calls[1].title, QStringLiteral("Question"));
        QCOMPARE(boxes.calls[1].buttons, 260);
    }

    void applicationTitle_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::newRow("program") << "Tessivane"
                                 << "Tessivane";
        QTest::newRow("short name is cut once") << "Tessivane Inventory"
                                                << "Tessivane";
        QTest::newRow("cut until 40") << "Tessivane equipment inventory workbook maker for teams"
                                      << "Tessivane equipment inventory workbook";
    }

    void applicationTitle()
    {
        QFETCH(QString, name);
        QFETCH(QString, title);
        QCOMPARE(computeApplicationTitle(name), title);
    }

    void fileExists()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/a.xls";
        QVERIFY(!FileExists(QString()));
        QVERIFY(!FileExists(path));
        QVERIFY(!FileExists(dir.path()));
        WriteBytesToFile("abc", path);
        QVERIFY(FileExists(path));
    }

    void writeBytesOverwritesWithoutShortening()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/template.xlt";
        const QByteArray block(28160, '\x5a');
        WriteBytesToFile(block, path);
        QCOMPARE(QFileInfo(path).size(), qint64(28160));
        WriteBytesToFile("AB", path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray back = file.readAll();
        QCOMPARE(back.size(), 28160);
        QVERIFY(back.startsWith("ABZZ"));
    }

    void killFileNeverReports()
    {
        QTemporaryDir dir;
        KillFile(dir.path() + "/missing.bmp");
        KillFile(QString());

        const QString readOnly = dir.path() + "/readonly.bmp";
        WriteBytesToFile("x", readOnly);
        QFile::setPermissions(readOnly, QFileDevice::ReadOwner);
        KillFile(readOnly);
        QVERIFY(!QFile::exists(readOnly));
    }

    void forcedDeleteRemovesALinkNeverItsTarget()
    {
        QTemporaryDir dir;
        QTemporaryDir outside;
        const QString target = outside.filePath("precious.txt");
        WriteBytesToFile("keep", target);
        QFile::setPermissions(target, QFileDevice::ReadOwner);
        const QString link = dir.filePath("result.xls");
        QVERIFY(QFile::link(target, link));
        DeleteWithFileSystemObject(link);
        QVERIFY(!QFileInfo(link).isSymLink());
        QVERIFY(QFile::exists(target));
        QCOMPARE(QFile::permissions(target) & QFileDevice::WriteOwner, QFileDevice::Permissions());
    }

    void killFileInAFolderThatRefusesDeletesQuietly()
    {
        if (geteuid() == 0)
            QSKIP("root may delete anywhere");
        QTemporaryDir dir;
        const QString path = dir.path() + "/kept.xls";
        WriteBytesToFile("x", path);
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        KillFile(path);
        QVERIFY(QFile::exists(path));
        QFile::setPermissions(
            dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }

    void clipboardPicture()
    {
        // The picture handed over on the program's own clipboard; the system one is not read.
        PictureClipboard clipboard;
        QImage other(8, 8, QImage::Format_RGB32);
        other.fill(Qt::blue);
        QGuiApplication::clipboard()->setImage(other);
        QVERIFY(GetClipboardPicture(clipboard, 0).isNull());
        QImage picture(40, 20, QImage::Format_RGB32);
        picture.fill(Qt::red);
        clipboard.setImage(picture);
        const QImage back = GetClipboardPicture(clipboard, 0);
        QCOMPARE(back.size(), QSize(40, 20));
        QCOMPARE(QColor(back.pixel(3, 3)), QColor(Qt::red));
    }

    void mappedPictureOutlivesItsFileAndGivesRowsBack()
    {
        // A picture of 4000 rows, each row's blue its number: read again after a release.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("tall.bmp"));
        constexpr int kRows = 4000;
        QByteArray bytes = bitmapHeader(3, kRows);
        for (int row = 0; row < kRows; ++row)
            bytes += QByteArray(3, char(row % 256)) + QByteArray(6, '\0')
                + QByteArray(bitmapStride(3) - 9, '\0');
        WriteBytesToFile(bytes, path);
        QImage kept;
        {
            const PagedPicture mapped = PagedPicture::mapBitmapFile(path);
            QVERIFY(mapped.isMapped());
            QFile::remove(path);
            QCOMPARE(mapped.image().size(), QSize(3, kRows));
            mapped.releaseRows(0, kRows - 1);
            QCOMPARE(qBlue(mapped.image().pixel(0, 2500)), 2500 % 256);
            kept = mapped.image();
        }
        // An image taken from the picture keeps the mapping after the picture is gone.
        QCOMPARE(qBlue(kept.pixel(0, kRows - 1)), (kRows - 1) % 256);
        // A picture in memory gives nothing back: its rows stay as they are.
        QImage plain(3, kRows, QImage::Format_RGB32);
        plain.fill(Qt::red);
        PagedPicture(plain).releaseRows(0, kRows - 1);
        QCOMPARE(QColor(plain.pixel(1, kRows / 2)), QColor(Qt::red));
        QVERIFY(!PagedPicture(plain).isMapped());
        QVERIFY(PagedPicture::mapBitmapFile(dir.filePath(QStringLiteral("none.bmp"))).isNull());
    }

    void freeSpaceIsCheckedBeforeAWrite()
    {
        QTemporaryDir dir;
        checkFreeSpace(dir.path(), 1024, QStringLiteral("the picture of the sheet"));
        try {
            checkFreeSpace(dir.path(), qint64(1) << 60, QStringLiteral("the picture of the sheet"));
            QFAIL("no room was found missing");
        } catch (const std::runtime_error& e) {
            const QString text = QString::fromStdString(e.what());
            QVERIFY2(
                text.startsWith(QStringLiteral("There is not enough free space in ") + dir.path()
                    + QStringLiteral(" for the picture of the sheet: it needs 1099511627776 MB")),
                qPrintable(text));
        }
    }

    void spoolReserveIsFilledAheadAndHandedOverOnce()
    {
        QTemporaryDir dir;
        const QString pattern = dir.filePath(QStringLiteral("picture-XXXXXX.bmp"));
        const auto files = [&] { return QDir(dir.path()).entryInfoList(QDir::Files); };
        constexpr qint64 kBytes = 3 * 1024 * 1024 + 5; // not a whole number of writes
        {
            const SpoolReserve untaken(pattern, kBytes);
        }
        QVERIFY(files().isEmpty());
        QVERIFY(!SpoolReserve(pattern, qint64(1) << 60).take()); // no room: nothing made
        QVERIFY(files().isEmpty());
        std::unique_ptr<QTemporaryFile> file;
        {
            SpoolReserve reserve(pattern, kBytes);
            QTRY_COMPARE(files().value(0).size(), kBytes);
            file = reserve.take();
            QVERIFY(!reserve.take());
        }
        // The file outlives the reserve, open at its start, and is written over and cut.
        QVERIFY(file && file->isOpen());
        QCOMPARE(file->pos(), 0);
        QCOMPARE(file->size(), kBytes);
        QVERIFY(file->write("BM") == 2 && file->flush() && file->resize(2));
        QCOMPARE(ReadAll(file->fileName()), QByteArray("BM"));
    }

    void aWriteCutShortKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("bytes");
        QTest::addColumn<bool>("existed");
        // Small enough to sit in a write buffer until the file is put in place.
        QTest::newRow("small write") << "write" << 3000 << true;
        QTest::newRow("large write") << "write" << 200000 << true;
        QTest::newRow("copy") << "copy" << 3000000 << true;
        QTest::newRow("new file") << "write" << 3000 << false;
    }

    void aWriteCutShortKeepsTheOldFile()
    {
        QFETCH(QString, kind);
        QFETCH(int, bytes);
        QFETCH(bool, existed);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("user.csv"));
        const QByteArray old("the user's own file");
        if (existed)
            QVERIFY(WriteAll(path, old));
        const QByteArray data(bytes, 'x');
        const QString source = folder.filePath(QStringLiteral("source"));
        QVERIFY(WriteAll(source, data));
        // Files may not grow past 1 KiB now: the write fails part way, as on a full disk.
        QString failure;
        WithFileSizeLimit(1024, [&] {
            try {
                if (kind == "copy")
                    copyFileSafely(source, path);
                else
                    writeFileSafely(path, data);
            } catch (const std::exception& e) {
                failure = QString::fromUtf8(e.what());
            }
        });
        QVERIFY2(failure.startsWith(path + " cannot be written: "), qPrintable(failure));
        QCOMPARE(failure.endsWith("It was not changed."), existed);
        QCOMPARE(QFileInfo::exists(path), existed);
        if (existed)
            QCOMPARE(ReadAll(path), old);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), existed ? 2 : 1);
    }

    void aStepsCauseComesBeforeItsFailure()
    {
        ScriptedBoxes boxes;
        Steps step(boxes, "Form1", "PushButton22_Click");
        QString cause = QStringLiteral("The disk holding /tmp is full.");
        step.setCause([&cause] { return cause; });
        step(100, [] { throw std::runtime_error("LibreOffice could not save."); });
        step(102, [] { throw std::runtime_error("The disk holding /tmp is full: x."); });
        cause.clear();
        step(104, [] { throw std::runtime_error("Other."); });
        QCOMPARE(boxes.calls.size(), 3);
        QVERIFY(boxes.calls[0].prompt.startsWith(
            "The disk holding /tmp is full. LibreOffice could not save.\r\n"));
        QVERIFY(boxes.calls[1].prompt.startsWith("The disk holding /tmp is full: x.\r\n"));
        QVERIFY(boxes.calls[2].prompt.startsWith("Other.\r\n"));
    }

    void tempFolderFollowsTheTempVariable()
    {
        qputenv("TEMP", "/var/tmp/tessivane-test");
        QCOMPARE(tempFolder(), QStringLiteral("/var/tmp/tessivane-test"));
        qunsetenv("TEMP");
        QCOMPARE(tempFolder(), QDir::tempPath());
    }

    void programFilesBesideTheProgramComeFirst_data()
    {
        QTest::addColumn<bool>("beside");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("foundBeside");
        QTest::newRow("build tree") << true << false << true;
        QTest::newRow("installed") << false << true << false;
        QTest::newRow("both") << true << true << true;
        QTest::newRow("neither") << false << false << true;
    }

    void programFilesBesideTheProgramComeFirst()
    {
        QFETCH(bool, beside);
        QFETCH(bool, installed);
        QFETCH(bool, foundBeside);
        // An installed program sits in libexec/tessivane/ and finds its files in share/tessivane/.
        QCOMPARE(dataFolder(), QDir::cleanPath(installationFolder() + "/../../share/tessivane"));
        const QString name = QStringLiteral("probe/HAND-M.CUR");
        const QString besidePath = installationFolder() + "/" + name;
        const QString installedPath = dataFolder() + "/" + name;
        const std::pair<bool, QString> files[] = {{beside, besidePath}, {installed, installedPath}};
        for (const auto& [wanted, path] : files) {
            if (!wanted)
                continue;
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
        }
        const QString found = programFile(name);
        QDir(installationFolder() + "/probe").removeRecursively();
        QDir(dataFolder() + "/probe").removeRecursively();
        QCOMPARE(found, foundBeside ? besidePath : installedPath);
    }

    void shippedCursorHasItsHotSpot()
    {
        const QString cursor = QStringLiteral(TESSIVANE_SOURCE_DIR "/resources/HAND-M.CUR");
        QVERIFY(!QImage(cursor).isNull());
        QCOMPARE(cursorHotSpot(cursor), QPoint(5, 1));
        QWidget window;
        MousePointer pointer(&window);
        pointer.loadMouseIcon(cursor);
        QVERIFY(pointer.hasMouseIcon());
        pointer.set(vbHourglass);
        pointer.hoverButton();
        pointer.hoverSurface();
        QCOMPARE(pointer.value(), int(vbHourglass));
        pointer.set(vbDefault);
        pointer.hoverButton();
        QCOMPARE(pointer.value(), int(vbCustom));
        QCOMPARE(window.cursor().shape(), Qt::BitmapCursor);
        pointer.hoverSurface();
        QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
    }
};

TESSIVANE_TEST_MAIN(TestFrame)
#include "tst_frame.moc"
