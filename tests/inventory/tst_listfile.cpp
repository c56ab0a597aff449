// The list in and out of files: reading CSV and tab-separated text (separators, quoting,
// encodings, headers, refusals), a generated workbook's sheet, and the export read back.

#include "support/filetesting.h"
#include "support/inventorytesting.h"

#include "inventory/csvtext.h"
#include "inventory/listedit.h"
#include "inventory/listfile.h"

#include <QTemporaryDir>

using namespace tessivane;
using namespace tessivane::test;

namespace {

/// A row as the store writes its values, "|" between fields, the empty ones at the end left off.
QString rowText(const QVector<QVariant>& row)
{
    QStringList texts;
    for (const QVariant& value : row)
        texts.append(StoredText(value));
    while (!texts.isEmpty() && texts.last().isEmpty())
        texts.removeLast();
    return texts.join(QLatin1Char('|'));
}

QStringList rowTexts(const ListRows& rows)
{
    QStringList texts;
    for (const QVector<QVariant>& row : rows)
        texts.append(rowText(row));
    return texts;
}

/// Refusals as "line:field".
QStringList refusalTexts(const QList<RowRefusal>& refused)
{
    QStringList texts;
    for (const RowRefusal& refusal : refused)
        texts.append(QStringLiteral("%1:%2").arg(refusal.line).arg(refusal.field));
    return texts;
}

const QByteArray kHeader = "Asset or serial number,Item description(make and model),Location,"
                           "Condition,Vendor,Years of service left,Initial value,Down payment,"
                           "Date purchased or leased,Loan term in years,Loan rate(%),"
                           "Monthly operating costs,Expected value at end of loan term\r\n";

} // namespace

class TestListFile : public QObject
{
    Q_OBJECT

private slots:
    void reading_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("refused");
        QTest::addColumn<int>("blank");

        QTest::newRow("comma, header, BOM, CRLF")
            << "\xEF\xBB\xBF" + kHeader
                + "A1,Desk,Office,Normal,John,2,149.99,0,2015-08-11,1,5,10,0\r\n"
            << QStringList {"A1|Desk|Office|Normal|John|2|149.99|0|2015-08-11|1|5|10|0"}
            << QStringList() << 0;
        QTest::newRow("semicolon, captions in any case, other order")
            << QByteArray("LOCATION;asset or serial number;Loan rate;Initial Value\n"
                          "Office;A1;7;12.3456\nStore;A2;;\n")
            << QStringList {"A1||Office||||12.3456||||7", "A2||Store"} << QStringList() << 0;
        QTest::newRow("tab, no header: field order, extra columns left out")
            << QByteArray("A1\tDesk\tOffice\tNormal\tJohn\t2\t1\t0\t\t0\t0\t0\t0\textra\n")
            << QStringList {"A1|Desk|Office|Normal|John|2|1|0||0|0|0|0"} << QStringList() << 0;
        QTest::newRow("quoted tab, quote, line break and separator")
            << QByteArray("\"A,1\",\"say \"\"hi\"\"\",\"two\nlines\",\"a\tb\"\nA2,x\r\nA3,\"y\"\n")
            << QStringList {"A,1|say \"hi\"|two\nlines|a\tb", "A2|x", "A3|y"} << QStringList() << 0;
        QTest::newRow("a quote that opens no quoted field")
            << QByteArray("\"Arc\" lamp,Desk \"B\"\n") << QStringList {"\"Arc\" lamp|Desk \"B\""}
            << QStringList() << 0;
        QTest::newRow("UTF-8 without BOM") << QByteArray("Caf\xC3\xA9,\xE2\x82\xAC 5\n")
                                           << QStringList {"Café|€ 5"} << QStringList() << 0;
        QTest::newRow("Windows-1252") << QByteArray("Caf\xE9,\x80 5,\x93quoted\x94\n")
                                      << QStringList {"Café|€ 5|“quoted”"} << QStringList() << 0;
        QTest::newRow("refusals with their lines and fields, blank rows left out") << kHeader
                + "A1,,,,,2.5\r\n\"A2\nsecond line\",,,,,,,,not a date\r\nA3\r\n,,,,,0,0\r\n"
                  ",,,,\r\n"
                + QByteArray(51, 'x')
                + "\r\n" << QStringList {"A3"} << QStringList {"2:5", "3:8", "8:0"} << 2;
        QTest::newRow("money and dates in the user's form")
            << QByteArray("Asset or serial number,Initial value,Date purchased or leased\n"
                          "A1,\"$1,234.50\",8/11/2015\nA2,(5.00),2015-08-11T10:30:00\n")
            << QStringList {"A1||||||1234.5||2015-08-11", "A2||||||-5||2015-08-11T10:30:00"}
            << QStringList() << 0;
    }

    void reading()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, refused);
        QFETCH(int, blank);
        const ListRead read = readListText(bytes);
        QCOMPARE(rowTexts(read.rows), rows);
        QCOMPARE(refusalTexts(read.refused), refused);
        QCOMPARE(read.blankRows, blank);
    }

    void pointNumbersInAnyLocale()
    {
        // A file's "1.234" is one and a bit, also where the point groups thousands.
        LocaleScope german(QStringLiteral("de_DE"));
        const ListRead read
            = readListText("Asset or serial number;Initial value;Years of "
                           "service left\nA1;1.234;3\nA2;1.000,25;1,5\nA3;1.000,25\n");
        QCOMPARE(rowTexts(read.rows), (QStringList {"A1|||||3|1.234", "A3||||||1000.25"}));
        QCOMPARE(refusalTexts(read.refused), (QStringList {"3:5"})); // 1,5 years: a fraction
    }

    void delimiter_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("delimiter");
        QTest::newRow("comma") << "a,b,c\n1,2,3\n"
                               << ",";
        QTest::newRow("semicolon with decimal commas") << "a;b\n1,5;2,5\n"
                                                       << ";";
        QTest::newRow("tab with commas in values") << "a\tb,c\n1\t2,3\n"
                                                   << "\t";
        QTest::newRow("quoted separators do not count") << "\"a;b\",c\n\"1;2\",3\n"
                                                        << ",";
        QTest::newRow("one column") << "a\nb\n"
                                    << ",";
    }

    void delimiter()
    {
        QFETCH(QString, text);
        QFETCH(QString, delimiter);
        QCOMPARE(QString(detectDelimiter(text)), delimiter);
    }

    void exportReadsBackAsTheSameList()
    {
        ListRows rows;
        QVector<QVariant> row = blankListRow();
        row[0] = QStringLiteral("A,1 \"quoted\"");
        row[1] = QStringLiteral("two\r\nlines\tand a tab");
        row[5] = 3;
        row[6] = 12.3456;
        row[8] = QDateTime(QDate(2015, 8, 11), QTime(0, 0), Qt::UTC);
        row[10] = -7;
        rows << row << blankListRow(); // the blank row is left out
        row[8] = QDateTime(QDate(1999, 12, 31), QTime(23, 59, 58), Qt::UTC);
        row[12] = 922337203685.4775;
        rows << row;

        const QByteArray csv = listCsv(rows);
        QVERIFY(csv.startsWith("\xEF\xBB\xBF" + kHeader));
        QVERIFY(csv.contains(",2015-08-11,"));
        QVERIFY(csv.endsWith("\r\n"));
        const ListRead read = readListText(csv);
        QCOMPARE(read.refused.size(), 0);
        QCOMPARE(read.rows, (ListRows {rows[0], rows[2]}));
        LocaleScope german(QStringLiteral("de_DE"));
        QCOMPARE(readListText(csv).rows, (ListRows {rows[0], rows[2]}));
    }

    // Formula-like text goes out guarded, so that a spreadsheet shows it as text, and comes
    // back as it was; so does text that itself starts with apostrophes.
    void formulaLikeTextIsGuardedAndComesBack_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("link") << "=HYPERLINK(\"http://x\",\"click\")"
                              << QByteArray("\"'=HYPERLINK(\"\"http://x\"\",\"\"click\"\")\"");
        QTest::newRow("sum") << "=1+1" << QByteArray("'=1+1");
        QTest::newRow("plus") << "+49 30 1234" << QByteArray("'+49 30 1234");
        QTest::newRow("minus") << "-SN-5" << QByteArray("'-SN-5");
        QTest::newRow("at") << "@SUM(A1)" << QByteArray("'@SUM(A1)");
        QTest::newRow("tab") << "\tx" << QByteArray("'\tx");
        QTest::newRow("carriage return") << "\rx" << QByteArray("\"'\rx\"");
        QTest::newRow("apostrophe, text") << "'quoted" << QByteArray("'quoted");
        QTest::newRow("apostrophe, formula") << "'=1" << QByteArray("''=1");
        QTest::newRow("two apostrophes, formula") << "''-1" << QByteArray("'''-1");
        QTest::newRow("apostrophe alone") << "'" << QByteArray("'");
        QTest::newRow("equals inside") << "a=b" << QByteArray("a=b");
    }

    void formulaLikeTextIsGuardedAndComesBack()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, written);
        QVector<QVariant> row = blankListRow();
        row[1] = value;
        row[6] = -12.5; // a number is no text: written as it is
        const QByteArray csv = listCsv({row});
        QVERIFY2(csv.contains("\r\n," + written + ",,,,0,-12.5,"), csv.constData());
        const ListRead read = readListText(csv);
        QCOMPARE(read.refused.size(), 0);
        QCOMPARE(read.rows, (ListRows {row}));
    }

    // However many lines a file holds, what is kept stays bounded: the refused rows listed up
    // to a limit and counted beyond it, the reading stopped at the list's limit, or at once when
    // its progress says stop.
    void theReadingStaysWithinBounds_data()
    {
        QTest::addColumn<int>("good");
        QTest::addColumn<int>("refused");
        QTest::addColumn<int>("stopAfterReports"); // 0: never
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("moreRefused");
        QTest::addColumn<QString>("note");
        QTest::newRow("refusals past the listed")
            << 3 << kMaxListedRefusals + 5 << 0 << 3 << 5 << "";
        QTest::newRow("rows past the limit")
            << kMaxStoredRows + 2 << 0 << 0 << kMaxStoredRows << 0
            << QStringLiteral("line %L1 on were left out").arg(kMaxStoredRows + 2);
        QTest::newRow("stopped") << 20000 << 0 << 3 << -1 << 0 << "";
    }

    void theReadingStaysWithinBounds()
    {
        QFETCH(int, good);
        QFETCH(int, refused);
        QFETCH(int, stopAfterReports);
        QFETCH(int, rows);
        QFETCH(int, moreRefused);
        QFETCH(QString, note);
        QByteArray text = kHeader;
        for (int i = 0; i < refused; ++i)
            text += "SN,Desk,,,,many\r\n";
        for (int i = 0; i < good; ++i)
            text += "SN-" + QByteArray::number(i) + ",Desk\r\n";
        int reports = 0;
        const ReadProgress progress = [&](qint64 done, qint64 total) {
            return done <= total && (stopAfterReports == 0 || ++reports < stopAfterReports);
        };
        if (rows < 0) {
            QVERIFY_THROWS_EXCEPTION(ReadCancelled, readListText(text, progress));
            QCOMPARE(reports, stopAfterReports);
            return;
        }
        const ListRead read = readListText(text, progress);
        QCOMPARE(read.rows.size(), rows);
        QCOMPARE(read.refused.size(), qMin(refused, kMaxListedRefusals));
        QCOMPARE(read.moreRefused, moreRefused);
        QVERIFY2(read.notes.join(' ').contains(note), qPrintable(read.notes.join(' ')));
    }

    void generatedSheet()
    {
        // As the office writes the first sheet of a workbook this program made: the title and
        // headings above row 4, computed columns between the list's.
        const QByteArray csv = "EQUIPMENT INVENTORY LIST,,,,\n,Physical Condition,,,,,Financial "
                               "Status\nAsset or serial number,Item description,...\n"
                               "A1,Desk,Office,Normal,John,2,149.99,0,08/11/2015,1,0.05,12.5,10,"
                               "22.5,0,1,2,3\n"
                               ",,,,,,,,,,,0,,0,,0,0,0\n"
                               "A2,,,,,,,,,,8%,,,,,\n";
        const ListRead read = readListSheet({QString::fromLatin1(kSheetName), csv});
        QCOMPARE(rowTexts(read.rows),
            (QStringList {
                "A1|Desk|Office|Normal|John|2|149.99|0|2015-08-11|1|5|10|0", "A2||||||||||8"}));
        QCOMPARE(read.blankRows, 1);
        // Any other sheet is a plain list.
        QCOMPARE(rowTexts(readListSheet({QStringLiteral("Sheet1"), "A1,Desk\n"}).rows),
            (QStringList {"A1|Desk"}));
    }

    void unreadableFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing") << QByteArray() << "there is no such file";
        QTest::newRow("empty") << QByteArray("\r\n \n") << "is empty";
        QTest::newRow("binary") << QByteArray("\x7F"
                                              "ELF\x02\x01\x01\0\0\0",
            10) << "neither a text file";
        QTest::newRow("workbook, no office")
            << QByteArray("PK\x03\x04rest") << "no office is at hand";
    }

    void unreadableFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, says);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("list.csv"));
        if (!bytes.isEmpty())
            QVERIFY(WriteAll(path, bytes));
        try {
            readListFile(path, {});
            QFAIL("no failure");
        } catch (const std::exception& e) {
            QVERIFY2(QString::fromUtf8(e.what()).contains(says), e.what());
        }
    }
};

TESSIVANE_CORE_TEST_MAIN(TestListFile)
#include "tst_listfile.moc"
