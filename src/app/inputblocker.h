#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace tessivane {

/// While it exists, the user's input to one window (mouse, keys, wheel, touch, to the window
/// or any control in it) is eaten before anything acts on it. Input that was queued while the
/// program was busy is so dropped when events next run, instead of being replayed later over
/// another window. Other windows, message boxes included, keep their input.
class InputBlocker : public QObject
{
    Q_OBJECT

public:
    explicit InputBlocker(QWidget* window);
    ~InputBlocker() override;

    /// Lets the events that are already waiting run now, so that queued input meets this
    /// blocker rather than the window after it is gone.
    static void drainPendingEvents();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> mWindow;
};

} // namespace tessivane
