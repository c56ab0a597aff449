#include "app/runprogress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace tessivane {

namespace {

constexpr int kWindowWidth = 360;
// Long enough to be read.
constexpr qint64 kLeastShownMs = 500;

} // namespace

RunProgress::RunProgress(QWidget* mainWindow, std::chrono::milliseconds delay, Clock clock)
    : mMainWindow(mainWindow)
    , mDelay(delay)
    , mClock(std::move(clock))
{
    mElapsed.start();
    if (!mClock)
        mClock = [this] { return mElapsed.elapsed(); };
    mStarted = mStepStarted = mClock();
}

RunProgress::~RunProgress()
{
    finish();
}

void RunProgress::report(const QString& doing, int rowsWritten, int rowsTotal)
{
    if (doing != mDoingText)
        mStepStarted = mClock();
    mDoingText = doing;
    mRowsWritten = rowsWritten;
    mRowsTotal = rowsTotal;
    showTexts();
    whileWaiting();
}

void RunProgress::whileWaiting()
{
    if (mFinished || mPainting || !mMainWindow)
        return;
    // A step that has taken a good part of the delay is a slow one, and the run goes on with
    // it; steps that follow one another quickly mean a run about to end.
    const qint64 now = mClock();
    if (!mWindow && now - mStarted >= mDelay.count()
        && now - mStepStarted >= mDelay.count() * 3 / 5)
        show();
    if (!mWindow)
        return;
    // Only what the window system and the program have posted runs here: the window's show
    // and paint among it. The user's input waits for the run's end, where the main window's
    // blocker drops it; timers and the shutdown signal wait too.
    mPainting = true;
    mMainWindow->installEventFilter(this);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents
        | QEventLoop::ExcludeSocketNotifiers | QEventLoop::X11ExcludeTimers);
    if (mMainWindow)
        mMainWindow->removeEventFilter(this);
    mPainting = false;
}

void RunProgress::finish()
{
    mFinished = true;
    QFrame* window = mWindow.data();
    if (!window)
        return;
    mWindow.clear();
    const qint64 shownFor = mClock() - mShownAt;
    if (!mMainWindow || !mMainWindow->isVisible() || shownFor >= kLeastShownMs) {
        delete window;
        return;
    }
    QTimer::singleShot(
        std::chrono::milliseconds(kLeastShownMs - shownFor), window, [window] { delete window; });
}

bool RunProgress::eventFilter(QObject* watched, QEvent* event)
{
    // Closing saves the rows, which moves through the table the run is reading: it waits
    // for the run's end.
    if (watched == mMainWindow && event->type() == QEvent::Close) {
        mCloseRequested = true;
        event->ignore();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void RunProgress::show()
{
    auto* window = new QFrame(
        mMainWindow, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus);
    mWindow = window;
    window->setObjectName(QStringLiteral("runProgress"));
    window->setWindowTitle(mMainWindow->windowTitle());
    window->setAccessibleName(QStringLiteral("Tessivane \u2013 making the sheet"));
    window->setAttribute(Qt::WA_ShowWithoutActivating);
    window->setFrameStyle(QFrame::Box | QFrame::Plain); // frameless: it draws its own edge
    window->setFont(mMainWindow->font());
    window->setCursor(Qt::WaitCursor);
    // Created while the main window's drawing is suspended, it would inherit that.
    window->setUpdatesEnabled(true);

    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(18, 14, 18, 14);
    mDoing = new QLabel(window);
    mBar = new QProgressBar(window);
    mBar->setTextVisible(false);
    mBar->setAccessibleName(QStringLiteral("Rows written"));
    mRows = new QLabel(window);
    // The window keeps its size while there is no count to show.
    for (QWidget* part : {static_cast<QWidget*>(mBar), static_cast<QWidget*>(mRows)}) {
        QSizePolicy policy = part->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        part->setSizePolicy(policy);
    }
    layout->addWidget(mDoing);
    layout->addWidget(mBar);
    layout->addWidget(mRows);
    showTexts();

    window->setFixedWidth(kWindowWidth);
    window->adjustSize();
    const QRect over = mMainWindow->frameGeometry();
    window->move(over.center() - QPoint(window->width() / 2, window->height() / 2));
    window->show();
    mShownAt = mClock();
}

void RunProgress::showTexts()
{
    if (!mWindow)
        return;
    mDoing->setText(mDoingText.isEmpty() ? QString() : mDoingText + QChar(0x2026));
    const bool counting = mRowsTotal > 0;
    mBar->setVisible(counting);
    mRows->setVisible(counting);
    if (!counting)
        return;
    mBar->setRange(0, mRowsTotal);
    mBar->setValue(qBound(0, mRowsWritten, mRowsTotal));
    mRows->setText(QStringLiteral("%L1 of %L2 rows written").arg(mRowsWritten).arg(mRowsTotal));
    mBar->setAccessibleDescription(mRows->text());
}

} // namespace tessivane
