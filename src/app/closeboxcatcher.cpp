#include "app/closeboxcatcher.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace tessivane {

namespace {

xcb_connection_t* xcbConnection()
{
    const auto* x11
        = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

quint32 internAtom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const quint32 atom = reply ? reply->atom : 0;
    std::free(reply);
    return atom;
}

} // namespace

CloseBoxCatcher::CloseBoxCatcher(QWidget* window)
    : mWindow(window)
{
    xcb_connection_t* connection = xcbConnection();
    if (!connection)
        return;
    mProtocols = internAtom(connection, "WM_PROTOCOLS");
    mDeleteWindow = internAtom(connection, "WM_DELETE_WINDOW");
    QCoreApplication::instance()->installNativeEventFilter(this);
}

CloseBoxCatcher::~CloseBoxCatcher()
{
    if (mProtocols && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool CloseBoxCatcher::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (!mWindow || eventType != "xcb_generic_event_t")
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    const auto* client = reinterpret_cast<const xcb_client_message_event_t*>(event);
    if (client->format != 32 || client->type != mProtocols
        || client->data.data32[0] != mDeleteWindow || !mWindow->windowHandle()
        || client->window != mWindow->windowHandle()->winId())
        return false;
    // Without a box over the window the close arrives as usual; with one, the toolkit drops it.
    if (QApplication::activeModalWidget() && QApplication::activeModalWidget() != mWindow)
        mRequested = true;
    return false;
}

} // namespace tessivane
