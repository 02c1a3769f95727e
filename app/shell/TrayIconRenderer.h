#pragma once

#include "StatusItemIcon.h"

#include <QColor>
#include <QIcon>
#include <QImage>

// Draws the tray icon: our SVG symbol in the label colour (greyed when muted)
// with the pending count as a badge in the lower right corner.
namespace TrayIconRenderer {

QImage render(const StatusItemIcon& icon, int size, const QColor& labelColour);
// The icon at the sizes trays ask for.
QIcon icon(const StatusItemIcon& icon, const QColor& labelColour);
// The badge text: the count, "99+" above 99, empty for 0.
QString badgeText(int count);

} // namespace TrayIconRenderer
