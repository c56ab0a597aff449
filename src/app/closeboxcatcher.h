#pragma once

#include <QAbstractNativeEventFilter>
#include <QPointer>
#include <QWidget>

namespace tessivane {

/// While it exists, a click on a window's close box that the toolkit drops because a message
/// box holds the window (a failure report during a run) is remembered instead of lost, so
/// that the close can be carried out afterwards. A close box without a box open reaches the
/// window as usual. Only the X11 window system is watched; elsewhere nothing is caught.
class CloseBoxCatcher : public QAbstractNativeEventFilter
{
public:
    explicit CloseBoxCatcher(QWidget* window);
    ~CloseBoxCatcher() override;
    CloseBoxCatcher(const CloseBoxCatcher&) = delete;
    CloseBoxCatcher& operator=(const CloseBoxCatcher&) = delete;

    /// True once such a close was asked for.
    bool requested() const { return mRequested; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    QPointer<QWidget> mWindow;
    quint32 mProtocols = 0; // the atoms of WM_PROTOCOLS and WM_DELETE_WINDOW
    quint32 mDeleteWindow = 0;
    bool mRequested = false;
};

} // namespace tessivane
