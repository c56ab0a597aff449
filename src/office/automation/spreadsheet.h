#pragma once

#include "core/fileprocs.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <stdexcept>

namespace tessivane {

/// What a thread runs every few tens of milliseconds while a call it made into a spreadsheet
/// instance keeps it waiting (a progress window repaints). It must not call into the instance.
using WaitHook = std::function<void()>;

/// One worksheet of a workbook, addressed with the spreadsheet's 1-based rows and columns.
class Worksheet
{
public:
    virtual ~Worksheet() = default;

    /// Cells(row, column) = value. A QString is text ("" empties the cell); int, qint64 and
    /// double are numbers; QDate and QDateTime are date serials (1900 system) that keep the
    /// cell's own date format and get m/d/yyyy where the cell's format is General; an invalid
    /// QVariant empties the cell. Any other type, or a cell outside the sheet, throws here.
    virtual void PutCell(int row, int column, const QVariant& value) = 0;

    /// UsedRange.Rows(UsedRange.Rows.count).Row: the last row of the used range.
    virtual int UsedRangeLastRow() = 0;

    /// UsedRange.Columns(UsedRange.Columns.count).Column: the last column of the used range.
    virtual int UsedRangeLastColumn() = 0;

    /// UsedRange.CopyPicture: a picture of the used range as the screen shows it, 1:1 at
    /// 96 dpi, put on the program's picture clipboard; the system clipboard is never touched.
    virtual void CopyPicture(PictureClipboard& clipboard) = 0;

    /// Extends a table whose body ends at lastBodyRow down to lastRow, in a few operations of
    /// the office: the rows after the pattern rows take, in turn, the formats, the formulas
    /// (each referring to its own row) and the height of the pattern rows firstPatternRow to
    /// lastPatternRow, and the bottom line of the old last row moves under lastRow. Columns
    /// are those of the used range. What the filled rows held is replaced, so this comes
    /// before their values are written.
    virtual void extendTable(int firstPatternRow, int lastPatternRow, int lastBodyRow, int lastRow)
        = 0;

    /// The formulas of sourceRow go into the same columns of targetRow, each referring to
    /// targetRow as it referred to sourceRow; the target cells keep their formats.
    virtual void copyFormulas(int sourceRow, int targetRow) = 0;

    /// PageSetup.PrintTitleRows: rows firstRow to lastRow repeat at the top of every printed
    /// page; the columns that repeat at the left stay.
    virtual void setPrintTitleRows(int firstRow, int lastRow) = 0;

    /// From now on, cells written into this sheet's workbook leave every row's height as it
    /// is, also that of a row whose height would otherwise fit its contents. For rows whose
    /// heights are all set: the office then does not measure the written rows again.
    virtual void keepRowHeights() { }
};

/// The SaveAs file formats of an Excel 97-2003 workbook: xlExcel8 from Excel 2007 on, and
/// xlWorkbookNormal, which earlier versions write as one.
constexpr int xlExcel8 = 56;
constexpr int xlWorkbookNormal = -4143;

class Workbook
{
public:
    virtual ~Workbook() = default;

    /// SaveAs(path, FileFormat): 56 and -4143 both save an Excel 97-2003 workbook (.xls);
    /// other codes throw. An existing file of that name is replaced.
    virtual void SaveAs(const QString& path, int fileFormat) = 0;

    /// Close without saving and without a prompt.
    virtual void Close() = 0;

    /// The sheet shown in the workbook's view.
    virtual std::shared_ptr<Worksheet> ActiveSheet() = 0;
};

/// The open workbooks of one application instance.
class Workbooks
{
public:
    virtual ~Workbooks() = default;

    /// Workbooks.Open(path). A template (.xlt) opens as an untitled copy.
    virtual std::shared_ptr<Workbook> Open(const QString& path) = 0;

    /// Workbooks.count.
    virtual int count() = 0;

    /// Workbooks(index), 1-based in the order of opening.
    virtual std::shared_ptr<Workbook> item(int index) = 0;
};

/// One private spreadsheet application instance. Dropping the last reference to it (or to
/// any workbook or sheet of it) ends the instance when Quit was not called.
class Application
{
public:
    virtual ~Application() = default;

    virtual Workbooks& workbooks() = 0;

    /// Worksheets(index) of the active workbook (the last one opened and not closed), 1-based.
    virtual std::shared_ptr<Worksheet> Worksheets(int index) = 0;

    /// Range(address).Select on the active sheet of the active workbook, e.g. "B4".
    virtual void Range_Select(const QString& address) = 0;

    virtual void setVisible(bool visible) = 0;

    /// The application's version as a number text, major.minor ("7.4").
    virtual QString Version() = 0;

    virtual void setDisplayAlerts(bool displayAlerts) = 0;

    /// Ends the instance: its processes exit and its private profile is removed (for an
    /// instance of an InstancePool, on the pool's ending thread: the call returns at once).
    virtual void Quit() = 0;

    /// False once the instance died, hung past its time limit, or quit.
    virtual bool isAlive() const = 0;

    /// Kills the instance's processes at once, from any thread: a call in progress fails, and
    /// so does every later one. Quit still cleans up.
    virtual void abort() noexcept { }

    /// Opens a blank spreadsheet and closes it again, as the first real document will need:
    /// throws a readable sentence when the instance cannot (an office without its spreadsheet
    /// module starts, but opens no spreadsheet). The instance is the readier for it.
    virtual void proveSpreadsheet() { }

    /// Writes the cell values that PutCell keeps back now rather than before the next other
    /// call, so that a long list goes in parts whose end the caller sees.
    virtual void flushCellWrites() { }

    /// Hands in what the calling thread runs while later calls from it wait on the instance;
    /// an empty hook: the thread just waits.
    virtual void setWaitHook(WaitHook whileWaiting) { static_cast<void>(whileWaiting); }
};

using ApplicationPtr = std::shared_ptr<Application>;

/// Thrown by every call once the instance is known to be gone (died, hung past its time
/// limit, quit). The text is a sentence for the user.
class SpreadsheetGone : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

} // namespace tessivane
