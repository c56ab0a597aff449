#include "workbook/libreoffice.h"

#include "workbook/builtinformats.h"
#include "workbook/officedesktop.h"
#include "workbook/officeprocess.h"
#include "workbook/sheetpicture.h"

#include "app/failurereport.h"
#include "app/scratchfolders.h"

#include <QClipboard>
#include <QCryptographicHash>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>

#include <com/sun/star/awt/Point.hpp>
#include <com/sun/star/awt/Size.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/datatransfer/DataFlavor.hpp>
#include <com/sun/star/datatransfer/XTransferable.hpp>
#include <com/sun/star/datatransfer/XTransferableSupplier.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/XCellFormatRangesSupplier.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUniqueCellFormatRangesSupplier.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/ustring.hxx>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <map>
#include <mutex>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tessivane {

namespace {

namespace css = ::com::sun::star;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kDefaultProgram[] = "/usr/lib/libreoffice/program/soffice.bin";
constexpr char kFundamentalRc[]
    = "vnd.sun.star.pathname:/usr/lib/libreoffice/program/fundamentalrc";
constexpr char kProfilePrefix[] = "tessivane-office-";
constexpr int kFreshProfileRestart = 81;
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 1024;
// Beyond this many buffered cells a put flushes on its own, to bound the memory.
constexpr size_t kMaxPendingCells = 100000;
// The tallest picture asked of LibreOffice in one piece, in pixels: it fails to draw one
// much taller than 32,000 (about 1,900 rows of the template), so taller ones come in bands.
constexpr double kMaxBandPixels = 24000;
// Ending an instance: a polite terminate, then a wait before the signals.
constexpr milliseconds kTerminateLimit(10000);
constexpr milliseconds kExitAfterTerminate(5000);
constexpr milliseconds kExitAfterSigterm(3000);

struct Settings
{
    std::mutex mutex;
    QString program;
    milliseconds startLimit {30000};
    milliseconds callLimit {30000};
    bool bufferedWrites = true;
};

Settings& TheSettings()
{
    static Settings settings;
    return settings;
}

rtl::OUString ToOUString(const QString& text)
{
    return rtl::OUString(reinterpret_cast<const sal_Unicode*>(text.utf16()), text.size());
}

QString ToQString(const rtl::OUString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getStr()), text.getLength());
}

rtl::OUString FileUrl(const QString& path)
{
    return ToOUString(
        QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded));
}

std::string Sentence(const QString& text)
{
    return text.toStdString();
}

css::beans::PropertyValue Property(const char* name, const Any& value)
{
    css::beans::PropertyValue property;
    property.Name = rtl::OUString::createFromAscii(name);
    property.Value = value;
    return property;
}

/// The local UNO context that the connection to every instance goes through. Made once;
/// it must carry the office types, or the first office call crashes the client.
Reference<css::uno::XComponentContext> LocalContext()
{
    static std::mutex mutex;
    // Never destroyed: the UNO runtime may already be gone when static objects end.
    static auto* context = new Reference<css::uno::XComponentContext>();
    std::lock_guard lock(mutex);
    if (!context->is()) {
        // The bridge writes to the pipe of an office that may have died or been ended; that
        // must be a failed call, not SIGPIPE ending this program.
        struct sigaction ignore
        {
        };
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, nullptr);
        try {
            // The office types come with the fundamental bootstrap file of the installation.
            qputenv("URE_BOOTSTRAP", kFundamentalRc);
            *context = cppu::defaultBootstrap_InitialComponentContext();
        } catch (const css::uno::Exception& e) {
            throw std::runtime_error(Sentence(
                QStringLiteral("The LibreOffice connection libraries cannot be initialised: %1")
                    .arg(ToQString(e.Message))));
        }
    }
    return *context;
}

/// The socket file behind a named UNO pipe. The office removes it when it ends normally;
/// after a killed one it stays.
QStringList PipeFiles(const QString& pipeName)
{
    const QString name = QStringLiteral("OSL_PIPE_%1_%2").arg(getuid()).arg(pipeName);
    return {QStringLiteral("/tmp/") + name, QStringLiteral("/var/tmp/") + name};
}

void RemovePipeFiles(const QString& pipeName)
{
    for (const QString& path : PipeFiles(pipeName)) {
        struct stat info;
        const QByteArray file = QFile::encodeName(path);
        // Only a socket of this user: never a link, nor anyone else's file.
        if (lstat(file.constData(), &info) == 0 && S_ISSOCK(info.st_mode)
            && info.st_uid == geteuid())
            ::unlink(file.constData());
    }
}

/// The office's own single-instance pipe of a profile: "SingleOfficeIPC_" and the MD5 of the
/// profile's URL in UTF-16, each byte in hexadecimal without leading zeros.
QString InstancePipeName(const QString& profileUrl)
{
    const QByteArray digest = QCryptographicHash::hash(
        QByteArray(reinterpret_cast<const char*>(profileUrl.utf16()), profileUrl.size() * 2),
        QCryptographicHash::Md5);
    QString name = QStringLiteral("SingleOfficeIPC_");
    for (const char byte : digest)
        name += QString::number(quint8(byte), 16);
    return name;
}

QString ProfileUrl(const QString& folder)
{
    return QUrl::fromLocalFile(folder).toString(QUrl::FullyEncoded);
}

/// The program id that one of our pipe names carries ("tessivane-<pid>-<n>-<hex>"), or 0.
qint64 PipeNamePid(const QString& pipeName)
{
    static const QRegularExpression pattern(
        QStringLiteral("^tessivane-([1-9][0-9]{0,9})-[0-9]+-[0-9a-f]{8}$"));
    const QRegularExpressionMatch match = pattern.match(pipeName);
    return match.hasMatch() ? match.captured(1).toLongLong() : 0;
}

/// Removes the profile folders and pipe files of earlier runs whose program no longer lives
/// (a killed program cannot clean up after itself).
void RemoveStaleProfiles()
{
    const QString osl = QStringLiteral("OSL_PIPE_%1_").arg(getuid());
    for (const char* folder : {"/tmp", "/var/tmp"}) {
        const QStringList pipes
            = QDir(QString::fromLatin1(folder))
                  .entryList({osl + "tessivane-*"}, QDir::System | QDir::Hidden);
        for (const QString& name : pipes) {
            const QString pipeName = name.mid(osl.size());
            if (ProcessIsGone(PipeNamePid(pipeName)))
                RemovePipeFiles(pipeName);
        }
    }
    const QStringList removed
        = RemoveLeftoverScratchFolders(QDir::tempPath(), QString::fromLatin1(kProfilePrefix));
    for (const QString& profile : removed)
        RemovePipeFiles(InstancePipeName(ProfileUrl(profile)));
}

// Settings of the private profile: no lock files beside the documents (a killed instance
// would leave stale ones that make later loads fail), no autosave or recovery data, and US
// English whatever the user's locale: the office reads the template's built-in date and
// percent formats as those of its own locale and saves them so, dd/mm/yyyy and 0.00 % in a
// German session.
constexpr char kProfileSettings[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseDocumentOOoLockFile" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Common/Misc"><prop oor:name="UseDocumentSystemFileLocking" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/AutoSave"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Office.Recovery/RecoveryInfo"><prop oor:name="Enabled" oor:op="fuse"><value>false</value></prop></item>
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale" oor:op="fuse"><value>en-US</value></prop></item>
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooLocale" oor:op="fuse"><value>en-US</value></prop></item>
</oor:items>
)";

// ---------------------------------------------------------------------------------------
// Per-instance state

/// A cell value waiting to be written.
struct CellValue
{
    enum Kind { Empty, Text, Number, Date } kind = Empty;
    double number = 0;
    rtl::OUString text;
};

struct SheetState
{
    int index = 0; // 0-based position in the workbook
    Reference<css::sheet::XSpreadsheet> sheet;
    std::map<std::pair<int, int>, CellValue> pending; // (row, column), 1-based
};

struct DocumentState
{
    QString path;
    Reference<css::frame::XModel> model;
    Reference<css::sheet::XSpreadsheetDocument> document;
    std::vector<std::shared_ptr<SheetState>> sheets;
    bool closed = false;
    std::map<sal_Int32, std::optional<css::lang::Locale>> generalKeys; // General: its locale
    std::map<QString, sal_Int32> dateKeys; // m/d/yyyy by locale

    void release()
    {
        closed = true;
        for (const auto& sheet : sheets) {
            sheet->sheet.clear();
            sheet->pending.clear();
        }
        document.clear();
        model.clear();
    }
};

class Instance
{
public:
    Instance() = default;
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    ~Instance() { end(true); }

    void start();

    /// Ends the instance: terminate (when polite), then the signals, then the profile.
    void end(bool polite) noexcept;

    bool alive() { return !mGone.load() && mProcess.running(); }

    /// Throws SpreadsheetGone once the instance is known to be gone.
    void checkAlive()
    {
        if (mGone.load())
            throw SpreadsheetGone(Sentence(goneReason()));
        if (mConnected && !mProcess.running()) {
            markGone(exitDescription());
            throw SpreadsheetGone(Sentence(goneReason()));
        }
    }

    /// Runs one remote operation under the call time limit, after the buffered cell writes.
    /// A UNO failure becomes a readable std::runtime_error, or SpreadsheetGone when the
    /// instance died or was ended as hung.
    template <typename Operation>
    auto call(const QString& what, Operation&& operation) -> decltype(operation())
    {
        checkAlive();
        if (!mFlushing && mPendingCount > 0)
            flushPending();
        return guarded(what, std::forward<Operation>(operation));
    }

    template <typename Operation>
    auto guarded(const QString& what, Operation&& operation) -> decltype(operation())
    {
        checkAlive();
        DeadlineGuard guard(*this, CallTimeLimit());
        try {
            return operation();
        } catch (const css::lang::DisposedException& e) {
            raise(what, ToQString(e.Message), true);
        } catch (const css::uno::Exception& e) {
            raise(what, ToQString(e.Message), false);
        }
    }

    void put(const std::shared_ptr<SheetState>& sheet, int row, int column, CellValue value);
    void flushPending();

    std::shared_ptr<DocumentState> open(const QString& path);
    std::shared_ptr<SheetState> sheetOf(const std::shared_ptr<DocumentState>& document, int index);
    std::shared_ptr<DocumentState> activeDocument();

    std::vector<std::shared_ptr<DocumentState>> documents;
    Reference<css::uno::XComponentContext> remoteContext;
    Reference<css::frame::XDesktop2> desktop;
    QString version;

private:
    class DeadlineGuard
    {
    public:
        DeadlineGuard(Instance& instance, milliseconds limit)
            : mInstance(instance)
        {
            std::lock_guard lock(instance.mMutex);
            if (instance.mDepth++ == 0) {
                instance.mDeadline = Clock::now() + limit;
                instance.mLimit = limit;
                instance.mWake.notify_all();
            }
        }
        ~DeadlineGuard()
        {
            std::lock_guard lock(mInstance.mMutex);
            if (--mInstance.mDepth == 0)
                mInstance.mDeadline.reset();
        }

    private:
        Instance& mInstance;
    };

    [[noreturn]] void raise(const QString& what, const QString& message, bool disposed)
    {
        if (mGone.load() || !mProcess.running() || disposed) {
            markGone(mProcess.running() ? QStringLiteral("The connection to LibreOffice was lost.")
                                        : exitDescription());
            throw SpreadsheetGone(Sentence(goneReason()));
        }
        throw std::runtime_error(Sentence(message.isEmpty()
                ? QStringLiteral("LibreOffice could not %1.").arg(what)
                : QStringLiteral("LibreOffice could not %1: %2").arg(what, message)));
    }

    QString exitDescription()
    {
        const auto code = mProcess.exitCode();
        if (!code)
            return QStringLiteral("LibreOffice stopped answering.");
        return QStringLiteral("LibreOffice ended unexpectedly (exit code %1).").arg(*code);
    }

    void markGone(const QString& reason)
    {
        std::lock_guard lock(mMutex);
        markGoneLocked(reason);
    }
    void markGoneLocked(const QString& reason)
    {
        if (!mGone.exchange(true))
            mGoneReason = reason;
    }
    QString goneReason()
    {
        std::lock_guard lock(mMutex);
        return mGoneReason;
    }

    void watch();
    void launch(const QString& program, const QStringList& arguments);
    void flushSheet(const std::shared_ptr<DocumentState>& document, SheetState& sheet);
    void writeCellsDirectly(const std::shared_ptr<DocumentState>& document, SheetState& sheet);
    void applyDateFormat(const std::shared_ptr<DocumentState>& document,
        const Reference<css::table::XCellRange>& range);
    std::optional<css::lang::Locale> generalLocale(DocumentState& document, sal_Int32 key);
    sal_Int32 dateKey(DocumentState& document, const css::lang::Locale& locale);

    OfficeProcess mProcess;
    QString mProfile;
    QString mPipeName;
    std::atomic<bool> mConnected {false};
    bool mEnded = false;
    bool mFlushing = false;
    size_t mPendingCount = 0;

    std::thread mWatchdog;
    std::mutex mMutex;
    std::condition_variable mWake;
    std::optional<Clock::time_point> mDeadline;
    milliseconds mLimit {0};
    int mDepth = 0;
    bool mStopWatchdog = false;
    std::atomic<bool> mGone {false};
    QString mGoneReason;
};

void Instance::watch()
{
    std::unique_lock lock(mMutex);
    while (!mStopWatchdog) {
        auto wait = milliseconds(100);
        if (mDeadline) {
            const auto left = std::chrono::duration_cast<milliseconds>(*mDeadline - Clock::now());
            wait = std::clamp(left + milliseconds(1), milliseconds(1), wait);
        }
        mWake.wait_for(lock, wait);
        if (mStopWatchdog)
            break;
        if (mConnected && !mGone.load() && !mProcess.running()) {
            lock.unlock();
            const QString reason = exitDescription();
            lock.lock();
            markGoneLocked(reason);
        }
        if (mDeadline && Clock::now() >= *mDeadline) {
            // Killing the group closes the pipe: the blocked call returns with a disposed
            // bridge, and the instance is gone for every later call.
            markGoneLocked(QStringLiteral("LibreOffice did not answer within %1 seconds and was "
                                          "ended.")
                               .arg(double(mLimit.count()) / 1000.0));
            mDeadline.reset();
            mProcess.signalGroup(SIGKILL);
        }
    }
}

void Instance::launch(const QString& program, const QStringList& arguments)
{
    // The office's own scratch folders stay inside the profile, which goes with the instance.
    mProcess.start(program, arguments, mProfile + QStringLiteral("/tmp"));
}

void Instance::start()
{
    QString program;
    milliseconds startLimit;
    {
        Settings& settings = TheSettings();
        std::lock_guard lock(settings.mutex);
        program
            = settings.program.isEmpty() ? QString::fromLatin1(kDefaultProgram) : settings.program;
        startLimit = settings.startLimit;
    }
    const Clock::time_point deadline = Clock::now() + startLimit;

    if (!QFileInfo(program).isFile())
        throw std::runtime_error(Sentence(
            QStringLiteral("LibreOffice is not installed: %1 was not found.").arg(program)));

    RemoveStaleProfiles();
    try {
        mProfile = MakeScratchFolder(QDir::tempPath(), QString::fromLatin1(kProfilePrefix));
    } catch (const std::runtime_error&) {
        throw std::runtime_error(
            Sentence(QStringLiteral("A profile folder for LibreOffice cannot be made in %1.")
                         .arg(QDir::tempPath())));
    }
    QDir(mProfile).mkpath(QStringLiteral("user"));
    QDir(mProfile).mkpath(QStringLiteral("tmp"));
    QFile settingsFile(mProfile + QStringLiteral("/user/registrymodifications.xcu"));
    if (settingsFile.open(QIODevice::WriteOnly))
        settingsFile.write(kProfileSettings);
    settingsFile.close();

    static std::atomic<unsigned> counter {0};
    const QString pipeName = mPipeName
        = QStringLiteral("tessivane-%1-%2-%3")
              .arg(getpid())
              .arg(counter++)
              .arg(QRandomGenerator::global()->generate(), 8, 16, QChar('0'));
    const QStringList arguments = {QStringLiteral("--headless"), QStringLiteral("--invisible"),
        QStringLiteral("--nologo"), QStringLiteral("--norestore"), QStringLiteral("--nodefault"),
        QStringLiteral("--nolockcheck"), QStringLiteral("--nofirststartwizard"),
        QStringLiteral("-env:UserInstallation=") + ProfileUrl(mProfile),
        QStringLiteral("--accept=pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipeName)};

    const Reference<css::uno::XComponentContext> local = LocalContext();
    launch(program, arguments);
    mWatchdog = std::thread([this] { watch(); });

    Reference<css::bridge::XUnoUrlResolver> resolver;
    try {
        resolver = css::bridge::UnoUrlResolver::create(local);
    } catch (const css::uno::Exception& e) {
        throw std::runtime_error(
            Sentence(QStringLiteral("The LibreOffice connection cannot be set up: %1")
                         .arg(ToQString(e.Message))));
    }
    const rtl::OUString url = ToOUString(
        QStringLiteral("uno:pipe,name=%1;urp;StarOffice.ComponentContext").arg(pipeName));
    const QString noAnswer
        = QStringLiteral("LibreOffice did not answer within %1 seconds of its start.")
              .arg(double(startLimit.count()) / 1000.0);
    int restarts = 0;
    for (;;) {
        if (const auto code = mProcess.exitCode()) {
            // A fresh profile makes the first start end with 81 and expect a restart.
            if (*code == kFreshProfileRestart && restarts < 3) {
                mProcess.kill();
                launch(program, arguments);
                ++restarts;
                continue;
            }
            throw std::runtime_error(Sentence(
                QStringLiteral("LibreOffice ended at start-up with exit code %1.").arg(*code)));
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline || mGone.load())
            throw std::runtime_error(Sentence(noAnswer));
        try {
            DeadlineGuard guard(*this, std::chrono::duration_cast<milliseconds>(deadline - now));
            remoteContext.set(resolver->resolve(url), UNO_QUERY_THROW);
            break;
        } catch (const css::connection::NoConnectException&) {
            std::this_thread::sleep_for(milliseconds(50));
        } catch (const css::uno::Exception&) {
            // The instance went away while connecting (or was ended as hung): the loop
            // decides by its exit code and the deadline.
            if (mGone.load())
                throw std::runtime_error(Sentence(noAnswer));
            std::this_thread::sleep_for(milliseconds(50));
        }
    }
    mConnected = true;
    desktop = guarded(QStringLiteral("start its desktop"),
        [&] { return css::frame::Desktop::create(remoteContext); });
}

void Instance::end(bool polite) noexcept
{
    if (mEnded)
        return;
    mEnded = true;
    markGone(polite ? QStringLiteral("LibreOffice has quit.")
                    : QStringLiteral("LibreOffice has been ended."));
    // Only an instance that was asked to terminate is given time to exit on its own.
    const bool ask = polite && mConnected && desktop.is() && mProcess.running();
    try {
        if (ask) {
            DeadlineGuard guard(*this, kTerminateLimit);
            try {
                desktop->terminate();
            } catch (...) {
                // The bridge goes away while the office exits; the signals below follow.
            }
        }
    } catch (...) { }
    for (const auto& document : documents)
        document->release();
    documents.clear();
    mPendingCount = 0;
    desktop.clear();
    remoteContext.clear();

    if (!mProcess.waitForExit(ask ? kExitAfterTerminate : milliseconds(0))) {
        mProcess.signalGroup(SIGTERM);
        mProcess.waitForExit(kExitAfterSigterm);
    }
    mProcess.kill();
    {
        std::lock_guard lock(mMutex);
        mStopWatchdog = true;
        mWake.notify_all();
    }
    if (mWatchdog.joinable())
        mWatchdog.join();
    // A killed office leaves its pipe files behind; a terminated one has removed them.
    if (!mProfile.isEmpty()) {
        RemoveOwnFolder(mProfile);
        RemovePipeFiles(InstancePipeName(ProfileUrl(mProfile)));
    }
    if (!mPipeName.isEmpty())
        RemovePipeFiles(mPipeName);
}

std::shared_ptr<DocumentState> Instance::open(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        throw std::runtime_error(Sentence(
            QStringLiteral("'%1' could not be found. Check the spelling of the file name, and "
                           "verify that the file location is correct.")
                .arg(path)));
    auto document = std::make_shared<DocumentState>();
    document->path = info.absoluteFilePath();
    call(QStringLiteral("open %1").arg(path), [&] {
        // Loaded with a view (no Hidden): only then do the selection, zoom, frozen panes and
        // grid lines of the view reach a saved .xls.
        Sequence<css::beans::PropertyValue> arguments(1);
        arguments[0] = Property("MacroExecutionMode", Any(sal_Int16(0)));
        Reference<css::lang::XComponent> component
            = desktop->loadComponentFromURL(FileUrl(path), rtl::OUString("_blank"), 0, arguments);
        if (!component.is())
            throw std::runtime_error(
                Sentence(QStringLiteral("LibreOffice could not open %1.").arg(path)));
        document->model.set(component, UNO_QUERY_THROW);
        document->document.set(component, UNO_QUERY);
        if (!document->document.is()) {
            Reference<css::util::XCloseable>(component, UNO_QUERY_THROW)->close(true);
            throw std::runtime_error(
                Sentence(QStringLiteral("%1 is not a spreadsheet.").arg(path)));
        }
    });
    documents.push_back(document);
    return document;
}

std::shared_ptr<DocumentState> Instance::activeDocument()
{
    checkAlive();
    if (documents.empty())
        throw std::runtime_error("There is no open workbook in LibreOffice.");
    return documents.back();
}

std::shared_ptr<SheetState> Instance::sheetOf(
    const std::shared_ptr<DocumentState>& document, int index)
{
    checkAlive();
    if (document->closed)
        throw std::runtime_error("The workbook has been closed.");
    if (index < 0)
        throw std::runtime_error(
            Sentence(QStringLiteral("Worksheets(%1): there is no such sheet.").arg(index + 1)));
    if (size_t(index) < document->sheets.size() && document->sheets[size_t(index)]
        && document->sheets[size_t(index)]->sheet.is())
        return document->sheets[size_t(index)];
    auto state = std::make_shared<SheetState>();
    state->index = index;
    call(QStringLiteral("find sheet %1").arg(index + 1), [&] {
        Reference<css::container::XIndexAccess> sheets(
            document->document->getSheets(), UNO_QUERY_THROW);
        if (index >= sheets->getCount())
            throw std::runtime_error(Sentence(
                QStringLiteral("Worksheets(%1): the workbook has no such sheet.").arg(index + 1)));
        state->sheet.set(sheets->getByIndex(index), UNO_QUERY_THROW);
    });
    if (document->sheets.size() <= size_t(index))
        document->sheets.resize(size_t(index) + 1);
    document->sheets[size_t(index)] = state;
    return state;
}

void Instance::put(const std::shared_ptr<SheetState>& sheet, int row, int column, CellValue value)
{
    checkAlive();
    if (!sheet->sheet.is())
        throw std::runtime_error("The workbook of this sheet has been closed.");
    if (sheet->pending.insert_or_assign({row, column}, std::move(value)).second)
        ++mPendingCount;
    bool buffered;
    {
        Settings& settings = TheSettings();
        std::lock_guard lock(settings.mutex);
        buffered = settings.bufferedWrites;
    }
    if (!buffered || mPendingCount >= kMaxPendingCells)
        flushPending();
}

void Instance::flushPending()
{
    if (mPendingCount == 0 || mFlushing)
        return;
    mFlushing = true;
    struct Reset
    {
        Instance& instance;
        ~Reset()
        {
            instance.mFlushing = false;
            instance.mPendingCount = 0;
            for (const auto& document : instance.documents)
                for (const auto& sheet : document->sheets)
                    if (sheet)
                        sheet->pending.clear();
        }
    } reset {*this};

    bool buffered;
    {
        Settings& settings = TheSettings();
        std::lock_guard lock(settings.mutex);
        buffered = settings.bufferedWrites;
    }
    for (const auto& document : documents) {
        bool any = false;
        for (const auto& sheet : document->sheets)
            any = any || (sheet && !sheet->pending.empty());
        if (!any)
            continue;
        guarded(QStringLiteral("write the cells"), [&] {
            // Locked controllers keep the view from redrawing after every block.
            document->model->lockControllers();
            try {
                for (const auto& sheet : document->sheets) {
                    if (!sheet || sheet->pending.empty())
                        continue;
                    if (buffered)
                        flushSheet(document, *sheet);
                    else
                        writeCellsDirectly(document, *sheet);
                }
            } catch (...) {
                Swallow([&] { document->model->unlockControllers(); });
                throw;
            }
            document->model->unlockControllers();
        });
    }
}

/// Writes the buffered cells of one sheet as few rectangular blocks as cover exactly them:
/// runs of consecutive rows per column, joined across neighbouring columns with the same run.
void Instance::flushSheet(const std::shared_ptr<DocumentState>& document, SheetState& sheet)
{
    struct Segment
    {
        int firstRow, lastRow, column;
    };
    std::map<int, std::vector<int>> rowsByColumn;
    for (const auto& [cell, value] : sheet.pending)
        rowsByColumn[cell.second].push_back(cell.first);
    std::vector<Segment> segments;
    for (auto& [column, rows] : rowsByColumn) {
        std::sort(rows.begin(), rows.end());
        size_t begin = 0;
        for (size_t i = 1; i <= rows.size(); ++i) {
            if (i == rows.size() || rows[i] != rows[i - 1] + 1) {
                segments.push_back({rows[begin], rows[i - 1], column});
                begin = i;
            }
        }
    }
    std::sort(segments.begin(), segments.end(), [](const Segment& a, const Segment& b) {
        return std::tie(a.firstRow, a.lastRow, a.column)
            < std::tie(b.firstRow, b.lastRow, b.column);
    });

    for (size_t i = 0; i < segments.size();) {
        size_t j = i + 1;
        while (j < segments.size() && segments[j].firstRow == segments[i].firstRow
            && segments[j].lastRow == segments[i].lastRow
            && segments[j].column == segments[j - 1].column + 1)
            ++j;
        const int firstRow = segments[i].firstRow, lastRow = segments[i].lastRow;
        const int firstColumn = segments[i].column, lastColumn = segments[j - 1].column;
        i = j;

        Sequence<Sequence<Any>> data(lastRow - firstRow + 1);
        std::vector<std::pair<int, int>> dateRuns; // column, first row of consecutive dates
        bool anyDate = false;
        for (int row = firstRow; row <= lastRow; ++row) {
            Sequence<Any> line(lastColumn - firstColumn + 1);
            for (int column = firstColumn; column <= lastColumn; ++column) {
                const CellValue& value = sheet.pending.at({row, column});
                Any& item = line[column - firstColumn];
                switch (value.kind) {
                case CellValue::Empty:
                    item <<= rtl::OUString(); // an empty text empties the cell; void would be #N/A
                    break;
                case CellValue::Text:
                    item <<= value.text;
                    break;
                case CellValue::Number:
                case CellValue::Date:
                    item <<= value.number;
                    anyDate = anyDate || value.kind == CellValue::Date;
                    break;
                }
            }
            data[row - firstRow] = line;
        }
        const Reference<css::table::XCellRange> range = sheet.sheet->getCellRangeByPosition(
            firstColumn - 1, firstRow - 1, lastColumn - 1, lastRow - 1);
        Reference<css::sheet::XCellRangeData>(range, UNO_QUERY_THROW)->setDataArray(data);

        if (!anyDate)
            continue;
        // Dates keep the cell's own date format; a General cell gets m/d/yyyy. Each run of
        // date cells in a column is one range whose formats are read in a few calls.
        for (int column = firstColumn; column <= lastColumn; ++column) {
            int runStart = 0;
            for (int row = firstRow; row <= lastRow + 1; ++row) {
                const bool isDate
                    = row <= lastRow && sheet.pending.at({row, column}).kind == CellValue::Date;
                if (isDate && runStart == 0)
                    runStart = row;
                if (!isDate && runStart != 0) {
                    applyDateFormat(document,
                        sheet.sheet->getCellRangeByPosition(
                            column - 1, runStart - 1, column - 1, row - 2));
                    runStart = 0;
                }
            }
        }
    }
}

/// One remote write per cell: kept to measure against the block writes.
void Instance::writeCellsDirectly(const std::shared_ptr<DocumentState>& document, SheetState& sheet)
{
    for (const auto& [cell, value] : sheet.pending) {
        const Reference<css::table::XCell> target
            = sheet.sheet->getCellByPosition(cell.second - 1, cell.first - 1);
        switch (value.kind) {
        case CellValue::Empty:
            target->setFormula(rtl::OUString());
            break;
        case CellValue::Text:
            // A formula text would be read as a formula; the layer writes texts as texts.
            {
                Sequence<Sequence<Any>> data(1);
                Sequence<Any> line(1);
                line[0] <<= value.text;
                data[0] = line;
                Reference<css::sheet::XCellRangeData>(
                    sheet.sheet->getCellRangeByPosition(
                        cell.second - 1, cell.first - 1, cell.second - 1, cell.first - 1),
                    UNO_QUERY_THROW)
                    ->setDataArray(data);
            }
            break;
        case CellValue::Number:
            target->setValue(value.number);
            break;
        case CellValue::Date:
            target->setValue(value.number);
            applyDateFormat(document,
                sheet.sheet->getCellRangeByPosition(
                    cell.second - 1, cell.first - 1, cell.second - 1, cell.first - 1));
            break;
        }
    }
}

void Instance::applyDateFormat(
    const std::shared_ptr<DocumentState>& document, const Reference<css::table::XCellRange>& range)
{
    const Reference<css::container::XIndexAccess> parts
        = Reference<css::sheet::XCellFormatRangesSupplier>(range, UNO_QUERY_THROW)
              ->getCellFormatRanges();
    const sal_Int32 count = parts->getCount();
    for (sal_Int32 i = 0; i < count; ++i) {
        const Reference<css::beans::XPropertySet> part(parts->getByIndex(i), UNO_QUERY_THROW);
        sal_Int32 key = 0;
        part->getPropertyValue("NumberFormat") >>= key;
        if (const auto locale = generalLocale(*document, key))
            part->setPropertyValue("NumberFormat", Any(dateKey(*document, *locale)));
    }
}

/// The locale of a General format; none for any other format.
std::optional<css::lang::Locale> Instance::generalLocale(DocumentState& document, sal_Int32 key)
{
    if (const auto found = document.generalKeys.find(key); found != document.generalKeys.end())
        return found->second;
    const Reference<css::util::XNumberFormatsSupplier> supplier(document.model, UNO_QUERY_THROW);
    const Reference<css::util::XNumberFormats> formats = supplier->getNumberFormats();
    css::lang::Locale locale;
    formats->getByKey(key)->getPropertyValue("Locale") >>= locale;
    std::optional<css::lang::Locale> general;
    if (Reference<css::util::XNumberFormatTypes>(formats, UNO_QUERY_THROW)->getStandardIndex(locale)
        == key)
        general = locale;
    document.generalKeys[key] = general;
    return general;
}

/// m/d/yyyy in the locale of the General format it replaces, so that the saved format
/// carries no language tag of its own.
sal_Int32 Instance::dateKey(DocumentState& document, const css::lang::Locale& locale)
{
    const QString tag = ToQString(locale.Language) + '-' + ToQString(locale.Country) + '-'
        + ToQString(locale.Variant);
    if (const auto found = document.dateKeys.find(tag); found != document.dateKeys.end())
        return found->second;
    const Reference<css::util::XNumberFormatsSupplier> supplier(document.model, UNO_QUERY_THROW);
    const Reference<css::util::XNumberFormats> formats = supplier->getNumberFormats();
    css::lang::Locale english;
    english.Language = "en";
    english.Country = "US";
    const rtl::OUString code("M/D/YYYY");
    sal_Int32 key = formats->queryKey(code, locale, false);
    if (key < 0) {
        try {
            key = formats->addNewConverted(code, english, locale);
        } catch (const css::uno::Exception&) {
            key = -1; // it exists in that locale under a code of its keywords
        }
    }
    if (key < 0) {
        key = formats->queryKey(code, english, false);
        if (key < 0)
            key = formats->addNew(code, english);
    }
    document.dateKeys[tag] = key;
    return key;
}

// ---------------------------------------------------------------------------------------
// The object model over an instance

/// The 1900 date system: day 1 is 1900-01-01 as Excel counts it, so the serial is the day
/// count from 1899-12-30 for every date from March 1900 on.
double DateSerial(const QDate& date)
{
    static const QDate base(1899, 12, 30);
    return double(base.daysTo(date));
}

CellValue ToCellValue(int row, int column, const QVariant& value)
{
    CellValue cell;
    if (!value.isValid())
        return cell;
    const auto fail = [&](const QString& why) {
        return std::runtime_error(
            Sentence(QStringLiteral("Cells(%1, %2): %3").arg(row).arg(column).arg(why)));
    };
    switch (value.typeId()) {
    case QMetaType::QString: {
        const QString text = value.toString();
        if (!text.isEmpty()) {
            cell.kind = CellValue::Text;
            cell.text = ToOUString(text);
        }
        return cell;
    }
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        cell.kind = CellValue::Number;
        cell.number = value.toDouble();
        return cell;
    case QMetaType::Double:
    case QMetaType::Float:
        cell.kind = CellValue::Number;
        cell.number = value.toDouble();
        if (!std::isfinite(cell.number))
            throw fail(QStringLiteral("a number that is not finite cannot be put into a cell."));
        return cell;
    case QMetaType::QDate:
    case QMetaType::QDateTime: {
        const QDateTime when = value.typeId() == QMetaType::QDate
            ? QDateTime(value.toDate(), QTime(0, 0))
            : value.toDateTime();
        if (!when.isValid())
            throw fail(QStringLiteral("an invalid date cannot be put into a cell."));
        cell.kind = CellValue::Date;
        cell.number = DateSerial(when.date()) + when.time().msecsSinceStartOfDay() / 86400000.0;
        if (cell.number < 1)
            throw fail(QStringLiteral("a date before 1900 cannot be put into a cell."));
        return cell;
    }
    default:
        throw fail(QStringLiteral("a value of type %1 cannot be put into a cell.")
                       .arg(QString::fromLatin1(value.typeName())));
    }
}

class LibreOfficeWorksheet : public Worksheet
{
public:
    LibreOfficeWorksheet(std::shared_ptr<Instance> instance,
        std::shared_ptr<DocumentState> document, std::shared_ptr<SheetState> sheet)
        : mInstance(std::move(instance))
        , mDocument(std::move(document))
        , mSheet(std::move(sheet))
    { }

    void PutCell(int row, int column, const QVariant& value) override
    {
        if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
            throw std::runtime_error(Sentence(
                QStringLiteral("Cells(%1, %2) is outside the sheet.").arg(row).arg(column)));
        mInstance->put(mSheet, row, column, ToCellValue(row, column, value));
    }

    int UsedRangeLastRow() override { return usedArea().EndRow + 1; }
    int UsedRangeLastColumn() override { return usedArea().EndColumn + 1; }

    void CopyPicture() override
    {
        const css::table::CellRangeAddress area = usedArea();
        std::vector<PictureBand> bands;
        std::vector<int> columnTwips;
        mInstance->call(QStringLiteral("copy a picture of the used range"), [&] {
            const Reference<css::frame::XController> controller
                = mDocument->model->getCurrentController();
            const Reference<css::view::XSelectionSupplier> selection(controller, UNO_QUERY_THROW);
            columnTwips = lineTwips(false, area.StartColumn, area.EndColumn);
            const std::vector<int> rowTwips = lineTwips(true, area.StartRow, area.EndRow);
            const Any previous = selection->getSelection();
            for (const auto& [firstRow, lastRow] : pictureBands(area))
                bands.push_back({pictureOf(controller, selection,
                                     mSheet->sheet->getCellRangeByPosition(
                                         area.StartColumn, firstRow, area.EndColumn, lastRow)),
                    std::vector<int>(rowTwips.begin() + (firstRow - area.StartRow),
                        rowTwips.begin() + (lastRow - area.StartRow + 1))});
            if (previous.hasValue())
                selection->select(previous);
        });
        const QImage picture = JoinPictureBands(bands, columnTwips);
        if (picture.isNull())
            throw std::runtime_error("LibreOffice gave no picture of the used range.");
        QClipboard* clipboard = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
            ? QGuiApplication::clipboard()
            : nullptr;
        if (!clipboard)
            throw std::runtime_error("There is no clipboard to copy the picture to.");
        clipboard->setImage(picture);
    }

private:
    /// The used range as the spreadsheet application counts it: every cell with content or
    /// with formatting of its own. LibreOffice's used area leaves out cells whose formatting
    /// does not show (a font, an alignment), so the formatted regions are added to it.
    css::table::CellRangeAddress usedArea()
    {
        return mInstance->call(QStringLiteral("find the used range"), [&] {
            if (!mSheet->sheet.is())
                throw std::runtime_error("The workbook of this sheet has been closed.");
            const Reference<css::sheet::XSheetCellCursor> cursor = mSheet->sheet->createCursor();
            const Reference<css::sheet::XUsedAreaCursor> used(cursor, UNO_QUERY_THROW);
            used->gotoStartOfUsedArea(false);
            used->gotoEndOfUsedArea(true);
            css::table::CellRangeAddress area
                = Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)
                      ->getRangeAddress();
            const css::table::CellRangeAddress whole
                = Reference<css::sheet::XCellRangeAddressable>(mSheet->sheet, UNO_QUERY_THROW)
                      ->getRangeAddress();
            const Reference<css::container::XIndexAccess> groups
                = Reference<css::sheet::XUniqueCellFormatRangesSupplier>(
                    mSheet->sheet, UNO_QUERY_THROW)
                      ->getUniqueCellFormatRanges();
            const sal_Int32 count = groups->getCount();
            for (sal_Int32 i = 0; i < count; ++i) {
                const Sequence<css::table::CellRangeAddress> ranges
                    = Reference<css::sheet::XSheetCellRanges>(
                        groups->getByIndex(i), UNO_QUERY_THROW)
                          ->getRangeAddresses();
                // The unformatted rest of the sheet is the group that holds its last cell.
                bool unformatted = false;
                for (const auto& range : ranges)
                    unformatted = unformatted
                        || (range.EndRow == whole.EndRow && range.EndColumn == whole.EndColumn);
                if (unformatted)
                    continue;
                for (const auto& range : ranges) {
                    // Formats of whole rows or columns are not cells of the used range.
                    if (range.EndRow == whole.EndRow || range.EndColumn == whole.EndColumn)
                        continue;
                    area.StartRow = std::min(area.StartRow, range.StartRow);
                    area.StartColumn = std::min(area.StartColumn, range.StartColumn);
                    area.EndRow = std::max(area.EndRow, range.EndRow);
                    area.EndColumn = std::max(area.EndColumn, range.EndColumn);
                }
            }
            return area;
        });
    }

    /// Row bands (0-based, inclusive) short enough to be drawn in one picture.
    std::vector<std::pair<int, int>> pictureBands(const css::table::CellRangeAddress& area)
    {
        std::vector<std::pair<int, int>> bands;
        std::vector<std::pair<int, int>> open {{area.StartRow, area.EndRow}};
        while (!open.empty()) {
            const auto [first, last] = open.back();
            open.pop_back();
            css::awt::Size size;
            Reference<css::beans::XPropertySet>(mSheet->sheet->getCellRangeByPosition(
                                                    area.StartColumn, first, area.EndColumn, last),
                UNO_QUERY_THROW)
                ->getPropertyValue("Size")
                >>= size;
            const double pixels = size.Height / 2540.0 * 96.0; // 1/100 mm at 96 dpi
            if (pixels <= kMaxBandPixels || first == last) {
                bands.emplace_back(first, last);
            } else {
                const int middle = first + (last - first) / 2;
                open.emplace_back(middle + 1, last); // popped after the upper half
                open.emplace_back(first, middle);
            }
        }
        return bands;
    }

    static QByteArray pictureOf(const Reference<css::frame::XController>& controller,
        const Reference<css::view::XSelectionSupplier>& selection,
        const Reference<css::table::XCellRange>& range)
    {
        selection->select(Any(range));
        // The same object a copy to the clipboard hands over: the range drawn as the screen
        // shows it, without row and column headers, at 96 dpi. Its bitmap flavour is the same
        // picture as its PNG flavour, a third faster without the compression both ways.
        const Reference<css::datatransfer::XTransferable> transferable
            = Reference<css::datatransfer::XTransferableSupplier>(controller, UNO_QUERY_THROW)
                  ->getTransferable();
        css::datatransfer::DataFlavor flavor;
        flavor.MimeType = "image/bmp";
        flavor.HumanPresentableName = "BMP";
        flavor.DataType = cppu::UnoType<Sequence<sal_Int8>>::get();
        Sequence<sal_Int8> bytes;
        transferable->getTransferData(flavor) >>= bytes;
        return QByteArray(reinterpret_cast<const char*>(bytes.getConstArray()), bytes.getLength());
    }

    /// Where a row or column (0-based) starts, in twips from the sheet's edge: the office tells
    /// it in 1/100 mm rounded once from whole twips, which round back exactly. Hidden lines
    /// take no room. One past the sheet's last line is where that line ends.
    long lineStart(bool rows, int line)
    {
        const int probe = std::min(line, (rows ? kMaxRows : kMaxColumns) - 1);
        const Reference<css::beans::XPropertySet> cell(
            mSheet->sheet->getCellByPosition(rows ? 0 : probe, rows ? probe : 0), UNO_QUERY_THROW);
        css::awt::Point position;
        cell->getPropertyValue("Position") >>= position;
        long hundredths = rows ? position.Y : position.X;
        if (line > probe) {
            css::awt::Size size; // one more than the rounded ends' distance
            cell->getPropertyValue("Size") >>= size;
            hundredths += (rows ? size.Height : size.Width) - 1;
        }
        return std::lround(double(hundredths) * 72.0 / 127.0);
    }

    /// The heights of the rows (or widths of the columns) first..last in twips, 0 when hidden.
    /// Runs of lines of one size, the common case, are found with a few questions each
    /// instead of one per line.
    std::vector<int> lineTwips(bool rows, int first, int last)
    {
        std::map<int, long> starts;
        const auto start = [&](int line) {
            const auto found = starts.find(line);
            return found != starts.end() ? found->second : (starts[line] = lineStart(rows, line));
        };
        std::vector<int> twips(size_t(last - first + 1));
        std::vector<std::pair<int, int>> open {{first, last}};
        while (!open.empty()) {
            const auto [from, to] = open.back();
            open.pop_back();
            const long size = start(from + 1) - start(from);
            if (from == to
                || (start(to + 1) - start(from) == size * (to - from + 1)
                    && start(to + 1) - start(to) == size)) {
                std::fill(
                    twips.begin() + (from - first), twips.begin() + (to - first + 1), int(size));
                continue;
            }
            const int middle = from + (to - from) / 2;
            open.emplace_back(middle + 1, to);
            open.emplace_back(from, middle);
        }
        return twips;
    }

    std::shared_ptr<Instance> mInstance; // first: the UNO references below go before it
    std::shared_ptr<DocumentState> mDocument;
    std::shared_ptr<SheetState> mSheet;
};

class LibreOfficeWorkbook : public Workbook
{
public:
    LibreOfficeWorkbook(std::shared_ptr<Instance> instance, std::shared_ptr<DocumentState> document)
        : mInstance(std::move(instance))
        , mDocument(std::move(document))
    { }

    void SaveAs(const QString& path, int fileFormat) override
    {
        if (fileFormat != 56 && fileFormat != -4143)
            throw std::runtime_error(Sentence(
                QStringLiteral("SaveAs: the file format %1 is not supported (56 and -4143 save "
                               "an Excel 97-2003 workbook).")
                    .arg(fileFormat)));
        checkOpen();
        mInstance->call(QStringLiteral("save %1").arg(path), [&] {
            Sequence<css::beans::PropertyValue> arguments(2);
            arguments[0] = Property("FilterName", Any(rtl::OUString("MS Excel 97")));
            arguments[1] = Property("Overwrite", Any(true));
            Reference<css::frame::XStorable>(mDocument->model, UNO_QUERY_THROW)
                ->storeAsURL(FileUrl(path), arguments);
        });
        mDocument->path = QFileInfo(path).absoluteFilePath();
        // The office writes the template's built-in formats as formats of its own; a reader
        // elsewhere shows those in their own way.
        RestoreBuiltInFormats(path);
    }

    void Close() override
    {
        checkOpen();
        auto& documents = mInstance->documents;
        mInstance->call(QStringLiteral("close the workbook"), [&] {
            Reference<css::util::XCloseable>(mDocument->model, UNO_QUERY_THROW)->close(true);
        });
        documents.erase(
            std::remove(documents.begin(), documents.end(), mDocument), documents.end());
        mDocument->release();
    }

    std::shared_ptr<Worksheet> ActiveSheet() override
    {
        checkOpen();
        const int index = mInstance->call(QStringLiteral("find the active sheet"), [&] {
            const Reference<css::sheet::XSpreadsheetView> view(
                mDocument->model->getCurrentController(), UNO_QUERY_THROW);
            return int(Reference<css::sheet::XCellRangeAddressable>(
                view->getActiveSheet(), UNO_QUERY_THROW)
                           ->getRangeAddress()
                           .Sheet);
        });
        return std::make_shared<LibreOfficeWorksheet>(
            mInstance, mDocument, mInstance->sheetOf(mDocument, index));
    }

private:
    void checkOpen()
    {
        mInstance->checkAlive();
        if (mDocument->closed)
            throw std::runtime_error("The workbook has been closed.");
    }

    std::shared_ptr<Instance> mInstance;
    std::shared_ptr<DocumentState> mDocument;
};

class LibreOfficeWorkbooks : public Workbooks
{
public:
    explicit LibreOfficeWorkbooks(std::shared_ptr<Instance> instance)
        : mInstance(std::move(instance))
    { }

    std::shared_ptr<Workbook> Open(const QString& path) override
    {
        return std::make_shared<LibreOfficeWorkbook>(mInstance, mInstance->open(path));
    }

    int count() override
    {
        mInstance->checkAlive();
        return int(mInstance->documents.size());
    }

    std::shared_ptr<Workbook> item(int index) override
    {
        mInstance->checkAlive();
        if (index < 1 || size_t(index) > mInstance->documents.size())
            throw std::runtime_error(Sentence(
                QStringLiteral("Workbooks(%1): there is no open workbook with that number.")
                    .arg(index)));
        return std::make_shared<LibreOfficeWorkbook>(
            mInstance, mInstance->documents[size_t(index - 1)]);
    }

private:
    std::shared_ptr<Instance> mInstance;
};

class LibreOfficeApplication : public Application
{
public:
    explicit LibreOfficeApplication(std::shared_ptr<Instance> instance)
        : mInstance(std::move(instance))
        , mWorkbooks(mInstance)
    { }

    Workbooks& workbooks() override { return mWorkbooks; }

    std::shared_ptr<Worksheet> Worksheets(int index) override
    {
        const auto document = mInstance->activeDocument();
        return std::make_shared<LibreOfficeWorksheet>(
            mInstance, document, mInstance->sheetOf(document, index - 1));
    }

    void Range_Select(const QString& address) override
    {
        const auto document = mInstance->activeDocument();
        mInstance->call(QStringLiteral("select %1").arg(address), [&] {
            const Reference<css::frame::XController> controller
                = document->model->getCurrentController();
            const Reference<css::sheet::XSpreadsheetView> view(controller, UNO_QUERY_THROW);
            Reference<css::table::XCellRange> range;
            try {
                range = Reference<css::table::XCellRange>(view->getActiveSheet(), UNO_QUERY_THROW)
                            ->getCellRangeByName(ToOUString(address));
            } catch (const css::uno::RuntimeException&) {
                throw std::runtime_error(Sentence(
                    QStringLiteral("Range(\"%1\") is not a valid range address.").arg(address)));
            }
            Reference<css::view::XSelectionSupplier>(controller, UNO_QUERY_THROW)
                ->select(Any(range));
        });
    }

    // A headless instance has no window to show; the property is kept for the caller.
    void setVisible(bool visible) override
    {
        mInstance->checkAlive();
        mVisible = visible;
    }

    QString Version() override
    {
        if (!mInstance->version.isEmpty()) {
            mInstance->checkAlive();
            return mInstance->version;
        }
        const QString full = mInstance->call(QStringLiteral("tell its version"), [&] {
            const Reference<css::lang::XMultiServiceFactory> provider(
                mInstance->remoteContext->getServiceManager()->createInstanceWithContext(
                    "com.sun.star.configuration.ConfigurationProvider", mInstance->remoteContext),
                UNO_QUERY_THROW);
            Sequence<Any> arguments(1);
            arguments[0]
                <<= Property("nodepath", Any(rtl::OUString("/org.openoffice.Setup/Product")));
            const Reference<css::container::XNameAccess> product(
                provider->createInstanceWithArguments(
                    "com.sun.star.configuration.ConfigurationAccess", arguments),
                UNO_QUERY_THROW);
            rtl::OUString text;
            product->getByName("ooSetupVersion") >>= text;
            Reference<css::lang::XComponent>(product, UNO_QUERY_THROW)->dispose();
            return ToQString(text);
        });
        // The number text of the major and minor version, as the original's "16.0".
        const QStringList parts = full.trimmed().split('.');
        mInstance->version = parts.size() >= 2 ? parts[0] + '.' + parts[1] : full.trimmed();
        if (mInstance->version.isEmpty())
            throw std::runtime_error("LibreOffice did not tell its version.");
        return mInstance->version;
    }

    // A headless instance never shows an alert; closing and quitting never prompt.
    void setDisplayAlerts(bool displayAlerts) override
    {
        mInstance->checkAlive();
        mDisplayAlerts = displayAlerts;
    }

    void Quit() override
    {
        try {
            mInstance->checkAlive();
        } catch (...) {
            mInstance->end(false); // what is left of it still goes
            throw;
        }
        mInstance->end(true);
    }

    bool isAlive() const override { return mInstance->alive(); }

    Instance& instance() { return *mInstance; }

private:
    std::shared_ptr<Instance> mInstance;
    LibreOfficeWorkbooks mWorkbooks;
    bool mVisible = false;
    bool mDisplayAlerts = true;
};

struct BackgroundReleases
{
    std::mutex mutex;
    std::vector<std::thread> threads;

    ~BackgroundReleases() { joinAll(); }

    void joinAll()
    {
        std::vector<std::thread> running;
        {
            std::lock_guard lock(mutex);
            running.swap(threads);
        }
        for (std::thread& thread : running)
            if (thread.joinable())
                thread.join();
    }
};

BackgroundReleases& TheBackgroundReleases()
{
    static BackgroundReleases releases;
    return releases;
}

} // namespace

ApplicationPtr StartLibreOffice()
{
    auto instance = std::make_shared<Instance>();
    instance->start(); // a failure ends what was started, through the instance's destructor
    return std::make_shared<LibreOfficeApplication>(instance);
}

void SetOfficeProgram(const QString& path)
{
    std::lock_guard lock(TheSettings().mutex);
    TheSettings().program = path;
}

QString OfficeProgram()
{
    std::lock_guard lock(TheSettings().mutex);
    return TheSettings().program.isEmpty() ? QString::fromLatin1(kDefaultProgram)
                                           : TheSettings().program;
}

void SetStartTimeLimit(std::chrono::milliseconds limit)
{
    std::lock_guard lock(TheSettings().mutex);
    TheSettings().startLimit = limit;
}

std::chrono::milliseconds StartTimeLimit()
{
    std::lock_guard lock(TheSettings().mutex);
    return TheSettings().startLimit;
}

void SetCallTimeLimit(std::chrono::milliseconds limit)
{
    std::lock_guard lock(TheSettings().mutex);
    TheSettings().callLimit = limit;
}

std::chrono::milliseconds CallTimeLimit()
{
    std::lock_guard lock(TheSettings().mutex);
    return TheSettings().callLimit;
}

void SetBufferedCellWrites(bool buffered)
{
    std::lock_guard lock(TheSettings().mutex);
    TheSettings().bufferedWrites = buffered;
}

void ReleaseInBackground(ApplicationPtr&& application)
{
    if (!application)
        return;
    BackgroundReleases& releases = TheBackgroundReleases();
    std::lock_guard lock(releases.mutex);
    releases.threads.emplace_back([held = std::move(application)]() mutable { held.reset(); });
}

void WaitForBackgroundReleases()
{
    TheBackgroundReleases().joinAll();
}

void CallOnDesktop(Application& application, const QString& what,
    const std::function<void(const Reference<css::frame::XDesktop2>&)>& operation)
{
    auto* office = dynamic_cast<LibreOfficeApplication*>(&application);
    if (!office)
        throw std::runtime_error("The spreadsheet application is not a LibreOffice instance.");
    Instance& instance = office->instance();
    instance.call(what, [&] { operation(instance.desktop); });
}

} // namespace tessivane
