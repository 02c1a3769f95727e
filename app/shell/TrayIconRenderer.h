#pragma once

#include "platform/ColorSchemePreference.h"
#include "app/shell/StatusItemIcon.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPalette>

// Draws the tray icon: our SVG symbol in the label colour (greyed when muted)
// with the pending count as a badge in the lower right corner.
namespace TrayIconRenderer {

QImage render(const StatusItemIcon& icon, int size, const QColor& labelColour);
// The icon at the sizes trays ask for.
QIcon icon(const StatusItemIcon& icon, const QColor& labelColour);
// The symbol's colour for a panel: light on dark panels, dark on light ones.
// The desktop's colour-scheme preference decides when it has one, else the
// lightness of the palette's window colour (the desktop theme's).
QColor labelColour(ColorSchemePreference::Scheme scheme, const QPalette& palette);
// The badge text: the count, "99+" above 99, empty for 0.
QString badgeText(int count);

} // namespace TrayIconRenderer
