#pragma once

#include "platform/ColorSchemePreference.h"

#include <QColor>
#include <QPalette>

// The shade of the tray icon's label, which sits on the desktop's panel: the
// desktop's colour-scheme preference when it states one, else the desktop's
// own palette. That palette is taken when this is made, at start-up: our
// windows later give the application their dark palette, which says nothing
// about the panel.
class TrayLabelShade
{
public:
    TrayLabelShade();

    QColor colour(ColorSchemePreference::Scheme scheme) const;

private:
    QPalette m_desktopPalette;
};
