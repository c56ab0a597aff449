#include "app/outputcommand.h"

#include "app/startup.h"
#include "core/failurereport.h"
#include "core/safefile.h"
#include "core/scratchfolders.h"
#include "generation/generationrun.h"
#include "inventory/inventoryfields.h"
#include "inventory/inventorytable.h"
#include "inventory/tablesetup.h"
#include "office/conversion/converter.h"
#include "office/services/isinstalled.h"
#include "office/services/services.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>

#include <memory>
#include <optional>
#include <stdexcept>
#include <utility>

namespace tessivane {

namespace {

constexpr const char* kOutputKinds[] = {"xls", "pdf", "xlsx", "ods"};

/// A box's text as one line of standard error. A failure report keeps its description, the
/// procedure and the line, without the request for a screenshot.
QString lineOfBox(const MessageBoxCall& call)
{
    QString text = call.prompt;
    if (call.title == QLatin1String("Application Error")) {
        const qsizetype end = text.indexOf(QLatin1String("\r\r"));
        if (end >= 0)
            text.truncate(end);
    }
    return text.simplified();
}

/// The run as the command sees it: no window; progress goes to the console, the workbook is
/// kept where the preview would get it.
class CommandHost : public GenerationHost
{
public:
    CommandHost(const CommandConsole& console, const std::atomic<int>& stop)
        : mConsole(console)
        , mStop(stop)
    { }

    void SuspendDrawing(bool) override { }
    void SetMousePointer(int) override { }
    void PutPreviewPicture(const PagedPicture&) override { }
    void SetPreviewExcelFile(const QString& path, const QString& workFolder) override
    {
        mWorkbook = path;
        mWorkFolder = workFolder;
    }
    void ShowPreview() override { }
    void HideMainWindow() override { }
    void reportProgress(const QString& doing, int rowsWritten, int rowsTotal) override
    {
        if (!mConsole.showProgress || mStop.load() != 0)
            return;
        if (doing == QLatin1String("Writing rows") && rowsTotal > 0)
            mConsole.say(QStringLiteral("Writing rows %L1 of %L2").arg(rowsWritten).arg(rowsTotal));
        else
            mConsole.say(doing);
    }

    const QString& workbook() const { return mWorkbook; }
    const QString& workFolder() const { return mWorkFolder; }

private:
    const CommandConsole& mConsole;
    const std::atomic<int>& mStop;
    QString mWorkbook;
    QString mWorkFolder;
};

/// Thrown by the input's workbook reader when no office starts: the command's status 3.
struct NoOffice
{
};

} // namespace

bool isOutputKind(const QString& output)
{
    const QString suffix = QFileInfo(output).suffix();
    for (const char* kind : kOutputKinds)
        if (suffix.compare(QLatin1String(kind), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

SheetText readWorkbookSheet(
    const Services& services, const QString& workbook, const ReadProgress& progress)
{
    // A run's folder: owner-only, gone afterwards, or at the next start after a kill.
    const QString folder = createRunFolder();
    const auto removeFolder = qScopeGuard([&folder] { removeOwnFolder(folder); });
    const FirstSheetCsv sheet = convertFirstSheetToCsv(services, workbook, folder,
        sheetRowsToRead(), [&progress] { return progress && !progress(0, 0); });
    QFile file(sheet.path);
    // No more than the list's limit of rows went to the text, and no more text is read than
    // a list file may hold.
    if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxListFileBytes)
        throw std::runtime_error(
            QStringLiteral("The first sheet of %1 cannot be read: %2")
                .arg(workbook,
                    file.isOpen() ? QStringLiteral("it holds more text than the list reads.")
                                  : file.errorString())
                .toStdString());
    return {sheet.sheetName, file.readAll(), sheet.rowsLeftOut};
}

namespace {

/// One `--output` command: its boxes, which speak on the console, its offices, one at a time
/// and none ready, and its steps from the rows to the written file. Each step returns the
/// command's exit status when the command ends there.
class OutputCommand
{
public:
    OutputCommand(const OutputRequest& request, const Services& given,
        const CommandConsole& console, const std::atomic<int>& stop);
    OutputCommand(const OutputCommand&) = delete;
    OutputCommand& operator=(const OutputCommand&) = delete;

    int run();

private:
    bool stopped() const { return mStop.load() != 0; }
    int stoppedExit() const { return 128 + mStop.load(); }
    int fail(const QString& problem) const;
    bool officeStarts();
    std::optional<int> readRows(InventoryTable& table, Steps& load);
    std::optional<int> readInput(InventoryTable& table);
    int makeAndWrite(InventoryTable& table);
    int writeOutput(const QString& workbook, int rows);

    const OutputRequest& mRequest;
    const CommandConsole& mConsole;
    const std::atomic<int>& mStop;
    int mReports = 0;
    MessageBoxes mBoxes;
    /// The given services with no office ready: every instance is started when asked for.
    Services mDirect;
    /// The same, whose first instance is the start-up check's.
    Services mServices;
    ApplicationPtr mProven;
    bool mProbed = false;
};

OutputCommand::OutputCommand(const OutputRequest& request, const Services& given,
    const CommandConsole& console, const std::atomic<int>& stop)
    : mRequest(request)
    , mConsole(console)
    , mStop(stop)
    , mDirect(given)
{
    // The run's failure reports and boxes go to the console, one line each, and make the
    // command fail; once it is being stopped, the failures that the stop causes are not told.
    mBoxes = MessageBoxes([this](const MessageBoxCall& call) {
        if (!stopped()) {
            ++mReports;
            mConsole.say(lineOfBox(call));
        }
        return (call.buttons & 0xF) == vbYesNo ? int(vbNo) : int(vbOK);
    });
    // One office at a time and none ready: the start-up check's instance is the first one
    // asked for; every later one is started when asked for.
    mDirect.readyOffices = nullptr;
    mServices = mDirect;
    mServices.makeApplication = [this]() -> ApplicationPtr {
        if (mProven)
            return std::exchange(mProven, nullptr);
        return createApplication(mDirect);
    };
}

int OutputCommand::fail(const QString& problem) const
{
    mConsole.say(problem.simplified());
    return kExitFailed;
}

bool OutputCommand::officeStarts()
{
    if (mProbed)
        return true;
    QString refusal;
    QString cause;
    ApplicationPtr probe;
    mProbed = probeOffice(mDirect, probe, refusal, cause);
    if (mProbed) {
        mProven = std::move(probe);
        return true;
    }
    if (probe)
        swallow([&] { probe->Quit(); });
    if (!stopped()) {
        mConsole.say(lineOfBox({refusal, vbOKOnly, QString()}));
        if (!cause.isEmpty())
            mConsole.say(QStringLiteral("(%1)").arg(cause.simplified()));
    }
    return false;
}

int OutputCommand::run()
{
    const QFileInfo target(mRequest.output);
    if (!target.absoluteDir().exists())
        return fail(QStringLiteral("%1 cannot be written: the folder %2 does not exist.")
                        .arg(mRequest.output, target.absolutePath()));
    if (target.isDir())
        return fail(QStringLiteral("%1 cannot be written: it is a folder.").arg(mRequest.output));

    std::unique_ptr<InventoryTable> table;
    Steps load(mBoxes, "Form1", "Form_Load");
    load.sequence(130, tableCreation(table));
    if (!table)
        return kExitFailed;
    if (const std::optional<int> ended = readRows(*table, load))
        return *ended;
    if (stopped())
        return stoppedExit();
    if (!officeStarts())
        return stopped() ? stoppedExit() : int(kExitNoOffice);
    return makeAndWrite(*table);
}

std::optional<int> OutputCommand::readRows(InventoryTable& table, Steps& load)
{
    if (!mRequest.input.isEmpty())
        return readInput(table);
    // A count that is not sane is told and the rows the store holds are made; a store that
    // cannot be read would give a sheet of blank rows.
    if (!loadStoredRows(table, load))
        return fail(QStringLiteral("Nothing has been written."));
    return std::nullopt;
}

std::optional<int> OutputCommand::readInput(InventoryTable& table)
{
    ListRead read;
    try {
        read = readListFile(
            mRequest.input, [&](const QString& workbook, const ReadProgress& progress) {
                if (!officeStarts())
                    throw NoOffice();
                return readWorkbookSheet(mServices, workbook, progress);
            });
    } catch (const NoOffice&) {
        return stopped() ? stoppedExit() : int(kExitNoOffice);
    } catch (...) {
        if (stopped())
            return stoppedExit();
        return fail(currentFailureDescription());
    }
    if (!mConsole.quiet)
        for (const QString& note : read.notes)
            mConsole.say(note);
    for (const RowRefusal& refusal : read.refused)
        mConsole.say(QStringLiteral("%1: %2").arg(mRequest.input, refusalText(read, refusal)));
    if (!read.refused.isEmpty() && !mRequest.skipRefused)
        return fail(QStringLiteral("%1 of the rows of %2 refused: nothing has been written "
                                   "(--skip-refused writes the good rows).")
                        .arg(QLocale().toString(read.refused.size()), mRequest.input));
    const int fields = int(kInventoryFields.size());
    for (const QVector<QVariant>& row : std::as_const(read.rows)) {
        table.AddNew();
        for (int field = 0; field < fields && field < row.size(); ++field)
            table.SetValue(field, row[field]);
    }
    return std::nullopt;
}

int OutputCommand::makeAndWrite(InventoryTable& table)
{
    CommandHost host(mConsole, mStop);
    ResultNameGenerator names;
    const int reportsBefore = mReports;
    runGeneration(table, host, mServices, mBoxes, names, RunMakes::WorkbookOnly);
    const auto removeRunFolder = qScopeGuard([&host] {
        if (!host.workFolder().isEmpty())
            removeOwnFolder(host.workFolder());
    });
    if (stopped())
        return stoppedExit();
    if (mReports > reportsBefore || host.workbook().isEmpty())
        return fail(QStringLiteral("%1 has not been written.").arg(mRequest.output));
    return writeOutput(host.workbook(), table.RecordCount());
}

int OutputCommand::writeOutput(const QString& workbook, int rows)
{
    const bool copy
        = QFileInfo(mRequest.output).suffix().compare(QLatin1String("xls"), Qt::CaseInsensitive)
        == 0;
    if (mConsole.showProgress && !copy)
        mConsole.say(QStringLiteral("Writing %1").arg(mRequest.output));
    try {
        if (copy)
            copyFileSafely(workbook, mRequest.output);
        else
            convertWorkbook(mServices, workbook, mRequest.output);
    } catch (...) {
        if (stopped())
            return stoppedExit();
        return fail(currentFailureDescription());
    }
    if (mConsole.showProgress)
        mConsole.say(QStringLiteral("Wrote %1 (%L2 rows)").arg(mRequest.output).arg(rows));
    return kExitWritten;
}

} // namespace

int runOutputCommand(const OutputRequest& request, const Services& services,
    const CommandConsole& console, const std::atomic<int>& stop)
{
    OutputCommand command(request, services, console, stop);
    return command.run();
}

} // namespace tessivane
