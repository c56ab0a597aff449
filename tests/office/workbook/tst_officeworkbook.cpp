// Workbooks in the real LibreOffice: values and the sheet's view survive a save as .xls (read
// back by xlrd and by a second instance), the template's formats in any locale, the used range
// and the picture of the template, and readable failures of wrong use.
#include "support/filetesting.h"
#include "support/officeprocesses.h"
#include "support/scopedenvironment.h"
#include "support/scriptedboxes.h"
#include "support/sharedoffice.h"
#include "support/testmain.h"

#include "core/bitmapfile.h"
#include "core/messagebox.h"
#include "core/spoolreserve.h"
#include "office/services/excel1.h"
#include "office/services/isinstalled.h"
#include "office/services/libreoffice.h"

#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <tuple>
#include <unistd.h>
#include <vector>

using namespace tessivane;
using namespace tessivane::test;
using namespace std::chrono_literals;

namespace {

QJsonObject ReadXls(const QString& path, const QStringList& cells)
{
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"),
        QStringList {QStringLiteral(TESTS_DIR "/readxls.py"), path} + cells);
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0)
        qWarning("readxls.py: %s", reader.readAllStandardError().constData());
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

QJsonObject CellOf(const QJsonObject& book, int row, int column)
{
    for (const QJsonValue& cell : book.value(QStringLiteral("cells")).toArray())
        if (cell[QStringLiteral("row")].toInt() == row
            && cell[QStringLiteral("column")].toInt() == column)
            return cell.toObject();
    return {};
}

/// The locale variables of a user's session, for the offices started meanwhile.
class SessionLocale
{
public:
    explicit SessionLocale(const QByteArray& locale)
    {
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_NUMERIC", "LC_TIME"})
            mEnvironment.set(name, QByteArray());
        mEnvironment.set("LANG", locale);
    }

private:
    ScopedEnvironment mEnvironment;
};

} // namespace

class OfficeWorkbookTest : public QObject, protected SharedOffice
{
    Q_OBJECT

private slots:
    void initTestCase() { startSharedOffice(); }

    void cleanupTestCase() { endSharedOffice(); }
    void init() { resetOfficeSettings(); }

    void valuesAndViewSurviveSaveAsXls()
    {
        const QString result = mFolder.filePath(QStringLiteral("result.xls"));
        ApplicationPtr app = createApplication(mServices);
        std::shared_ptr<Workbook> book = app->workbooks().Open(mTemplate);
        QCOMPARE(app->workbooks().count(), 1);
        const auto cell = [&](int row, int column, const QVariant& value) {
            app->Worksheets(1)->PutCell(row, column, value);
        };
        cell(4, 1, QStringLiteral("SN-0042"));
        cell(4, 2, QStringLiteral("=1+1")); // a text, never a formula
        cell(4, 3, QStringLiteral("Lager Süd"));
        cell(4, 4, QStringLiteral("12")); // a text, never a number
        cell(4, 5, QStringLiteral("")); // the empty text: an empty cell
        cell(4, 6, 7);
        cell(4, 7, 25000.75); // currency amount into the accounting cell
        cell(4, 8, qint64(5000));
        cell(4, 9, QDate(2021, 8, 31)); // into the template's date cell
        cell(4, 10, QVariant()); // nothing: an empty cell
        cell(5, 9, QDateTime(QDate(2000, 2, 29), QTime(12, 0)));
        cell(45, 9, QDate(2019, 12, 24)); // below the template: a General cell
        cell(45, 1, 1.5);
        cell(45, 1, QStringLiteral("overwritten")); // the last put wins
        cell(6, 2, QStringLiteral("placeholder"));
        cell(6, 2, QString()); // ... also when it empties the cell
        app->Range_Select(QStringLiteral("B4"));
        QVERIFY(
            QRegularExpression(QStringLiteral("^\\d+\\.\\d+$")).match(app->Version()).hasMatch());
        app->setVisible(false);
        book->SaveAs(result, ExcelSaveFormat(mServices, app));
        app->setDisplayAlerts(false);
        book->Close();
        QCOMPARE(app->workbooks().count(), 0);
        app->Quit();
        app.reset();

        const QJsonObject xls = ReadXls(result,
            {"4,1", "4,2", "4,3", "4,4", "4,5", "4,6", "4,7", "4,8", "4,9", "4,10", "5,9", "45,9",
                "45,1", "6,2"});
        QCOMPARE(xls[QStringLiteral("biff")].toInt(), 80);
        const auto check = [&](int row, int column, int type, const QVariant& value) {
            const QJsonObject found = CellOf(xls, row, column);
            if (found[QStringLiteral("type")].toInt() != type
                || (value.isValid() && found[QStringLiteral("value")].toVariant() != value))
                QFAIL(qPrintable(QStringLiteral("cell %1,%2: %3")
                                     .arg(row)
                                     .arg(column)
                                     .arg(QString::fromUtf8(
                                         QJsonDocument(found).toJson(QJsonDocument::Compact)))));
        };
        enum { Empty = 0, Text = 1, Number = 2, Date = 3, Blank = 6 };
        check(4, 1, Text, QStringLiteral("SN-0042"));
        check(4, 2, Text, QStringLiteral("=1+1"));
        check(4, 3, Text, QStringLiteral("Lager Süd"));
        check(4, 4, Text, QStringLiteral("12"));
        QVERIFY(CellOf(xls, 4, 5)[QStringLiteral("type")].toInt() == Blank
            || CellOf(xls, 4, 5)[QStringLiteral("type")].toInt() == Empty);
        check(4, 6, Number, 7.0);
        check(4, 7, Number, 25000.75);
        check(4, 8, Number, 5000.0);
        check(4, 9, Date, QVariant());
        QCOMPARE(
            CellOf(xls, 4, 9)[QStringLiteral("date")].toString(), QStringLiteral("2021-08-31"));
        QVERIFY(CellOf(xls, 4, 10)[QStringLiteral("type")].toInt() == Blank
            || CellOf(xls, 4, 10)[QStringLiteral("type")].toInt() == Empty);
        check(5, 9, Date, 36585.5);
        check(45, 9, Date, QVariant());
        QCOMPARE(
            CellOf(xls, 45, 9)[QStringLiteral("date")].toString(), QStringLiteral("2019-12-24"));
        QCOMPARE(CellOf(xls, 45, 9)[QStringLiteral("format_key")].toInt(), 14); // m/d/yyyy
        check(45, 1, Text, QStringLiteral("overwritten"));
        QVERIFY(CellOf(xls, 6, 2)[QStringLiteral("type")].toInt() != Text);
        if (mRealTemplate) {
            // The template's own formats stay: accounting amounts, its date format.
            QVERIFY(CellOf(xls, 4, 7)[QStringLiteral("format")].toString().contains('$'));
            QCOMPARE(CellOf(xls, 4, 9)[QStringLiteral("format_key")].toInt(), 14);
        }

        // The view of the sheet: zoom, frozen panes at G4, no grid lines, B4 selected.
        QCOMPARE(xls[QStringLiteral("zoom")].toInt(), 75);
        QVERIFY(xls[QStringLiteral("frozen")].toBool());
        QCOMPARE(xls[QStringLiteral("split_row")].toInt(), 3);
        QCOMPARE(xls[QStringLiteral("split_column")].toInt(), 6);
        QVERIFY(!xls[QStringLiteral("grid")].toBool());
        const int activePane = xls[QStringLiteral("pane")][QStringLiteral("active")].toInt();
        bool selected = false;
        for (const QJsonValue& selection : xls[QStringLiteral("selections")].toArray())
            if (selection[QStringLiteral("pane")].toInt() == activePane)
                selected = selection[QStringLiteral("row")].toInt() == 3
                    && selection[QStringLiteral("column")].toInt() == 1;
        QVERIFY2(selected, QJsonDocument(xls[QStringLiteral("selections")].toArray()).toJson());

        // A second instance reopens it: the last workbook opened, its used range and picture.
        ApplicationPtr second = OpenInNewExcel(mServices, result);
        QCOMPARE(second->workbooks().count(), 1);
        std::shared_ptr<Workbook> reopened = second->workbooks().item(second->workbooks().count());
        QCOMPARE(reopened->ActiveSheet()->UsedRangeLastRow(), 45);
        QCOMPARE(reopened->ActiveSheet()->UsedRangeLastColumn(), 18);
        second->setDisplayAlerts(false);
        reopened->Close();
        second->Quit();
    }

    void writtenRowsKeepTheirHeightsWhenAsked()
    {
        // A text of three lines makes its row (of no set height) taller, unless the sheet
        // keeps its rows' heights.
        for (const bool keep : {false, true}) {
            const QString result = mFolder.filePath(QStringLiteral("rows-%1.xls").arg(keep));
            ApplicationPtr app = createApplication(mServices);
            std::shared_ptr<Workbook> book = app->workbooks().Open(mTemplate);
            if (keep)
                app->Worksheets(1)->keepRowHeights();
            app->Worksheets(1)->PutCell(50, 1, QStringLiteral("one\ntwo\nthree"));
            app->flushCellWrites();
            book->SaveAs(result, xlExcel8);
            app->setDisplayAlerts(false);
            book->Close();
            app->Quit();
            const int height
                = CellOf(ReadXls(result, {"50,1"}), 50, 1)[QStringLiteral("height")].toInt();
            QVERIFY2(keep ? height == 255 : height > 600, qPrintable(QString::number(height)));
        }
    }

    void templateFormatsWhateverTheLocale_data()
    {
        QTest::addColumn<QByteArray>("locale");
        QTest::newRow("en_US") << QByteArray("en_US.UTF-8");
        QTest::newRow("de_DE") << QByteArray("de_DE.UTF-8");
    }

    void templateFormatsWhateverTheLocale()
    {
        if (!mRealTemplate)
            QSKIP("The formats are those of the carried template.");
        QFETCH(QByteArray, locale);
        ApplicationPtr app;
        {
            const SessionLocale session(locale); // the office takes it at its start
            app = createApplication(mServices);
        }
        std::shared_ptr<Workbook> book = app->workbooks().Open(mTemplate);
        app->Worksheets(1)->PutCell(4, 9, QDate(2015, 8, 11));
        app->Worksheets(1)->PutCell(5, 11, 0.06);
        app->Worksheets(1)->PutCell(45, 9, QDate(2015, 8, 11));
        const QString result = mFolder.filePath(QStringLiteral("locale.xls"));
        book->SaveAs(result, 56);
        book->Close();
        app->Quit();

        // Excel's built-in General, percent (10) and date (14) formats, written or not.
        const QJsonObject xls
            = ReadXls(result, {"4,1", "4,7", "4,9", "5,9", "45,9", "4,11", "5,11"});
        const QList<std::tuple<int, int, int>> builtIn {
            {4, 1, 0}, {4, 9, 14}, {5, 9, 14}, {45, 9, 14}, {4, 11, 10}, {5, 11, 10}};
        for (const auto& [row, column, key] : builtIn)
            QVERIFY2(CellOf(xls, row, column)[QStringLiteral("format_key")].toInt() == key,
                qPrintable(
                    QStringLiteral("%1,%2: %3")
                        .arg(row)
                        .arg(column)
                        .arg(CellOf(xls, row, column)[QStringLiteral("format")].toString())));
        const QString amounts = CellOf(xls, 4, 7)[QStringLiteral("format")].toString();
        QVERIFY2(amounts.contains('$') && amounts.contains(QStringLiteral("#,##0.00_)")),
            qPrintable(amounts));
    }

    void usedRangeAndPictureOfTheTemplate_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("lastRow");
        QTest::addColumn<int>("blankRows"); // empty rows of 12.75 points below the last ink
        QTest::newRow("bare") << 0 << 44 << 5;
        QTest::newRow("503 rows") << 503 << 506 << 0;
        QTest::newRow("1,500 rows, drawn in bands") << 1500 << 1503 << 0;
        // Taller than a picture that Qt reads whole by default, and than one band of the office.
        QTest::newRow("4,000 rows") << 4000 << 4003 << 0;
    }

    void usedRangeAndPictureOfTheTemplate()
    {
        QFETCH(int, rows);
        QFETCH(int, lastRow);
        QFETCH(int, blankRows);
        std::shared_ptr<Workbook> book = mApp->workbooks().Open(mTemplate);
        const auto sheet = book->ActiveSheet();
        for (int row = 4; row < 4 + rows; ++row)
            sheet->PutCell(row, 1, QStringLiteral("R%1").arg(row));
        QCOMPARE(sheet->UsedRangeLastRow(), mRealTemplate ? lastRow : 44);
        QCOMPARE(sheet->UsedRangeLastColumn(), 18);

        const QString path = mFolder.filePath(QStringLiteral("temp.bmp"));
        const QString copied = QStringLiteral("copied by the user before");
        QGuiApplication::clipboard()->setText(copied);
        saveCellsActivesheet(book, path, mMessages);
        QVERIFY2(mMessages.calls.isEmpty(),
            mMessages.calls.isEmpty() ? "" : qPrintable(mMessages.calls[0].prompt));
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), QByteArray("bmp"));
        // Read in place, never decoded whole; every row a pixel short of its 12.75 points
        // at 96 dpi at least.
        const PagedPicture mapped = PagedPicture::mapBitmapFile(path);
        QVERIFY(mapped.isMapped());
        const QImage& picture = mapped.image();
        QVERIFY2(picture.height() >= 16 * lastRow,
            qPrintable(QStringLiteral("%1 pixels high").arg(picture.height())));
        if (mRealTemplate) {
            // The picture ends at the used range: column R's dark right border is its last
            // pixel column, and below the last ink only the empty rows of the range follow
            // (17 pixels each at 96 dpi, drawn a pixel shorter; a text sits at the bottom of
            // its row).
            QVERIFY(picture.width() > 1400);
            QVERIFY2(qGray(picture.pixel(picture.width() - 1, 200)) < 128,
                qPrintable(QString::number(picture.width())));
            int ink = picture.height() - 1;
            const auto blankRow = [&](int y) {
                for (int x = 0; x < picture.width(); ++x)
                    if (qGray(picture.pixel(x, y)) < 250)
                        return false;
                return true;
            };
            while (ink > 0 && blankRow(ink))
                --ink;
            const int blank = picture.height() - 1 - ink;
            QVERIFY2(blank >= 16 * blankRows && blank <= 17 * (blankRows + 1),
                qPrintable(
                    QStringLiteral("%1 blank pixel rows of %2").arg(blank).arg(picture.height())));
        }
        // Readable: the title band is drawn, not a blank page.
        int colours = 0;
        QRgb last = 0;
        for (int x = 0; x < picture.width(); x += 7) {
            const QRgb pixel = picture.pixel(x, 20);
            colours += pixel != last ? 1 : 0;
            last = pixel;
        }
        QVERIFY(colours > 1);
        book->Close();
    }

    void pictureIsTheSameThroughTheOfficesScript()
    {
        // Bands drawn by an office that writes them to files itself and by one that hands
        // them over the connection: the same picture, and no band's file left behind. Each
        // goes over a file made ahead for it, longer with the script and shorter without.
        QByteArray pictures[2];
        for (const bool script : {true, false}) {
            mServices.office.pictureScript = script;
            const QList<pid_t> before = OfficeChildren();
            ApplicationPtr app = createApplication(mServices);
            std::shared_ptr<Workbook> book = app->workbooks().Open(mTemplate);
            const auto sheet = book->ActiveSheet();
            for (int row = 4; row < 204; ++row) // some three bands
                sheet->PutCell(row, 2, QStringLiteral("Item %1").arg(row));
            const QString folder = mFolder.filePath(script ? "through" : "over");
            QVERIFY(QDir().mkpath(folder));
            // What the run's office writes to files (its sends over the connection are not).
            QList<pid_t> office = OfficeChildren();
            office.removeIf([&](pid_t pid) { return before.contains(pid); });
            QCOMPARE(office.size(), 1);
            const auto written = [pid = office[0]] {
                const QByteArray io = ReadAll(QStringLiteral("/proc/%1/io").arg(pid));
                return io.mid(io.indexOf("wchar:") + 6).split('\n').value(0).trimmed().toLongLong();
            };
            const qint64 reserved = script ? 8 * 1000 * 1000 : 1000 * 1000;
            SpoolReserve room(folder + QStringLiteral("/picture-XXXXXX.bmp"), reserved);
            QTRY_COMPARE(QDir(folder).entryInfoList(QDir::Files).value(0).size(), reserved);
            const qint64 writtenBefore = written();
            saveCellsActivesheet(
                book, folder + QStringLiteral("/temp.bmp"), mMessages, nullptr, &room);
            const qint64 bandBytes = written() - writtenBefore;
            QVERIFY(mMessages.calls.isEmpty());
            pictures[script] = ReadAll(folder + QStringLiteral("/temp.bmp"));
            // The office wrote the bands to files only with the script.
            QVERIFY2((bandBytes > pictures[script].size() / 2) == script,
                qPrintable(QStringLiteral("%1 bytes written").arg(bandBytes)));
            QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList {"temp.bmp"});
            QVERIFY2(ReadAll(QStringLiteral("/proc/%1/maps").arg(office[0])).contains("libpython3")
                    == script,
                "the office's Python scripting (libreoffice-script-provider-python) is missing");
            book->Close();
            app->Quit();
        }
        QVERIFY(pictures[true].size() > 3 * 1000 * 1000);
        QVERIFY(pictures[true] == pictures[false]);
    }

    void wrongUseFailsReadably()
    {
        std::shared_ptr<Workbook> book = mApp->workbooks().Open(mTemplate);
        const auto sheet = mApp->Worksheets(1);
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, sheet->PutCell(0, 1, 1));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, sheet->PutCell(1, 2000, 1));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, sheet->PutCell(4, 1, QVariant(true)));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, sheet->PutCell(4, 1, qQNaN()));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, mApp->Worksheets(2));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, mApp->workbooks().item(2));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, mApp->Range_Select(QStringLiteral("B4:")));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, book->SaveAs(mFolder.filePath("x.xls"), 51));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
            mApp->workbooks().Open(mFolder.filePath(QStringLiteral("none.xls"))));
        QVERIFY(mApp->isAlive());
        book->Close();
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, book->Close());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, sheet->PutCell(4, 1, 1));
        QCOMPARE(mApp->workbooks().count(), 0);
        QVERIFY(mApp->isAlive());
    }
};

TESSIVANE_TEST_MAIN(OfficeWorkbookTest)
#include "tst_officeworkbook.moc"
