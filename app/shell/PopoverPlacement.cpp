#include "PopoverPlacement.h"

#include <algorithm>
#include <climits>

namespace PopoverPlacement {

namespace {

constexpr int gap = 4;

const Screen* screenAt(const QList<Screen>& screens, const QPoint& point)
{
    for (const Screen& screen : screens) {
        if (screen.geometry.contains(point))
            return &screen;
    }
    return nullptr;
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

    const bool trayValid = trayGeometry.isValid() && !trayGeometry.isEmpty()
        && screenAt(screens, trayGeometry.center()) != nullptr;
    if (trayValid) {
        const Screen& screen = *screenAt(screens, trayGeometry.center());
        const QPoint centre = trayGeometry.center();
        QRect rect(QPoint(0, 0), size);
        switch (nearestEdge(screen.geometry, centre)) {
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

    const Screen* under = screenAt(screens, cursor);
    const Screen& screen = under ? *under : screens.first();
    const QPoint point = under ? cursor : screen.geometry.center();
    const QRect& area = screen.available.isValid() ? screen.available : screen.geometry;
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

} // namespace PopoverPlacement
