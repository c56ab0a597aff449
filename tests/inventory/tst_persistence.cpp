// The rows in the settings store: load at start-up, save on focus-out and close.

#include "support/filetesting.h"
#include "support/inventorytesting.h"

#include "inventory/persistence.h"
#include "inventory/rowsaver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QThread>

#include <functional>

#include <sys/stat.h>

using namespace tessivane;
using namespace tessivane::test;

namespace {

QDateTime naiveDate(int y, int m, int d, QTime time = QTime(0, 0))
{
    return QDateTime(QDate(y, m, d), time, Qt::UTC);
}

/// One row with a value of every kind in it.
void fillRow(InventoryTable& table, const QString& asset)
{
    table.AddNew();
    table.SetValue(0, asset);
    table.SetValue(1, QStringLiteral("Desk, oak; \"large\" @home\\x"));
    table.SetValue(2, QStringLiteral("  Büro 2 "));
    table.SetValue(3, QStringLiteral("Normal"));
    table.SetValue(4, QString());
    table.SetValue(5, 3);
    table.SetValue(6, 149.99);
    table.SetValue(7, 12.3456);
    table.SetValue(8, naiveDate(2015, 8, 11));
    table.SetValue(9, -4);
    table.SetValue(10, 7.5);
    table.SetValue(11, 1234567.5);
    table.SetValue(12, -0.0001);
}

} // namespace

class TestPersistence : public QObject
{
    Q_OBJECT

private slots:
    void init() { clearStore(); }
    void cleanupTestCase() { clearStore(); }

    void emptyStoreGivesSixteenBlankRows()
    {
        QStringList failures;
        auto table = loadStoredTable(&failures);
        QCOMPARE(table->RecordCount(), 16);
        QVERIFY(failures.isEmpty());
        for (int row = 0; row < 16; ++row) {
            for (int field = 0; field < 13; ++field) {
                const QVariant value = table->ValueAt(row, field);
                switch (kInventoryFields[field].type) {
                case FieldType::Text:
                    QCOMPARE(value, QVariant(QString()));
                    break;
                case FieldType::Date:
                    QVERIFY(!value.isValid());
                    break;
                default:
                    QCOMPARE(value.toDouble(), 0.0);
                    QVERIFY(value.isValid());
                }
            }
        }
    }

    void savedRowsComeBack_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::newRow("English (United States)") << "en_US";
        QTest::newRow("German: comma decimal mark") << "de_DE";
        QTest::newRow("French: blank grouping") << "fr_FR";
    }

    void savedRowsComeBack()
    {
        QFETCH(QString, locale);
        LocaleScope scope(locale);
        QStringList failures;
        {
            auto sixteen = loadStoredTable(&failures);
            saveRows(*sixteen);
        }
        auto table = makeTable(0);
        for (const char* asset : {"A1", "A2", "A3"})
            fillRow(*table, QString::fromLatin1(asset));
        table->SetValue(8, naiveDate(2011, 7, 22, QTime(9, 30, 15)));
        table->SetValue(6, 12.3456);
        table->Move(-1);
        table->SetValue(8, QVariant()); // a Null date comes back Null
        saveRows(*table);
        QCOMPARE(table->CurrentRow(), 0); // the save leaves the first row current

        auto loaded = loadStoredTable(&failures);
        QCOMPARE(loaded->RecordCount(), 3);
        for (int field = 0; field < 13; ++field) {
            QVariantList expected = column(*table, field);
            if (field == kInitialValue)
                expected[2] = 12.35; // the initial value comes back to whole cents
            QCOMPARE(column(*loaded, field), expected);
        }
        QVERIFY(failures.isEmpty());
        // Keys of the rows beyond the count stay where they were.
        QVERIFY(store()->contains(QStringLiteral("RowSource13 16")));
        QCOMPARE(store()->value(QStringLiteral("RowCount")).toString(), QStringLiteral("3"));
    }

    void storeHoldsLocaleFreeTexts()
    {
        LocaleScope german(QStringLiteral("de_DE"));
        auto table = makeTable(0);
        fillRow(*table, QStringLiteral("A1"));
        table->SetValue(8, naiveDate(2011, 7, 22, QTime(9, 30)));
        saveRows(*table);
        auto settings = store();
        QCOMPARE(
            settings->value(QStringLiteral("RowSource7 1")).toString(), QStringLiteral("149.99"));
        QCOMPARE(
            settings->value(QStringLiteral("RowSource8 1")).toString(), QStringLiteral("12.3456"));
        QCOMPARE(settings->value(QStringLiteral("RowSource12 1")).toString(),
            QStringLiteral("1234567.5"));
        QCOMPARE(settings->value(QStringLiteral("RowSource9 1")).toString(),
            QStringLiteral("2011-07-22T09:30:00"));
        QCOMPARE(settings->value(QStringLiteral("RowSource11 1")).toString(), QStringLiteral("8"));
        QCOMPARE(
            settings->value(QStringLiteral("RowSource13 1")).toString(), QStringLiteral("-0.0001"));
        // On disk the blank inside a key is escaped; the key still reads as written.
        QFile file(settings->fileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray content = file.readAll();
        QVERIFY(content.contains("[Tessivane]"));
        QVERIFY(content.contains("RowSource7%201=149.99"));
    }

    void textsOfEarlierStoresStillLoad_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("value");
        QTest::newRow("german money") << "de_DE" << 7 << "149,99" << QVariant(149.99);
        QTest::newRow("german initial value") << "de_DE" << 6 << "12,3456" << QVariant(12.35);
        QTest::newRow("german short date")
            << "de_DE" << 8 << "11.08.15" << QVariant(naiveDate(2015, 8, 11));
        QTest::newRow("us short date with time") << "en_US" << 8 << "8/11/2015 3:04 PM"
                                                 << QVariant(naiveDate(2015, 8, 11, QTime(15, 4)));
        QTest::newRow("comma under a point locale") << "en_US" << 7 << "149,99" << QVariant(149.0);
        QTest::newRow("rate with a fraction") << "en_US" << 10 << "2.5" << QVariant(2);
        QTest::newRow("not a date") << "en_US" << 8 << "someday" << QVariant();
    }

    void textsOfEarlierStoresStillLoad()
    {
        QFETCH(QString, locale);
        QFETCH(int, field);
        QFETCH(QString, text);
        QFETCH(QVariant, value);
        LocaleScope scope(locale);
        {
            auto settings = store();
            settings->setValue(QStringLiteral("RowCount"), QStringLiteral("1"));
            settings->setValue(QStringLiteral("RowSource%1 1").arg(field + 1), text);
        }
        QStringList failures;
        auto table = loadStoredTable(&failures);
        QCOMPARE(table->RecordCount(), 1);
        QCOMPARE(table->ValueAt(0, field), value);
        QVERIFY(failures.isEmpty());
    }

    void textsComeBackAsWritten()
    {
        const QStringList texts {QStringLiteral("Desk, oak"), QStringLiteral("a;b"),
            QStringLiteral("x=y"), QStringLiteral("@home"), QStringLiteral("@@"),
            QStringLiteral("\"quoted\""), QStringLiteral("back\\slash\\"),
            QStringLiteral("tab\there"), QStringLiteral("two\nlines"), QStringLiteral(" edge "),
            QStringLiteral("#hash"), QStringLiteral("[x]"), QStringLiteral("Straße €"),
            QStringLiteral("trailing\\"), QString()};
        auto table = makeTable(0);
        for (const QString& text : texts) {
            table->AddNew();
            table->SetValue(1, text);
        }
        saveRows(*table);
        QCOMPARE(column(*loadStoredTable(), 1), column(*table, 1));
    }

    // Whatever the file holds, the rows load as the settings store itself reads it.
    void handEditedFilesReadAsTheStoreReadsThem_data()
    {
        QTest::addColumn<QByteArray>("lines"); // after "[Tessivane]\nRowCount=1\n"
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("location");
        const auto row = [](const char* name, const char* lines, const char* description,
                             const char* location = "Hall") {
            QTest::newRow(name) << QByteArray(lines) + "RowSource3%201=Hall\n"
                                << QString::fromUtf8(description) << QString::fromUtf8(location);
        };
        row("plain", "RowSource2%201=Desk\n", "Desk");
        row("quoted", "RowSource2%201=\"Desk, oak\"\n", "Desk, oak");
        row("empty quotes", "RowSource2%201=\"\"\n", "");
        row("comment", "; note\nRowSource2%201=Desk\n", "Desk");
        row("continued", "RowSource2%201=Desk \\\n  oak\n", "Desk   oak");
        row("CR LF", "RowSource2%201=Desk\r\n", "Desk");
        row("list", "RowSource2%201=Desk, oak\n", "Desk, oak");
        row("semicolon", "RowSource2%201=Desk; oak\n", "Desk");
        row("escape", "RowSource2%201=\"Desk\\toak\"\n", "Desk\toak");
        row("twice", "RowSource2%201=A\nRowSource2%201=B\n", "B");
        row("blank in key", "RowSource2 1=Desk\n", "Desk");
        row("trailing blanks", "RowSource2%201=Desk   \n", "Desk");
        row("indented", "  RowSource2%201 = Desk \n", "Desk");
        row("at at", "RowSource2%201=@@Desk\n", "@Desk");
        row("quote then text", "RowSource2%201=\"Desk\" oak\n", "Deskoak");
        row("equals", "RowSource2%201=Desk=oak\n", "Desk=oak");
        row("quoted line break", "RowSource2%201=\"Desk\n oak\"\n", "Desk\n oak");
        row("window layout between",
            "RowSource2%201=Desk\n[WindowLayout]\nMainWindow\\Size=@Size(900 500)\n[Tessivane]\n",
            "Desk");
        row("folder with a line break",
            "RowSource2%201=Desk\n[Folders]\nSave=\"a\n[b]\"\n[Tessivane]\n", "Desk");
        row("section twice", "RowSource2%201=Desk\n[Tessivane]\nRowSource2%201=Oak\n", "Oak");
        // The import's remembered columns have a section of their own.
        row("another section after", "RowSource2%201=Desk\n[ImportColumns]\nab12=\"0,-1\"\n",
            "Desk", "");
        row("escaped escape at the end", "RowSource2%201=Desk\\\\\n", "Desk\\");
        row("not text", "RowSource2%201=@Invalid()\n", "");
        // The escaped quote leaves the first quote open: the next lines belong to this value.
        row("escaped quote", "RowSource2%201=\"a\\\"\n", "a\"\nRowSource3%201=Hall\n", "");
    }

    void handEditedFilesReadAsTheStoreReadsThem()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, description);
        QFETCH(QString, location);
        QFile file(store()->fileName());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Tessivane]\nRowCount=1\n" + lines);
        file.close();
        const auto table = loadStoredTable();
        QCOMPARE(table->RecordCount(), 1);
        QCOMPARE(table->ValueAt(0, 1).toString(), description);
        QCOMPARE(table->ValueAt(0, 2).toString(), location);
    }

    void laterSavesFollowEarlierOnes()
    {
        QSemaphore firstStarted, firstMayEnd;
        QList<int> written; // the row counts, in the order written
        RowSaver saver([&](const RowValues& rows) {
            written.append(rows.size());
            if (written.size() == 1) {
                firstStarted.release();
                firstMayEnd.acquire();
            }
            writeRows(rows);
        });
        auto table = makeTable(3);
        saver.save(*table, {});
        firstStarted.acquire();
        table->AddNew();
        saver.save(*table, {}); // waits, and is replaced by the next save
        table->AddNew();
        table->SetValue(0, QStringLiteral("A5"));
        saver.save(*table, {});
        table->SetValueAt(4, 0, QStringLiteral("later")); // after the save took its rows
        QCOMPARE(table->CurrentRow(), 0);
        QCOMPARE(written, QList<int> {3}); // nothing else while the first write lasts
        firstMayEnd.release();
        saver.waitForAll();
        QCOMPARE(written, (QList<int> {3, 5}));
        QCOMPARE(store()->value(QStringLiteral("RowCount")).toString(), QStringLiteral("5"));
        QCOMPARE(store()->value(QStringLiteral("RowSource1 5")).toString(), QStringLiteral("A5"));
    }

    void onlyRowsTheFileDoesNotHoldAreWritten()
    {
        // A rows' write puts a new file in place: its inode tells whether one happened.
        const auto fileId = [] {
            struct stat info = {};
            return ::stat(QFile::encodeName(store()->fileName()).constData(), &info) == 0
                ? info.st_ino
                : ino_t(0);
        };
        auto table = makeTable(3);
        fillRow(*table, QStringLiteral("A4")); // every kind of value, as written and read back
        saveRows(*table);
        const ino_t written = fileId();
        saveRows(*table);
        QCOMPARE(fileId(), written); // the same rows: left alone
        // Loading reads a blank number as 0, which its first save writes; the next start
        // loads and saves the same texts.
        saveRows(*loadStoredTable());
        const ino_t normalised = fileId();
        saveRows(*loadStoredTable());
        QCOMPARE(fileId(), normalised);

        const std::function<void()> changes[] = {
            [&] { table->SetValueAt(1, 0, QStringLiteral("A2 changed")); },
            [&] { table->AddNew(); },
            [&] { table->SetValueAt(3, 8, QVariant()); },
        };
        ino_t before = normalised;
        for (const auto& change : changes) {
            change();
            saveRows(*table);
            QVERIFY(fileId() != before);
            before = fileId();
            QCOMPARE(loadStoredTable()->RecordCount(), table->RecordCount());
        }
    }

    void aFailedWriteIsHandedBackThroughTheEventLoop()
    {
        RowSaver saver([](const RowValues&) { throw std::runtime_error("The disk is full."); });
        auto table = makeTable(2);
        QStringList failures;
        QThread* reportedOn = nullptr;
        saver.save(*table, [&](const QString& description) {
            failures.append(description);
            reportedOn = QThread::currentThread();
        });
        saver.waitForAll();
        QVERIFY(failures.isEmpty()); // not from the writing thread
        QCoreApplication::processEvents();
        QCOMPARE(failures, QStringList {QStringLiteral("The disk is full.")});
        QCOMPARE(reportedOn, QThread::currentThread());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, saver.saveAndWait(*table));
    }

    void emptyListIsNormal()
    {
        QStringList failures;
        auto empty = makeTable(0);
        saveRows(*empty);
        QCOMPARE(store()->value(QStringLiteral("RowCount")).toString(), QStringLiteral("0"));
        auto table = loadStoredTable(&failures);
        QCOMPARE(table->RecordCount(), 0);
        QVERIFY(failures.isEmpty());
    }

    void rowCount_data()
    {
        QTest::addColumn<QString>("count");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("reported");
        // The store below holds three rows.
        QTest::newRow("sane") << "2" << 2 << false;
        QTest::newRow("half to even") << "2.5" << 2 << false;
        QTest::newRow("none") << "0" << 0 << false;
        QTest::newRow("negative") << "-5" << 3 << true;
        QTest::newRow("no number") << "abc" << 3 << true;
        QTest::newRow("empty") << "" << 3 << true;
        QTest::newRow("number and more") << "2 rows" << 3 << true;
        QTest::newRow("just above the bound") << "100001" << 3 << true;
        QTest::newRow("beyond 32 bits") << "4294967296" << 3 << true;
        QTest::newRow("beyond any number") << "1E400" << 3 << true;
        QTest::newRow("twenty digits") << "99999999999999999999" << 3 << true;
    }

    void rowCount()
    {
        QFETCH(QString, count);
        QFETCH(int, rows);
        QFETCH(bool, reported);
        QStringList failures;
        {
            auto three = makeTable(3);
            saveRows(*three);
            store()->setValue(QStringLiteral("RowCount"), count);
        }
        auto table = loadStoredTable(&failures);
        QCOMPARE(table->RecordCount(), rows);
        QCOMPARE(failures.size(), reported ? 1 : 0);
        if (reported) {
            QVERIFY(failures[0].contains(count.left(40)));
            QCOMPARE(table->ValueAt(2, 0).toString(), QStringLiteral("A3"));
        }
        saveRows(*table); // the next save writes the count of the rows loaded
        QCOMPARE(store()->value(QStringLiteral("RowCount")).toString(), QString::number(rows));
    }

    void aLongerListThatAnOlderVersionKeptLoadsWhole()
    {
        // Every row stored with all its fields, as the store is written, a few past the limit.
        const int rows = kMaxStoredRows + 3;
        QByteArray bytes = "[Tessivane]\nRowCount=" + QByteArray::number(rows) + '\n';
        for (int row = 1; row <= rows; ++row) {
            for (int field = 1; field <= 13; ++field)
                bytes += "RowSource" + QByteArray::number(field) + "%20" + QByteArray::number(row)
                    + '=' + (field == 1 ? "A" + QByteArray::number(row) : QByteArray()) + '\n';
        }
        QVERIFY(QDir().mkpath(QFileInfo(store()->fileName()).path()));
        QVERIFY(WriteAll(store()->fileName(), bytes));
        // What the start-up loads, without the time of a table of that length.
        const StoredRows stored;
        QString problem;
        QCOMPARE(stored.count(problem), rows);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCOMPARE(stored.value(0, rows).toString(), QStringLiteral("A100003"));
    }

    void aStoreWriteCutShortKeepsTheRowsSavedBefore()
    {
        auto before = makeTable(3);
        saveRows(*before);
        const QByteArray old = ReadAll(store()->fileName());
        // Files may not grow much past the one there: the next write fails part way, as on a
        // disk that fills, and the settings store would not have said so.
        auto longer = makeTable(40);
        QString failure;
        WithFileSizeLimit(rlim_t(old.size() + 100), [&] {
            try {
                saveRows(*longer);
            } catch (const std::exception& e) {
                failure = QString::fromUtf8(e.what());
            }
        });
        QVERIFY(failure.contains(QStringLiteral("could not be written")));
        QCOMPARE(ReadAll(store()->fileName()), old);
        QCOMPARE(QDir(QFileInfo(store()->fileName()).path()).entryList(QDir::Files),
            QStringList {QFileInfo(store()->fileName()).fileName()});
        QCOMPARE(loadStoredTable()->RecordCount(), 3);
    }

    void textsInTheWindowsCodePageAreKept()
    {
        QFile file(store()->fileName());
        QVERIFY(QDir().mkpath(QFileInfo(file).path()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Tessivane]\nRowCount=1\nRowSource2%201=Caf\xe9 \x80\x35\n"
                   "RowSource3%201=na\xc3\xafve Stra\xdf\x65\nRowSource3%202=M\xfcller\n");
        file.close();
        QStringList failures;
        auto table = loadStoredTable(&failures);
        QCOMPARE(table->ValueAt(0, 1).toString(), QStringLiteral("Café €5"));
        QCOMPARE(table->ValueAt(0, 2).toString(), QStringLiteral("naïve Straße"));
        saveRows(*table);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        QVERIFY(written.contains("=Caf\xc3\xa9 \xe2\x82\xac\x35\n"));
        QVERIFY(written.contains("=na\xc3\xafve Stra\xc3\x9f\x65\n"));
        QVERIFY(written.contains("=M\xc3\xbcller\n")); // a row beyond the count as well
        QVERIFY(!written.contains("\xef\xbf\xbd")); // no replacement characters
    }

    void onlyRealWriteFailuresAreReported_data()
    {
        QTest::addColumn<bool>("folder"); // a folder in the file's place, else random bytes
        QTest::newRow("a file of random bytes") << false;
        QTest::newRow("a folder in the file's place") << true;
    }

    void onlyRealWriteFailuresAreReported()
    {
        QFETCH(bool, folder);
        const QString fileName = store()->fileName();
        QFile::remove(fileName);
        QVERIFY(QDir().mkpath(QFileInfo(fileName).path()));
        if (folder) {
            QVERIFY(QDir().mkpath(fileName));
        } else {
            QFile file(fileName);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QRandomGenerator random(9);
            for (int i = 0; i < 4096; ++i)
                file.putChar(char(random.bounded(256)));
        }
        QStringList failures;
        loadStoredTable(&failures); // the program starts on it
        auto two = makeTable(2);
        if (folder) {
            QVERIFY_THROWS_EXCEPTION(std::exception, saveRows(*two));
            QVERIFY(QDir(fileName).removeRecursively());
            return;
        }
        QVERIFY_THROWS_NO_EXCEPTION(saveRows(*two));
        QFile file(fileName); // on disk, not only in the store's memory
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray written = file.readAll();
        QVERIFY(written.contains("\n[Tessivane]\n"));
        QVERIFY(written.contains("\nRowCount=2\n"));
        QVERIFY(written.contains("\nRowSource1%202=A2\n"));
    }
};

TESSIVANE_CORE_TEST_MAIN(TestPersistence)
#include "tst_persistence.moc"
