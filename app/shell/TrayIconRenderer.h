#pragma once

#include "platform/ColorSchemePreference.h"
#include "app/shell/StatusItemIcon.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPalette>

#include <array>

// Draws the tray icon: our SVG symbol in the label colour (greyed when muted)
// with the pending count as a badge in the lower right corner.
namespace TrayIconRenderer {

QImage render(const StatusItemIcon& icon, int size, const QColor& labelColour);
// The sizes trays ask for.
inline constexpr std::array<int, 6> sizes{16, 22, 24, 32, 48, 64};
// The icon at those sizes.
QIcon icon(const StatusItemIcon& icon, const QColor& labelColour);
// The symbol's colour for a panel: light on dark panels, dark on light ones.
// The desktop's colour-scheme preference decides when it has one, else the
// lightness of the palette's window colour (the desktop theme's).
QColor labelColour(ColorSchemePreference::Scheme scheme, const QPalette& palette);
// The symbol's colour on a StatusNotifierItem host's bar, whose colours nobody
// tells us: those bars (Plasma's, swaybar's, GNOME's) are dark unless the
// desktop prefers light.
QColor barLabelColour(ColorSchemePreference::Scheme scheme);
// The badge text: the count, "99+" above 99, empty for 0.
QString badgeText(int count);

} // namespace TrayIconRenderer
