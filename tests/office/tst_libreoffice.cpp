// The spreadsheet layer against the real LibreOffice: instances leave nothing behind, values
// and the sheet's view survive a save as .xls (read back by xlrd and by a second instance),
// the used range and the picture of the template, and the failures: a missing program, one
// that never answers, a hung or killed instance.
#include "support/officeprocesses.h"
#include "support/scriptedboxes.h"

#include "core/messagebox.h"
#include "office/excel1.h"
#include "office/isinstalled.h"
#include "office/libreoffice.h"

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

/// The office process that was started after the given list was taken.
pid_t NewOfficeChild(const QList<pid_t>& before)
{
    for (pid_t pid : OfficeChildren())
        if (!before.contains(pid))
            return pid;
    return -1;
}

/// Whether a killed office's own scratch folder ("lu<pid>….tmp") stayed in the system's
/// temporary folder instead of going with its private profile.
bool ScratchFolderLeft(pid_t office)
{
    return !QDir(QDir::tempPath())
                .entryList({QStringLiteral("lu%1*.tmp").arg(office)}, QDir::Dirs)
                .isEmpty();
}

/// The office's own single-instance pipe file of a profile folder.
QString InstancePipeFile(const QString& profile)
{
    const QString url
        = QUrl::fromLocalFile(QDir::temp().filePath(profile)).toString(QUrl::FullyEncoded);
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(url.utf16()), url.size() * 2),
        QCryptographicHash::Md5);
    QString name = QStringLiteral("/tmp/OSL_PIPE_%1_SingleOfficeIPC_").arg(getuid());
    for (const char byte : digest)
        name += QString::number(quint8(byte), 16);
    return name;
}

/// The profile folder that was made after the given list was taken.
QString NewProfile(const QStringList& before)
{
    for (const QString& folder : ProfileFolders())
        if (!before.contains(folder))
            return folder;
    return QString();
}

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
        for (const char* name : {"LANG", "LANGUAGE", "LC_ALL", "LC_NUMERIC", "LC_TIME"}) {
            mSaved.emplace_back(name,
                qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt);
            qunsetenv(name);
        }
        qputenv("LANG", locale);
    }
    ~SessionLocale()
    {
        for (const auto& [name, value] : mSaved)
            if (value)
                qputenv(name, *value);
            else
                qunsetenv(name);
    }

private:
    std::vector<std::pair<const char*, std::optional<QByteArray>>> mSaved;
};

void WriteScript(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

} // namespace

class LibreOfficeTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(mFolder.isValid());
        // The carried template: compiled in, or the checked-in file; else a stand-in.
        for (const QString& candidate : {QStringLiteral(":/template.xlt"),
                 QStringLiteral(SOURCE_DIR "/resources/template.xlt")}) {
            if (QFile::exists(candidate)) {
                mTemplate = mFolder.filePath(QStringLiteral("template.xlt"));
                QVERIFY(QFile::copy(candidate, mTemplate));
                mRealTemplate = true;
                break;
            }
        }
        mApp = CreateApplication(); // shared by the functions that only read
        if (!mRealTemplate) {
            mTemplate = mFolder.filePath(QStringLiteral("standin.xls"));
            auto book = mApp->workbooks().Open(QStringLiteral(TESTS_DIR "/data/standin.fods"));
            book->SaveAs(mTemplate, 56);
            book->Close();
        }
    }

    void cleanupTestCase()
    {
        if (mApp)
            mApp->Quit();
        mApp.reset();
        WaitForBackgroundReleases();
        QCOMPARE(Leftovers(), QStringList());
        QCOMPARE(Children().size(), 0);
    }

    void init()
    {
        mMessages.calls.clear();
        SetOfficeProgram(QString());
        SetStartTimeLimit(30s);
        SetCallTimeLimit(30s);
    }

    void quitAndDropLeaveNoProcessAndNoProfile()
    {
        const int before = Children().size();
        const QList<pid_t> offices = OfficeChildren();
        ApplicationPtr app = CreateApplication();
        QVERIFY(app->isAlive());
        const pid_t office = NewOfficeChild(offices);
        QVERIFY(office > 0);
        QCOMPARE(ProfileFolders().size(), 2); // the shared instance's and this one's
        app->Quit();
        QVERIFY(!app->isAlive());
        QCOMPARE(Children().size(), before);
        QCOMPARE(GroupMembers(office), 0);
        QCOMPARE(ProfileFolders().size(), 1);
        QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, app->Version());
        QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, app->workbooks().count());
        QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, app->Quit());

        // Dropped without Quit, while a workbook of it is still held: the last reference
        // ends it.
        app = CreateApplication();
        std::shared_ptr<Workbook> book = app->workbooks().Open(mTemplate);
        app.reset();
        QCOMPARE(Children().size(), before + 1);
        book.reset();
        QCOMPARE(Children().size(), before);
        QCOMPARE(ProfileFolders().size(), 1);
    }

    void valuesAndViewSurviveSaveAsXls()
    {
        const QString result = mFolder.filePath(QStringLiteral("result.xls"));
        ApplicationPtr app = CreateApplication();
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
        book->SaveAs(result, ExcelSaveFormat(app));
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
        ApplicationPtr second = OpenInNewExcel(result);
        QCOMPARE(second->workbooks().count(), 1);
        std::shared_ptr<Workbook> reopened = second->workbooks().item(second->workbooks().count());
        QCOMPARE(reopened->ActiveSheet()->UsedRangeLastRow(), 45);
        QCOMPARE(reopened->ActiveSheet()->UsedRangeLastColumn(), 18);
        second->setDisplayAlerts(false);
        reopened->Close();
        second->Quit();
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
            app = CreateApplication();
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
        QTest::newRow("1,500 rows, drawn in two bands") << 1500 << 1503 << 0;
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
        saveCellsActivesheet(book, path);
        QVERIFY2(mMessages.calls.isEmpty(),
            mMessages.calls.isEmpty() ? "" : qPrintable(mMessages.calls[0].prompt));
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
        QImageReader reader(path);
        reader.setDecideFormatFromContent(true);
        QCOMPARE(reader.format(), QByteArray("bmp"));
        reader.setAllocationLimit(0);
        const QImage picture = reader.read();
        QVERIFY(!picture.isNull());
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

    void missingLibreOfficeGivesTheStartUpMessage_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QStringLiteral("/nonexistent/soffice.bin")
                                 << QStringLiteral("not found");
        QTest::newRow("not executable")
            << QStringLiteral("noexec") << QStringLiteral("Permission denied");
    }

    void missingLibreOfficeGivesTheStartUpMessage()
    {
        QFETCH(QString, program);
        QFETCH(QString, reason);
        if (program == QStringLiteral("noexec")) {
            program = mFolder.filePath(QStringLiteral("noexec"));
            QFile file(program);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.close();
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        }
        SetOfficeProgram(program);
        // A deadline far beyond the test's own time limit: only an immediate failure passes.
        SetStartTimeLimit(3600s);
        try {
            CreateApplication();
            QFAIL("started");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(reason), e.what());
        }
        int ends = 0;
        SetProgramEnder([&] { ++ends; });
        CheckExcelInstance();
        SetProgramEnder({});
        QCOMPARE(ends, 1);
        QCOMPARE(mMessages.calls.size(), 1);
        QVERIFY(mMessages.calls[0].prompt.startsWith(QStringLiteral("Error 842001.")));
        QCOMPARE(ProfileFolders().size(), 1);
    }

    void startFailures_data()
    {
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("reason");
        QTest::newRow("never answers")
            << QByteArray("#!/bin/sh\necho $$ > '%PIDFILE%'\nsleep 600 &\nexec sleep 600\n")
            << QStringLiteral("did not answer within 3 seconds");
        QTest::newRow("fresh profile restart forever")
            << QByteArray("#!/bin/sh\nexit 81\n") << QStringLiteral("exit code 81");
        QTest::newRow("crashes") << QByteArray("#!/bin/sh\nkill -SEGV $$\n")
                                 << QStringLiteral("exit code 139");
    }

    void startFailures()
    {
        QFETCH(QByteArray, script);
        QFETCH(QString, reason);
        const QString program = mFolder.filePath(QStringLiteral("fake-office"));
        const QString pidFile = mFolder.filePath(QStringLiteral("fake-office.pid"));
        QFile::remove(pidFile);
        WriteScript(program, script.replace("%PIDFILE%", pidFile.toUtf8()));
        SetOfficeProgram(program);
        SetStartTimeLimit(3s);
        const int before = Children().size();
        try {
            CreateApplication();
            QFAIL("started");
        } catch (const std::runtime_error& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(reason), e.what());
        }
        QCOMPARE(Children().size(), before);
        QFile pid(pidFile);
        if (pid.open(QIODevice::ReadOnly)) // the sleeping grandchild went with its group
            QCOMPARE(GroupMembers(pid.readAll().trimmed().toInt()), 0);
        QCOMPARE(ProfileFolders().size(), 1);
    }

    void leftoverProfilesGoButALinkIsNeverFollowed()
    {
        QTemporaryDir temp; // the leftovers are planted in a temporary folder of our own
        QTemporaryDir user;
        QFile precious(user.filePath(QStringLiteral("precious.txt")));
        QVERIFY(precious.open(QIODevice::WriteOnly) && precious.write("keep") == 4);
        precious.close();
        const QString link = temp.filePath(QStringLiteral("tessivane-office-999999-Ab12Cd"));
        const QString stale = temp.filePath(QStringLiteral("tessivane-office-999999-Zz98Yy"));
        QVERIFY(QFile::link(user.path(), link));
        QVERIFY(QDir().mkpath(stale + QStringLiteral("/user")));
        QVERIFY(QFile::setPermissions(
            stale, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        const QString program = mFolder.filePath(QStringLiteral("quick-office"));
        WriteScript(program, "#!/bin/sh\nexit 3\n");
        SetOfficeProgram(program);
        const QByteArray systemTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, CreateApplication());
        if (systemTemp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", systemTemp);
        QVERIFY(precious.exists());
        QVERIFY(QFileInfo(link).isSymLink());
        QVERIFY(!QFileInfo::exists(stale));
    }

    void freshProfileRestartIsFollowed()
    {
        // The first start ends with 81 as a fresh profile can; the second is the office.
        const QString marker = mFolder.filePath(QStringLiteral("started-once"));
        const QString program = mFolder.filePath(QStringLiteral("office-81"));
        WriteScript(program,
            QStringLiteral("#!/bin/sh\nif [ ! -e '%1' ]; then touch '%1'; exit 81; fi\n"
                           "exec /usr/lib/libreoffice/program/soffice.bin \"$@\"\n")
                .arg(marker)
                .toUtf8());
        SetOfficeProgram(program);
        ApplicationPtr app = CreateApplication();
        QVERIFY(QFile::exists(marker));
        QVERIFY(!app->Version().isEmpty());
        app->Quit();
    }

    void hungInstanceFailsWithinItsLimit()
    {
        const QList<pid_t> offices = OfficeChildren();
        const QStringList profiles = ProfileFolders();
        // The caller's hook runs, on the caller's thread, while a call waits: also for one
        // that never returns, which the limit still ends.
        int waits = 0;
        bool waitsOnCaller = true;
        ApplicationPtr app = CreateApplication([&] {
            ++waits;
            waitsOnCaller = waitsOnCaller && QThread::currentThread() == qApp->thread();
        });
        const QString pipe = InstancePipeFile(NewProfile(profiles));
        QVERIFY(QFile::exists(pipe));
        std::shared_ptr<Workbook> book = app->workbooks().Open(mTemplate);
        app->Worksheets(1)->PutCell(4, 1, QStringLiteral("before"));
        SetCallTimeLimit(2s);
        const pid_t office = NewOfficeChild(offices);
        QVERIFY(office > 0);
        QCOMPARE(::kill(office, SIGSTOP), 0);
        waits = 0;
        try {
            app->Range_Select(QStringLiteral("B4")); // flushes the put, then selects
            QFAIL("a stopped instance answered");
        } catch (const SpreadsheetGone& e) {
            QVERIFY2(
                QString::fromUtf8(e.what()).contains(QStringLiteral("did not answer")), e.what());
        }
        QVERIFY(waits > 0);
        QVERIFY(waitsOnCaller);
        QVERIFY(!app->isAlive());
        QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, app->Worksheets(1)->PutCell(4, 1, 1));
        QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, book->SaveAs(mFolder.filePath("h.xls"), 56));
        QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, app->Quit());
        book.reset();
        app.reset();
        QCOMPARE(GroupMembers(office), 0);
        QCOMPARE(Leftovers().size(), 2); // the shared instance's profile and pipe
        QVERIFY(!QFile::exists(pipe));
        QVERIFY(!ScratchFolderLeft(office));
    }

    void killedInstanceIsGone()
    {
        const QList<pid_t> offices = OfficeChildren();
        const QStringList profiles = ProfileFolders();
        ApplicationPtr app = CreateApplication();
        const QString pipe = InstancePipeFile(NewProfile(profiles));
        QVERIFY(QFile::exists(pipe));
        std::shared_ptr<Workbook> book = app->workbooks().Open(mTemplate);
        const pid_t office = NewOfficeChild(offices);
        QVERIFY(office > 0);
        QCOMPARE(::kill(office, SIGKILL), 0);
        try {
            book->ActiveSheet();
            QFAIL("a killed instance answered");
        } catch (const SpreadsheetGone& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(QStringLiteral("LibreOffice")), e.what());
        }
        QVERIFY(!app->isAlive());
        QVERIFY_THROWS_EXCEPTION(SpreadsheetGone, app->Worksheets(1)->PutCell(4, 1, 1));
        book.reset();
        app.reset();
        QCOMPARE(Leftovers().size(), 2); // the shared instance's profile and pipe
        QVERIFY(!QFile::exists(pipe));
        QVERIFY(!ScratchFolderLeft(office));
    }

    void killedProgramTakesItsInstanceAlong()
    {
        QProcess holder;
        holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-instance")});
        QVERIFY(holder.waitForReadyRead(60000));
        const qint64 holderPid = holder.processId();
        const pid_t office = holder.readLine().trimmed().toInt();
        QVERIFY(office > 0);
        const QString profile = QStringLiteral("tessivane-office-%1-").arg(holderPid);
        QVERIFY(!QDir::temp().entryList({profile + '*'}, QDir::Dirs).isEmpty());
        holder.kill(); // SIGKILL: no destructor runs
        QVERIFY(holder.waitForFinished(10000));
        QTRY_VERIFY_WITH_TIMEOUT(GroupMembers(office) == 0, 10000);
        // The profile and pipe file of the killed program go with the next start.
        const QStringList pipe {QStringLiteral("OSL_PIPE_*_tessivane-%1-*").arg(holderPid)};
        QVERIFY(
            !QDir(QStringLiteral("/tmp")).entryList(pipe, QDir::System | QDir::Hidden).isEmpty());
        ApplicationPtr app = CreateApplication();
        QVERIFY(QDir::temp().entryList({profile + '*'}, QDir::Dirs).isEmpty());
        QVERIFY(
            QDir(QStringLiteral("/tmp")).entryList(pipe, QDir::System | QDir::Hidden).isEmpty());
        app->Quit();
    }

    void startUpCheckReleasesItsProbe()
    {
        const int before = Children().size();
        CheckExcelInstance();
        QVERIFY(mMessages.calls.isEmpty());
        WaitForBackgroundReleases();
        QCOMPARE(Children().size(), before);
        QCOMPARE(ProfileFolders().size(), 1);
    }

private:
    QTemporaryDir mFolder;
    QString mTemplate;
    bool mRealTemplate = false;
    ApplicationPtr mApp;
    ScriptedBoxes mMessages;
};

/// The helper mode of this program: start an instance, tell its process, and wait to be
/// killed.
int HoldInstance()
{
    const ApplicationPtr app = CreateApplication();
    std::printf("%d\n", int(OfficeChildren().value(0, -1)));
    std::fflush(stdout);
    ::pause();
    return 0;
}

int main(int argc, char* argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--hold-instance") == 0)
        return HoldInstance();
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    LibreOfficeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_libreoffice.moc"
