#include "generation/generationrun.h"

#include "core/bitmapfile.h"
#include "core/failurereport.h"
#include "core/fileprocs.h"
#include "core/messagebox.h"
#include "core/mousepointer.h"
#include "core/safefile.h"
#include "core/scratchfolders.h"
#include "core/spoolreserve.h"
#include "inventory/inventorytable.h"
#include "office/automation/whilewaiting.h"
#include "office/services/excel1.h"
#include "office/services/services.h"
#include "resources/resources.h"

#include <QDir>
#include <QImageReader>
#include <QLocale>
#include <QTime>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace tessivane {

namespace {

constexpr char kRunFolderPrefix[] = "tessivane-run-";
constexpr int kLoanRateField = 10;
constexpr std::array<int, 13> kColumnOfField = kSheetColumnOfField;
// The template's data rows: from kSheetFirstRow to row 39, closed by a black line under the
// last; rows 36 and 37 are a white and a banded inner row, the pair a longer list repeats.
constexpr int kTemplateLastDataRow = 39;
constexpr int kPatternFirstRow = 36;
constexpr int kPatternLastRow = 37;
constexpr int kTitleRows = 3;
// A smaller picture is written about as fast without its room made ahead.
constexpr qint64 kPictureWorthReserving = 32 * 1024 * 1024;

float SecondsSinceMidnight(const QTime& time)
{
    return static_cast<float>(time.msecsSinceStartOfDay()) / 1000.0f;
}

/// The picture in the file, recognised by its content. The uncompressed bitmap the snapshot
/// writes is read in place, however tall, and stays readable once the file is deleted; any
/// other form is decoded whole.
PagedPicture loadPictureByContent(const QString& path)
{
    PagedPicture mapped = PagedPicture::mapBitmapFile(path);
    if (!mapped.isNull())
        return mapped;
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QImage picture = readWholePicture(reader);
    if (picture.isNull())
        throw std::runtime_error(QStringLiteral("Invalid picture: %1 (%2)")
                                     .arg(path, reader.errorString())
                                     .toStdString());
    return picture;
}

/// The object a step works on; a step whose object was never made fails readably.
template <typename T> T& Need(const std::shared_ptr<T>& object, const char* what)
{
    if (!object)
        throw std::runtime_error(std::string(what) + " is not available.");
    return *object;
}

/// Runs the steps that need one spreadsheet instance. Once the instance is known to be
/// gone (it never started, died or hung), that is reported once and the remaining calls
/// on it are skipped instead of one report per cell.
class InstanceSteps
{
public:
    InstanceSteps(Steps& step, const ApplicationPtr& app)
        : mStep(step)
        , mApp(app)
    { }

    template <typename Call> void operator()(int line, Call&& call)
    {
        if (mGoneReported)
            return;
        const bool ok = mStep(line, [&] {
            Need(mApp, "The spreadsheet application");
            call();
        });
        if (!ok && (!mApp || !mApp->isAlive()))
            mGoneReported = true;
    }

private:
    Steps& mStep;
    const ApplicationPtr& mApp;
    bool mGoneReported = false;
};

/// Every row of the list computed and formatted alike, whatever its length: the template's
/// first data row computes nothing and its formatted rows end at row 39. Done before the
/// values go in, since the fill replaces what its rows hold.
void readyDataRows(Worksheet& sheet, int records)
{
    // Every data row has the template's set height, which the values written never change.
    sheet.keepRowHeights();
    sheet.copyFormulas(kSheetFirstRow + 1, kSheetFirstRow);
    // Printed pages after the first show the title and the column headings too. Set while
    // the sheet is short: the office lays its pages out again for the change.
    sheet.setPrintTitleRows(1, kTitleRows);
    const int lastRow = kSheetFirstRow + records - 1;
    if (lastRow > kTemplateLastDataRow)
        sheet.extendTable(kPatternFirstRow, kPatternLastRow, kTemplateLastDataRow, lastRow);
}

} // namespace

int columnOfField(int field)
{
    return kColumnOfField.at(static_cast<size_t>(field));
}

QVariant cellValueOfField(int field, const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    if (field == kLoanRateField)
        return value.toDouble() / 100.0;
    return value;
}

ResultNameGenerator::ResultNameGenerator(std::function<QTime()> clock)
    : mClock(std::move(clock))
{ }

void ResultNameGenerator::Randomize(float seed)
{
    quint32 bits = 0;
    std::memcpy(&bits, &seed, sizeof bits);
    const quint32 mixed = ((bits & 0xFFFFu) ^ (bits >> 16)) << 8;
    mState = (mState & 0xFF0000FFu) | (mixed & 0x00FFFF00u);
}

float ResultNameGenerator::Rnd()
{
    mState = (mState * 0x43FD43FDu + 0xC39EC3u) & 0xFFFFFFu;
    return static_cast<float>(mState) / 16777216.0f;
}

QString ResultNameGenerator::DrawBaseName(const std::function<float()>& timer)
{
    QString name = QStringLiteral("drimak");
    for (int digit = 0; digit < 8; ++digit) {
        Randomize(timer ? timer() : SecondsSinceMidnight(QTime::currentTime()));
        name += QString::number(static_cast<int>(Rnd() * 9) + 1);
    }
    return name;
}

QString ResultNameGenerator::DrawBaseName()
{
    if (!mClock)
        return DrawBaseName({});
    return DrawBaseName([this] { return SecondsSinceMidnight(mClock()); });
}

QString createRunFolder()
{
    // Owner-only, and named with this program's id, so that the next start can tell a
    // folder whose program was killed; it lives as long as its result.
    return makeScratchFolder(tempFolder(), QString::fromLatin1(kRunFolderPrefix));
}

void removeLeftoverRunFolders(bool includeOwn)
{
    removeLeftoverScratchFolders(tempFolder(), QString::fromLatin1(kRunFolderPrefix), includeOwn);
}

qint64 pictureBytesFor(int records)
{
    constexpr int kWidth = 1526;
    constexpr int kHeadPixels = 171;
    constexpr int kRowPixels = 26;
    constexpr int kRowBelowPixels = 17; // a short list's picture shows an empty row below
    const int rows = std::max(records, kTemplateLastDataRow - kSheetFirstRow + 1);
    return bitmapHeader(kWidth, 0).size()
        + bitmapStride(kWidth) * (kHeadPixels + qint64(kRowPixels) * rows + kRowBelowPixels);
}

bool listFitsTheSheet(const InventoryTable& table, const MessageBoxes& boxes)
{
    int rows = 0;
    swallow([&] { rows = table.RecordCount(); });
    if (rows <= kMaxInventoryRows)
        return true;
    const QLocale locale;
    boxes.MsgBox(
        QStringLiteral("The list has %1 rows, but a sheet of an Excel 97-2003 workbook (.xls) "
                       "ends at row %2, and the list starts in row 4: at most %3 rows fit. "
                       "Nothing has been written, and the list is kept as it is; remove rows "
                       "from it to create the workbook.")
            .arg(locale.toString(rows), locale.toString(kMaxInventoryRows + 3),
                locale.toString(kMaxInventoryRows)),
        vbOKOnly);
    return false;
}

namespace {

/// The run's second half for the preview (lines 178 to 194): a second instance reopens the
/// saved workbook and photographs its sheet, and the picture goes to the host.
void makePicture(Steps& step, GenerationHost& host, const Services& services,
    const MessageBoxes& boxes, const QString& resultPath, const QString& snapshotPath,
    SpoolReserve* pictureRoom, const WaitHook& whileWaiting,
    const std::function<void(const char*)>& report)
{
    ApplicationPtr second;
    std::shared_ptr<Workbook> reopened;
    report("Opening the saved workbook");
    step(178, [&] { second = OpenInNewExcel(services, resultPath, whileWaiting); });
    step(180, [&] { host.SetMousePointer(vbHourglass); });
    InstanceSteps reopen(step, second);
    report("Making the picture");
    reopen(182, [&] { reopened = second->workbooks().item(second->workbooks().count()); });
    SheetRows sheetRows;
    reopen(
        184, [&] { saveCellsActivesheet(reopened, snapshotPath, boxes, &sheetRows, pictureRoom); });
    reopen(186, [&] { second->setDisplayAlerts(false); });
    reopen(188, [&] { Need(reopened, "The reopened workbook").Close(); });
    reopen(190, [&] { second->Quit(); });
    reopened.reset();
    second.reset();
    step(192, [&] { host.SetMousePointer(vbDefault); });

    report("Showing the picture");
    step(194, [&] {
        PagedPicture picture;
        try {
            // A tall picture takes a while to read: the host paints meanwhile.
            picture
                = runWhileWaiting(whileWaiting, [&] { return loadPictureByContent(snapshotPath); });
        } catch (...) {
            // A run without a picture shows none: never an earlier run's, of other rows.
            swallow([&] { host.PutPreviewPicture(PagedPicture()); });
            throw;
        }
        host.PutPreviewPicture(picture);
    });
    swallow([&] { host.PutPreviewRows(sheetRows); });
}

} // namespace

void runGeneration(InventoryTable& table, GenerationHost& host, const Services& services,
    const MessageBoxes& boxes, ResultNameGenerator& names, RunMakes makes)
{
    // Before anything is started: a list longer than the sheet would be saved with its last
    // rows missing.
    if (!listFitsTheSheet(table, boxes))
        return;
    Steps step(boxes, "Form1", "PushButton22_Click");
    QString workFolder;
    // The office's reports of a write that found no room seldom say so.
    step.setCause(
        [&workFolder] { return fullDiskCause(workFolder.isEmpty() ? tempFolder() : workFolder); });

    QString templatePath;
    QString snapshotPath;
    QString resultPath;
    QByteArray templateData;
    // The run's first instance, held from line 104 to line 176.
    ApplicationPtr xlApp;
    std::shared_ptr<Workbook> xlBook;
    int records = 0;
    int rowsWritten = 0;
    const auto report = [&](const char* doing) {
        swallow([&] { host.reportProgress(QString::fromLatin1(doing), rowsWritten, records); });
    };
    // An instance may outlive the run (it can be released in the background); what it runs
    // while a call waits must not reach the host after the run.
    const auto runLasts = std::make_shared<GenerationHost*>(&host);
    const WaitHook whileWaiting = [run = std::weak_ptr<GenerationHost*>(runLasts)] {
        if (const auto held = run.lock())
            (*held)->whileOfficeWorks();
    };

    step(100, [&] { host.SuspendDrawing(true); });
    int row = 4;
    step(102, [&] {
        // Every working file lives in a private folder of this run, never under a fixed
        // name in the shared temporary folder.
        workFolder = createRunFolder();
        templatePath = workFolder + QStringLiteral("/template.xlt");
        snapshotPath = workFolder + QStringLiteral("/temp.bmp");
    });
    // The picture's room is filled ahead while the office works on the workbook alone.
    std::optional<SpoolReserve> pictureRoom;
    int listRows = 0;
    swallow([&] { listRows = table.RecordCount(); });
    const qint64 pictureBytes = pictureBytesFor(listRows);
    if (makes == RunMakes::WorkbookAndPicture && !workFolder.isEmpty()
        && pictureBytes >= kPictureWorthReserving)
        pictureRoom.emplace(workFolder + QStringLiteral("/picture-XXXXXX.bmp"), pictureBytes);
    report("Starting LibreOffice");
    step(104, [&] { StartExcel(xlApp, services, whileWaiting); });
    step(106, [&] { host.SetMousePointer(vbHourglass); });
    step(108, [&] { templateData = templateBytes(); });
    if (step.test(110, [&] {
            if (workFolder.isEmpty())
                throw std::runtime_error("There is no working folder for the template.");
            return !FileExists(templatePath);
        }))
        step(110, [&] { WriteBytesToFile(templateData, templatePath); });

    InstanceSteps first(step, xlApp);
    report("Opening the template");
    first(112, [&] { xlBook = xlApp->workbooks().Open(templatePath); });
    step(114, [&] {
        if (table.RecordCount() > 0) // an empty list has no first row to move to
            table.MoveFirst();
    });
    step(116, [&] { records = table.RecordCount(); });
    if (xlBook)
        first(116, [&] { readyDataRows(Need(xlApp->Worksheets(1), "The worksheet"), records); });
    report("Writing rows");
    for (int j = 0; j < records; ++j) {
        std::shared_ptr<Worksheet> sheet;
        // Without the opened template there is nothing to write into; its failure was
        // reported once at the open, not again for every cell.
        for (int field = 0; xlBook && field < 13; ++field) {
            first(118 + 2 * field, [&] {
                if (!sheet)
                    sheet = xlApp->Worksheets(1);
                Need(sheet, "The worksheet")
                    .PutCell(
                        row, columnOfField(field), cellValueOfField(field, table.Value(field)));
            });
        }
        // The cells go into the sheet a part at a time, so that the host can tell how many
        // rows are in; a failing write is one of the last field's cells.
        if (xlBook && ((j + 1) % kRowsPerWrite == 0 || j + 1 == records)) {
            bool written = false;
            first(142, [&] {
                xlApp->flushCellWrites();
                written = true;
            });
            if (written) {
                rowsWritten = j + 1;
                report("Writing rows");
            }
        }
        step(144, [&] { ++row; });
        step(146, [&] { table.MoveNext(); });
    }
    first(148, [&] { xlApp->Range_Select(QStringLiteral("B4")); });
    first(150, [&] { xlApp->setVisible(false); });
    step(152, [&] {
        if (workFolder.isEmpty())
            throw std::runtime_error("There is no working folder for the result workbook.");
        do {
            resultPath
                = workFolder + QLatin1Char('/') + names.DrawBaseName() + QStringLiteral(".xls");
        } while (FileExists(resultPath));
    });
    report("Saving the workbook");
    first(168,
        [&] { Need(xlBook, "The workbook").SaveAs(resultPath, ExcelSaveFormat(services, xlApp)); });
    first(170, [&] { xlApp->setDisplayAlerts(false); });
    first(172, [&] { Need(xlBook, "The workbook").Close(); });
    first(174, [&] { xlApp->Quit(); });
    xlBook.reset();
    step(176, [&] { ReleaseExcel(xlApp); });

    if (makes == RunMakes::WorkbookAndPicture)
        makePicture(step, host, services, boxes, resultPath, snapshotPath,
            pictureRoom ? &*pictureRoom : nullptr, whileWaiting, report);
    step(196, [&] { host.SetPreviewExcelFile(resultPath, workFolder); });
    step(198, [&] { host.ShowPreview(); });
    step(200, [&] { host.HideMainWindow(); });
    step(202, [&] { KillFile(snapshotPath); });
    step(204, [&] { KillFile(templatePath); });
    step(206, [&] { host.SuspendDrawing(false); });
}

} // namespace tessivane
