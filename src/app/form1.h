#pragma once

#include "core/messagebox.h"
#include "core/windowlook.h"
#include "generation/generationrun.h"
#include "inventory/listfile.h"

#include <QTime>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QGroupBox;
class QLabel;
class QPushButton;

namespace tessivane {

class ColumnHeadings;
class DataFormat;
class DataGrid;
class Form2;
class InventoryTable;
class RowSaver;
class SaveFailureNotice;
struct Services;

/// What the main window takes from the program around it beside the offices, for itself and
/// for what it opens (the grid, the preview, the run): made in main.cpp, or by a test with its
/// scripted boxes.
struct WindowContext
{
    WindowContext() = default;
    /// A context whose boxes are messageBoxes (a test's script).
    explicit WindowContext(MessageBoxes messageBoxes)
        : boxes(std::move(messageBoxes))
    { }

    /// The message boxes of the windows and the run.
    MessageBoxes boxes;
    /// Ends the program at once (a refused start, a shutdown request during the start-up),
    /// after ending what the program started; empty: the process ends here.
    std::function<void()> programEnder;
    /// The time of day the result names are drawn from; empty: the system clock.
    std::function<QTime()> clock;
};

/// The main window: the inventory grid and the push buttons that start every command.
/// The handlers carry their fixed names; the work they do lives in the rooms beside. What it
/// needs from outside comes with the services (the offices) and the context (boxes, the
/// program's end, the clock), which both outlive it.
class Form1 : public QWidget
{
    Q_OBJECT

public:
    Form1(const Services& services, const WindowContext& context, QWidget* parent = nullptr);
    ~Form1() override;

    /// The start-up sequence; the window is shown after it returns.
    void Form_Load();

    // Handlers, public so that tests can drive them as the toolkit would.
    void Form_QueryUnload();
    void DataGrid1_Validate();
    void MyFmt_Format(QVariant& dataValue);
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton6_Click();
    void PushButton7_Click();
    void PushButton22_Click();

    /// Writes the rows to the settings store as closing the window does; the preview
    /// uses it when it ends the program.
    void saveRowsForExit();

    /// Ends the program as closing the visible window would: the main window's close, or
    /// the preview's when the preview is showing. Asked while Form_Load is still running (a
    /// start-up message is open), it ends the program at once without writing anything.
    void closeForShutdown();

    /// Brings the window the user works in forward and activates it: the preview while it
    /// shows, else this window; a message box or dialog open over it stays on top.
    void raiseShowingWindow();

    /// "Open with" a list file: brings the window forward and, once the caller has returned,
    /// opens "Import Rows..."'s review of the file (the list changes only as the user chooses).
    void reviewListFile(const QString& path);

    /// Lets the writes of the rows already asked for finish and ends their thread: the last
    /// thing before the program ends at once (no save is made after it).
    void endRowSaver();

    /// The inventory table; throws when it was never created.
    InventoryTable& table();
    DataGrid* grid() const { return DataGrid1; }
    MousePointer& pointer() { return mPointer; }
    Form2* preview() const { return mForm2.get(); }

    /// The window's controls, for tests and the bench that look at them or press them:
    /// PushButtonN (1, 2, 3, 6, 7 or 22; throws for another number), Frame2, LabelN (1 to 14).
    QPushButton* pushButton(int number) const;
    QGroupBox* frame2() const { return Frame2; }
    QLabel* label(int number) const { return Labels.at(size_t(number - 1)); }
    /// The labels over the columns, which follow them and resize them.
    ColumnHeadings* headings() const { return mHeadings; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QPushButton* PushButton22 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QPushButton* PushButton2 = nullptr;
    QPushButton* PushButton3 = nullptr;
    QPushButton* PushButton1 = nullptr;
    QPushButton* PushButton6 = nullptr;
    QPushButton* PushButton7 = nullptr;
    std::array<QLabel*, 14> Labels {}; // Label1 .. Label14

    // In form1layout.cpp: the controls, their names, keys, growth and kept placement.
    void buildControls();
    void describeControls();
    void addKeys();
    void makeGrowable();
    void restorePlacement();
    void keepPlacement();
    void ApplySkin();
    Form2& ensureForm2();
    /// The first sheet of a workbook to import, read by a private office as a run's is; on
    /// the import's reading thread, the office ended once progress says stop.
    SheetText readWorkbook(const QString& workbook, const ReadProgress& progress);

    bool storeLeftAlone(bool closing);

    /// True while a generation run is in progress: the window's input is not acted on.
    bool mRunInProgress = false;
    /// True once Form_Load has run: until then the table does not hold the stored rows.
    bool mStartUpDone = false;
    const Services& mServices;
    const WindowContext& mContext;
    ResultNameGenerator mResultNames;
    /// A background save's failure, told after a run that it came in during.
    SaveFailureNotice* mSaveFailure = nullptr;
    /// The stored list could not be read at start-up: it is never written over.
    bool mStoreUnread = false;
    bool mStoreUnreadSaid = false;
    DataGrid* DataGrid1 = nullptr;
    DataFormat* MyFmt = nullptr;
    std::unique_ptr<InventoryTable> mTable;
    std::unique_ptr<Form2> mForm2;
    std::unique_ptr<RowSaver> mSaver;
    MousePointer mPointer;
    ColumnHeadings* mHeadings = nullptr;
};

} // namespace tessivane
