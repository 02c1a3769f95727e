#include "tests/support/VirtualDesktop.h"

#include "tests/support/ProgramOutput.h"

#include <QDeadlineTimer>
#include <QMap>
#include <QTest>
#include <cstdlib>
#include <cstring>
#include <xcb/xcb.h>

namespace {

constexpr int startDeadlineMs = 20000;
constexpr int stopDeadlineMs = 10000;

void stop(QProcess& process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(stopDeadlineMs)) {
        process.kill();
        process.waitForFinished(stopDeadlineMs);
    }
}

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return atom;
}

// Whether a tray manager owns the tray selection of the first screen: what a
// program asks before it shows an icon.
bool trayManagerPresent(const QString& display)
{
    xcb_connection_t* connection = xcb_connect(display.toUtf8().constData(), nullptr);
    bool owned = false;
    if (!xcb_connection_has_error(connection)) {
        const xcb_atom_t selection = internAtom(connection, "_NET_SYSTEM_TRAY_S0");
        xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
            connection, xcb_get_selection_owner(connection, selection), nullptr);
        owned = owner && owner->owner != XCB_NONE;
        free(owner);
    }
    xcb_disconnect(connection);
    return owned;
}

} // namespace

VirtualDesktop::~VirtualDesktop()
{
    stop(m_tray);
    stop(m_server);
}

bool VirtualDesktop::start()
{
    // The server writes the number it took on its standard output once it
    // accepts connections; its own messages stay on standard error.
    const QRect size = screen();
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(QStringLiteral("Xvfb"),
        { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
            QStringLiteral("%1x%2x24").arg(size.width()).arg(size.height()), QStringLiteral("-nolisten"),
            QStringLiteral("tcp"), QStringLiteral("-noreset") });
    if (!m_server.waitForStarted(startDeadlineMs))
        return fail(QStringLiteral("Xvfb did not start: %1").arg(m_server.errorString()));
    const QDeadlineTimer deadline(startDeadlineMs);
    QByteArray number;
    while (!number.endsWith('\n') && !deadline.hasExpired() && m_server.state() == QProcess::Running) {
        if (m_server.waitForReadyRead(int(deadline.remainingTime())))
            number += m_server.readAllStandardOutput();
    }
    if (!number.endsWith('\n'))
        return fail(QStringLiteral("Xvfb reported no display (it %1)")
                        .arg(m_server.state() == QProcess::Running ? QStringLiteral("runs")
                                                                   : QStringLiteral("ended")));
    m_display = QStringLiteral(":%1").arg(QString::fromLatin1(number.trimmed()));
    qputenv("DISPLAY", m_display.toUtf8());
    return true;
}

bool VirtualDesktop::startTray()
{
    if (m_tray.state() == QProcess::Running)
        return true;
    m_tray.setProcessChannelMode(QProcess::ForwardedChannels);
    m_tray.start(QStringLiteral("trayer"),
        { QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"), QStringLiteral("right"),
            QStringLiteral("--widthtype"), QStringLiteral("request"), QStringLiteral("--height"),
            QStringLiteral("28"), QStringLiteral("--SetDockType"), QStringLiteral("true") });
    if (!m_tray.waitForStarted(startDeadlineMs))
        return fail(QStringLiteral("trayer did not start: %1").arg(m_tray.errorString()));
    // The tray is there once it owns the tray selection and has mapped its panel.
    const auto mapped = [this] {
        return m_tray.state() != QProcess::Running
            || (trayManagerPresent(m_display)
                && !programOutput(QStringLiteral("xdotool"),
                    { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
                        QStringLiteral("trayer") })
                        .isEmpty());
    };
    if (!QTest::qWaitFor(mapped, startDeadlineMs) || m_tray.state() != QProcess::Running)
        return fail(QStringLiteral("trayer showed no panel (status %1)").arg(m_tray.exitCode()));
    return true;
}

void VirtualDesktop::stopTray()
{
    stop(m_tray);
    // The selection is released when the server has seen the tray go.
    if (!QTest::qWaitFor([this] { return !trayManagerPresent(m_display); }, startDeadlineMs))
        qWarning("the tray selection is still owned after the tray ended");
}

QList<VirtualDesktop::Window> VirtualDesktop::windows(const QString& windowClass) const
{
    QList<Window> found;
    const QString ids = programOutput(QStringLiteral("xdotool"),
        { QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
            windowClass });
    for (const QString& id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString shell = programOutput(QStringLiteral("xdotool"),
            { QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id });
        QMap<QString, int> values;
        for (const QString& line : shell.split(QLatin1Char('\n'))) {
            const qsizetype equals = line.indexOf(QLatin1Char('='));
            if (equals > 0)
                values.insert(line.left(equals), line.mid(equals + 1).toInt());
        }
        found.append({ id,
            QRect(values.value(QStringLiteral("X")), values.value(QStringLiteral("Y")),
                values.value(QStringLiteral("WIDTH")), values.value(QStringLiteral("HEIGHT"))) });
    }
    return found;
}

bool VirtualDesktop::closeWindow(const QString& windowId) const
{
    xcb_connection_t* connection = xcb_connect(m_display.toUtf8().constData(), nullptr);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return false;
    }
    xcb_client_message_event_t event = {};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = windowId.toUInt();
    event.type = internAtom(connection, "WM_PROTOCOLS");
    event.data.data32[0] = internAtom(connection, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(
        connection, 0, event.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
    xcb_disconnect(connection);
    return event.type != xcb_atom_t(XCB_ATOM_NONE);
}

bool VirtualDesktop::pressKeys(const QString& windowId, const QStringList& keys) const
{
    QProcess focus;
    focus.start(
        QStringLiteral("xdotool"), { QStringLiteral("windowfocus"), QStringLiteral("--sync"), windowId });
    if (!focus.waitForFinished(stopDeadlineMs) || focus.exitCode() != 0)
        return false;
    QProcess press;
    press.start(QStringLiteral("xdotool"),
        QStringList { QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("80") } + keys);
    return press.waitForFinished(stopDeadlineMs) && press.exitCode() == 0;
}

QList<int> VirtualDesktop::heldKeys() const
{
    QList<int> held;
    xcb_connection_t* connection = xcb_connect(m_display.toUtf8().constData(), nullptr);
    if (!xcb_connection_has_error(connection)) {
        xcb_query_keymap_reply_t* keymap
            = xcb_query_keymap_reply(connection, xcb_query_keymap(connection), nullptr);
        for (int code = 0; keymap && code < 256; ++code) {
            if (keymap->keys[code / 8] & (1 << (code % 8)))
                held.append(code);
        }
        free(keymap);
    }
    xcb_disconnect(connection);
    return held;
}
