#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QTimer;

namespace tessivane {

class MessageBoxes;

/// What the main window tells the user about a save of its rows that failed. The notice waits
/// while `held` says so (a run in progress: it is shown after the run) and while a click or a
/// box is under way, whose release it must not take; then it is shown once, the newest failure
/// in it.
class SaveFailureNotice : public QObject
{
public:
    SaveFailureNotice(const MessageBoxes& boxes, std::function<bool()> held, QObject* parent);

    /// A save failed for this reason: told now, or once nothing holds the notice back.
    void report(const QString& description);
    /// Tells the waiting failure, if any, unless something still holds it back.
    void showPending();

    /// The first line of the notice.
    static QString heading();

private:
    const MessageBoxes& mBoxes;
    std::function<bool()> mHeld;
    QString mPending;
    QTimer* mLater;
};

} // namespace tessivane
