// "Start Creating Template" from the grid to the preview, with the real LibreOffice: the
// workbook is read back by an independent reader (xlrd), the working files are followed to
// their end, and no spreadsheet process is left behind.
#include "app/form1.h"
#include "app/messagebox.h"
#include "inventory/datagrid.h"
#include "inventory/inventorytable.h"
#include "preview/form2.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace tessivane;

namespace {

QJsonObject ReadWorkbook(const QString& path)
{
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"),
        {QStringLiteral(TESSIVANE_SOURCE_DIR "/tests/workbook/xls_dump.py"), path});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0)
        qFatal("xls_dump failed: %s", reader.readAllStandardError().constData());
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

/// Our own spreadsheet processes: children of this test whose command names the office.
QStringList OfficeChildren()
{
    QStringList found;
    const QString me = QString::number(getpid());
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QString line = QString::fromLatin1(stat.readAll());
        const QStringList fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1] == me && line.contains(QStringLiteral("soffice")))
            found << line.left(60);
    }
    return found;
}

void ClearRows(InventoryTable& table)
{
    while (table.RecordCount() > 0) {
        table.MoveFirst();
        table.Delete();
    }
}

void AddRow(InventoryTable& table, const QString& asset, double initialValue)
{
    table.AddNew();
    table.SetValue(0, asset);
    table.SetValue(6, initialValue);
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir mConfig;
    QTemporaryDir mTemp;
    QList<MessageBoxCall> mBoxes;
    std::unique_ptr<Form1> mForm;

    Form2& preview() { return *mForm->preview(); }

    QString reportOfBoxes() const
    {
        QStringList texts;
        for (const MessageBoxCall& box : mBoxes)
            texts << box.prompt;
        return texts.join(QStringLiteral("\n---\n"));
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", mConfig.path().toLocal8Bit());
        qputenv("TEMP", mTemp.path().toLocal8Bit());
        SetMessageBoxResponder([this](const MessageBoxCall& call) {
            mBoxes << call;
            return int(vbOK);
        });
        mForm = std::make_unique<Form1>();
        mForm->Form_Load();
        mForm->show();
        QVERIFY2(mBoxes.isEmpty(), qPrintable(reportOfBoxes()));
    }

    void cleanupTestCase()
    {
        mForm.reset();
        SetMessageBoxResponder({});
        QTRY_VERIFY_WITH_TIMEOUT(OfficeChildren().isEmpty(), 15000);
    }

    void init() { mBoxes.clear(); }

    void sampleRowsLandByTypeAndComputeTheLoan()
    {
        mForm->PushButton7_Click(); // the two sample rows
        InventoryTable& table = mForm->table();
        QCOMPARE(table.RecordCount(), 2);
        table.MoveFirst();
        table.MoveNext();
        table.SetValue(6, 10000.0); // 8,000 financed over two years at 6 %
        table.SetValue(7, 2000.0);
        table.SetValue(9, 2);
        table.SetValue(10, 6);
        table.SetValue(11, 10.0);

        mForm->PushButton22_Click();
        QVERIFY2(mBoxes.isEmpty(), qPrintable(reportOfBoxes()));
        QVERIFY(!mForm->isVisible());
        QVERIFY(preview().isVisible());
        const QString result = preview().mExcelFile;
        QVERIFY(
            QRegularExpression(QStringLiteral("/drimak[1-9]{8}\\.xls$")).match(result).hasMatch());
        QVERIFY(QFile::exists(result));
        QCOMPARE(QDir(preview().mWorkFolder).entryList(QDir::Files | QDir::Hidden),
            QStringList {QFileInfo(result).fileName()});

        const QJsonObject book = ReadWorkbook(result);
        QCOMPARE(book["sheets"].toArray().first().toString(),
            QStringLiteral("Equipment Inventory List"));
        const QJsonObject cells = book["cells"].toObject();
        const auto cell
            = [&](const char* address) { return cells[QLatin1String(address)].toObject(); };
        QCOMPARE(cell("A4")["type"].toString(), QStringLiteral("text"));
        QCOMPARE(cell("A4")["value"].toString(), QStringLiteral("1189785"));
        QCOMPARE(cell("E4")["value"].toString(), QStringLiteral("John's  manufacture"));
        QCOMPARE(cell("F4")["type"].toString(), QStringLiteral("number"));
        QCOMPARE(cell("F4")["value"].toDouble(), 2.0);
        QCOMPARE(cell("G4")["value"].toDouble(), 149.99);
        QCOMPARE(cell("I4")["type"].toString(), QStringLiteral("date"));
        QCOMPARE(cell("I4")["value"].toString(), QStringLiteral("2015-08-11T00:00:00"));
        QCOMPARE(cell("M4")["value"].toDouble(), 10.0);
        QVERIFY(!cells.contains(QStringLiteral("L4"))); // row 4 computes nothing
        QCOMPARE(cell("I5")["value"].toString(), QStringLiteral("2011-07-22T00:00:00"));
        QCOMPARE(cell("K5")["value"].toDouble(), 0.06);
        QCOMPARE(cell("K5")["format"].toString(), QStringLiteral("0.00%"));
        QCOMPARE(qRound(cell("L5")["value"].toDouble() * 100), 35456); // monthly payment
        QCOMPARE(qRound(cell("N5")["value"].toDouble() * 100), 36456);
        QCOMPARE(cell("P5")["value"].toDouble(), 5000.0);

        // Back: the result and its folder go, the list is as it was.
        const QString folder = preview().mWorkFolder;
        preview().PushButton8_Click();
        QVERIFY(!QFile::exists(result));
        QVERIFY(!QDir(folder).exists());
        QVERIFY(mForm->isVisible());
        QVERIFY(!preview().isVisible());
        QCOMPARE(mForm->table().RecordCount(), 2);
    }

    void anEmptyListGivesTheBareTemplate()
    {
        ClearRows(mForm->table());
        mForm->PushButton22_Click();
        QVERIFY2(mBoxes.isEmpty(), qPrintable(reportOfBoxes()));
        const QJsonObject book = ReadWorkbook(preview().mExcelFile);
        const QJsonObject cells = book["cells"].toObject();
        QCOMPARE(book["nrows"].toInt(), 44);
        QCOMPARE(book["ncols"].toInt(), 18);
        QCOMPARE(
            cells["A1"].toObject()["value"].toString(), QStringLiteral("EQUIPMENT INVENTORY LIST"));
        QVERIFY(!cells.contains(QStringLiteral("A4")));
        QCOMPARE(cells["L5"].toObject()["value"].toDouble(), 0.0);
        QVERIFY(!preview().grab().isNull());
        preview().PushButton8_Click();
    }

    void fortyRowsReachPlainCells()
    {
        InventoryTable& table = mForm->table();
        ClearRows(table);
        for (int i = 1; i <= 40; ++i)
            AddRow(table, QStringLiteral("R%1").arg(i), i);
        table.MoveFirst();
        mForm->PushButton22_Click();
        QVERIFY2(mBoxes.isEmpty(), qPrintable(reportOfBoxes()));
        const QJsonObject book = ReadWorkbook(preview().mExcelFile);
        const QJsonObject cells = book["cells"].toObject();
        QCOMPARE(cells["A4"].toObject()["value"].toString(), QStringLiteral("R1"));
        QCOMPARE(cells["A43"].toObject()["value"].toString(), QStringLiteral("R40"));
        QVERIFY(!cells.contains(QStringLiteral("A44")));
        QCOMPARE(cells["G43"].toObject()["format"].toString(), QStringLiteral("General"));
        QVERIFY(cells["G39"].toObject()["format"].toString().contains(QStringLiteral("#,##0.00")));
        QVERIFY(OfficeChildren().isEmpty());
    }

    void closingThePreviewSavesTheRowsAndLeavesNothing()
    {
        // Continues from the previous run: the preview is showing its result.
        const QString result = preview().mExcelFile;
        const QString folder = preview().mWorkFolder;
        QVERIFY(QFile::exists(result));
        bool ended = false;
        preview().setProgramEnd([&] { ended = true; });
        preview().close();
        QVERIFY(ended);
        QVERIFY(!QFile::exists(result));
        QVERIFY(!QDir(folder).exists());
        QSettings store(QSettings::IniFormat, QSettings::UserScope, "Velmora", "Tessivane");
        store.beginGroup("Tessivane");
        QCOMPARE(store.value("RowCount").toString(), QStringLiteral("40"));
        QCOMPARE(store.value("RowSource1 40").toString(), QStringLiteral("R40"));
        // Nothing of ours is left in the temporary folder.
        QCOMPARE(
            QDir(mTemp.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
            QStringList());
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
