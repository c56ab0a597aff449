// The main window as a user meets it: start-up on an empty store, its layout, the help
// message, the hover pointer, the save that every close makes, and a long run's progress.
#include "support/fakespreadsheet.h"
#include "support/filetesting.h"
#include "support/inventorytesting.h"
#include "support/scriptedboxes.h"

#include "app/form1.h"
#include "app/runprogress.h"
#include "core/apptitle.h"
#include "core/messagebox.h"
#include "grid/datagrid.h"
#include "grid/listeditor.h"
#include "inventory/currency.h"
#include "inventory/inventorytable.h"
#include "office/services/isinstalled.h"
#include "office/services/services.h"
#include "preview/form2.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <optional>
#include <thread>

using namespace tessivane;
using namespace tessivane::test;
using namespace std::chrono_literals;

namespace {

/// An instance whose open takes its time, letting the caller's hook run meanwhile, and fails.
class SlowOpen : public FakeApplication
{
public:
    SlowOpen(FakeOffice& office, std::function<void(const WaitHook&)> meanwhile)
        : FakeApplication(office)
        , mMeanwhile(std::move(meanwhile))
    { }
    void setWaitHook(WaitHook hook) override { mHook = std::move(hook); }
    std::shared_ptr<Workbook> Open(const QString&) override
    {
        mMeanwhile(mHook);
        throw std::runtime_error("no workbook");
    }

private:
    std::function<void(const WaitHook&)> mMeanwhile;
    WaitHook mHook;
};

/// Counts the paints of the run's progress window.
class ProgressPaints : public QObject
{
public:
    int count = 0;
    ProgressPaints() { qApp->installEventFilter(this); }
    ~ProgressPaints() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget*>(watched)->window()->objectName() == "runProgress")
            ++count;
        return false;
    }
};

QStringList LabelTexts(const QWidget* window)
{
    QStringList texts;
    for (const QLabel* label : window->findChildren<QLabel*>())
        if (label->isVisible())
            texts << label->text();
    return texts;
}

/// The settings file as it is on disk.
QByteArray StoreFile()
{
    return ReadAll(store()->fileName());
}

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir mConfig;
    ScriptedBoxes mBoxes;
    Services mServices;
    WindowContext mContext {mBoxes};
    FakeOffice mOffice;
    std::optional<FakeOffice::Installed> mInstalled;

    /// "Start Creating Template" with no office at all: the run reports its failures, answers
    /// every question Yes, and still hands its working folder in temp over to the preview.
    void runWithoutOffice(Form1& form, const QTemporaryDir& temp)
    {
        qputenv("TEMP", QFile::encodeName(temp.path()));
        mServices.makeApplication
            = []() -> ApplicationPtr { throw std::runtime_error("no office"); };
        mBoxes.questionAnswer = vbYes;
        form.PushButton22_Click();
        mInstalled.emplace(mServices, mOffice);
        mBoxes.questionAnswer = vbNo;
        qunsetenv("TEMP");
    }

    static QStringList RunFolders(const QTemporaryDir& temp)
    {
        return QDir(temp.path()).entryList({"tessivane-run-*"}, QDir::Dirs);
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", mConfig.path().toLocal8Bit());
        mInstalled.emplace(mServices, mOffice);
    }

    void cleanupTestCase() { mInstalled.reset(); }

    void init()
    {
        mBoxes.calls.clear();
        clearStore();
    }

    void firstStartShowsSixteenBlankRows()
    {
        Form1 form(mServices, mContext);
        form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY2(mBoxes.calls.isEmpty(),
            mBoxes.calls.isEmpty() ? "" : qPrintable(mBoxes.calls[0].prompt));
        QCOMPARE(form.windowTitle(), QStringLiteral("Tessivane"));
        QCOMPARE(form.table().RecordCount(), 16);
        QCOMPARE(form.grid()->model()->rowCount(), 16);
        QCOMPARE(form.grid()->model()->columnCount(), 13);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(form.grid()));
        QCOMPARE(form.palette().color(QPalette::Window), QColor(Qt::white));
    }

    void theSkinFileTurnsTheFaceGrey()
    {
        const QString skinFolder = QCoreApplication::applicationDirPath() + "/x";
        QVERIFY(QDir().mkpath(skinFolder));
        QFile skin(skinFolder + "/o.cjs");
        QVERIFY(skin.open(QIODevice::WriteOnly));
        skin.close();
        Form1 form(mServices, mContext);
        form.Form_Load();
        QDir(skinFolder).removeRecursively();
        QVERIFY(mBoxes.calls.isEmpty());
        const QColor face = form.palette().color(QPalette::Active, QPalette::Button);
        QCOMPARE(form.palette().color(QPalette::Window), face);
        QCOMPARE(form.frame2()->palette().color(QPalette::Window), face);
        // Labels keep their grey: only the window and its frame take the face colour.
        QCOMPARE(form.label(1)->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
    }

    void layoutFollowsTheTwipTable()
    {
        Form1 form(mServices, mContext);
        form.Form_Load();
        QCOMPARE(form.size(), QSize(863, 394));
        QCOMPARE(form.pushButton(22)->geometry(), QRect(8, 8, 848, 27));
        QCOMPARE(form.frame2()->geometry(), QRect(8, 70, 848, 316));
        QCOMPARE(form.grid()->geometry(), QRect(9, 87, 826, 186));
        QCOMPARE(form.pushButton(1)->text(), QStringLiteral("Delete Selected Row"));
        QCOMPARE(form.pushButton(7)->geometry(), QRect(440, 42, 416, 27));
        QCOMPARE(form.pushButton(22)->font().pointSizeF(), 11.25);
        QVERIFY(form.pushButton(22)->font().bold());
        // Labels sit side by side and the last one reaches the grid's right edge.
        QCOMPARE(form.label(7)->text(), QStringLiteral("Loan rate"));
        QCOMPARE(form.label(13)->geometry().right() + 1, form.grid()->geometry().right() + 1);
        QCOMPARE(form.label(14)->text(), QString());
        QVERIFY(form.label(2)->wordWrap());
        QCOMPARE(form.label(1)->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
    }

    void helpNamesTheContactUnderTheApplicationTitle()
    {
        Form1 form(mServices, mContext);
        form.Form_Load();
        mBoxes.calls.clear();
        form.pushButton(6)->click();
        QCOMPARE(mBoxes.calls.size(), 1);
        QCOMPARE(mBoxes.calls[0].prompt,
            QStringLiteral("Questions? Please contact Team Velmora at ")
                + QString::fromLatin1(kContactAddress));
        QCOMPARE(mBoxes.calls[0].title, QStringLiteral("Tessivane"));
        QCOMPARE(mBoxes.calls[0].buttons, int(vbOKOnly));
    }

    void closingWritesTheRowsEvenUnchanged()
    {
        {
            Form1 form(mServices, mContext);
            form.Form_Load();
            form.show();
            form.table().MoveFirst();
            form.table().SetValue(0, QStringLiteral("A-1"));
            form.table().SetValue(6, 149.99);
            form.close();
        }
        QCOMPARE(store()->value(QStringLiteral("RowCount")).toString(), QStringLiteral("16"));
        QCOMPARE(store()->value(QStringLiteral("RowSource1 1")).toString(), QStringLiteral("A-1"));
        QCOMPARE(
            store()->value(QStringLiteral("RowSource7 1")).toString(), QStringLiteral("149.99"));

        Form1 again(mServices, mContext);
        again.Form_Load();
        again.table().MoveFirst();
        QCOMPARE(again.table().Value(0).toString(), QStringLiteral("A-1"));
        QCOMPARE(again.table().Value(6).toDouble(), 149.99);
    }

    void anEmptyStoredListStartsQuietly()
    {
        store()->setValue(QStringLiteral("RowCount"), QStringLiteral("0"));
        Form1 form(mServices, mContext);
        form.Form_Load();
        QVERIFY(mBoxes.calls.isEmpty());
        QCOMPARE(form.table().RecordCount(), 0);
        form.close();
        QCOMPARE(store()->value(QStringLiteral("RowCount")).toString(), QStringLiteral("0"));
    }

    void aButtonPressedFromTheGridSavesAndStartsOnRowOne()
    {
        Form1 form(mServices, mContext);
        form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        DataGrid* grid = form.grid();
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(4, 0));
        QCOMPARE(form.table().CurrentRow(), 4);
        QTest::mouseClick(form.pushButton(2), Qt::LeftButton);
        // The focus-out save ran first and left row 1 current: the blank row is row 2. The
        // rows are written in the background.
        QTRY_COMPARE(store()->value(QStringLiteral("RowCount")).toString(), QStringLiteral("16"));
        QCOMPARE(form.table().RecordCount(), 17);
        QCOMPARE(form.table().CurrentRow(), 1);
        QVERIFY(mBoxes.calls.isEmpty());
        // The grid's highlighted cell went along with the current row.
        const QModelIndex newCell = grid->model()->index(1, 0);
        QCOMPARE(grid->currentIndex(), newCell);
        QCOMPARE(grid->selectionModel()->selectedIndexes(), QModelIndexList {newCell});
        // The close waits for the saves: the file holds the latest rows when it is done.
        form.table().SetValue(0, QStringLiteral("A-2"));
        form.close();
        const QByteArray written = StoreFile();
        QVERIFY(written.contains("\nRowCount=17\n"));
        QVERIFY(written.contains("\nRowSource1%202=A-2\n"));
    }

    void aFailedSaveIsReported_data()
    {
        QTest::addColumn<bool>("closing");
        QTest::newRow("focus-out: when the background write fails") << false;
        QTest::newRow("close") << true;
    }
    void aFailedSaveIsReported()
    {
        QFETCH(bool, closing);
        Form1 form(mServices, mContext);
        form.Form_Load();
        const QString fileName = store()->fileName();
        QFile::remove(fileName);
        QVERIFY(QDir().mkpath(fileName)); // a folder in the file's place
        const auto removeFolder = qScopeGuard([&] { QDir(fileName).removeRecursively(); });
        if (closing)
            form.close();
        else
            form.DataGrid1_Validate();
        QTRY_COMPARE(mBoxes.calls.size(), 1);
        const QString written
            = QStringLiteral("The rows could not be written to the settings file");
        if (closing) {
            QCOMPARE(mBoxes.calls[0].title, QStringLiteral("Application Error"));
            QVERIFY(mBoxes.calls[0].prompt.startsWith(written));
            QVERIFY(mBoxes.calls[0].prompt.contains("Form1.Form_QueryUnload at line 100"));
        } else {
            QVERIFY(mBoxes.calls[0].prompt.startsWith(
                QStringLiteral("The inventory list could not be saved.\r\n") + written));
        }
    }

    void aShutdownRequestDuringStartUpWritesNothing_data()
    {
        QTest::addColumn<QString>("rowCount");
        QTest::addColumn<bool>("office");
        QTest::addColumn<QString>("box"); // the start of the message open at the request
        QTest::newRow("report of a bad row count") << "abc" << true << "The saved row count";
        QTest::newRow("refused start") << "3.0" << false << "Error 842001.";
    }
    void aShutdownRequestDuringStartUpWritesNothing()
    {
        QFETCH(QString, rowCount);
        QFETCH(bool, office);
        QFETCH(QString, box);
        store()->setValue(QStringLiteral("RowCount"), rowCount);
        for (int row = 1; row <= 3; ++row)
            store()->setValue(
                QStringLiteral("RowSource1 %1").arg(row), QStringLiteral("A%1").arg(row));
        const QByteArray stored = StoreFile();
        if (!office)
            mServices.makeApplication
                = []() -> ApplicationPtr { throw std::runtime_error("none"); };
        int ends = 0;
        mContext.programEnder = [&] { ++ends; };
        {
            Form1 form(mServices, mContext);
            // The polite kill comes in while the box is open.
            mBoxes.during = [&](const MessageBoxCall& call) {
                if (call.prompt.startsWith(box))
                    form.closeForShutdown();
            };
            form.Form_Load();
            mBoxes.during = {};
        }
        mContext.programEnder = {};
        initTestCase(); // the office and the boxes as before
        QCOMPARE(StoreFile(), stored);
        // Once for the request; a refused start's own end follows here, where the first had
        // ended the process.
        QCOMPARE(ends, office ? 1 : 2);
    }

    // A polite kill while a workbook is read for an import: the reading is stopped at once
    // (the office would be ended), nothing is imported, and the window closes, its rows
    // written, as soon as the reading has let go.
    void aShutdownRequestDuringAnImportStopsItAndCloses()
    {
        Form1 form(mServices, mContext);
        form.Form_Load();
        form.show();
        form.table().MoveFirst();
        form.table().SetValue(0, QStringLiteral("A-1"));
        QTemporaryDir folder;
        const QString workbook = folder.filePath(QStringLiteral("big.xlsx"));
        QVERIFY(WriteAll(workbook, "PK\x03\x04 a workbook"));
        ListEditor& editor = form.grid()->editor();
        bool stopped = false;
        editor.setWorkbookReader([&](const QString&, const ReadProgress& progress) -> SheetText {
            QMetaObject::invokeMethod(&form, [&form] { form.closeForShutdown(); });
            while (progress(0, 0))
                std::this_thread::sleep_for(5ms);
            stopped = true;
            throw std::runtime_error("LibreOffice has been ended.");
        });
        editor.importRows(workbook);
        QVERIFY(stopped);
        QTRY_VERIFY(!form.isVisible());
        QVERIFY(mBoxes.calls.isEmpty());
        QCOMPARE(store()->value(QStringLiteral("RowSource1 1")).toString(), QStringLiteral("A-1"));
    }

    void deleteAllAsksAndRebindsTheGrid()
    {
        Form1 form(mServices, mContext);
        form.Form_Load();
        form.PushButton7_Click();
        QCOMPARE(form.table().RecordCount(), 2);
        mBoxes.answers = {vbYes};
        form.PushButton3_Click();
        QCOMPARE(mBoxes.calls.size(), 1);
        QCOMPARE(mBoxes.calls[0].prompt, QStringLiteral("Do you really want clear ?"));
        QCOMPARE(form.table().RecordCount(), 16);
        QCOMPARE(form.grid()->model()->rowCount(), 16);
        QCOMPARE(form.grid()->columnWidth(0), qRound(764.7874 / 15));
        // The money columns show currency text again after the rebinding.
        const QString shown = form.grid()->model()->index(0, 6).data().toString();
        QCOMPARE(shown, CurrencyText(0));
    }

    void rowCommandsAreUndoneButNotDuringARun()
    {
        QTemporaryDir temp;
        Form1 form(mServices, mContext);
        form.Form_Load();
        form.PushButton7_Click();
        const ListRows samples = form.table().AllRowValues();
        mBoxes.answers = {vbYes};
        form.PushButton3_Click();
        QCOMPARE(form.table().RecordCount(), 16);
        form.grid()->editor().undoAction()->trigger();
        QCOMPARE(form.table().AllRowValues(), samples);
        form.grid()->editor().redoAction()->trigger();
        // During the run neither an undo nor a paste reaches the list.
        bool triedDuringRun = false;
        mBoxes.during = [&](const MessageBoxCall&) {
            triedDuringRun = true;
            QGuiApplication::clipboard()->setText("x\n");
            form.grid()->editor().undoAction()->trigger();
            form.grid()->editor().pasteAction()->trigger();
        };
        runWithoutOffice(form, temp);
        mBoxes.during = nullptr;
        QVERIFY(triedDuringRun);
        QCOMPARE(form.table().RecordCount(), 16);
        QCOMPARE(form.table().ValueAt(0, 0), QVariant(QString()));
    }

    void hoverPointerSparesTheHourglass()
    {
        Form1 form(mServices, mContext);
        form.Form_Load();
        form.show();
        QTest::mouseMove(form.pushButton(7));
        QCOMPARE(form.pointer().value(), 99);
        QTest::mouseMove(form.grid()->viewport());
        QCOMPARE(form.pointer().value(), 0);
        form.pointer().set(11);
        QTest::mouseMove(form.pushButton(22));
        QCOMPARE(form.pointer().value(), 11);
    }

    void inputDuringARunIsNotActedOn_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("Delete All") << "Delete All";
        QTest::newRow("Delete Selected Row") << "Delete Selected Row";
        QTest::newRow("Help") << "Help";
        QTest::newRow("a second Start Creating Template") << "Start Creating Template";
    }
    void inputDuringARunIsNotActedOn()
    {
        QFETCH(QString, button);
        QTemporaryDir temp;
        Form1 form(mServices, mContext);
        form.Form_Load();
        form.PushButton7_Click(); // two sample rows
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QPushButton* target = nullptr;
        for (QPushButton* candidate : form.findChildren<QPushButton*>())
            if (candidate->text() == button)
                target = candidate;
        QVERIFY(target);
        // The click waits in the queue as one made while the office works would; the run lets
        // queued events through when it deletes its files.
        const QPoint centre = target->rect().center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
            QCoreApplication::postEvent(target,
                new QMouseEvent(type, centre, target->mapToGlobal(centre), Qt::LeftButton,
                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                    Qt::NoModifier));
        runWithoutOffice(form, temp);
        QCoreApplication::processEvents(); // nor is it replayed afterwards

        // Only the run's own failure reports: no question, no notice.
        for (const MessageBoxCall& box : mBoxes.calls)
            QVERIFY2(box.title == QStringLiteral("Application Error"), qPrintable(box.prompt));
        QCOMPARE(form.table().RecordCount(), 2);
        QCOMPARE(
            RunFolders(temp), QStringList {QFileInfo(form.preview()->workFolder()).fileName()});
    }

    void aLongRunShowsWhatItDoesAndKeepsItPainted()
    {
        QTemporaryDir temp;
        Form1 form(mServices, mContext);
        form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        ProgressPaints paints;
        QStringList shown;
        bool stillOpen = false;
        const auto slowOpen = [&](const WaitHook& hook) {
            // A close asked for while the office works waits for the run's end: closing
            // saves the rows, moving through the table the run reads.
            QMetaObject::invokeMethod(&form, &QWidget::close, Qt::QueuedConnection);
            for (int tick = 0; tick < 100 && paints.count == 0; ++tick) {
                std::this_thread::sleep_for(50ms);
                hook();
            }
            if (const auto* window = form.findChild<QWidget*>("runProgress"))
                shown = LabelTexts(window);
            stillOpen = form.isVisible();
        };
        bool opened = false;
        qputenv("TEMP", QFile::encodeName(temp.path()));
        mServices.makeApplication = [&]() -> ApplicationPtr {
            if (std::exchange(opened, true))
                throw std::runtime_error("no office");
            return std::make_shared<SlowOpen>(mOffice, slowOpen);
        };
        form.PushButton22_Click();
        mInstalled.emplace(mServices, mOffice);
        qunsetenv("TEMP");

        QVERIFY(paints.count > 0); // painted while the open kept the run waiting
        QCOMPARE(shown, QStringList {QStringLiteral("Opening the template\u2026")});
        QVERIFY(stillOpen);
        QVERIFY(!form.findChild<QWidget*>("runProgress"));
        bool ended = false;
        form.preview()->setProgramEnd([&] { ended = true; });
        QVERIFY(form.preview()->isVisible());
        QCoreApplication::processEvents(); // the close comes now
        QVERIFY(!form.preview()->isVisible());
        QVERIFY(ended);
    }

    void theProgressCountsTheRowsWritten()
    {
        QWidget window;
        window.show();
        RunProgress progress(&window, 0ms);
        progress.report(QStringLiteral("Starting LibreOffice"), 0, 0); // no count yet
        const auto* shown = window.findChild<QWidget*>("runProgress");
        QVERIFY(shown && shown->isVisible());
        QCOMPARE(LabelTexts(shown), QStringList {QStringLiteral("Starting LibreOffice\u2026")});
        progress.report(QStringLiteral("Writing rows"), 250, 2000);
        QCOMPARE(LabelTexts(shown),
            (QStringList {QStringLiteral("Writing rows\u2026"),
                QStringLiteral("%L1 of %L2 rows written").arg(250).arg(2000)}));
        QCOMPARE(shown->findChild<QProgressBar*>()->value(), 250);
        progress.finish(); // it stays a moment to be read, then goes
        QTRY_VERIFY(!window.findChild<QWidget*>("runProgress"));
    }

    void aNewResultReplacesOneStillHeld()
    {
        QTemporaryDir temp;
        Form1 form(mServices, mContext);
        form.Form_Load();
        runWithoutOffice(form, temp);
        const QString oldResult = form.preview()->excelFile();
        QFile result(oldResult);
        QVERIFY(result.open(QIODevice::WriteOnly) && result.write("xls") == 3);
        result.close();
        runWithoutOffice(form, temp);
        QVERIFY(!QFile::exists(oldResult));
        QCOMPARE(
            RunFolders(temp), QStringList {QFileInfo(form.preview()->workFolder()).fileName()});
    }

    void noSpreadsheetEndsTheProgramWithItsMessage()
    {
        bool ended = false;
        mContext.programEnder = [&] { ended = true; };
        mServices.makeApplication
            = []() -> ApplicationPtr { throw std::runtime_error("no office"); };
        Form1 form(mServices, mContext);
        form.Form_Load();
        mInstalled.emplace(mServices, mOffice);
        mContext.programEnder = {};
        QVERIFY(ended);
        QCOMPARE(mBoxes.calls.size(), 1);
        QVERIFY(mBoxes.calls[0].prompt.startsWith(
            "Error 842001. A normal instance of Excel could not be created."));
        QCOMPARE(mBoxes.calls[0].buttons, int(vbOKOnly));
        QCOMPARE(mBoxes.calls[0].title, QStringLiteral("Tessivane"));
    }
};

TESSIVANE_TEST_MAIN(TestForm1)
#include "tst_form1.moc"
