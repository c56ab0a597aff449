// Saving the generated workbook as PDF, .xlsx and .ods through the real LibreOffice: each kind
// read back without LibreOffice, and failed conversions that leave the user's file as it was.
#include "support/filetesting.h"
#include "support/officeprocesses.h"

#include "office/conversion/converter.h"
#include "office/services/libreoffice.h"
#include "office/services/services.h"
#include "resources/resources.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessivane;
using namespace tessivane::test;
using namespace std::chrono_literals;

namespace {

constexpr int kRows = 60;

QJsonObject ReadConverted(const QString& path, const QString& kind)
{
    QProcess reader;
    reader.start(QStringLiteral("/usr/bin/python3"),
        {QStringLiteral(TESTS_DIR "/readconverted.py"), path, kind});
    if (!reader.waitForFinished(60000) || reader.exitCode() != 0)
        qWarning("readconverted.py: %s", reader.readAllStandardError().constData());
    return QJsonDocument::fromJson(reader.readAllStandardOutput()).object();
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

/// Records the names created in a folder, read back once the work is done.
class CreatedNames
{
public:
    explicit CreatedNames(const QString& folder)
        : mFd(inotify_init1(IN_NONBLOCK))
    {
        inotify_add_watch(mFd, QFile::encodeName(folder).constData(), IN_CREATE | IN_MOVED_TO);
    }
    ~CreatedNames() { ::close(mFd); }
    QStringList names() const
    {
        QStringList found;
        alignas(inotify_event) char buffer[1 << 16];
        for (ssize_t length; (length = ::read(mFd, buffer, sizeof buffer)) > 0;)
            for (char* at = buffer; at < buffer + length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(at);
                found << QFile::decodeName(event->name);
                at += sizeof(inotify_event) + event->len;
            }
        return found;
    }

private:
    int mFd;
};

/// Living office processes started by this test, and the profiles they keep.
QStringList OfficeLeftovers()
{
    QStringList found = ProfileFolders();
    for (const pid_t office : OfficeChildren())
        found << QStringLiteral("process %1").arg(office);
    return found;
}

QString SerialOf(int row)
{
    return QStringLiteral("SN-%1").arg(row, 4, 10, QLatin1Char('0'));
}

} // namespace

class ConverterTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(mSourceFolder.isValid());
        const QString templatePath = mSourceFolder.filePath(QStringLiteral("template.xlt"));
        QVERIFY(WriteAll(templatePath, templateBytes()));
        mSource = mSourceFolder.filePath(QStringLiteral("drimak12345678.xls"));
        ApplicationPtr app = startLibreOffice(mServices);
        auto book = app->workbooks().Open(templatePath);
        auto sheet = app->Worksheets(1);
        for (int row = 1; row <= kRows; ++row) {
            sheet->PutCell(row + 3, 1, SerialOf(row));
            sheet->PutCell(row + 3, 2, QStringLiteral("Item %1").arg(row));
            sheet->PutCell(row + 3, 7, 1000.0 + row);
        }
        app->Range_Select(QStringLiteral("B4"));
        book->SaveAs(mSource, 56);
        book->Close();
        app->Quit();
        QVERIFY(QFile::remove(templatePath));
    }

    void init()
    {
        mServices.office.program.clear();
        mServices.office.callLimit = 30s;
    }

    void cleanup() { QCOMPARE(OfficeLeftovers(), QStringList()); }

    void convertsToEachKind_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("replaces");
        QTest::newRow("pdf") << "inventory.pdf"
                             << "pdf" << false;
        QTest::newRow("xlsx over an older file") << "inventory.xlsx"
                                                 << "xlsx" << true;
        QTest::newRow("ods, upper-case extension") << "inventory.ODS"
                                                   << "ods" << false;
    }
    void convertsToEachKind()
    {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(bool, replaces);
        QTemporaryDir out;
        const QString target = out.filePath(name);
        // A new file gets the permissions of the user's mask, a replaced one keeps its own.
        ::umask(022);
        QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser
            | QFile::WriteUser | QFile::ReadGroup | QFile::ReadOther;
        if (replaces) {
            QVERIFY(WriteAll(target, "older"));
            permissions = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser
                | QFile::ReadGroup;
            QVERIFY(QFile::setPermissions(target, permissions));
        }

        const CreatedNames created(out.path());

        convertWorkbook(mServices, mSource, target);

        QCOMPARE(QFile::permissions(target), permissions);
        // The office's own lock and scratch files never appear beside the target: only the
        // target and the temporary file that replaces it.
        for (const QString& created : created.names())
            QVERIFY2(created == name || created.startsWith(name + '.'), qPrintable(created));
        // Nothing else next to the result, nor next to the workbook (no lock file, no scratch
        // folder).
        QCOMPARE(Entries(out.path()), QStringList {name});
        QCOMPARE(Entries(mSourceFolder.path()), QStringList {QFileInfo(mSource).fileName()});
        const QJsonObject read = ReadConverted(target, kind);
        if (kind == "pdf") {
            QCOMPARE(read["header"].toString(), QStringLiteral("%PDF-"));
            // Landscape Letter, one page wide: the rows run on over pages that each hold
            // every column.
            QVERIFY2(read["pageSize"].toString().startsWith("792 x 612"),
                qPrintable(read["pageSize"].toString()));
            const QJsonArray texts = read["texts"].toArray();
            QVERIFY2(texts.size() >= 2, qPrintable(QString::number(texts.size())));
            QVERIFY(texts.first().toString().contains(SerialOf(1)));
            QVERIFY(texts.last().toString().contains(SerialOf(kRows)));
            QVERIFY(texts.last().toString().contains(QStringLiteral("Item %1").arg(kRows)));
        } else if (kind == "xlsx") {
            QCOMPARE(read["sheets"].toArray(), QJsonArray {"Equipment Inventory List"});
            const QJsonObject cells = read["cells"].toObject();
            QCOMPARE(cells["A4"].toString(), SerialOf(1));
            QCOMPARE(cells[QStringLiteral("B%1").arg(kRows + 3)].toString(),
                QStringLiteral("Item %1").arg(kRows));
            QCOMPARE(cells["G5"].toString(), QStringLiteral("1002"));
            QCOMPARE(read["freeze"].toString(), QStringLiteral("G4"));
            QVERIFY(read["landscape"].toBool());
        } else {
            QCOMPARE(read["first"].toString(), QStringLiteral("mimetype"));
            QVERIFY(read["stored"].toBool());
            QCOMPARE(read["mimetype"].toString(),
                QStringLiteral("application/vnd.oasis.opendocument.spreadsheet"));
            QVERIFY(read["content"].toString().contains(SerialOf(kRows)));
        }
    }

    void failedConversionKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::newRow("office missing") << "missing";
        QTest::newRow("vanished workbook") << "vanished";
        QTest::newRow("hung office") << "hung";
    }
    void failedConversionKeepsTheOldFile()
    {
        QFETCH(QString, failure);
        QTemporaryDir out;
        const QString target = out.filePath(QStringLiteral("old.pdf"));
        const QByteArray old("the user's own file");
        QVERIFY(WriteAll(target, old));
        QString source = mSource;

        if (failure == "missing") {
            mServices.office.program = out.filePath(QStringLiteral("no-such-office"));
        } else if (failure == "vanished") {
            source = out.filePath(QStringLiteral("gone.xls"));
        } else {
            mServices.office.callLimit = 1ms;
        }
        QString description;
        try {
            convertWorkbook(mServices, source, target);
        } catch (const std::runtime_error& e) {
            description = QString::fromStdString(e.what());
        }

        QVERIFY2(!description.isEmpty(), "the conversion did not fail");
        qInfo("%s", qPrintable(description));
        QCOMPARE(ReadAll(target), old);
        QCOMPARE(Entries(out.path()), QStringList {QStringLiteral("old.pdf")});
        QCOMPARE(Entries(mSourceFolder.path()), QStringList {QFileInfo(mSource).fileName()});
    }

    void onlyAWholeFileGoesInPlace_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<bool>("whole");
        const QByteArray pdf = "%PDF-1.7\n" + QByteArray(3000, 'p') + "\n%%EOF\n";
        const QByteArray zip
            = "PK\x03\x04" + QByteArray(3000, 'z') + "PK\x05\x06" + QByteArray(18, '\0');
        QTest::newRow("a PDF") << "a.pdf" << pdf << true;
        QTest::newRow("a PDF cut short") << "a.pdf" << pdf.left(2000) << false;
        QTest::newRow("a workbook") << "a.xlsx" << zip << true;
        QTest::newRow("a workbook cut short") << "a.ods" << zip.left(2000) << false;
        QTest::newRow("an empty file") << "a.ods" << QByteArray() << false;
    }
    void onlyAWholeFileGoesInPlace()
    {
        QFETCH(QString, target);
        QFETCH(QByteArray, written);
        QFETCH(bool, whole);
        QTemporaryDir out;
        const QString path = out.filePath(QStringLiteral("converted"));
        QVERIFY(WriteAll(path, written));
        bool passed = true;
        try {
            checkConvertedFile(path, target);
        } catch (const std::runtime_error& e) {
            passed = false;
            QVERIFY(QString::fromUtf8(e.what()).contains(target));
        }
        QCOMPARE(passed, whole);
    }

    // The first sheet as text for an import: only the rows the list can hold, a stop that ends
    // the office at once, and a workbook that asks for a password named so.
    void firstSheetAsText_data()
    {
        QTest::addColumn<QString>("workbook"); // "generated" or "password"
        QTest::addColumn<int>("maxRows");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("says"); // part of the failure; empty: converted
        QTest::newRow("every row") << "generated" << 0 << false << "";
        QTest::newRow("the rows the list holds") << "generated" << 20 << false << "";
        QTest::newRow("stopped") << "generated" << 0 << true << "was stopped";
        QTest::newRow("password") << "password" << 0 << false << "is protected by a password";
    }

    void firstSheetAsText()
    {
        QFETCH(QString, workbook);
        QFETCH(int, maxRows);
        QFETCH(bool, cancel);
        QFETCH(QString, says);
        QTemporaryDir out;
        QString source = mSource;
        if (workbook == "password") {
            source = out.filePath(QStringLiteral("locked.ods"));
            QProcess maker;
            maker.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral(TESTS_DIR "/makelockedods.py"), source});
            QVERIFY(maker.waitForFinished(30000) && maker.exitCode() == 0);
        }
        int asked = 0;
        QString failure;
        FirstSheetCsv sheet;
        try {
            // Asked a few times while the office works, then told to stop.
            sheet = convertFirstSheetToCsv(
                mServices, source, out.path(), maxRows, [&] { return cancel && ++asked > 3; });
        } catch (const std::runtime_error& e) {
            failure = QString::fromUtf8(e.what());
        }
        if (!says.isEmpty()) {
            QVERIFY2(failure.contains(says), qPrintable(failure));
            return;
        }
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        const QList<QByteArray> lines = ReadAll(sheet.path).trimmed().split('\n');
        const int rows = kRows + 3; // the title and headings above the list
        QCOMPARE(lines.size(), maxRows > 0 ? maxRows : rows);
        QCOMPARE(sheet.rowsLeftOut, maxRows > 0 ? rows - maxRows : 0);
        QCOMPARE(Entries(mSourceFolder.path()), QStringList {QFileInfo(mSource).fileName()});
    }

    void onlyTheNewKindsAreConverted()
    {
        QTemporaryDir out;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error,
            convertWorkbook(mServices, mSource, out.filePath(QStringLiteral("a.xls"))));
        QVERIFY(Entries(out.path()).isEmpty());
    }

private:
    Services mServices;
    QTemporaryDir mSourceFolder;
    QString mSource;
};

QTEST_GUILESS_MAIN(ConverterTest)
#include "tst_converter.moc"
