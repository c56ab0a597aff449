#include "app/inputblocker.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWindow>

namespace tessivane {

namespace {

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
        return true;
    default:
        return false;
    }
}

// Queued window-system input can take more than one pass of the event loop to reach a
// widget; the bound keeps a busy loop (a timer that keeps firing) from holding the caller.
constexpr int kDrainLimitMs = 200;

} // namespace

InputBlocker::InputBlocker(QWidget* window)
    : mWindow(window)
{
    // On the application, the filter sees input before the window (or any control in it) does.
    QCoreApplication::instance()->installEventFilter(this);
}

InputBlocker::~InputBlocker()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

void InputBlocker::drainPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, kDrainLimitMs);
}

bool InputBlocker::eventFilter(QObject* watched, QEvent* event)
{
    if (!mWindow || !isUserInput(event->type()))
        return false;
    if (watched->isWidgetType())
        return static_cast<QWidget*>(watched)->window() == mWindow;
    return watched == mWindow->windowHandle();
}

} // namespace tessivane
