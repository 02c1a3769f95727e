#include "app/shell/PopoverPlacement.h"

#include <algorithm>
#include <climits>

namespace PopoverPlacement {

namespace {

constexpr int gap = 4;
// Kept free between the popover and the screen edge it would otherwise touch.
constexpr int margin = 8;

const Screen* screenAt(const QList<Screen>& screens, const QPoint& point)
{
    for (const Screen& screen : screens) {
        if (screen.geometry.contains(point))
            return &screen;
    }
    return nullptr;
}

const Screen* trayScreen(const QList<Screen>& screens, const QRect& trayGeometry)
{
    if (!trayGeometry.isValid() || trayGeometry.isEmpty())
        return nullptr;
    return screenAt(screens, trayGeometry.center());
}

const Screen& screenUnder(const QList<Screen>& screens, const QPoint& cursor)
{
    const Screen* under = screenAt(screens, cursor);
    return under ? *under : screens.first();
}

QRect availableArea(const Screen& screen)
{
    return screen.available.isValid() ? screen.available : screen.geometry;
}

// The screen edge the tray's panel lies along. An icon within a panel's
// thickness of the top or bottom edge is on a horizontal panel even in a
// corner, where a side edge may be nearer.
Edge trayEdge(const Screen& screen, const QRect& trayGeometry)
{
    const QPoint centre = trayGeometry.center();
    const int band = std::max(48, 2 * trayGeometry.height());
    const int top = centre.y() - screen.geometry.top();
    const int bottom = screen.geometry.bottom() - centre.y();
    if (top < band && top <= bottom)
        return Edge::top;
    if (bottom < band)
        return Edge::bottom;
    return nearestEdge(screen.geometry, centre);
}

QRect clampInto(QRect rect, const QRect& area)
{
    if (!area.isValid())
        return rect;
    rect.setSize(rect.size().boundedTo(area.size()));
    rect.moveLeft(std::clamp(rect.left(), area.left(), area.right() - rect.width() + 1));
    rect.moveTop(std::clamp(rect.top(), area.top(), area.bottom() - rect.height() + 1));
    return rect;
}

} // namespace

Edge nearestEdge(const QRect& area, const QPoint& point)
{
    const int top = point.y() - area.top();
    const int bottom = area.bottom() - point.y();
    const int left = point.x() - area.left();
    const int right = area.right() - point.x();
    // Ties go to the horizontal panels (top, then bottom), the common layouts.
    const int smallest = std::min({top, bottom, left, right});
    if (smallest == top)
        return Edge::top;
    if (smallest == bottom)
        return Edge::bottom;
    if (smallest == left)
        return Edge::left;
    return Edge::right;
}

QRect place(const QSize& size, const QRect& trayGeometry, const QPoint& cursor, const QList<Screen>& screens)
{
    if (screens.isEmpty() || size.isEmpty())
        return QRect(QPoint(0, 0), size);

    if (const Screen* tray = trayScreen(screens, trayGeometry)) {
        const Screen& screen = *tray;
        const QPoint centre = trayGeometry.center();
        QRect rect(QPoint(0, 0), size);
        switch (trayEdge(screen, trayGeometry)) {
        case Edge::top:
            rect.moveTopLeft(QPoint(centre.x() - size.width() / 2, trayGeometry.bottom() + 1 + gap));
            break;
        case Edge::bottom:
            rect.moveTopLeft(QPoint(centre.x() - size.width() / 2, trayGeometry.top() - gap - size.height()));
            break;
        case Edge::left:
            rect.moveTopLeft(QPoint(trayGeometry.right() + 1 + gap, centre.y() - size.height() / 2));
            break;
        case Edge::right:
            rect.moveTopLeft(QPoint(trayGeometry.left() - gap - size.width(), centre.y() - size.height() / 2));
            break;
        }
        return clampInto(rect, screen.available);
    }

    const Screen& screen = screenUnder(screens, cursor);
    const QPoint point = screen.geometry.contains(cursor) ? cursor : screen.geometry.center();
    const QRect area = availableArea(screen);
    QRect rect(QPoint(0, 0), size);
    switch (nearestEdge(screen.geometry, point)) {
    case Edge::top:
        rect.moveTopLeft(QPoint(point.x() - size.width() / 2, area.top() + gap));
        break;
    case Edge::bottom:
        rect.moveTopLeft(QPoint(point.x() - size.width() / 2, area.bottom() + 1 - gap - size.height()));
        break;
    case Edge::left:
        rect.moveTopLeft(QPoint(area.left() + gap, point.y() - size.height() / 2));
        break;
    case Edge::right:
        rect.moveTopLeft(QPoint(area.right() + 1 - gap - size.width(), point.y() - size.height() / 2));
        break;
    }
    return clampInto(rect, area);
}

int maximumHeight(const QRect& trayGeometry, const QPoint& cursor, const QList<Screen>& screens)
{
    if (screens.isEmpty())
        return 0;
    int height = 0;
    if (const Screen* tray = trayScreen(screens, trayGeometry)) {
        const QRect area = availableArea(*tray);
        switch (trayEdge(*tray, trayGeometry)) {
        case Edge::top:
            height = area.bottom() + 1 - std::max(area.top(), trayGeometry.bottom() + 1 + gap);
            break;
        case Edge::bottom:
            height = std::min(area.bottom() + 1, trayGeometry.top() - gap) - area.top();
            break;
        case Edge::left:
        case Edge::right:
            height = area.height() - margin;
            break;
        }
    } else {
        height = availableArea(screenUnder(screens, cursor)).height() - gap;
    }
    return std::max(0, height - margin);
}

QRect centred(const QSize& size, const QPoint& cursor, const QList<Screen>& screens)
{
    if (screens.isEmpty() || size.isEmpty())
        return QRect(QPoint(0, 0), size);
    const QRect area = availableArea(screenUnder(screens, cursor));
    QRect rect(QPoint(0, 0), size.boundedTo(QSize(area.width(), std::max(0, area.height() - 2 * margin))));
    rect.moveCenter(area.center());
    return clampInto(rect, area);
}

} // namespace PopoverPlacement
