// The command that makes the workbook without a window, in this process with the real
// LibreOffice: it writes what the window's run writes, and each outcome gives its exit status
// and its lines on standard error, with nothing written or left where it fails.
#include "support/fakespreadsheet.h"
#include "support/filetesting.h"
#include "support/inventorytesting.h"
#include "support/officeprocesses.h"
#include "support/scriptedboxes.h"
#include "support/xlsreading.h"

#include "app/outputcommand.h"
#include "app/startup.h"
#include "core/scratchfolders.h"
#include "generation/generationrun.h"
#include "office/services/services.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace tessivane;
using namespace tessivane::test;

namespace {

/// Receives the window's run's workbook, as the preview would.
class ResultHost : public GenerationHost
{
public:
    QString workbook;
    QString workFolder;
    void SuspendDrawing(bool) override { }
    void SetMousePointer(int) override { }
    void PutPreviewPicture(const PagedPicture&) override { }
    void SetPreviewExcelFile(const QString& path, const QString& folder) override
    {
        workbook = path;
        workFolder = folder;
    }
    void ShowPreview() override { }
    void HideMainWindow() override { }
};

/// Every cell of the list's first rows and the heading rows: values, types, number formats.
QStringList SheetCells()
{
    QStringList cells;
    for (int row = 1; row <= 6; ++row)
        for (char column = 'A'; column <= 'Q'; ++column)
            cells << QStringLiteral("%1%2").arg(QLatin1Char(column)).arg(row);
    return cells;
}

const QByteArray kListWithOneRefusedRow
    = "Asset or serial number,Item description(make and model),Initial value\r\n"
      "SN-1,Laptop,1200\r\n"
      "SN-2,Desk,lots\r\n"
      "SN-3,Chair,80.5\r\n";

} // namespace

class TestCommand : public QObject
{
    Q_OBJECT

    QTemporaryDir mFolder;
    QStringList mSaid;
    CommandConsole mConsole {[this](const QString& line) { mSaid << line; }, false, false};
    std::atomic<int> mStop {0};

    QString path(const char* name) const { return mFolder.filePath(QLatin1String(name)); }

    int run(const OutputRequest& request, const Services& services)
    {
        mSaid.clear();
        return runOutputCommand(request, services, mConsole, mStop);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(mFolder.isValid());
        qputenv("TEMP", mFolder.path().toUtf8());
    }

    void cleanup()
    {
        // Nothing of a run or an office stays, whatever the outcome.
        QCOMPARE(QDir(mFolder.path()).entryList({QStringLiteral("tessivane-*")}, QDir::AllEntries),
            QStringList());
        QCOMPARE(Leftovers(), QStringList());
        QTRY_COMPARE_WITH_TIMEOUT(OfficeChildren().size(), 0, 10000);
    }

    // The stored list of two rows: the command's .xls holds the cells, formats and view of the
    // workbook that the window's run makes of the same rows, and the store is not written.
    void theStoredListGivesTheWindowsWorkbook()
    {
        clearStore();
        auto table = makeTable(2);
        table->MoveFirst();
        table->SetValue(8, QDate(2024, 3, 5));
        table->SetValue(10, 7);
        saveRows(*table);
        const QByteArray stored = ReadAll(storeFileName());

        // The window's run, on the rows as the window loads them at start-up.
        ScriptedBoxes boxes;
        Services services;
        std::unique_ptr<InventoryTable> loaded;
        Steps step(boxes, "Form1", "Form_Load");
        step.sequence(130, tableCreation(loaded));
        QVERIFY(loaded && loadStoredRows(*loaded, step));
        QCOMPARE(loaded->RecordCount(), 2);
        ResultHost host;
        ResultNameGenerator names;
        runGeneration(*loaded, host, services, boxes, names);
        QCOMPARE(boxes.calls.size(), 0);
        QVERIFY(!host.workbook.isEmpty());

        QCOMPARE(run({path("list.xls"), QString(), false}, Services()), int(kExitWritten));
        QCOMPARE(mSaid, QStringList());
        const QJsonObject byWindow = ReadXls(host.workbook, SheetCells());
        QVERIFY(removeOwnFolder(host.workFolder));
        const QJsonObject byCommand = ReadXls(path("list.xls"), SheetCells());
        const QJsonArray cells = byCommand[QStringLiteral("cells")].toArray();
        for (qsizetype i = 0; i < cells.size(); ++i)
            QVERIFY2(cells.at(i) == byWindow[QStringLiteral("cells")].toArray().at(i),
                qPrintable(QJsonDocument(cells.at(i).toObject()).toJson(QJsonDocument::Compact)
                    + " / "
                    + QJsonDocument(byWindow[QStringLiteral("cells")].toArray().at(i).toObject())
                          .toJson(QJsonDocument::Compact)));
        QCOMPARE(byCommand, byWindow);
        QCOMPARE(ReadAll(storeFileName()), stored);
    }

    void eachOutcomeHasItsExitStatus_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<bool>("skipRefused");
        QTest::addColumn<QString>("officeProgram");
        QTest::addColumn<int>("officeDiesAfterPuts"); // a fake office; -1: the real one
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        QTest::newRow("one refused row")
            << "rows.xls" << false << "" << -1 << int(kExitFailed)
            << "list.csv: Line 3, column 3 \"Initial value\": needs an amount of money";
        QTest::newRow("one refused row, skipped")
            << "rows.xls" << true << "" << -1 << int(kExitWritten)
            << "list.csv: Line 3, column 3 \"Initial value\": needs an amount of money";
        QTest::newRow("no office") << "rows.pdf" << true << "/nonexistent/soffice.bin" << -1
                                   << int(kExitNoOffice) << "Error 842001.";
        QTest::newRow("a step of the run fails")
            << "rows.xls" << true << "" << 3 << int(kExitFailed)
            << "The spreadsheet application has stopped answering. "
               "in Tessivane2021/08/31.Form1.PushButton22_Click at line 124";
        QTest::newRow("no such folder")
            << "missing/rows.ods" << true << "" << -1 << int(kExitFailed)
            << QStringLiteral("%1 cannot be written: the folder").arg(path("missing/rows.ods"));
    }

    void eachOutcomeHasItsExitStatus()
    {
        QFETCH(QString, output);
        QFETCH(bool, skipRefused);
        QFETCH(QString, officeProgram);
        QFETCH(int, officeDiesAfterPuts);
        QFETCH(int, status);
        QFETCH(QString, said);
        QVERIFY(WriteAll(path("list.csv"), kListWithOneRefusedRow));
        const QString target = mFolder.filePath(output);
        Services services;
        services.office.program = officeProgram;
        FakeOffice fake;
        fake.putsBeforeDeath = officeDiesAfterPuts;
        std::optional<FakeOffice::Installed> installed;
        if (officeDiesAfterPuts >= 0)
            installed.emplace(services, fake);
        QCOMPARE(run({target, path("list.csv"), skipRefused}, services), status);
        QVERIFY2(!mSaid.filter(said).isEmpty(), qPrintable(mSaid.join(QLatin1Char('\n'))));
        QCOMPARE(QFile::exists(target), status == kExitWritten);
        if (status == kExitWritten) {
            const QJsonObject book = ReadXls(
                target, {QStringLiteral("A4"), QStringLiteral("A5"), QStringLiteral("A6")});
            QCOMPARE(CellText(book, 0), QStringLiteral("SN-1"));
            QCOMPARE(CellText(book, 1), QStringLiteral("SN-3"));
            QCOMPARE(CellText(book, 2), QString());
            QFile::remove(target);
        }
    }
};

TESSIVANE_CORE_TEST_MAIN(TestCommand)
#include "tst_command.moc"
