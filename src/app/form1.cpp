#include "app/form1.h"

#include "app/closeboxcatcher.h"
#include "app/homepage.h"
#include "app/inputblocker.h"
#include "app/outputcommand.h"
#include "app/runprogress.h"
#include "app/savefailurenotice.h"
#include "app/startup.h"
#include "core/apptitle.h"
#include "core/failurereport.h"
#include "core/fileprocs.h"
#include "core/messagebox.h"
#include "core/programend.h"
#include "generation/generationrun.h"
#include "grid/datagrid.h"
#include "grid/inventorysetup.h"
#include "grid/listeditor.h"
#include "grid/listhistory.h"
#include "grid/rowcommands.h"
#include "inventory/currency.h"
#include "inventory/fieldconversion.h"
#include "inventory/inventorytable.h"
#include "inventory/persistence.h"
#include "inventory/rowsaver.h"
#include "inventory/tablesetup.h"
#include "office/conversion/converter.h"
#include "office/services/isinstalled.h"
#include "office/services/services.h"
#include "preview/form2.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QIcon>
#include <QPushButton>
#include <QScopeGuard>

#include <stdexcept>

namespace tessivane {

Form1::Form1(const Services& services, const WindowContext& context, QWidget* parent)
    : QWidget(parent)
    , mServices(services)
    , mContext(context)
    , mResultNames(context.clock)
    , mSaver(std::make_unique<RowSaver>())
    , mPointer(this)
{
    buildControls();
    mSaveFailure = new SaveFailureNotice(
        mContext.boxes, [this] { return mRunInProgress; }, this);
}

Form1::~Form1() = default;

QPushButton* Form1::pushButton(int number) const
{
    switch (number) {
    case 1:
        return PushButton1;
    case 2:
        return PushButton2;
    case 3:
        return PushButton3;
    case 6:
        return PushButton6;
    case 7:
        return PushButton7;
    case 22:
        return PushButton22;
    default:
        throw std::out_of_range("Form1 has no such push button.");
    }
}

void Form1::Form_Load()
{
    Steps step(mContext.boxes, "Form1", "Form_Load");
    step(100, [&] { ApplySkin(); });
    step(102, [&] { setWindowTitle(QString::fromLatin1(kProductName)); });
    step(102, [&] { setWindowIcon(programIcon()); });
    step(102, [&] { SetApplicationTitle(); });
    step(104, [&] { setUpdatesEnabled(false); });
    const QString cursorFile = programFile(QStringLiteral("HAND-M.CUR"));
    if (step.test(106, [&] { return FileExists(cursorFile); }))
        step(108, [&] { mPointer.loadMouseIcon(cursorFile); });
    step(124, [&] { MyFmt = new DataFormat(this); });
    step(126, [&] { MyFmt->Type = 1; });
    step(128, [&] { MyFmt->Format = QStringLiteral("Currency"); });
    if (MyFmt)
        connect(MyFmt, &DataFormat::formatRequested, this,
            [this](QVariant& value) { MyFmt_Format(value); });
    step.sequence(130, tableCreation(mTable));
    if (mTable)
        mStoreUnread = !loadStoredRows(*mTable, step);
    else
        step(162, [&] { table(); });
    step.sequence(192, gridSetUp(*DataGrid1, mTable.get(), MyFmt));
    step(230, [&] { MaybeOpenHomePage(); });
    step(232, [&] {
        // An empty list is a normal state: there is no first row to make current.
        if (table().RecordCount() > 0)
            table().MoveFirst();
        DataGrid1->FollowTable();
    });
    step(234, [&] { setUpdatesEnabled(true); });
    step(236, [&] {
        const StartUpVerdict verdict = CheckExcelInstance(mServices);
        refuseStartUp(verdict.refusal, mContext.boxes, mContext.programEnder);
    });
    swallow([&] { restorePlacement(); });
    DataGrid1->setFocus();
    mStartUpDone = true;
}

void Form1::ApplySkin()
{
    // Without the skin component only its colour steps apply.
    if (!FileExists(programFile(QStringLiteral("x/o.cjs"))))
        return;
    const QColor face = palette().color(QPalette::Active, QPalette::Button);
    for (QWidget* widget : {static_cast<QWidget*>(this), static_cast<QWidget*>(Frame2)})
        setFixedBackground(widget, face);
}

void Form1::closeEvent(QCloseEvent* event)
{
    Form_QueryUnload();
    event->accept();
    // Form_Unload: the program ends, with any other window.
    QCoreApplication::quit();
}

void Form1::Form_QueryUnload()
{
    // Rows that were never loaded are never written over the stored ones.
    if (!mStartUpDone)
        return;
    Steps step(mContext.boxes, "Form1", "Form_QueryUnload");
    swallow([&] { keepPlacement(); });
    // Closing is no focus change: a cell still being edited is stored first.
    swallow([&] { DataGrid1->CommitEdit(); });
    if (storeLeftAlone(true))
        return;
    // The program ends after this: it waits for the earlier saves and its own.
    step(100, [&] { mSaver->saveAndWait(table()); });
    swallow([&] { DataGrid1->FollowTable(); });
}

void Form1::saveRowsForExit()
{
    Form_QueryUnload();
}

void Form1::closeForShutdown()
{
    if (!mStartUpDone) {
        // A close now would save a table that does not hold the stored rows yet, and the
        // program would go on: the main loop that a close ends has not started. As a refused
        // start ends: no further start-up step and no closing handling runs.
        endProgram(mContext.programEnder);
        return;
    }
    // A file being read for an import is let go first; the close follows once it has stopped.
    if (ListReading& reading = DataGrid1->editor().reading(); reading.isReading()) {
        connect(
            &reading, &ListReading::ended, this, [this] { closeForShutdown(); },
            Qt::ConnectionType(Qt::QueuedConnection | Qt::SingleShotConnection));
        reading.cancel();
        return;
    }
    if (mForm2 && mForm2->isVisible())
        mForm2->close();
    else
        close();
}

void Form1::raiseShowingWindow()
{
    QWidget* showing = mForm2 && mForm2->isVisible() ? static_cast<QWidget*>(mForm2.get()) : this;
    // Still starting: the window comes up on its own.
    if (!showing->isVisible())
        return;
    showing->setWindowState(showing->windowState() & ~Qt::WindowMinimized);
    showing->raise();
    showing->activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

void Form1::reviewListFile(const QString& path)
{
    raiseShowingWindow();
    // Queued: a later start waits for the window to come forward, not for the user's choice.
    QMetaObject::invokeMethod(
        this, [this, path] { DataGrid1->editor().importRows(path); }, Qt::QueuedConnection);
}

void Form1::endRowSaver()
{
    mStartUpDone = false; // nothing is saved any more
    mSaver.reset();
}

void Form1::DataGrid1_Validate()
{
    if (!mStartUpDone)
        return;
    // Run by the grid itself: there is no report here, but a failed save must not pass
    // unnoticed, nor end the program. The rows are written in the background, so a long list
    // does not hold up the focus change; a failed write is reported when it is known.
    if (storeLeftAlone(false))
        return;
    try {
        mSaver->save(
            table(), [this](const QString& description) { mSaveFailure->report(description); });
        DataGrid1->FollowTable();
    } catch (...) {
        mSaveFailure->report(currentFailureDescription());
    }
}

bool Form1::storeLeftAlone(bool closing)
{
    if (!mStoreUnread)
        return false;
    // As a save would, the first row becomes current.
    swallow([&] {
        takeRows(table());
        DataGrid1->FollowTable();
    });
    if (!std::exchange(mStoreUnreadSaid, true)) {
        const QString notice = QStringLiteral("The stored inventory list in %1 could not be read "
                                              "at start-up; that file is left as it is, so that "
                                              "its rows can be recovered.")
                                   .arg(storeFileName());
        if (closing)
            swallow([&] { mContext.boxes.MsgBox(SaveFailureNotice::heading() + notice); });
        else
            mSaveFailure->report(notice);
    }
    return true;
}

void Form1::MyFmt_Format(QVariant& dataValue)
{
    Steps step(mContext.boxes, "Form1", "MyFmt_Format");
    QVariant value;
    step(100, [&] { value = dataValue; });
    if (step.test(102, [&] { return isNumericValue(value); }))
        step(104, [&] { dataValue = CurrencyText(value.toDouble()); });
}

void Form1::PushButton1_Click()
{
    if (mRunInProgress)
        return;
    Steps step(mContext.boxes, "Form1", "PushButton1_Click");
    ListHistory::Recording change(DataGrid1->history(), QStringLiteral("Delete Selected Row"));
    step(100, [&] { deleteSelectedRow(table(), *DataGrid1, this, step); });
    // As a grid does after a delete, the cursor lands on the row that took its place.
    swallow([&] {
        InventoryTable& rows = table();
        if (rows.IsOnDeletedRow()) {
            rows.MoveNext();
            if (rows.IsEOF() && rows.RecordCount() > 0)
                rows.SetCurrentRow(rows.RecordCount() - 1);
        }
        DataGrid1->FollowTable();
    });
    swallow([&] { change.commit(); });
}

void Form1::PushButton2_Click()
{
    if (mRunInProgress)
        return;
    Steps step(mContext.boxes, "Form1", "PushButton2_Click");
    ListHistory::Recording change(
        DataGrid1->history(), QStringLiteral("Insert Below Selected Row"));
    step(100, [&] { insertBelowSelectedRow(table(), step); });
    swallow([&] { DataGrid1->FollowTableAndHighlight(); });
    swallow([&] { change.commit(); });
}

void Form1::PushButton3_Click()
{
    if (mRunInProgress)
        return;
    Steps step(mContext.boxes, "Form1", "PushButton3_Click");
    ListHistory::Recording change(DataGrid1->history(), QStringLiteral("Delete All"));
    deleteAll(mTable, *DataGrid1, MyFmt, step);
    swallow([&] { change.commit(); });
}

void Form1::PushButton6_Click()
{
    if (mRunInProgress)
        return;
    Steps step(mContext.boxes, "Form1", "PushButton6_Click");
    step(100, [&] {
        mContext.boxes.MsgBox(QStringLiteral("Questions? Please contact Team Velmora at ")
                + QString::fromLatin1(kContactAddress),
            vbOKOnly);
    });
}

void Form1::PushButton7_Click()
{
    if (mRunInProgress)
        return;
    Steps step(mContext.boxes, "Form1", "PushButton7_Click");
    ListHistory::Recording change(DataGrid1->history(), QStringLiteral("Load Sample Data"));
    step(100, [&] { loadSampleData(table(), *DataGrid1, MyFmt, step); });
    swallow([&] { change.commit(); });
}

InventoryTable& Form1::table()
{
    if (!mTable)
        throw std::runtime_error("Object variable or With block variable not set");
    return *mTable;
}

Form2& Form1::ensureForm2()
{
    if (!mForm2) {
        mForm2 = std::make_unique<Form2>(
            this, [this] { saveRowsForExit(); }, mContext.boxes);
        mForm2->setWorkbookConverter([this](const QString& workbook, const QString& target) {
            convertWorkbook(mServices, workbook, target);
        });
    }
    return *mForm2;
}

SheetText Form1::readWorkbook(const QString& workbook, const ReadProgress& progress)
{
    return readWorkbookSheet(mServices, workbook, progress);
}

namespace {

/// The windows as the generation run sees them.
class RunHost : public GenerationHost
{
public:
    RunHost(Form1& form1, std::function<Form2&()> form2, RunProgress& progress)
        : mForm1(form1)
        , mForm2(std::move(form2))
        , mProgress(progress)
    { }

    void SuspendDrawing(bool suspend) override { mForm1.setUpdatesEnabled(!suspend); }
    void SetMousePointer(int value) override { mForm1.pointer().set(value); }
    void PutPreviewPicture(const PagedPicture& picture) override { mForm2().setPicture(picture); }
    void PutPreviewRows(const SheetRows& rows) override { mForm2().setSheetRows(rows); }
    void SetPreviewExcelFile(const QString& path, const QString& workFolder) override
    {
        mForm2().replaceResult(path, workFolder);
    }
    void ShowPreview() override
    {
        Form2& preview = mForm2();
        preview.show();
        preview.raise();
        preview.activateWindow();
    }
    void HideMainWindow() override
    {
        // The progress window goes together with the main window.
        mForm1.hide();
        mProgress.finish();
    }
    void reportProgress(const QString& doing, int rowsWritten, int rowsTotal) override
    {
        mProgress.report(doing, rowsWritten, rowsTotal);
    }
    void whileOfficeWorks() override { mProgress.whileWaiting(); }

private:
    Form1& mForm1;
    std::function<Form2&()> mForm2;
    RunProgress& mProgress;
};

} // namespace

void Form1::PushButton22_Click()
{
    // One click is one run: a click that reaches the window while a run is in progress (the
    // run lets queued events through while it deletes its files) is not acted on.
    if (mRunInProgress)
        return;
    mRunInProgress = true;
    // Nothing in the list changes or is undone while the run reads it.
    DataGrid1->SetListLocked(true);
    const auto runEnds = qScopeGuard([this] {
        mRunInProgress = false;
        DataGrid1->SetListLocked(false);
        mSaveFailure->showPending();
    });
    // Nor is any other input to this window while the run lasts: a Delete All would pull
    // the table from under the run, and a click queued during the run must not be replayed
    // over the preview afterwards.
    const InputBlocker blocker(this);

    // A close box clicked while a failure report holds the window is not lost either.
    const CloseBoxCatcher closeBox(this);
    // A long run shows what it is doing over this window, and keeps that painted.
    RunProgress progress(this);
    const auto closeAfterRun = qScopeGuard([this, &progress, &closeBox] {
        progress.finish();
        if (progress.closeRequested() || closeBox.requested())
            QMetaObject::invokeMethod(
                this, [this] { closeForShutdown(); }, Qt::QueuedConnection);
    });
    RunHost host(
        *this, [this]() -> Form2& { return ensureForm2(); }, progress);
    InventoryTable* inventory = mTable.get();
    if (!inventory) {
        Steps step(mContext.boxes, "Form1", "PushButton22_Click");
        step(114, [&] { table(); });
        return;
    }
    runGeneration(*inventory, host, mServices, mContext.boxes, mResultNames);
    // The run leaves the table past its last row; the grid shows the first row again.
    swallow([&] {
        if (inventory->RecordCount() > 0)
            inventory->MoveFirst();
        DataGrid1->FollowTable();
    });
    InputBlocker::drainPendingEvents();
}

} // namespace tessivane
