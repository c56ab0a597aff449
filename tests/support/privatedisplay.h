#pragma once

// A private X server for starting the real program with real windows, and what a test (or the
// bench) sees of the windows on it. Link xcb to use the window queries.

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>

#ifdef TESSIVANE_WITH_XCB
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#endif

namespace tessivane::test {

/// A private X server on a free display; empty when none could be started.
class PrivateDisplay
{
public:
    explicit PrivateDisplay(const QString& size = QStringLiteral("1600x1200x24"))
    {
        mServer.start(QStringLiteral("Xvfb"),
            {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                QStringLiteral("0"), size, QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (!mServer.waitForStarted(5000))
            return;
        while (mServer.state() == QProcess::Running && !mServer.canReadLine())
            mServer.waitForReadyRead(10000);
        const QByteArray line = mServer.readLine().trimmed();
        if (!line.isEmpty())
            mDisplay = QStringLiteral(":") + QString::fromLatin1(line);
    }
    ~PrivateDisplay()
    {
        if (mServer.state() == QProcess::NotRunning)
            return;
        mServer.terminate();
        if (!mServer.waitForFinished(5000)) {
            mServer.kill();
            mServer.waitForFinished();
        }
    }
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    const QString& display() const { return mDisplay; }

private:
    QProcess mServer;
    QString mDisplay;
};

#ifdef TESSIVANE_WITH_XCB

/// A top-level window as the X server knows it.
struct TopWindow
{
    quint32 id = 0;
    QString name;
    qint64 pid = 0; ///< of the program that made it
};

/// A connection to a display for looking at its windows; no window manager is assumed.
class DisplayLook
{
public:
    explicit DisplayLook(const QString& display)
        : mConnection(xcb_connect(display.toLocal8Bit().constData(), nullptr), xcb_disconnect)
    {
        if (xcb_connection_has_error(mConnection.get()))
            return;
        mRoot = xcb_setup_roots_iterator(xcb_get_setup(mConnection.get())).data->root;
        mPidAtom = atom("_NET_WM_PID");
        mNameAtom = atom("_NET_WM_NAME");
    }

    bool ok() const { return mRoot != 0; }

    /// The top-level windows that are shown, in stacking order from the bottom.
    QList<TopWindow> shownWindows() const
    {
        QList<TopWindow> shown;
        xcb_connection_t* c = mConnection.get();
        const auto tree = owned(xcb_query_tree_reply(c, xcb_query_tree(c, mRoot), nullptr));
        if (!tree)
            return shown;
        const xcb_window_t* children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            const auto attributes = owned(xcb_get_window_attributes_reply(
                c, xcb_get_window_attributes(c, children[i]), nullptr));
            if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
                continue;
            const QByteArray pid = property(children[i], mPidAtom);
            shown.append({children[i], QString::fromUtf8(property(children[i], mNameAtom)),
                pid.size() == 4 ? *reinterpret_cast<const quint32*>(pid.constData()) : 0});
        }
        return shown;
    }

    /// The window that has the keyboard focus (0 for none or the root).
    quint32 focus() const
    {
        xcb_connection_t* c = mConnection.get();
        const auto reply = owned(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        return reply && reply->focus != mRoot && reply->focus > 1 ? reply->focus : 0;
    }

    /// Asks a window to close as a click on its close box does (WM_DELETE_WINDOW).
    void askToClose(quint32 window) const
    {
        xcb_client_message_event_t event {};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom("WM_PROTOCOLS");
        event.data.data32[0] = atom("WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(mConnection.get(), 0, window, XCB_EVENT_MASK_NO_EVENT,
            reinterpret_cast<const char*>(&event));
        xcb_flush(mConnection.get());
    }

private:
    // Replies of the server are the caller's to free.
    template <typename T> static std::unique_ptr<T, void (*)(void*)> owned(T* reply)
    {
        return {reply, &std::free};
    }

    xcb_atom_t atom(const char* name) const
    {
        xcb_connection_t* c = mConnection.get();
        const auto reply = owned(xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : 0;
    }

    QByteArray property(xcb_window_t window, xcb_atom_t name) const
    {
        xcb_connection_t* c = mConnection.get();
        const auto reply = owned(xcb_get_property_reply(
            c, xcb_get_property(c, 0, window, name, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024), nullptr));
        if (!reply)
            return {};
        return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
            xcb_get_property_value_length(reply.get()));
    }

    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> mConnection;
    xcb_window_t mRoot = 0;
    xcb_atom_t mPidAtom = 0;
    xcb_atom_t mNameAtom = 0;
};

#endif

} // namespace tessivane::test
