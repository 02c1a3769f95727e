#pragma once

#include <QObject>

// The desktop's light/dark preference, for drawing things the desktop shows
// next to its own (the tray icon). PortalColorSchemePreference is the Linux
// one.
class ColorSchemePreference : public QObject
{
    Q_OBJECT

public:
    // The values of the freedesktop "color-scheme" setting.
    enum class Scheme { noPreference = 0, preferDark = 1, preferLight = 2 };
    Q_ENUM(Scheme)

    using QObject::QObject;

    // noPreference until the desktop has answered, or when it has no such setting.
    virtual Scheme scheme() const = 0;

Q_SIGNALS:
    void schemeChanged(ColorSchemePreference::Scheme scheme);
};
