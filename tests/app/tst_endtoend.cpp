// "Start Creating Template" from the grid to the preview, with the real LibreOffice: the
// workbook is read back by an independent reader (xlrd), the working files are followed to
// their end, and no spreadsheet process is left behind. It runs a second time in a German
// session (LANG=de_DE.UTF-8), where the workbook must keep the template's formats, and a third
// time with offices started ahead of need, as the program runs.
#include "support/gridtesting.h"
#include "support/officeprocesses.h"
#include "support/scriptedboxes.h"

#include "app/form1.h"
#include "core/bitmapfile.h"
#include "core/messagebox.h"
#include "generation/generationrun.h"
#include "grid/datagrid.h"
#include "inventory/inventorytable.h"
#include "office/conversion/converter.h"
#include "office/pool/instancepool.h"
#include "office/services/readyoffices.h"
#include "preview/form2.h"
#include "preview/picturebox.h"
#include "resources/resources.h"

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
using namespace tessivane::test;

namespace {

/// The workbook as xlrd reads it: the view, and the named cells keyed by address.
struct Workbook
{
    QJsonObject view;
    QHash<QString, QJsonObject> cells;
    QJsonObject cell(const char* address) const { return cells.value(QLatin1String(address)); }
    int type(const char* address) const { return cell(address)[QStringLiteral("type")].toInt(); }
    double number(const char* address) const
    {
        return cell(address)[QStringLiteral("value")].toDouble();
    }
    QString text(const char* address) const
    {
        return cell(address)[QStringLiteral("value")].toString();
    }
    bool isEmpty(const char* address) const { return type(address) == 0 || type(address) == 6; }
};

constexpr int kText = 1;
constexpr int kNumber = 2;
constexpr int kDate = 3;

Workbook ReadWorkbook(const QString& path, const QStringList& addresses)
{
    QStringList arguments {QStringLiteral(TESSIVANE_SOURCE_DIR "/tests/office/readxls.py"), path};
    for (const QString& address : addresses) {
        const int column = address.at(0).unicode() - 'A' + 1;
        arguments << QStringLiteral("%1,%2").arg(address.mid(1)).arg(column);
    }
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"), arguments);
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0)
        qFatal("readxls failed: %s", reader.readAllStandardError().constData());
    Workbook book;
    book.view = QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
    const QJsonArray cells = book.view[QStringLiteral("cells")].toArray();
    for (int i = 0; i < cells.size(); ++i)
        book.cells.insert(addresses.at(i), cells.at(i).toObject());
    return book;
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
    ScriptedBoxes mBoxes;
    Services mServices;
    WindowContext mContext {mBoxes};
    QTemporaryDir mConfig;
    QTemporaryDir mTemp;
    std::unique_ptr<InstancePool> mPool; // the program's ready offices, in one variant
    std::unique_ptr<Form1> mForm;

    Form2& preview() { return *mForm->preview(); }

    QString reportOfBoxes() const
    {
        QStringList texts;
        for (const MessageBoxCall& box : mBoxes.calls)
            texts << box.prompt;
        return texts.join(QStringLiteral("\n---\n"));
    }

    /// Imports the generated workbook, then a copy of it as .xlsx, each replacing the list: the
    /// list is the same afterwards, and nothing of the offices is left.
    void importsBackAsItWentOut(const QString& workbook)
    {
        const ListRows rows = mForm->table().AllRowValues();
        ScriptedListDialogs::Script& dialogs = ScriptedListDialogs::install(*mForm->grid());
        dialogs.choice = ImportChoice::Replace;
        const QString xlsx = mTemp.filePath(QStringLiteral("list.xlsx"));
        convertWorkbook(mServices, workbook, xlsx);
        for (const QString& file : {workbook, xlsx}) {
            mForm->grid()->editor().importRows(file);
            QVERIFY2(mBoxes.calls.isEmpty(), qPrintable(reportOfBoxes()));
            const QList<RowRefusal>& refused = dialogs.reviewed.last().refused;
            QVERIFY2(refused.isEmpty(), qPrintable(refused.value(0).reason));
            QCOMPARE(mForm->table().AllRowValues(), rows);
        }
        QVERIFY(QFile::remove(xlsx));
        QCOMPARE(QDir(mTemp.path()).entryList({"tessivane-run-*"}, QDir::Dirs).size(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(OfficeChildren().isEmpty(), 15000);
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", mConfig.path().toLocal8Bit());
        qputenv("TEMP", mTemp.path().toLocal8Bit());
        if (qEnvironmentVariableIsSet("TESSIVANE_TEST_READY_OFFICES")) {
            // As main.cpp has them: warmed with the template while they wait.
            mServices.office.warmUpWorkbook = templateBytes();
            mPool = std::make_unique<InstancePool>(libreOfficeInstances(mServices));
        }
        mServices.readyOffices = mPool.get();
        mForm = std::make_unique<Form1>(mServices, mContext);
        mForm->Form_Load();
        mForm->show();
        QVERIFY2(mBoxes.calls.isEmpty(), qPrintable(reportOfBoxes()));
    }

    void cleanupTestCase()
    {
        mForm.reset();
        if (mPool)
            mPool->end();
        QTRY_VERIFY_WITH_TIMEOUT(OfficeChildren(true).isEmpty(), 15000);
    }

    void init() { mBoxes.calls.clear(); }

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
        QVERIFY2(mBoxes.calls.isEmpty(), qPrintable(reportOfBoxes()));
        QVERIFY(!mForm->isVisible());
        QVERIFY(preview().isVisible());
        const QString result = preview().excelFile();
        QVERIFY(
            QRegularExpression(QStringLiteral("/drimak[1-9]{8}\\.xls$")).match(result).hasMatch());
        QVERIFY(QFile::exists(result));
        QCOMPARE(QDir(preview().workFolder()).entryList(QDir::Files | QDir::Hidden),
            QStringList {QFileInfo(result).fileName()});

        const auto book = ReadWorkbook(result,
            {"A4", "E4", "F4", "G4", "I4", "M4", "L4", "N4", "I5", "K5", "L5", "N5", "P5", "A39",
                "A40"});
        QCOMPARE(book.view["sheets"].toArray().first().toString(),
            QStringLiteral("Equipment Inventory List"));
        QCOMPARE(book.type("A4"), kText);
        QCOMPARE(book.text("A4"), QStringLiteral("1189785"));
        QCOMPARE(book.text("E4"), QStringLiteral("John's  manufacture"));
        QCOMPARE(book.type("F4"), kNumber);
        QCOMPARE(book.number("F4"), 2.0);
        QCOMPARE(book.number("G4"), 149.99);
        QCOMPARE(book.type("I4"), kDate);
        QCOMPARE(book.cell("I4")["date"].toString(), QStringLiteral("2015-08-11"));
        QCOMPARE(book.number("M4"), 10.0);
        // Row 4 computes like every other row.
        QCOMPARE(book.cell("L4")["formula"].toString(),
            QStringLiteral("IF(AND(G4>0,G4<>H4),-1*PMT(K4/12,J4*12,G4-H4),0)"));
        QCOMPARE(qRound(book.number("L4") * 100), 1250); // 149.99 over a year, no interest
        QCOMPARE(qRound(book.number("N4") * 100), 2250);
        QCOMPARE(book.cell("I5")["date"].toString(), QStringLiteral("2011-07-22"));
        QCOMPARE(book.number("K5"), 0.06);
        // The template's built-in formats, whatever the session's locale: percent (10) and
        // the date (14).
        QCOMPARE(book.cell("K5")["format"].toString(), QStringLiteral("0.00%"));
        QCOMPARE(book.cell("K5")["format_key"].toInt(), 10);
        QCOMPARE(book.cell("I4")["format_key"].toInt(), 14);
        QCOMPARE(book.cell("I5")["format_key"].toInt(), 14);
        QCOMPARE(qRound(book.number("L5") * 100), 35456); // monthly payment
        QCOMPARE(qRound(book.number("N5") * 100), 36456);
        QCOMPARE(book.number("P5"), 5000.0);
        // A short list keeps the template's rows: closed under row 39, plain from row 40.
        QCOMPARE(
            book.cell("A39")["borders"].toObject()["bottom"].toString(), QStringLiteral("black"));
        QVERIFY(book.cell("A40")["fill"].isNull());
        QCOMPARE(book.cell("A40")["height"].toInt(), 255);

        // The workbook, and the same as .xlsx, come back into the list as they went out.
        if (!mPool)
            importsBackAsItWentOut(result);

        // Back: the result and its folder go, the list is as it was.
        const QString folder = preview().workFolder();
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
        QVERIFY2(mBoxes.calls.isEmpty(), qPrintable(reportOfBoxes()));
        const auto book = ReadWorkbook(preview().excelFile(), {"A1", "A4", "L5"});
        QCOMPARE(book.view["rows"].toInt(), 44);
        QCOMPARE(book.view["columns"].toInt(), 18);
        QCOMPARE(book.text("A1"), QStringLiteral("EQUIPMENT INVENTORY LIST"));
        QVERIFY(book.isEmpty("A4"));
        QCOMPARE(book.number("L5"), 0.0);
        const QJsonObject selected = book.view["selections"].toArray().last().toObject();
        QCOMPARE(selected["row"].toInt(), 3); // B4, zero-based
        QCOMPARE(selected["column"].toInt(), 1);
        QVERIFY(!preview().grab().isNull());
        preview().PushButton8_Click();
    }

    void fortyRowsAreAllAlike()
    {
        InventoryTable& table = mForm->table();
        ClearRows(table);
        for (int i = 1; i <= 40; ++i) {
            AddRow(table, QStringLiteral("R%1").arg(i), i);
            for (int field = 1; field <= 4; ++field) // a Null text would come back as an empty one
                table.SetValue(field, QStringLiteral("T%1").arg(field));
        }
        table.MoveFirst();
        mForm->PushButton22_Click();
        QVERIFY2(mBoxes.calls.isEmpty(), qPrintable(reportOfBoxes()));
        const QList<int> rows {4, 5, 39, 40, 41, 43, 44};
        QStringList addresses;
        for (int row : rows)
            for (char column = 'A'; column <= 'R'; ++column)
                addresses << QStringLiteral("%1%2").arg(QLatin1Char(column)).arg(row);
        const auto book = ReadWorkbook(preview().excelFile(), addresses);
        QCOMPARE(book.text("A4"), QStringLiteral("R1"));
        QCOMPARE(book.text("A43"), QStringLiteral("R40"));
        QVERIFY(book.isEmpty("A44"));

        // Rows 4, 39, 40 and 43 look alike, by parity, and compute alike, each from its own
        // row; the line under the last one closes the table.
        for (char column = 'A'; column <= 'R'; ++column) {
            const auto at = [&](int row) {
                return book.cell(
                    qPrintable(QStringLiteral("%1%2").arg(QLatin1Char(column)).arg(row)));
            };
            const auto lookOf = [&](int row) {
                const QJsonObject cell = at(row);
                const QJsonObject borders = cell["borders"].toObject();
                const QString under = borders.contains("bottom")
                    ? borders["bottom"].toString()
                    : at(row + 1)["borders"].toObject()["top"].toString();
                const QString formula = cell["formula"].toString().replace(
                    QRegularExpression(QStringLiteral("([A-R])%1(?!\\d)").arg(row)),
                    QStringLiteral("\\1#"));
                return QStringList {cell["format"].toString(), cell["fill"].toString(),
                    borders["left"].toString(), borders["right"].toString(), under,
                    QString::number(cell["height"].toInt()), formula};
            };
            const QString name = QStringLiteral("column %1").arg(QLatin1Char(column));
            for (int row : {4, 39, 40, 43})
                QVERIFY2(!lookOf(row)[6].contains(QRegularExpression(QStringLiteral("[A-R]\\d"))),
                    qPrintable(at(row)["formula"].toString()));
            QStringList last = lookOf(43);
            QCOMPARE(last[4], QStringLiteral("black"));
            last[4] = lookOf(39)[4];
            QCOMPARE(lookOf(39), last);
            QCOMPARE(lookOf(4), lookOf(40));
            const auto withoutFill = [](QStringList look) {
                look.removeAt(1);
                return look;
            };
            QCOMPARE(withoutFill(lookOf(4)), withoutFill(lookOf(39)));
            QVERIFY2(lookOf(4)[5] == QStringLiteral("405"), qPrintable(name));
            QVERIFY2(at(44)["fill"].isNull() && at(44)["height"].toInt() == 255, qPrintable(name));
        }
        QCOMPARE(book.cell("L43")["formula"].toString(),
            QStringLiteral("IF(AND(G43>0,G43<>H43),-1*PMT(K43/12,J43*12,G43-H43),0)"));
        QCOMPARE(book.cell("G43")["format_key"].toInt(), book.cell("G4")["format_key"].toInt());
        QCOMPARE(book.cell("I40")["format_key"].toInt(), 14);
        QCOMPARE(book.cell("K40")["format_key"].toInt(), 10);
        // Printed pages repeat the title and the headings at the top and column A at the left.
        const QJsonArray titles = book.view["print_titles"].toArray();
        QCOMPARE(titles.size(), 2);
        QVERIFY(titles.contains(QJsonArray({1, 3, 1, 256})));
        QVERIFY(titles.contains(QJsonArray({1, 65536, 1, 1})));
        // The room a long list's picture is given ahead fits the picture, with little over.
        const QImage& drawn = preview().zoomOri()->Picture().image();
        const qint64 bytes = 54 + bitmapStride(drawn.width()) * qint64(drawn.height());
        QVERIFY2(pictureBytesFor(40) >= bytes && pictureBytesFor(40) - bytes < bytes / 50,
            qPrintable(QStringLiteral("%1 x %2").arg(drawn.width()).arg(drawn.height())));

        if (!mPool) {
            importsBackAsItWentOut(preview().excelFile());
            QVERIFY(OfficeChildren(true).isEmpty()); // ready offices wait for the next run
        }
    }

    void closingThePreviewSavesTheRowsAndLeavesNothing()
    {
        // Continues from the previous run: the preview is showing its result.
        const QString result = preview().excelFile();
        const QString folder = preview().workFolder();
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
