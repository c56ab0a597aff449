// The generation run's sequence against a scripted spreadsheet instance: the cells it
// writes, the order of its calls, its working files, and what a dying instance does.
#include "support/fakespreadsheet.h"
#include "support/officeprocesses.h"
#include "support/scriptedboxes.h"
#include "support/testmain.h"

#include "core/messagebox.h"
#include "generation/generationrun.h"
#include "inventory/inventoryfields.h"
#include "inventory/inventorytable.h"
#include "office/automation/spreadsheet.h"
#include "office/services/excel1.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tessivane;
using namespace tessivane::test;

namespace {

class FakeHost : public GenerationHost
{
public:
    QStringList calls;
    QImage picture;
    QString excelFile;
    QString workFolder;
    QStringList progress;
    int waits = 0;
    void SuspendDrawing(bool on) override { calls << QStringLiteral("Suspend=%1").arg(on); }
    void SetMousePointer(int value) override { calls << QStringLiteral("Pointer=%1").arg(value); }
    void PutPreviewPicture(const PagedPicture& p) override
    {
        picture = p.image();
        calls << QStringLiteral("Picture");
    }
    void SetPreviewExcelFile(const QString& path, const QString& folder) override
    {
        excelFile = path;
        workFolder = folder;
        calls << QStringLiteral("ExcelFile");
    }
    void ShowPreview() override { calls << QStringLiteral("Show"); }
    void HideMainWindow() override { calls << QStringLiteral("Hide"); }
    void reportProgress(const QString& doing, int written, int total) override
    {
        progress << QStringLiteral("%1 %2/%3").arg(doing).arg(written).arg(total);
    }
    void whileOfficeWorks() override { ++waits; }
};

std::unique_ptr<InventoryTable> NewTable()
{
    auto table = std::make_unique<InventoryTable>();
    for (const FieldDef& def : kInventoryFields)
        table->AppendField(def);
    table->SetCursorType(2);
    table->Open();
    return table;
}

void AddSampleRow(InventoryTable& table)
{
    table.AddNew();
    table.SetValue(0, QStringLiteral("1189785"));
    table.SetValue(1, QStringLiteral("Desk g-785"));
    table.SetValue(5, 2);
    table.SetValue(6, 149.99);
    table.SetValue(8, QDate(2015, 8, 11));
    table.SetValue(10, 5);
    table.SetValue(11, 10);
}

} // namespace

class TestGenerationRun : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir mTemp;
    ScriptedBoxes mBoxes;
    Services mServices;
    ResultNameGenerator mNames;
    FakeOffice mOffice;
    std::optional<FakeOffice::Installed> mInstalled;

private slots:
    void initTestCase()
    {
        qputenv("TEMP", mTemp.path().toLocal8Bit());
        mInstalled.emplace(mServices, mOffice);
    }

    void init()
    {
        mOffice = FakeOffice();
        mBoxes.calls.clear();
    }

    void cleanupTestCase() { mInstalled.reset(); }

    void fieldsLandInTheirColumnsByType()
    {
        auto table = NewTable();
        AddSampleRow(*table);
        table->AddNew(); // a second row of Nulls
        FakeHost host;
        runGeneration(*table, host, mServices, mBoxes, mNames);

        QVERIFY2(mBoxes.calls.isEmpty(),
            mBoxes.calls.isEmpty() ? "" : qPrintable(mBoxes.calls[0].prompt));
        const QStringList& calls = mOffice.calls;
        QVERIFY(calls.contains("Cells(4,1)=QString:1189785"));
        QVERIFY(calls.contains("Cells(4,6)=int:2"));
        QVERIFY(calls.contains("Cells(4,7)=double:149.99"));
        QVERIFY(calls.contains("Cells(4,11)=double:0.05")); // 5 % as a fraction
        QVERIFY(calls.contains("Cells(4,13)=double:10"));
        QVERIFY(calls.filter(QRegularExpression("^Cells\\(4,9\\)=QDate")).size() == 1);
        // Nulls become the empty text; the computed columns are never written.
        QVERIFY(calls.contains("Cells(5,1)=QString:"));
        QVERIFY(calls.contains("Cells(5,9)=QString:"));
        for (int column : {12, 14, 16, 17, 18})
            QVERIFY(calls.filter(QStringLiteral("Cells(4,%1)").arg(column)).isEmpty());
        QCOMPARE(calls.filter(QRegularExpression("^Cells")).size(), 26);
    }

    void callsComeInTheirOrder()
    {
        auto table = NewTable();
        FakeHost host;
        runGeneration(*table, host, mServices, mBoxes, mNames);
        QVERIFY(mBoxes.calls.isEmpty());

        QStringList order = mOffice.calls;
        QCOMPARE(order.first(), QStringLiteral("Start"));
        QCOMPARE(order.at(1), QStringLiteral("Open(template.xlt)"));
        const int select = int(order.indexOf("Select(B4)"));
        const int save
            = int(order.indexOf(QRegularExpression("^SaveAs\\(drimak[1-9]{8}\\.xls,-4143\\)$")));
        QVERIFY(select > 0 && save > select);
        QCOMPARE(order.mid(select + 1, 1), QStringList {"Visible=0"});
        QCOMPARE(
            order.mid(save + 1, 4), (QStringList {"DisplayAlerts=0", "Close", "Quit", "Start"}));
        QCOMPARE(order.mid(save + 5),
            (QStringList {"Open(" + QFileInfo(host.excelFile).fileName() + ")", "CopyPicture",
                "DisplayAlerts=0", "Close", "Quit"}));
        QCOMPARE(host.calls,
            (QStringList {"Suspend=1", "Pointer=11", "Pointer=11", "Pointer=0", "Picture",
                "ExcelFile", "Show", "Hide", "Suspend=0"}));
        // No instance is held after the run.
        QCOMPARE(mOffice.destroyed, mOffice.created);
    }

    void rowsAreReadiedBeforeTheyAreWritten_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("extended"); // the table's extension, if any
        QTest::newRow("empty list: the template's rows") << 0 << QString();
        QTest::newRow("36 rows fill the template's") << 36 << QString();
        QTest::newRow("37 rows: one more") << 37 << QStringLiteral("ExtendTable(36-37,39,40)");
        QTest::newRow("600 rows") << 600 << QStringLiteral("ExtendTable(36-37,39,603)");
    }

    void rowsAreReadiedBeforeTheyAreWritten()
    {
        QFETCH(int, rows);
        QFETCH(QString, extended);
        auto table = NewTable();
        for (int i = 0; i < rows; ++i)
            table->AddNew();
        FakeHost host;
        runGeneration(*table, host, mServices, mBoxes, mNames);
        QVERIFY(mBoxes.calls.isEmpty());
        // Row 4 computes like the others, printed pages repeat the headings, and a longer
        // list extends the table in one call: all before the first cell is written.
        QStringList readied {
            QStringLiteral("CopyFormulas(5,4)"), QStringLiteral("PrintTitleRows(1:3)")};
        if (!extended.isEmpty())
            readied << extended;
        QCOMPARE(mOffice.calls.mid(2, readied.size()), readied);
        QCOMPARE(mOffice.calls.value(2 + readied.size()).section('(', 0, 0),
            rows > 0 ? QStringLiteral("Cells") : QStringLiteral("Select"));
    }

    void aListLongerThanTheSheetIsRefusedBeforeTheRun()
    {
        // An .xls sheet ends at row 65,536: from row 4 on, 65,533 rows fit and one more would
        // be cut off the saved workbook.
        auto table = NewTable();
        for (int i = 0; i < kMaxInventoryRows + 1; ++i)
            table->AddNew();
        FakeHost host;
        runGeneration(*table, host, mServices, mBoxes, mNames);
        QCOMPARE(mBoxes.calls.size(), 1);
        for (const char* named : {"65,534 rows", "row 65,536", "65,533 rows"})
            QVERIFY2(mBoxes.calls[0].prompt.contains(QLatin1String(named)),
                qPrintable(mBoxes.calls[0].prompt));
        QVERIFY(mOffice.calls.isEmpty());
        QVERIFY(host.calls.isEmpty());
        QCOMPARE(table->RecordCount(), kMaxInventoryRows + 1);
    }

    void progressIsToldAsThePartsGoIn()
    {
        auto table = NewTable();
        const int part = kRowsPerWrite;
        const int rows = 2 * part + 100;
        for (int i = 0; i < rows; ++i)
            AddSampleRow(*table);
        FakeHost host;
        runGeneration(*table, host, mServices, mBoxes, mNames);
        QVERIFY(mBoxes.calls.isEmpty());

        // Rows count as written when their part has gone into the sheet.
        QStringList progress {"Starting LibreOffice 0/0", "Opening the template 0/0"};
        for (int written : {0, part, 2 * part, rows})
            progress << QStringLiteral("Writing rows %1/%2").arg(written).arg(rows);
        for (const char* step : {"Saving the workbook", "Opening the saved workbook",
                 "Making the picture", "Showing the picture"})
            progress << QStringLiteral("%1 %2/%2").arg(QLatin1String(step)).arg(rows);
        QCOMPARE(host.progress, progress);
        const QStringList& calls = mOffice.calls;
        for (int lastRow : {part + 3, 2 * part + 3, rows + 3})
            QCOMPARE(
                calls.at(calls.indexOf(QStringLiteral("Cells(%1,15)=QString:").arg(lastRow)) + 1),
                QStringLiteral("Flush"));
        QCOMPARE(calls.count("Flush"), 3);
        // The save waited; the hook it was given reaches no host after the run.
        const int waits = host.waits;
        QVERIFY(waits >= 2);
        QVERIFY(mOffice.whileWaiting);
        mOffice.whileWaiting();
        QCOMPARE(host.waits, waits);
    }

    void workingFilesStayInAPrivateFolder()
    {
        // A file planted under the old fixed names is neither opened nor deleted.
        const QString planted = mTemp.path() + "/template.xlt";
        QFile plant(planted);
        QVERIFY(plant.open(QIODevice::WriteOnly));
        plant.write("not ours");
        plant.close();

        auto table = NewTable();
        FakeHost host;
        runGeneration(*table, host, mServices, mBoxes, mNames);

        QVERIFY(QFile::exists(planted));
        const QFileInfo folder(host.workFolder);
        QCOMPARE(folder.absolutePath(), QFileInfo(mTemp.path()).absoluteFilePath());
        QCOMPARE(folder.permissions()
                & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
            QFile::Permissions());
        // Named after this program, so that the next start can tell a killed one's folder.
        QVERIFY(folder.fileName().startsWith(QStringLiteral("tessivane-run-%1-").arg(getpid())));
        QCOMPARE(QFileInfo(host.excelFile).absolutePath(), folder.absoluteFilePath());
        QVERIFY(QRegularExpression("^drimak[1-9]{8}\\.xls$")
                    .match(QFileInfo(host.excelFile).fileName())
                    .hasMatch());
        // Template and snapshot are gone; the result stays for the preview.
        QCOMPARE(QDir(host.workFolder).entryList(QDir::Files),
            QStringList {QFileInfo(host.excelFile).fileName()});
        QCOMPARE(host.picture.size(), QSize(1200, 700));
    }

    void aDyingInstanceIsReportedOnce()
    {
        auto table = NewTable();
        for (int i = 0; i < 16; ++i)
            AddSampleRow(*table);
        mOffice.putsBeforeDeath = 20;
        FakeHost host;
        runGeneration(*table, host, mServices, mBoxes, mNames);

        // One report for the death, one for the missing result the second instance cannot
        // open, one for the missing picture: never one per cell.
        QVERIFY2(mBoxes.calls.size() <= 4, qPrintable(QString::number(mBoxes.calls.size())));
        QVERIFY(mBoxes.calls.first().prompt.contains("stopped answering"));
        QVERIFY(mBoxes.calls.first().prompt.contains("PushButton22_Click at line"));
        // The windows are handed over and drawing resumes all the same.
        QVERIFY(host.calls.contains("Show"));
        QCOMPARE(host.calls.last(), QStringLiteral("Suspend=0"));
        // No instance is held after the run.
        QCOMPARE(mOffice.destroyed, mOffice.created);
    }

    void aRunWhosePictureFailsShowsNoEarlierPicture()
    {
        auto table = NewTable();
        AddSampleRow(*table);
        FakeHost host;
        runGeneration(*table, host, mServices, mBoxes, mNames);
        QVERIFY(!host.picture.isNull());
        table->SetValueAt(0, 1, QStringLiteral("changed"));
        mOffice.copyFails = true;
        runGeneration(*table, host, mServices, mBoxes, mNames);
        QVERIFY(host.picture.isNull());
        QVERIFY(!mBoxes.calls.isEmpty());
    }

    void noInstanceAtAllIsReportedOnceToo()
    {
        mServices.makeApplication = []() -> ApplicationPtr {
            throw std::runtime_error("The spreadsheet application could not be started.");
        };
        auto table = NewTable();
        for (int i = 0; i < 16; ++i)
            AddSampleRow(*table);
        FakeHost host;
        runGeneration(*table, host, mServices, mBoxes, mNames);
        mInstalled.emplace(mServices, mOffice);
        QVERIFY2(mBoxes.calls.size() <= 6, qPrintable(QString::number(mBoxes.calls.size())));
        QVERIFY(mBoxes.calls.first().prompt.contains("at line 104"));
        QCOMPARE(host.calls.last(), QStringLiteral("Suspend=0"));
    }

    void aTemplateThatWillNotOpenIsReportedOnce()
    {
        qputenv("TEMP", QByteArray("/nonexistent/tessivane"));
        auto table = NewTable();
        for (int i = 0; i < 16; ++i)
            AddSampleRow(*table);
        FakeHost host;
        runGeneration(*table, host, mServices, mBoxes, mNames);
        qputenv("TEMP", mTemp.path().toLocal8Bit());
        // The missing working folder, the template, the open, the select, the save and the
        // later steps that need the result: a handful, never one per cell.
        QVERIFY2(mBoxes.calls.size() < 13, qPrintable(QString::number(mBoxes.calls.size())));
        QVERIFY(mBoxes.calls.first().prompt.contains("at line 102"));
        QVERIFY(mOffice.calls.filter(QRegularExpression("^Cells")).isEmpty());
        QCOMPARE(host.calls.last(), QStringLiteral("Suspend=0"));
    }

    void leftoverRunFoldersGoWithCare_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("includeOwn");
        QTest::addColumn<bool>("removed");
        QTest::newRow("of a program gone") << "gone" << false << true;
        QTest::newRow("of a program ended, not yet collected") << "zombie" << false << true;
        QTest::newRow("link to a user's folder") << "link" << false << false;
        QTest::newRow("not owner-only") << "open" << false << false;
        QTest::newRow("another user's") << "foreign" << false << false;
        QTest::newRow("of a living program") << "living" << false << false;
        QTest::newRow("name not ours") << "odd name" << false << false;
        QTest::newRow("this program's, while it runs") << "own" << false << false;
        QTest::newRow("this program's, at its end") << "own" << true << true;
    }
    void leftoverRunFoldersGoWithCare()
    {
        QFETCH(QString, kind);
        QFETCH(bool, includeOwn);
        QFETCH(bool, removed);
        if (kind == "foreign" && geteuid() != 0)
            QSKIP("only root can make another user's folder");
        const int gonePid = 999999;
        QVERIFY(::kill(gonePid, 0) != 0 && errno == ESRCH);
        int pid = kind == "living" ? int(getppid()) : kind == "own" ? int(getpid()) : gonePid;
        if (kind == "zombie") {
            pid = ::fork();
            if (pid == 0)
                ::_exit(0);
            QTRY_VERIFY(ProcessState(pid) == 'Z');
        }
        const auto collect = qScopeGuard([&] {
            if (kind == "zombie")
                ::waitpid(pid, nullptr, 0);
        });
        const QString planted = mTemp.filePath(QStringLiteral("tessivane-run-%1-%2")
                                                   .arg(pid)
                                                   .arg(kind == "odd name" ? "Ab1" : "Ab12Cd"));
        // The user's own folder, which nothing may touch.
        QTemporaryDir user;
        QVERIFY(QDir(user.path()).mkdir("inner"));
        QFile precious(user.filePath("inner/precious.txt"));
        QVERIFY(precious.open(QIODevice::WriteOnly) && precious.write("keep") == 4);
        precious.close();

        const QByteArray path = QFile::encodeName(planted);
        if (kind == "link") {
            QVERIFY(QFile::link(user.path(), planted));
        } else {
            QVERIFY(QDir().mkpath(planted + "/lock/deeper"));
            QVERIFY(QFile::link(user.path(), planted + "/lock/escape"));
            QVERIFY(QFile::link(precious.fileName(), planted + "/result.xls"));
            QVERIFY(::chmod(path.constData(), kind == "open" ? 0755 : 0700) == 0);
            if (kind == "foreign")
                QVERIFY(::chown(path.constData(), 65534, 65534) == 0);
        }

        removeLeftoverRunFolders(includeOwn);
        const QFileInfo after(planted);
        QCOMPARE(after.exists() || after.isSymLink(), !removed);
        QVERIFY(precious.exists());
        QCOMPARE(QDir(user.filePath("inner")).entryList(QDir::Files), QStringList {"precious.txt"});
        if (!removed && kind != "link")
            QVERIFY(QFileInfo::exists(planted + "/lock/deeper"));
        if (kind == "foreign")
            QVERIFY(::chown(path.constData(), geteuid(), getegid()) == 0);
        if (after.isSymLink())
            QVERIFY(QFile::remove(planted));
        else if (!removed)
            QVERIFY(QDir(planted).removeRecursively());
    }

    void resultNamesReseedWithoutRestarting()
    {
        ResultNameGenerator generator;
        const auto sameSecond = [] { return 43200.0f; };
        const QString first = generator.DrawBaseName(sameSecond);
        const QString second = generator.DrawBaseName(sameSecond);
        const QRegularExpression pattern("^drimak[1-9]{8}$");
        QVERIFY(pattern.match(first).hasMatch());
        QVERIFY(pattern.match(second).hasMatch());
        QVERIFY(first != second);
        QVERIFY(QSet<QChar>(first.begin() + 6, first.end()).size() > 1);
    }

    void cellValues_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QVariant>("written");
        QTest::newRow("null text") << 0 << QVariant() << QVariant(QString());
        QTest::newRow("empty text") << 1 << QVariant(QString()) << QVariant(QString());
        QTest::newRow("null date") << 8 << QVariant() << QVariant(QString());
        QTest::newRow("rate percent") << 10 << QVariant(8) << QVariant(0.08);
        QTest::newRow("rate zero") << 10 << QVariant(0) << QVariant(0.0);
        QTest::newRow("money") << 12 << QVariant(12.3456) << QVariant(12.3456);
    }

    void cellValues()
    {
        QFETCH(int, field);
        QFETCH(QVariant, stored);
        QFETCH(QVariant, written);
        QCOMPARE(cellValueOfField(field, stored), written);
    }
};

TESSIVANE_TEST_MAIN(TestGenerationRun)
#include "tst_generationrun.moc"
