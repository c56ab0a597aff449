#include "app/savefailurenotice.h"

#include "core/failurereport.h"
#include "core/messagebox.h"

#include <QApplication>
#include <QGuiApplication>
#include <QTimer>

#include <utility>

namespace tessivane {

SaveFailureNotice::SaveFailureNotice(
    const MessageBoxes& boxes, std::function<bool()> held, QObject* parent)
    : QObject(parent)
    , mBoxes(boxes)
    , mHeld(std::move(held))
    , mLater(new QTimer(this))
{
    mLater->setSingleShot(true);
    mLater->setInterval(50);
    connect(mLater, &QTimer::timeout, this, [this] { showPending(); });
}

QString SaveFailureNotice::heading()
{
    return QStringLiteral("The inventory list could not be saved.\r\n");
}

void SaveFailureNotice::report(const QString& description)
{
    // Not in the middle of the run's office work: shown after the run.
    mPending = description;
    if (!mHeld())
        showPending();
}

void SaveFailureNotice::showPending()
{
    if (mHeld() || mPending.isEmpty())
        return;
    // A box opened between a button's press and its release would take the release, and the
    // click that moved the focus (and so started the save) would be lost: the notice waits for
    // the click to be handled, and for a box that click opened to close.
    if (QGuiApplication::mouseButtons() != Qt::NoButton || QApplication::activeModalWidget()
        || QApplication::activePopupWidget()) {
        mLater->start();
        return;
    }
    const QString description = std::exchange(mPending, QString());
    swallow([&] { mBoxes.MsgBox(heading() + description); });
}

} // namespace tessivane
