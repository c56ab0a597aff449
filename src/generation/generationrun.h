#pragma once

#include "core/bitmapfile.h"
#include "core/fileprocs.h"

#include <QString>
#include <QTime>
#include <QVariant>

#include <functional>

namespace tessivane {

class InventoryTable;
class MessageBoxes;
struct Services;

/// What the generation run needs of the windows around it.
class GenerationHost
{
public:
    virtual ~GenerationHost() = default;

    /// Suspends (true) or resumes (false) drawing of the main window.
    virtual void SuspendDrawing(bool suspend) = 0;
    /// The main window's mouse pointer (0 default, 11 hourglass).
    virtual void SetMousePointer(int value) = 0;
    /// Loads the preview window if needed and puts the snapshot into its image box.
    virtual void PutPreviewPicture(const PagedPicture& picture) = 0;
    /// Tells the preview which sheet rows its picture shows (for a screen reader).
    virtual void PutPreviewRows(const SheetRows&) { }
    /// Hands the result workbook and its working folder to the preview window.
    virtual void SetPreviewExcelFile(const QString& path, const QString& workFolder) = 0;
    virtual void ShowPreview() = 0;
    virtual void HideMainWindow() = 0;

    /// What the run is doing now ("Writing rows"), and how many of its rowsTotal rows are in
    /// the workbook so far.
    virtual void reportProgress(const QString& doing, int rowsWritten, int rowsTotal)
    {
        static_cast<void>(doing);
        static_cast<void>(rowsWritten);
        static_cast<void>(rowsTotal);
    }
    /// Runs every few tens of milliseconds while a spreadsheet call keeps the run waiting.
    virtual void whileOfficeWorks() { }
};

/// The worksheet column (1-based) that receives inventory field 0..12.
int columnOfField(int field);

/// The value written for a field: Null as the empty text; the loan rate, which the grid
/// holds as a percent, as the fraction the sheet's percent cell and PMT formula expect.
QVariant cellValueOfField(int field, const QVariant& value);

/// VB-style pseudo-random numbers: reseeding with an unchanged value does not restart
/// the sequence, so successive draws within one second still differ.
class ResultNameGenerator
{
public:
    ResultNameGenerator() = default;
    /// Names drawn from clock's time of day; empty: the system clock.
    explicit ResultNameGenerator(std::function<QTime()> clock);

    void Randomize(float seed);
    float Rnd();

    /// "drimak" followed by eight digits 1 to 9, reseeded from the time before each digit:
    /// timer's seconds since midnight, else the system clock's.
    QString DrawBaseName(const std::function<float()>& timer);
    /// The same from the generator's own clock.
    QString DrawBaseName();

private:
    quint32 mState = 0x50000;
    std::function<QTime()> mClock;
};

/// The run's private working folder: created owner-only under the temporary folder, named
/// "tessivane-run-<pid>-XXXXXX" after this program. Throws when it cannot be made.
QString createRunFolder();

/// Removes the run folders of programs that no longer live (at start: a killed program, or
/// one whose office was ended mid-save, left them) and, with includeOwn, this program's own
/// (at its end). Only real, owner-only folders of this user are touched.
void removeLeftoverRunFolders(bool includeOwn);

/// The rows written between two reports of the run's progress: each such part is one write
/// into the sheet. Each write costs the office much beside its cells: at a quarter of this
/// size, 10,000 rows took twice as long to write.
constexpr int kRowsPerWrite = 1000;

/// The bytes of the sheet picture of a list of records, as the office draws the template (at
/// 96 dpi: 1,526 pixels wide, the title and headings 171 pixels high, each item's row 26, and
/// an empty row below of 17), or a little more; a list shorter than the template's 36 rows shows
/// them all.
qint64 pictureBytesFor(int records);

/// The most inventory rows a workbook takes: an .xls sheet has 65,536 rows, and the list
/// starts in row 4.
constexpr int kMaxInventoryRows = 65533;

/// True when the table's rows fit the sheet; otherwise tells the user so through boxes,
/// naming the limit, and returns false.
bool listFitsTheSheet(const InventoryTable& table, const MessageBoxes& boxes);

/// What a run makes: the workbook and the preview's picture of it (the window), or the
/// workbook alone (the command line, which shows no picture).
enum class RunMakes { WorkbookAndPicture, WorkbookOnly };

/// "Start Creating Template": fills the carried template with the table's rows through a
/// spreadsheet instance of the services, saves it as .xls under a name drawn by names,
/// photographs the sheet in a second instance and hands both to the preview. A list longer
/// than the sheet holds is refused before anything starts (listFitsTheSheet). Every step
/// reports its own failure through boxes and the run goes on; the host hears what it is doing and
/// keeps its windows painted while the office works. With RunMakes::WorkbookOnly no second instance
/// starts and no picture is made; the host is handed the workbook as the preview would be.
void runGeneration(InventoryTable& table, GenerationHost& host, const Services& services,
    const MessageBoxes& boxes, ResultNameGenerator& names,
    RunMakes makes = RunMakes::WorkbookAndPicture);

} // namespace tessivane
