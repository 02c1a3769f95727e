#pragma once

#include "platform/LoginItem.h"

// The login item as "quorvane.desktop" in the autostart folder of the XDG
// configuration home, which desktop sessions start at log-in.
class XdgAutostartLoginItem : public LoginItem
{
public:
    // The folder that holds the entry and the program it starts; by default
    // $XDG_CONFIG_HOME/autostart (~/.config/autostart when unset) and the
    // running executable.
    XdgAutostartLoginItem();
    XdgAutostartLoginItem(QString autostartDirectory, QString executablePath);

    std::optional<QString> registerItem() override;
    std::optional<QString> unregisterItem() override;
    bool isRegistered() const override;

    QString entryPath() const;
    static QString defaultAutostartDirectory();

private:
    QString m_autostartDirectory;
    QString m_executablePath;
};
