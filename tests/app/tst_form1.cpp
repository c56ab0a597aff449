// The main window as a user meets it: start-up on an empty store, its layout, the help
// message, the hover pointer, and the save that every close makes.
#include "app/form1.h"
#include "core/apptitle.h"
#include "core/messagebox.h"
#include "grid/datagrid.h"
#include "inventory/currency.h"
#include "inventory/inventorytable.h"
#include "office/isinstalled.h"
#include "office/spreadsheet.h"
#include "preview/form2.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace tessivane;

namespace {

/// An instance that only has to exist for the start-up check.
class IdleApp : public Application
{
public:
    Workbooks& workbooks() override { throw std::runtime_error("unused"); }
    std::shared_ptr<Worksheet> Worksheets(int) override { throw std::runtime_error("unused"); }
    void Range_Select(const QString&) override { }
    void setVisible(bool) override { }
    QString Version() override { return QStringLiteral("7.4"); }
    void setDisplayAlerts(bool) override { }
    void Quit() override { }
    bool isAlive() const override { return true; }
};

QString Stored(const QString& key)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Velmora", "Tessivane");
    settings.beginGroup("Tessivane");
    return settings.value(key).toString();
}

void Store(const QString& key, const QString& value)
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Velmora", "Tessivane");
    settings.beginGroup("Tessivane");
    settings.setValue(key, value);
}

QString StoreFileName()
{
    return QSettings(QSettings::IniFormat, QSettings::UserScope, "Velmora", "Tessivane").fileName();
}

/// The settings file as it is on disk.
QByteArray StoreFile()
{
    QFile file(StoreFileName());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir mConfig;
    QList<MessageBoxCall> mBoxes;

    /// "Start Creating Template" with no office at all: the run reports its failures, answers
    /// every question Yes, and still hands its working folder in temp over to the preview.
    void runWithoutOffice(Form1& form, const QTemporaryDir& temp)
    {
        qputenv("TEMP", QFile::encodeName(temp.path()));
        SetApplicationFactory([]() -> ApplicationPtr { throw std::runtime_error("no office"); });
        SetMessageBoxResponder([this](const MessageBoxCall& call) {
            mBoxes << call;
            return int((call.buttons & 0xF) == vbYesNo ? vbYes : vbOK);
        });
        form.PushButton22_Click();
        SetApplicationFactory([] { return std::make_shared<IdleApp>(); });
        SetMessageBoxResponder([this](const MessageBoxCall& call) {
            mBoxes << call;
            return int(vbOK);
        });
        qunsetenv("TEMP");
    }

    static QStringList RunFolders(const QTemporaryDir& temp)
    {
        return QDir(temp.path()).entryList({"tessivane-run-*"}, QDir::Dirs);
    }

    void clearStore()
    {
        QSettings settings(QSettings::IniFormat, QSettings::UserScope, "Velmora", "Tessivane");
        settings.clear();
        settings.sync();
    }

private slots:
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", mConfig.path().toLocal8Bit());
        SetApplicationFactory([] { return std::make_shared<IdleApp>(); });
        SetMessageBoxResponder([this](const MessageBoxCall& call) {
            mBoxes << call;
            return int(vbOK);
        });
    }

    void cleanupTestCase()
    {
        SetApplicationFactory({});
        SetMessageBoxResponder({});
    }

    void init()
    {
        mBoxes.clear();
        clearStore();
    }

    void firstStartShowsSixteenBlankRows()
    {
        Form1 form;
        form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY2(mBoxes.isEmpty(), mBoxes.isEmpty() ? "" : qPrintable(mBoxes[0].prompt));
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
        Form1 form;
        form.Form_Load();
        QDir(skinFolder).removeRecursively();
        QVERIFY(mBoxes.isEmpty());
        const QColor face = form.palette().color(QPalette::Active, QPalette::Button);
        QCOMPARE(form.palette().color(QPalette::Window), face);
        QCOMPARE(form.Frame2->palette().color(QPalette::Window), face);
        // Labels keep their grey: only the window and its frame take the face colour.
        QCOMPARE(form.Labels[0]->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
    }

    void layoutFollowsTheTwipTable()
    {
        Form1 form;
        form.Form_Load();
        QCOMPARE(form.size(), QSize(863, 394));
        QCOMPARE(form.PushButton22->geometry(), QRect(8, 8, 848, 27));
        QCOMPARE(form.Frame2->geometry(), QRect(8, 70, 848, 316));
        QCOMPARE(form.grid()->geometry(), QRect(9, 87, 826, 186));
        QCOMPARE(form.PushButton1->text(), QStringLiteral("Delete Selected Row"));
        QCOMPARE(form.PushButton7->geometry(), QRect(440, 42, 416, 27));
        QCOMPARE(form.PushButton22->font().pointSizeF(), 11.25);
        QVERIFY(form.PushButton22->font().bold());
        // Labels sit side by side and the last one reaches the grid's right edge.
        QCOMPARE(form.Labels[6]->text(), QStringLiteral("Loan rate"));
        QCOMPARE(form.Labels[12]->geometry().right() + 1, form.grid()->geometry().right() + 1);
        QCOMPARE(form.Labels[13]->text(), QString());
        QVERIFY(form.Labels[1]->wordWrap());
        QCOMPARE(form.Labels[0]->palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
    }

    void helpNamesTheContactUnderTheApplicationTitle()
    {
        Form1 form;
        form.Form_Load();
        mBoxes.clear();
        form.PushButton6->click();
        QCOMPARE(mBoxes.size(), 1);
        QCOMPARE(mBoxes[0].prompt,
            QStringLiteral("Questions? Please contact Team Velmora at ")
                + QString::fromLatin1(kContactAddress));
        QCOMPARE(mBoxes[0].title, QStringLiteral("Tessivane"));
        QCOMPARE(mBoxes[0].buttons, int(vbOKOnly));
    }

    void closingWritesTheRowsEvenUnchanged()
    {
        {
            Form1 form;
            form.Form_Load();
            form.show();
            form.table().MoveFirst();
            form.table().SetValue(0, QStringLiteral("A-1"));
            form.table().SetValue(6, 149.99);
            form.close();
        }
        QCOMPARE(Stored("RowCount"), QStringLiteral("16"));
        QCOMPARE(Stored("RowSource1 1"), QStringLiteral("A-1"));
        QCOMPARE(Stored("RowSource7 1"), QStringLiteral("149.99"));

        Form1 again;
        again.Form_Load();
        again.table().MoveFirst();
        QCOMPARE(again.table().Value(0).toString(), QStringLiteral("A-1"));
        QCOMPARE(again.table().Value(6).toDouble(), 149.99);
    }

    void anEmptyStoredListStartsQuietly()
    {
        Store("RowCount", "0");
        Form1 form;
        form.Form_Load();
        QVERIFY(mBoxes.isEmpty());
        QCOMPARE(form.table().RecordCount(), 0);
        form.close();
        QCOMPARE(Stored("RowCount"), QStringLiteral("0"));
    }

    void aButtonPressedFromTheGridSavesAndStartsOnRowOne()
    {
        Form1 form;
        form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        DataGrid* grid = form.grid();
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(4, 0));
        QCOMPARE(form.table().CurrentRow(), 4);
        QTest::mouseClick(form.PushButton2, Qt::LeftButton);
        // The focus-out save ran first and left row 1 current: the blank row is row 2. The
        // rows are written in the background.
        QTRY_COMPARE(Stored("RowCount"), QStringLiteral("16"));
        QCOMPARE(form.table().RecordCount(), 17);
        QCOMPARE(form.table().CurrentRow(), 1);
        QVERIFY(mBoxes.isEmpty());
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
        Form1 form;
        form.Form_Load();
        const QString fileName = StoreFileName();
        QFile::remove(fileName);
        QVERIFY(QDir().mkpath(fileName)); // a folder in the file's place
        const auto removeFolder = qScopeGuard([&] { QDir(fileName).removeRecursively(); });
        if (closing)
            form.close();
        else
            form.DataGrid1_Validate();
        QTRY_COMPARE(mBoxes.size(), 1);
        const QString written
            = QStringLiteral("The rows could not be written to the settings file");
        if (closing) {
            QCOMPARE(mBoxes[0].title, QStringLiteral("Application Error"));
            QVERIFY(mBoxes[0].prompt.startsWith(written));
            QVERIFY(mBoxes[0].prompt.contains("Form1.Form_QueryUnload at line 100"));
        } else {
            QVERIFY(mBoxes[0].prompt.startsWith(
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
        Store("RowCount", rowCount);
        for (int row = 1; row <= 3; ++row)
            Store(QStringLiteral("RowSource1 %1").arg(row), QStringLiteral("A%1").arg(row));
        const QByteArray stored = StoreFile();
        if (!office)
            SetApplicationFactory([]() -> ApplicationPtr { throw std::runtime_error("none"); });
        SetProgramEnder([] {});
        int ends = 0;
        {
            Form1 form;
            form.setStartUpEnd([&] { ++ends; });
            // The polite kill comes in while the box is open.
            SetMessageBoxResponder([&](const MessageBoxCall& call) {
                if (call.prompt.startsWith(box))
                    form.CloseForShutdown();
                return int(vbOK);
            });
            form.Form_Load();
        }
        SetProgramEnder({});
        initTestCase(); // the office and the boxes as before
        QCOMPARE(StoreFile(), stored);
        QCOMPARE(ends, 1);
    }

    void deleteAllAsksAndRebindsTheGrid()
    {
        Form1 form;
        form.Form_Load();
        form.PushButton7_Click();
        QCOMPARE(form.table().RecordCount(), 2);
        SetMessageBoxResponder([this](const MessageBoxCall& call) {
            mBoxes << call;
            return int(vbYes);
        });
        form.PushButton3_Click();
        SetMessageBoxResponder([this](const MessageBoxCall& call) {
            mBoxes << call;
            return int(vbOK);
        });
        QCOMPARE(mBoxes.size(), 1);
        QCOMPARE(mBoxes[0].prompt, QStringLiteral("Do you really want clear ?"));
        QCOMPARE(form.table().RecordCount(), 16);
        QCOMPARE(form.grid()->model()->rowCount(), 16);
        QCOMPARE(form.grid()->columnWidth(0), qRound(764.7874 / 15));
        // The money columns show currency text again after the rebinding.
        const QString shown = form.grid()->model()->index(0, 6).data().toString();
        QCOMPARE(shown, CurrencyText(0));
    }

    void hoverPointerSparesTheHourglass()
    {
        Form1 form;
        form.Form_Load();
        form.show();
        QTest::mouseMove(form.PushButton7);
        QCOMPARE(form.pointer().value(), 99);
        QTest::mouseMove(form.grid()->viewport());
        QCOMPARE(form.pointer().value(), 0);
        form.pointer().set(11);
        QTest::mouseMove(form.PushButton22);
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
        Form1 form;
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
        for (const MessageBoxCall& box : mBoxes)
            QVERIFY2(box.title == QStringLiteral("Application Error"), qPrintable(box.prompt));
        QCOMPARE(form.table().RecordCount(), 2);
        QCOMPARE(
            RunFolders(temp), QStringList {QFileInfo(form.preview()->workFolder()).fileName()});
    }

    void aNewResultReplacesOneStillHeld()
    {
        QTemporaryDir temp;
        Form1 form;
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
        SetProgramEnder([&] { ended = true; });
        SetApplicationFactory([]() -> ApplicationPtr { throw std::runtime_error("no office"); });
        Form1 form;
        form.Form_Load();
        SetApplicationFactory([] { return std::make_shared<IdleApp>(); });
        SetProgramEnder({});
        QVERIFY(ended);
        QCOMPARE(mBoxes.size(), 1);
        QVERIFY(mBoxes[0].prompt.startsWith(
            "Error 842001. A normal instance of Excel could not be created."));
        QCOMPARE(mBoxes[0].buttons, int(vbOKOnly));
        QCOMPARE(mBoxes[0].title, QStringLiteral("Tessivane"));
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
