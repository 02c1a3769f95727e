#pragma once

#include <QList>
#include <QProcess>
#include <QRect>
#include <QString>

// A virtual X server (Xvfb) for the tests that run the real program on a
// desktop, and optionally an XEmbed tray (trayer) on it.
//
// Xvfb picks a display number that no other server holds and reports it once
// it accepts connections (-displayfd), so two tests started together can
// never meet on one display; it never resets between programs (-noreset), so
// the display stays usable while one program quits and the next starts.
class VirtualDesktop
{
public:
    VirtualDesktop() = default;
    ~VirtualDesktop();
    VirtualDesktop(const VirtualDesktop&) = delete;
    VirtualDesktop& operator=(const VirtualDesktop&) = delete;

    static QRect screen() { return { 0, 0, 1280, 800 }; }

    // Starts the server and sets DISPLAY for this process and its children.
    bool start();
    QString display() const { return m_display; }

    // Starts the tray and waits until its panel is mapped.
    bool startTray();
    void stopTray();

    struct Window
    {
        QString id;
        QRect geometry;
    };
    // The visible windows of a program, by its window class.
    QList<Window> windows(const QString& windowClass) const;
    // What a window manager's close button sends (WM_DELETE_WINDOW).
    bool closeWindow(const QString& windowId) const;
    // Gives the window the keyboard, then presses and releases each key as a
    // keyboard would (XTEST). Keys sent to a window without the focus are
    // synthetic events that programs may ignore, and a key whose window
    // closes on its press can be left held down, repeating into the next
    // program on this display.
    bool pressKeys(const QString& windowId, const QStringList& keys) const;
    // The key codes held down now: none, once every test's keys are released.
    QList<int> heldKeys() const;

    QString lastError() const { return m_lastError; }

private:
    bool fail(const QString& error)
    {
        m_lastError = error;
        qWarning("%s", qPrintable(error));
        return false;
    }

    QProcess m_server;
    QProcess m_tray;
    QString m_display;
    QString m_lastError;
};
