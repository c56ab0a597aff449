// The list in and out of files: reading CSV and tab-separated text (separators, quoting,
// encodings, headers, refusals), a generated workbook's sheet, and the export read back.

#include "support/filetesting.h"
#include "support/inventorytesting.h"

#include "inventory/csvtext.h"
#include "inventory/listedit.h"
#include "inventory/listfile.h"

#include <QStringEncoder>
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

/// The text in UTF-16, with a byte-order mark unless told.
QByteArray utf16(const QByteArray& utf8, bool littleEndian, bool mark = true)
{
    QStringEncoder encoder(littleEndian ? QStringEncoder::Utf16LE : QStringEncoder::Utf16BE,
        mark ? QStringEncoder::Flag::WriteBom : QStringEncoder::Flag::Default);
    return encoder.encode(QString::fromUtf8(utf8));
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

    void foreignFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<bool>("keep"); // refused rows brought in with their cells left empty
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("refused"); // "line:column"
        QTest::addColumn<QString>("says"); // in the first refusal's reason, or in a note
        QTest::addColumn<int>("lines");

        const QByteArray snipe = "Company,Name,Asset Tag,Model,Model No.,Category,Status,Serial,"
                                 "Purchase Date,Purchase Cost,Supplier,Location,Notes\r\n";
        QTest::newRow("asset manager's headers")
            << snipe
                + "Acme,Laptop 1,AT-001,ThinkPad,20W0,Laptops,Ready,PF2X,2023-01-23,1249.00,"
                  "CDW,Berlin,\r\n"
            << "en_US" << false
            << QStringList {"AT-001|Laptop 1|Berlin|Ready|CDW||1249||2023-01-23"} << QStringList()
            << "Columns left out: \"Company\", \"Model\"" << 2;
        QTest::newRow("spreadsheet headers, tab")
            << QByteArray("Serial Number\tDescription\tRoom\tVendor\tPrice\tDate Purchased\n"
                          "S1\tDesk\t101\tIkea\t$99.50\t2016-04-05\n")
            << "en_US" << false << QStringList {"S1|Desk|101||Ikea||99.5||2016-04-05"}
            << QStringList() << "first line names" << 2;
        QTest::newRow("title and blank lines above the header")
            << QByteArray("Inventory export 2024\n\n;;\nAsset Tag;Location\nA1;Office\n") << "en_US"
            << false << QStringList {"A1||Office"} << QStringList() << "header is on line 4" << 5;
        QTest::newRow("unclosed quote, good rows after")
            << QByteArray("Asset Tag,Name\nA1,\"Desk\nA2,\"Chair\"\nA3,Lamp\nA4,\"Shelf\n")
            << "en_US" << false << QStringList {"A2|Chair", "A3|Lamp"} << QStringList {"2:2", "5:2"}
            << "the quote opened in column 2 on line 2 is not closed" << 5;
        QTest::newRow("extra value")
            << QByteArray("Asset Tag,Name,Location,Status,Supplier\nA1,Desk, large,Office,Good,"
                          "Acme\nA2,Chair,Office,Good,Acme\n")
            << "en_US" << false << QStringList {"A2|Chair|Office|Good|Acme"} << QStringList {"2:0"}
            << "has 6 values, the header names 5 columns" << 3;
        for (const QString locale : {"en_US", "de_DE"}) {
            QTest::addRow("semicolon, decimal comma, %s", qPrintable(locale))
                << QByteArray("Asset Tag;Purchase Cost\nA1;1,250\nA2;12,50\nA3;1.234,50\n")
                << locale << false << QStringList {"A1||||||1.25", "A2||||||12.5", "A3||||||1234.5"}
                << QStringList() << "1 number such as \"1,250\" would read differently" << 4;
            QTest::addRow("comma, decimal point, %s", qPrintable(locale))
                << QByteArray("Asset Tag,Purchase Cost\nA1,\"1,250\"\nA2,12.50\nA3,\"1,234.50\"\n")
                << locale << false << QStringList {"A2||||||12.5", "A3||||||1234.5"}
                << QStringList {"2:2"} << "could mean 1250 or 1.250" << 4;
            QTest::addRow("dates month first, %s", qPrintable(locale))
                << QByteArray("Asset Tag,Purchase Date\nA1,4/5/16\nA2,12/25/49\nA3,4/31/16\n")
                << locale << false << QStringList {"A1||||||||2016-04-05", "A2||||||||2049-12-25"}
                << QStringList {"4:2"} << "needs a date such as 08/11/2015" << 4;
        }
        QTest::newRow("dates day first with dots")
            << QByteArray("Asset Tag;Purchase Date\nA1;23.01.2023\nA2;05.04.50\n") << "en_US"
            << false << QStringList {"A1||||||||2023-01-23", "A2||||||||1950-04-05"}
            << QStringList() << "read day, month, year" << 3;
        const QByteArray unicodeText = "Asset Tag\tLocation\r\nA1\tK\xC3\xB6ln\r\n";
        QTest::newRow("UTF-16 LE with BOM") << utf16(unicodeText, true) << "en_US" << false
                                            << QStringList {"A1||Köln"} << QStringList() << "" << 2;
        QTest::newRow("UTF-16 BE with BOM") << utf16(unicodeText, false) << "en_US" << false
                                            << QStringList {"A1||Köln"} << QStringList() << "" << 2;
        QTest::newRow("UTF-16 LE without BOM")
            << utf16(unicodeText, true, false) << "en_US" << false << QStringList {"A1||Köln"}
            << QStringList() << "" << 2;
        QTest::newRow("a header of other words over numbers and dates")
            << QByteArray("Inventar\nNummer;Preis (netto);Gekauft am\nK-1;1.234,50;23.01.2023\n")
            << "en_US" << false << QStringList() << QStringList {"3:0"}
            << "has values only in columns that are left out" << 3;
        QTest::newRow("UTF-8 with one bad byte")
            << QByteArray("Asset Tag,Location\nA1,K\xC3\xB6ln\nA2,Z\xFCrich\nA3,Gen\xC3\xA8ve\n")
            << "en_US" << false << QStringList {"A1||Köln", "A3||Genève"} << QStringList {"3:2"}
            << "holds bytes that are no UTF-8 text" << 4;
        QTest::newRow("Mac Roman")
            << QByteArray("Asset Tag,Location\nA1,K\x9Aln\nA2,Gen\x8Fve\n") << "en_US" << false
            << QStringList {"A1||Köln", "A2||Genève"} << QStringList() << "" << 3;
        QTest::newRow("whitespace and end-of-file lines")
            << QByteArray("Asset Tag,Location\r\nA1,Office\r\n   \r\n\t\r\n,,\r\nA2,Store\r\n\x1A")
            << "en_US" << false << QStringList {"A1||Office", "A2||Store"} << QStringList() << ""
            << 7;
        QTest::newRow("control character")
            << QByteArray("Asset Tag,Location\nA1,Off\x07ice\nA2,Store\n") << "en_US" << false
            << QStringList {"A2||Store"} << QStringList {"2:2"} << "control character U+0007" << 3;
        QTest::newRow("refused cells left empty")
            << QByteArray("Asset Tag,Purchase Cost,Years left\nA1,lots,2.5\nA2,5,3\n,x,y\n")
            << "en_US" << true << QStringList {"A1", "A2|||||3|5"} << QStringList {"4:2"}
            << "2 values refused left empty" << 4;
    }

    void foreignFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, locale);
        QFETCH(bool, keep);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, refused);
        QFETCH(QString, says);
        QFETCH(int, lines);
        LocaleScope scope(locale);
        ListRead read = readListText(bytes);
        if (keep) {
            ListForm form = read.form;
            form.keepRefusedRows = true;
            read = read.source->read(form);
        }
        QCOMPARE(rowTexts(read.rows), rows);
        QStringList places;
        for (const RowRefusal& refusal : read.refused)
            places.append(QStringLiteral("%1:%2").arg(refusal.line).arg(refusal.column));
        QCOMPARE(places, refused);
        const QString told = (read.refused.isEmpty() ? QString() : read.refused[0].reason)
            + QLatin1Char('\n') + read.notes.join(QLatin1Char('\n'));
        QVERIFY2(told.contains(says), qPrintable(told));
        // Every line is accounted for, once.
        const LineCounts& n = read.lines;
        QCOMPARE(n.total, lines);
        QCOMPARE(n.header + n.above + n.blank + n.good + n.refused, n.total);
    }

    void aChosenMappingIsReadAndKept()
    {
        const ListRead guessed = readListText("Asset Tag,Serial,Name,Model\nA1,S1,Desk,T14\n");
        QCOMPARE(guessed.form.columnFields, (ColumnFields {0, -1, 1, -1}));
        QCOMPARE(guessed.columns[1].heading, QStringLiteral("Serial"));
        QCOMPARE(guessed.columns[1].firstValues, QStringList {"S1"});
        ListForm form = guessed.form;
        form.columnFields = {-1, 0, 2, 1};
        QCOMPARE(rowTexts(guessed.source->read(form).rows), QStringList {"S1|T14|Desk"});

        // Another header line finds the columns anew.
        form.headerLine = 0;
        const ListForm plain = guessed.source->guessedForm(form, FormPart::HeaderLine);
        QCOMPARE(plain.columnFields, (ColumnFields {0, 1, 2, 3}));
        QCOMPARE(guessed.source->read(plain).rows.size(), 2);
        form.columnFields = {-1, 0, 2, 1};

        const QStringList headings {"Asset Tag", "Serial", "Name", "Model"};
        const ColumnMemory memory;
        QVERIFY(!memory.recall(headings));
        memory.remember(headings, form.columnFields);
        QCOMPARE(memory.recall(headings), std::optional(form.columnFields));
        QVERIFY(!memory.recall({"Asset Tag", "Serial"}));
        // Kept apart from the list's rows, which load as before.
        writeRows({blankListRow()});
        QCOMPARE(memory.recall(headings), std::optional(form.columnFields));
        QCOMPARE(loadStoredTable()->RecordCount(), 1);
        QVERIFY(!store()->contains(QStringLiteral("ImportColumns")));
        clearStore();
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
