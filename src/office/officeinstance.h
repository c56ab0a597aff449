#pragma once

// One private LibreOffice instance: its process and profile, the connection, the watchdog
// that ends a hung or dead instance, and the documents open in it. Private to the layer.

#include "office/cellwriter.h"
#include "office/officeprocess.h"
#include "office/unobridge.h"

#include "office/services.h"
#include "office/whilewaiting.h"

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
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tessivane::office {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

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
    explicit Instance(OfficeSettings settings)
        : mSettings(std::move(settings))
    { }
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;
    ~Instance() { end(true); }

    void start();

    /// Ends the instance: terminate (when polite), then the signals, then the profile.
    void end(bool polite) noexcept;

    /// Quit: a polite end. With an ender set, only what callers may still look at goes at
    /// once; the office's own ending follows there, off the caller's path.
    static void quit(const std::shared_ptr<Instance>& instance);

    /// Opens and closes an empty spreadsheet, so that the office has loaded its spreadsheet
    /// part before the first real document.
    void warmUp();
    bool warm = false;

    /// Kills the instance's processes at once (from any thread): a start in progress fails,
    /// every later call is refused. end() still cleans up.
    void abort() noexcept;

    /// Whether the instance still runs and answers a small call within limit; one that does
    /// not is ended as hung.
    bool answers(milliseconds limit) noexcept;

    /// Set by the ready instances for those they hand out: where the rest of a Quit runs,
    /// and whom to tell once the instance has ended (processes gone, profile removed).
    std::function<void(std::function<void()>)> ender;
    std::function<void()> onEnded;

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
        if (writer.hasPending())
            writer.flush();
        return guarded(what, std::forward<Operation>(operation));
    }

    template <typename Operation>
    auto guarded(const QString& what, Operation&& operation) -> decltype(operation())
    {
        checkAlive();
        try {
            return waiting([&] {
                // The limit is the operation's own, not that of whatever the caller does
                // meanwhile.
                DeadlineGuard guard(*this, mSettings.callLimit);
                return operation();
            });
        } catch (const css::lang::DisposedException& e) {
            raise(what, ToQString(e.Message), true);
        } catch (const css::uno::Exception& e) {
            raise(what, ToQString(e.Message), false);
        }
    }

    /// Hands in what the calling thread runs every few tens of milliseconds while a remote
    /// operation asked for from it is in progress; the operation then runs on a thread of its
    /// own. Empty: operations run on the thread that asks for them.
    void setWaitHook(WaitHook whileWaiting)
    {
        mWaitHook = std::move(whileWaiting);
        mWaitThread = std::this_thread::get_id();
    }

    template <typename Operation> auto waiting(Operation&& operation) -> decltype(operation())
    {
        if (!mWaitHook || std::this_thread::get_id() != mWaitThread)
            return operation();
        return RunWhileWaiting(mWaitHook, std::forward<Operation>(operation));
    }

    /// Between two attempts to connect: the wait hook, if this thread handed one in, then a
    /// short sleep.
    void pauseBeforeRetry();

    std::shared_ptr<DocumentState> open(const QString& path);
    std::shared_ptr<SheetState> sheetOf(const std::shared_ptr<DocumentState>& document, int index);
    std::shared_ptr<DocumentState> activeDocument();

    const OfficeSettings& settings() const { return mSettings; }

    std::vector<std::shared_ptr<DocumentState>> documents;
    CellWriter writer {*this};
    Reference<css::uno::XComponentContext> remoteContext;
    Reference<css::frame::XDesktop2> desktop;
    QString version;

    /// Makes one remote operation wait at most limit before the instance is ended as hung.
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

private:
    /// What the office's own ending needs once the caller's state is gone.
    struct Ending
    {
        bool ask = false;
        Reference<css::frame::XDesktop2> desktop;
    };
    std::optional<Ending> beginEnd(bool polite) noexcept;
    void finishEnd(Ending ending) noexcept;

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

    const OfficeSettings mSettings;
    OfficeProcess mProcess;
    QString mProfile;
    QString mPipeName;
    std::atomic<bool> mConnected {false};
    bool mEnded = false;

    std::thread mWatchdog;
    std::mutex mMutex;
    std::condition_variable mWake;
    std::optional<Clock::time_point> mDeadline;
    milliseconds mLimit {0};
    int mDepth = 0;
    bool mStopWatchdog = false;
    std::atomic<bool> mGone {false};
    QString mGoneReason;
    WaitHook mWaitHook;
    std::thread::id mWaitThread;
};

} // namespace tessivane::office
