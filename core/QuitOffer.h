#pragma once

#include <QObject>

// "Quit Quorvane" in the popover and the dashboard. The tray menu offers it
// where a tray shows the icon; without a tray (plain GNOME) the windows are
// the only place left to quit from, so they offer it there.
class QuitOffer : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool offered READ offered NOTIFY offeredChanged)

public:
    using QObject::QObject;

    bool offered() const { return m_offered; }
    void setOffered(bool offered);

    // Goes through the quit question, as the tray menu's entry does.
    Q_INVOKABLE void quit() { Q_EMIT quitRequested(); }

Q_SIGNALS:
    void offeredChanged();
    void quitRequested();

private:
    bool m_offered = false;
};
