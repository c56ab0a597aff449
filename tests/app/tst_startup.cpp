// The start-up's loading of the stored rows: what its report shows, line by line.

#include "support/filetesting.h"
#include "support/inventorytesting.h"
#include "support/scriptedboxes.h"

#include "app/homepage.h"
#include "app/shutdownsignals.h"
#include "app/startup.h"
#include "core/apptitle.h"

#include <QDesktopServices>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace tessivane;
using namespace tessivane::test;

namespace {

std::unique_ptr<InventoryTable> loadedAtStartUp(const MessageBoxes& boxes)
{
    auto table = makeTable(0);
    Steps step(boxes, "Form1", "Form_Load");
    loadStoredRows(*table, step);
    return table;
}

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

} // namespace

class TestStartUp : public QObject
{
    Q_OBJECT

private slots:
    void init() { clearStore(); }
    void cleanupTestCase() { clearStore(); }

    void insaneCountIsReportedOnceAtItsLine()
    {
        {
            auto three = makeTable(3);
            saveRows(*three);
            store()->setValue(QStringLiteral("RowCount"), QStringLiteral("1E400"));
        }
        ScriptedBoxes boxes;
        auto table = loadedAtStartUp(boxes);
        QCOMPARE(table->RecordCount(), 3);
        QCOMPARE(boxes.failures().size(), 1);
        QVERIFY(boxes.failures()[0].contains(
            QStringLiteral("in Tessivane2021/08/31.Form1.Form_Load at line 162")));
    }

    void failingFieldIsReportedWithItsLine()
    {
        {
            auto settings = store();
            settings->setValue(QStringLiteral("RowCount"), QStringLiteral("2"));
            settings->setValue(QStringLiteral("RowSource1 2"), QString(51, QLatin1Char('x')));
            settings->setValue(QStringLiteral("RowSource2 2"), QStringLiteral("Desk"));
        }
        ScriptedBoxes boxes;
        auto table = loadedAtStartUp(boxes);
        QCOMPARE(boxes.failures().size(), 1);
        QVERIFY(boxes.failures()[0].contains(QStringLiteral("at line 166")));
        QCOMPARE(table->RecordCount(), 2);
        QCOMPARE(table->ValueAt(1, 0), QVariant()); // the failed field keeps its Null
        QCOMPARE(table->ValueAt(1, 1).toString(), QStringLiteral("Desk"));
    }

    void tableThatTakesNoRowsIsReportedOnce()
    {
        InventoryTable closed;
        appendInventoryFields(closed);
        ScriptedBoxes boxes;
        Steps step(boxes, "Form1", "Form_Load");
        loadStoredRows(closed, step);
        QCOMPARE(boxes.failures().size(), 1);
        QVERIFY(boxes.failures()[0].contains(QStringLiteral("at line 164")));
        QVERIFY_THROWS_EXCEPTION(std::exception, saveRows(closed));
        QVERIFY(!store()->contains(QStringLiteral("RowCount")));
    }
    void homePageOpensOnlyOnSeven()
    {
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler("https", &catcher, "open");
        MaybeOpenHomePage([] { return 6; });
        QVERIFY(catcher.urls.isEmpty());
        MaybeOpenHomePage([] { return 7; });
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(catcher.urls[0].toString(), QString::fromLatin1(kHomePageAddress));
        QDesktopServices::unsetUrlHandler("https");
    }

    void theBrowserGetsTheShutdownSignalsBack()
    {
        // xdg-open stands in as a program that writes its arguments and its blocked signals.
        QTemporaryDir folder;
        const QString seen = folder.filePath(QStringLiteral("seen"));
        QFile opener(folder.filePath(QStringLiteral("xdg-open")));
        QVERIFY(opener.open(QIODevice::WriteOnly));
        opener.write("#!/usr/bin/awk -f\nBEGIN { print ARGV[1] > ENVIRON[\"SEEN\"]\n"
                     "while ((getline line < \"/proc/self/status\") > 0)\n"
                     "  if (line ~ /^SigBlk/) print line > ENVIRON[\"SEEN\"]; exit }\n");
        opener.close();
        QVERIFY(opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(folder.path()) + ':' + path);
        qputenv("SEEN", QFile::encodeName(seen));
        blockShutdownSignals();
        {
            const BrowserLauncher browser;
            MaybeOpenHomePage([] { return 7; });
            QTRY_VERIFY(ReadAll(seen).contains("SigBlk"));
        }
        unblockShutdownSignals();
        qputenv("PATH", path);
        const QList<QByteArray> lines = ReadAll(seen).split('\n');
        QCOMPARE(QString::fromUtf8(lines[0]), QString::fromLatin1(kHomePageAddress));
        QCOMPARE(lines[1].simplified(), QByteArray("SigBlk: 0000000000000000"));
    }
};

TESSIVANE_TEST_MAIN(TestStartUp)
#include "tst_startup.moc"
