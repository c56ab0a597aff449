#pragma once

// The one fake spreadsheet application of the tests: every instance the factory makes shares
// one FakeOffice, which scripts how they behave and records what was asked of them.

#include "core/fileprocs.h"
#include "office/services/services.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QStringList>

#include <memory>
#include <stdexcept>
#include <vector>

namespace tessivane::test {

/// The script and the journal of the fake instances.
struct FakeOffice
{
    /// "Start", "Open(name)", "CopyFormulas(5,4)", "ExtendTable(36-37,39,43)",
    /// "PrintTitleRows(1:3)", "Cells(row,column)=type:value", "Select(B4)", "Visible=0",
    /// "SaveAs(name,format)", "DisplayAlerts=0", "Close", "CopyPicture", "Quit".
    QStringList calls;
    int putsBeforeDeath = -1; // the instance dies after this many cell writes
    bool dead = false;
    bool copyFails = false;
    bool noSpreadsheetModule = false; // starts, but opens no spreadsheet
    QString version = QStringLiteral("7.4");
    int lastRow = 44;
    int lastColumn = 18;
    QImage picture = [] {
        QImage white(1200, 700, QImage::Format_RGB32);
        white.fill(Qt::white);
        return white;
    }();
    int created = 0;
    int destroyed = 0;
    int quits = 0;
    int versionReads = 0;
    WaitHook whileWaiting; // the last one handed in

    void failIfDead() const
    {
        if (dead)
            throw SpreadsheetGone("The spreadsheet application has stopped answering.");
    }

    /// Makes createApplication with services hand out fake instances of this office until the
    /// end of scope.
    class Installed
    {
    public:
        Installed(Services& services, FakeOffice& office);
        ~Installed() { mServices.makeApplication = {}; }
        Installed(const Installed&) = delete;
        Installed& operator=(const Installed&) = delete;

    private:
        Services& mServices;
    };
};

inline QString DescribeValue(const QVariant& value)
{
    if (!value.isValid())
        return QStringLiteral("<invalid>");
    return QStringLiteral("%1:%2").arg(QString::fromLatin1(value.typeName()), value.toString());
}

class FakeSheet : public Worksheet
{
public:
    explicit FakeSheet(FakeOffice& office)
        : mOffice(office)
    { }
    void PutCell(int row, int column, const QVariant& value) override
    {
        mOffice.failIfDead();
        if (mOffice.putsBeforeDeath >= 0 && mOffice.putsBeforeDeath-- == 0) {
            mOffice.dead = true;
            mOffice.failIfDead();
        }
        mOffice.calls
            << QStringLiteral("Cells(%1,%2)=%3").arg(row).arg(column).arg(DescribeValue(value));
    }
    int UsedRangeLastRow() override { return mOffice.lastRow; }
    int UsedRangeLastColumn() override { return mOffice.lastColumn; }
    void CopyPicture(PictureClipboard& clipboard) override
    {
        if (mOffice.copyFails)
            throw std::runtime_error("The picture could not be made.");
        mOffice.calls << QStringLiteral("CopyPicture");
        clipboard.setImage(mOffice.picture);
    }
    void extendTable(int firstPattern, int lastPattern, int lastBody, int lastRow) override
    {
        mOffice.failIfDead();
        mOffice.calls << QStringLiteral("ExtendTable(%1-%2,%3,%4)")
                             .arg(firstPattern)
                             .arg(lastPattern)
                             .arg(lastBody)
                             .arg(lastRow);
    }
    void copyFormulas(int sourceRow, int targetRow) override
    {
        mOffice.failIfDead();
        mOffice.calls << QStringLiteral("CopyFormulas(%1,%2)").arg(sourceRow).arg(targetRow);
    }
    void setPrintTitleRows(int firstRow, int lastRow) override
    {
        mOffice.failIfDead();
        mOffice.calls << QStringLiteral("PrintTitleRows(%1:%2)").arg(firstRow).arg(lastRow);
    }

private:
    FakeOffice& mOffice;
};

class FakeBook : public Workbook
{
public:
    explicit FakeBook(FakeOffice& office)
        : mOffice(office)
    { }
    void SaveAs(const QString& path, int format) override
    {
        mOffice.failIfDead();
        mOffice.calls
            << QStringLiteral("SaveAs(%1,%2)").arg(QFileInfo(path).fileName()).arg(format);
        for (int wait = 0; wait < 2 && mOffice.whileWaiting; ++wait)
            mOffice.whileWaiting(); // a save that takes its time
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            throw std::runtime_error("cannot save");
        file.write("xls");
    }
    void Close() override { mOffice.calls << QStringLiteral("Close"); }
    std::shared_ptr<Worksheet> ActiveSheet() override
    {
        return std::make_shared<FakeSheet>(mOffice);
    }

private:
    FakeOffice& mOffice;
};

class FakeApplication : public Application, public Workbooks
{
public:
    explicit FakeApplication(FakeOffice& office)
        : mOffice(office)
    {
        ++mOffice.created;
        mOffice.calls << QStringLiteral("Start");
    }
    ~FakeApplication() override { ++mOffice.destroyed; }

    Workbooks& workbooks() override { return *this; }
    void proveSpreadsheet() override
    {
        mOffice.failIfDead();
        if (mOffice.noSpreadsheetModule)
            throw std::runtime_error("The spreadsheet module is not installed.");
    }
    std::shared_ptr<Workbook> Open(const QString& path) override
    {
        mOffice.failIfDead();
        if (!QFile::exists(path))
            throw std::runtime_error("file not found");
        mOffice.calls << QStringLiteral("Open(%1)").arg(QFileInfo(path).fileName());
        mBooks.push_back(std::make_shared<FakeBook>(mOffice));
        return mBooks.back();
    }
    int count() override { return int(mBooks.size()); }
    std::shared_ptr<Workbook> item(int index) override { return mBooks.at(size_t(index - 1)); }

    std::shared_ptr<Worksheet> Worksheets(int) override
    {
        return std::make_shared<FakeSheet>(mOffice);
    }
    void Range_Select(const QString& address) override
    {
        mOffice.failIfDead();
        mOffice.calls << QStringLiteral("Select(%1)").arg(address);
    }
    void setVisible(bool visible) override
    {
        mOffice.calls << QStringLiteral("Visible=%1").arg(visible);
    }
    QString Version() override
    {
        ++mOffice.versionReads;
        return mOffice.version;
    }
    void setDisplayAlerts(bool on) override
    {
        mOffice.failIfDead();
        mOffice.calls << QStringLiteral("DisplayAlerts=%1").arg(on);
    }
    void Quit() override
    {
        ++mOffice.quits;
        mOffice.calls << QStringLiteral("Quit");
    }
    bool isAlive() const override { return !mOffice.dead; }
    void flushCellWrites() override { mOffice.calls << QStringLiteral("Flush"); }
    void setWaitHook(WaitHook hook) override { mOffice.whileWaiting = std::move(hook); }

private:
    FakeOffice& mOffice;
    std::vector<std::shared_ptr<Workbook>> mBooks;
};

inline FakeOffice::Installed::Installed(Services& services, FakeOffice& office)
    : mServices(services)
{
    services.makeApplication = [&office] { return std::make_shared<FakeApplication>(office); };
}

} // namespace tessivane::test
