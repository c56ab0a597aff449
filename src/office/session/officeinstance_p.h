#pragma once

// The session with one private LibreOffice: its desktop, the documents open in it, the calls
// made on them and the one thread they are made on. The process and the bridge are the
// connection's. Private to the layer.

#include "office/connection/officeconnection_p.h"
#include "office/connection/unobridge_p.h"
#include "office/session/cellwriter_p.h"

#include "office/automation/spreadsheet.h"
#include "office/process/officesettings.h"
#include "office/session/callworker_p.h"

#include <QString>

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tessivane {

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
    bool savedHere = false; // the file at path may differ from what was opened
    bool keepRowHeights = false; // written cells never change a row's height
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

class OfficeInstance;

/// A second office lent for long work: the application to quit once done, and its instance
/// (none when the application is not an office of this program).
struct HelperOffice
{
    ApplicationPtr application;
    std::shared_ptr<OfficeInstance> instance;
    /// The workbook it was lent ahead to open, and that open (under way or done), if any.
    QString openedPath;
    std::shared_future<std::shared_ptr<DocumentState>> opened;
};

class OfficeInstance
{
public:
    OfficeInstance(std::shared_ptr<UnoRuntime> runtime, OfficeSettings settings)
        : mConnection(std::move(runtime), std::move(settings))
    { }
    OfficeInstance(const OfficeInstance&) = delete;
    OfficeInstance& operator=(const OfficeInstance&) = delete;
    ~OfficeInstance() { end(true); }

    /// Starts the office and its desktop. Throws a readable sentence.
    void start();

    /// Ends the instance: terminate (when polite), then the signals, then the profile.
    void end(bool polite) noexcept;

    /// Quit: a polite end. With an ender set, only what callers may still look at goes at
    /// once; the office's own ending follows there, off the caller's path.
    static void quit(const std::shared_ptr<OfficeInstance>& instance);

    /// Kills the instance's processes at once (from any thread): a start in progress fails,
    /// every later call is refused. end() still cleans up.
    void abort() noexcept { mConnection.abort(); }

    /// Whether the instance still runs and answers a small call within limit.
    bool answers(milliseconds limit) noexcept { return mConnection.answers(limit); }

    /// For the ready instances: ender is where the rest of a Quit runs, onEnded whom to tell
    /// once the instance has ended (processes gone, profile removed).
    void setEnding(std::function<void(std::function<void()>)> ender, std::function<void()> onEnded)
    {
        mEnder = std::move(ender);
        mOnEnded = std::move(onEnded);
    }
    bool isUnused() const { return mDocuments.empty(); }
    /// Back from a caller unused: the hooks of the ready instances are dropped.
    bool takeBack();
    void setHelperSource(std::function<HelperOffice()> takeReady)
    {
        mHelperSource = std::move(takeReady);
    }
    /// A second instance to draw part of a long picture, or none: the one lent ahead, if any.
    HelperOffice takeHelper()
    {
        {
            std::lock_guard lock(mAheadMutex);
            if (mAhead.application)
                return std::exchange(mAhead, HelperOffice());
        }
        return takeReadyHelper();
    }
    /// A ready instance from the helpers' source, or none.
    HelperOffice takeReadyHelper() { return mHelperSource ? mHelperSource() : HelperOffice(); }
    /// A helper lent ahead of a picture, which the next takeHelper hands out; one not taken
    /// by then is quit when this instance ends.
    void lendAhead(HelperOffice helper)
    {
        std::lock_guard lock(mAheadMutex);
        std::swap(mAhead, helper);
        releaseHelper(std::move(helper));
    }

    bool alive() { return mConnection.alive(); }

    /// Throws SpreadsheetGone once the instance is known to be gone.
    void checkAlive() { mConnection.checkAlive(); }

    const OfficeSettings& settings() const { return mConnection.settings(); }
    /// The office's throw-away profile, empty before the start.
    QString profileFolder() const { return mConnection.profileFolder(); }

    /// Runs one remote operation on the instance's worker, after the buffered cell writes.
    /// A UNO failure becomes a readable std::runtime_error, or SpreadsheetGone when the
    /// instance died or was ended as hung.
    template <typename Operation>
    auto call(const QString& what, Operation&& operation) -> decltype(operation())
    {
        checkAlive();
        if (mWriter.hasPending())
            mWriter.flush();
        return guarded(what, std::forward<Operation>(operation));
    }

    template <typename Operation>
    auto guarded(const QString& what, Operation&& operation) -> decltype(operation())
    {
        checkAlive();
        try {
            return onWorker([&] {
                // Watched while it runs: a hung office is ended, a slow one never.
                OfficeConnection::CallWatch watch(mConnection);
                return operation();
            });
        } catch (const css::lang::DisposedException& e) {
            mConnection.raise(what, toQString(e.Message), true);
        } catch (const css::uno::Exception& e) {
            mConnection.raise(what, toQString(e.Message), false);
        }
    }

    /// Hands in what the calling thread runs every few tens of milliseconds while a remote
    /// operation asked for from it is in progress. Empty: the thread just waits.
    void setWaitHook(WaitHook whileWaiting)
    {
        std::lock_guard lock(mHookMutex);
        mWaitHook = std::move(whileWaiting);
        mWaitThread = std::this_thread::get_id();
    }

    /// Runs operation on the instance's one worker thread; the asking thread waits, running
    /// its wait hook meanwhile if it handed one in.
    template <typename Operation> auto onWorker(Operation&& operation) -> decltype(operation())
    {
        return mWorker.run(hookOfThisThread(), std::forward<Operation>(operation));
    }

    std::shared_ptr<DocumentState> open(const QString& path);
    std::shared_ptr<SheetState> sheetOf(const std::shared_ptr<DocumentState>& document, int index);
    std::shared_ptr<DocumentState> activeDocument();

    Reference<css::uno::XComponentContext> remoteContext() const { return mConnection.context(); }
    const Reference<css::frame::XDesktop2>& desktop() const { return mDesktop; }
    const QString& version() const { return mVersion; }
    void setVersion(const QString& version) { mVersion = version; }

    /// The open documents, in the order of opening.
    std::vector<std::shared_ptr<DocumentState>>& documents() { return mDocuments; }
    CellWriter& writer() { return mWriter; }

private:
    WaitHook hookOfThisThread()
    {
        std::lock_guard lock(mHookMutex);
        return std::this_thread::get_id() == mWaitThread ? mWaitHook : WaitHook();
    }

    /// Between two attempts to connect: the wait hook, if this thread handed one in, then a
    /// short sleep.
    void pauseBeforeRetry();

    /// Lets callers' references go at once; returns the desktop for the office's own ending,
    /// or nothing when the instance has ended before.
    std::optional<Reference<css::frame::XDesktop2>> beginEnd() noexcept;
    void finishEnd(bool polite, Reference<css::frame::XDesktop2> desktop) noexcept;

    /// Quits a helper once its open is over; failures are of no concern to this instance.
    static void releaseHelper(HelperOffice helper) noexcept;

    OfficeConnection mConnection;
    std::vector<std::shared_ptr<DocumentState>> mDocuments;
    CellWriter mWriter {*this};
    CallWorker mWorker; // after the connection: it ends first, finishing a call in progress
    Reference<css::frame::XDesktop2> mDesktop;
    QString mVersion;
    bool mEnded = false;
    std::function<void(std::function<void()>)> mEnder;
    std::function<void()> mOnEnded;
    std::function<HelperOffice()> mHelperSource;
    std::mutex mAheadMutex;
    HelperOffice mAhead;
    std::mutex mHookMutex;
    WaitHook mWaitHook;
    std::thread::id mWaitThread;
};

} // namespace tessivane
