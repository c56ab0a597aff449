#pragma once

#include <QObject>
#include <QUrl>

#include <atomic>
#include <functional>
#include <thread>

class QSocketNotifier;

namespace tessivane {

/// Blocks the signals that ask the program to end (SIGTERM, SIGINT, SIGHUP) for the calling
/// thread and so for every thread started after it: called first in main, before any thread,
/// they wait for ShutdownSignals instead of ending the process on the spot. A mask goes over
/// exec, so a program started from here must be given them back (the offices are, and
/// BrowserLauncher does it for the addresses the program opens).
void blockShutdownSignals();

/// Gives the calling thread the shutdown signals back: it alone then takes them as the
/// process did before the block, by ending (a start that stops before its window).
void unblockShutdownSignals();

/// Calls the handler on the user-interface thread when the process is asked to end
/// (SIGTERM, SIGINT, SIGHUP), instead of dying on the spot. The signals are read from a
/// signalfd; one that came before this object was made is heard once the event loop runs.
class ShutdownSignals : public QObject
{
    Q_OBJECT

public:
    explicit ShutdownSignals(std::function<void()> handler, QObject* parent = nullptr);
    ~ShutdownSignals() override;
    ShutdownSignals(const ShutdownSignals&) = delete;
    ShutdownSignals& operator=(const ShutdownSignals&) = delete;

private:
    void takeSignal();

    std::function<void()> mHandler;
    int mDescriptor = -1;
    QSocketNotifier* mNotifier = nullptr;
};

/// The shutdown signals of the command without a window: a thread of its own takes them
/// (blocked before, as for ShutdownSignals) and puts the first one's number into stop; from
/// then on, until this object goes, it kills the process groups of this program's children
/// (the offices), so that whatever waits on them ends at once and no office is left.
class SignalStop
{
public:
    explicit SignalStop(std::atomic<int>& stop);
    ~SignalStop();
    SignalStop(const SignalStop&) = delete;
    SignalStop& operator=(const SignalStop&) = delete;

private:
    std::atomic<int>& mStop;
    std::atomic<bool> mEnding {false};
    std::thread mThread;
};

/// Opens web addresses in the desktop's browser through xdg-open, started as a program of its
/// own: a session of its own, and the blocked shutdown signals given back, which a browser
/// started through Qt's own launcher would inherit still blocked. While it lives it is the
/// handler of http and https addresses (QDesktopServices::setUrlHandler).
class BrowserLauncher : public QObject
{
    Q_OBJECT

public:
    explicit BrowserLauncher(QObject* parent = nullptr);
    ~BrowserLauncher() override;

public slots:
    void open(const QUrl& address);
};

} // namespace tessivane
