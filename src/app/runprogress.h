#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <functional>

class QFrame;
class QLabel;
class QProgressBar;
class QWidget;

namespace tessivane {

/// The small window over the main window that tells what a long generation run is doing and
/// how many of the rows are written. It appears once the run has lasted the delay and the step
/// under way has itself taken a good part of it, so that a run that is about to end (a short
/// run moving quickly through its steps) shows none. Once shown it stays at least about half a
/// second, unless it goes with the main window when the preview takes its place. It paints at the
/// run's reports and while the office works, but nothing the user does meanwhile is acted on: input
/// waits (and meets the main window's blocker), timers and the shutdown signal wait for the
/// run's end, and a close of the main window asked for meanwhile is kept until then.
class RunProgress : public QObject
{
    Q_OBJECT

public:
    /// Milliseconds since some fixed moment (tests give their own).
    using Clock = std::function<qint64()>;

    explicit RunProgress(QWidget* mainWindow,
        std::chrono::milliseconds delay = std::chrono::milliseconds(500), Clock clock = {});
    ~RunProgress() override;

    /// What the run is doing now, and rows written of rowsTotal (no count while that is 0).
    void report(const QString& doing, int rowsWritten, int rowsTotal);

    /// Shows the window once it is due and lets it paint.
    void whileWaiting();

    /// The window goes, at once when the main window is hidden, else once it has been seen
    /// for about half a second; later reports show nothing.
    void finish();

    /// True when the main window was asked to close while the window painted.
    bool closeRequested() const { return mCloseRequested; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show();
    void showTexts();

    QPointer<QWidget> mMainWindow;
    std::chrono::milliseconds mDelay;
    QElapsedTimer mElapsed;
    Clock mClock;
    qint64 mStarted = 0;
    qint64 mStepStarted = 0;
    qint64 mShownAt = 0;
    QPointer<QFrame> mWindow;
    QLabel* mDoing = nullptr;
    QProgressBar* mBar = nullptr;
    QLabel* mRows = nullptr;
    QString mDoingText;
    int mRowsWritten = 0;
    int mRowsTotal = 0;
    bool mFinished = false;
    bool mPainting = false;
    bool mCloseRequested = false;
};

} // namespace tessivane
