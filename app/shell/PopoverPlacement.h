#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

// Where the popover goes, as a pure function of the geometry the platform
// reports. The tray icon's geometry is used when it is valid (XEmbed trays give
// one; StatusNotifierItem hosts usually do not): the popover opens on the side
// of the icon that faces the middle of its screen. Otherwise it opens on the
// screen under the pointer, against the screen edge nearest to the pointer
// (where the panel is). Either way it is clamped to the screen's available area.
namespace PopoverPlacement {

struct Screen
{
    QRect geometry;
    QRect available;
};

enum class Edge { top, bottom, left, right };

// The edge of area nearest to point.
Edge nearestEdge(const QRect& area, const QPoint& point);

QRect place(const QSize& size, const QRect& trayGeometry, const QPoint& cursor, const QList<Screen>& screens);

// The tallest popover that place() can put wholly on screen: the available
// area between the tray icon and the far edge (below an icon on a top panel,
// above one on a bottom panel, the full height beside a side panel), less a
// margin. 0 when there is no screen.
int maximumHeight(const QRect& trayGeometry, const QPoint& cursor, const QList<Screen>& screens);

// An ordinary window in the middle of the screen under the pointer (no tray to
// open from), no taller than the available area less a margin at each end.
QRect centred(const QSize& size, const QPoint& cursor, const QList<Screen>& screens);

} // namespace PopoverPlacement
