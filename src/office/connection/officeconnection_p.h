#pragma once

// The connection to one private LibreOffice: its process and throw-away profile, the UNO
// bridge over a uniquely named pipe, and the watchdog that finds an office that died or hung.
// Private to the layer.

#include "office/automation/spreadsheet.h"
#include "office/connection/unobridge_p.h"
#include "office/connection/unoruntime_p.h"
#include "office/process/officeprocess_p.h"
#include "office/process/officesettings.h"

#include <QString>

#include <com/sun/star/frame/XDesktop2.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace tessivane {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

/// Runs a blocking remote operation where its caller decides (the session's worker).
using RemoteRunner = std::function<void(const std::function<void()>&)>;

class OfficeConnection
{
public:
    OfficeConnection(std::shared_ptr<UnoRuntime> runtime, OfficeSettings settings);
    ~OfficeConnection() { close(false, {}); }
    OfficeConnection(const OfficeConnection&) = delete;
    OfficeConnection& operator=(const OfficeConnection&) = delete;

    const OfficeSettings& settings() const { return mSettings; }
    /// The throw-away profile folder, removed only once the office has been reaped.
    QString profileFolder() const { return mProfile; }

    /// Starts the office and connects to it within the start limit; each attempt to resolve
    /// runs through run, and pause is called between attempts. Throws a readable sentence.
    void open(const RemoteRunner& run, const std::function<void()>& pause);

    Reference<css::uno::XComponentContext> context() const { return mContext; }
    bool connected() const { return mConnected.load(); }

    /// Whether the office still runs and has not been found gone.
    bool alive() { return !mGone.load() && mProcess.running(); }

    /// Throws SpreadsheetGone once the office is known to be gone.
    void checkAlive();

    /// The failure of a remote operation: SpreadsheetGone when the office is gone (or the
    /// bridge was disposed), otherwise a readable runtime_error naming what was asked.
    [[noreturn]] void raise(const QString& what, const QString& message, bool disposed);

    /// Kills the office's processes at once (from any thread): a start in progress fails,
    /// every later call is refused. close() still cleans up.
    void abort() noexcept;

    /// Whether the office answers a small call within limit.
    bool answers(milliseconds limit) noexcept;

    /// Ends the office: with polite and a desktop, it is asked to terminate and given its
    /// time; then the signals, then the profile and pipe files. Once only.
    void close(bool polite, Reference<css::frame::XDesktop2> desktop) noexcept;

    /// Marks the office gone for every later call, with the reason the user reads.
    void markGone(const QString& reason);

    /// Held around each remote operation: while one is in progress the watchdog checks that
    /// the office still answers, and ends it as hung once it has not answered for the call
    /// limit. A slow call on a working office is never ended.
    class CallWatch
    {
    public:
        explicit CallWatch(OfficeConnection& connection);
        ~CallWatch();
        CallWatch(const CallWatch&) = delete;
        CallWatch& operator=(const CallWatch&) = delete;

    private:
        OfficeConnection& mConnection;
    };

    /// Makes the operation in its scope wait at most limit before the office is ended as
    /// hung (the start, the polite terminate): these have a fixed time of their own.
    class Deadline
    {
    public:
        Deadline(OfficeConnection& connection, milliseconds limit);
        ~Deadline();
        Deadline(const Deadline&) = delete;
        Deadline& operator=(const Deadline&) = delete;

    private:
        OfficeConnection& mConnection;
    };

private:
    void launch(const QString& program, const QStringList& arguments);
    void watch();
    void ping();
    QString exitDescription();
    QString goneReason();
    void markGoneLocked(const QString& reason);
    void stopThreads();

    const std::shared_ptr<UnoRuntime> mRuntime;
    const OfficeSettings mSettings;
    OfficeProcess mProcess;
    QString mProfile;
    QString mPipeName;
    Reference<css::uno::XComponentContext> mContext;
    std::atomic<bool> mConnected {false};
    bool mClosed = false;

    std::mutex mMutex;
    std::condition_variable mWake;
    std::thread mWatchdog;
    std::thread mPinger;
    bool mStop = false;
    std::optional<Clock::time_point> mDeadline;
    milliseconds mDeadlineLimit {0};
    int mDeadlineDepth = 0;
    int mCallsInProgress = 0;
    Clock::time_point mLastAnswer; // the last sign of life while calls are in progress
    bool mPingWanted = false;
    bool mPingInFlight = false;
    Clock::time_point mPingSent;
    std::atomic<bool> mGone {false};
    QString mGoneReason;
};

} // namespace tessivane
